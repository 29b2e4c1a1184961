#include "PortClient.h"

#include "frame/PulseFrame.h"
#include "tools/irsim/Simulator.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace irsim {
namespace {

using test::PortClient;
using ::testing::ElementsAre;
using ::testing::Optional;
using namespace std::chrono_literals;

// Generous: the machine may be busy with other builds.
constexpr auto Patience = 3000ms;

std::string Signature() {
    return std::string(frame::DeviceSignature);
}

TEST(IrsimProtocol, AnswersAtAndAti) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    ASSERT_TRUE(port.Valid());
    port.Command("AT");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("OK")));
    port.Command("ATI");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("+ATI: irsim IR transceiver 1.0")));
    EXPECT_THAT(simulator.CommandTexts(), ElementsAre("AT", "ATI"));
    EXPECT_EQ(simulator.EmptyCommands(), 2u);
    EXPECT_EQ(simulator.ReceivedBytes(), "AT\r\rATI\r\r");

    simulator.ClearReceived();
    EXPECT_TRUE(simulator.Commands().empty());
    EXPECT_EQ(simulator.EmptyCommands(), 0u);
    EXPECT_EQ(simulator.ReceivedBytes(), "");
}

TEST(IrsimProtocol, EmptyCommandsGetNoAnswerAndUnknownOnesGetError) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    port.Write("\r\r\rATZ\r");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("ERROR")));
    port.Command("AT");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("OK")));
    EXPECT_EQ(simulator.EmptyCommands(), 4u);
}

TEST(IrsimProtocol, CollectsPulsesAndEmitsThem) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    for (const char* command : {"AT+SND=1,9000", "AT+SND=2,4500", "AT+SND=3,-5", "AT+SND=0,3"}) {
        port.Command(command);
        EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("OK"))) << command;
    }
    EXPECT_THAT(simulator.Emitted(), ElementsAre(Durations{9000, 4500, -5}));
    // Without loop-back nothing but the answers comes back.
    EXPECT_EQ(port.ReadFor(100ms), "");
}

TEST(IrsimProtocol, EmissionWithMissingPulsesIsRefused) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    port.Command("AT+SND=1,9000");
    port.Command("AT+SND=3,560");
    port.Command("AT+SND=0,3");
    EXPECT_EQ(port.ReadFor(200ms), "OK\r\nOK\r\nERROR\r\n");
    // Pulses from a refused emission do not linger for the next one.
    port.Command("AT+SND=0,1");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("ERROR")));
    EXPECT_TRUE(simulator.Emitted().empty());
}

TEST(IrsimProtocol, EmptyEmissionIsAcceptedAndNothingComesBack) {
    SimulatorOptions options;
    options.loopback = true;
    Simulator simulator(options);
    PortClient port(simulator.SlavePath());
    port.Command("AT+SND=0,0");
    EXPECT_EQ(port.ReadFor(200ms), "OK\r\n");
    EXPECT_THAT(simulator.Emitted(), ElementsAre(Durations{}));
}

TEST(IrsimProtocol, Ab1EmitsTheLastCapturedCode) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    port.Command("ab1");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("ERROR")));

    simulator.SendFrame({9000, 4500, 560});
    EXPECT_THAT(port.ReadLine(Patience), Optional(Signature() + ",9000,4500,560"));
    port.Command("ab1");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("OK")));
    EXPECT_THAT(simulator.Emitted(), ElementsAre(Durations{9000, 4500, 560}));
}

TEST(IrsimProtocol, LoopBackReportsWhatWasEmitted) {
    SimulatorOptions options;
    options.loopback = true;
    Simulator simulator(options);
    PortClient port(simulator.SlavePath());
    port.Command("AT+SND=1,9000");
    port.Command("AT+SND=2,2250");
    port.Command("AT+SND=3,560");
    port.Command("AT+SND=0,3");
    port.Command("ab1");
    EXPECT_EQ(port.ReadFor(200ms), "OK\r\nOK\r\nOK\r\nOK\r\n" + Signature() +
                                       ",9000,2250,560\r\nOK\r\n" + Signature() +
                                       ",9000,2250,560\r\n");
}

TEST(IrsimProtocol, ChecksumFramingIsCheckedWhenRequired) {
    SimulatorOptions options;
    options.requireChecksum = true;
    Simulator simulator(options);
    PortClient port(simulator.SlavePath());
    port.Write("$#149@AT\r");   // the check command, framed without a CR of its own
    port.Write("$#162@AT\r\r"); // "AT\r" framed, then the extra CR
    port.Write("$#150@AT\r\r"); // wrong sum
    port.Write("AT\r\r");       // no framing
    EXPECT_EQ(port.ReadFor(200ms), "OK\r\nOK\r\nERROR\r\nERROR\r\n");
    const auto commands = simulator.Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_TRUE(commands[0].framed);
    EXPECT_FALSE(commands[2].checksumOk);
    EXPECT_FALSE(commands[3].framed);
}

TEST(IrsimProtocol, BusAddressSelectsCommands) {
    SimulatorOptions options;
    options.busAddress = 3;
    Simulator simulator(options);
    PortClient port(simulator.SlavePath());
    port.Write("\x03"
               "AT\r\r");
    port.Write("\x10"
               "AT\r\r"); // another device's
    port.Write("\xFF"
               "AT\r\r"); // everyone's: done, not answered
    port.Write("\x03"
               "ATI\r\r");
    EXPECT_EQ(port.ReadFor(200ms), "OK\r\n+ATI: irsim IR transceiver 1.0\r\n");
    const auto commands = simulator.Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_FALSE(commands[1].forThisDevice);
    EXPECT_TRUE(commands[2].forThisDevice);
    EXPECT_EQ(commands[2].address, 255);
}

TEST(IrsimProtocol, BusAddressWithChecksum) {
    SimulatorOptions options;
    options.busAddress = 16;
    options.requireChecksum = true;
    Simulator simulator(options);
    PortClient port(simulator.SlavePath());
    port.Write("\x10$#149@AT\r");
    port.Write("\x10$#149@ATI\r");
    EXPECT_EQ(port.ReadFor(200ms), "OK\r\nERROR\r\n");
}

TEST(IrsimProtocol, AddressThirteenIsRefused) {
    SimulatorOptions options;
    options.busAddress = 13;
    EXPECT_THROW(Simulator{options}, std::invalid_argument);
}

TEST(IrsimProtocol, CrAndLfPassUnchangedAndAllByteValuesArrive) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    simulator.SendRaw(all);
    EXPECT_EQ(port.ReadBytes(256, Patience), all);
    port.Write(all);
    ASSERT_TRUE(simulator.WaitForBytes(256, Patience));
    EXPECT_EQ(simulator.ReceivedBytes(), all);
}

TEST(IrsimEngine, RemoteFramesArriveAsFrameLines) {
    SimulatorOptions options;
    options.jitter = {0, 0};
    Simulator simulator(options);
    PortClient port(simulator.SlavePath());
    simulator.SendRemote({Remote::NecRepeat, 0, 0});
    EXPECT_THAT(port.ReadLine(Patience), Optional(Signature() + ",9000,2250,560"));
    EXPECT_THAT(simulator.LastCaptured(), Optional(Durations{9000, 2250, 560}));
}

TEST(IrsimEngine, PeriodicFramesComeAndStop) {
    SimulatorOptions options;
    options.every = 30ms;
    Simulator simulator(options);
    PortClient port(simulator.SlavePath());
    for (int i = 0; i < 3; ++i) {
        const auto line = port.ReadLine(Patience);
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(line->rfind(Signature() + ",", 0), 0u);
    }
    simulator.SetPeriodic(0ms);
    port.ReadFor(100ms);
    EXPECT_EQ(port.ReadFor(150ms), "");
}

TEST(IrsimEngine, KeepsWorkingWhenTheProgramClosesAndReopensThePort) {
    Simulator simulator;
    for (int round = 0; round < 3; ++round) {
        PortClient port(simulator.SlavePath());
        ASSERT_TRUE(port.Valid());
        port.Command("AT");
        EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("OK"))) << "round " << round;
    }
    EXPECT_FALSE(simulator.IsHungUp());
}

TEST(IrsimEngine, SendsQueuedWhileThePortIsClosedWaitForTheProgram) {
    Simulator simulator;
    simulator.SendLine("early");
    ASSERT_TRUE(simulator.WaitIdle(Patience));
    PortClient port(simulator.SlavePath());
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("early")));
}

TEST(IrsimEngine, LinkPointsAtTheTerminalAndIsRemovedAtTheEnd) {
    const std::string link = ::testing::TempDir() + "irsim_link_" + std::to_string(::getpid());
    {
        SimulatorOptions options;
        options.linkPath = link;
        Simulator simulator(options);
        PortClient port(link);
        ASSERT_TRUE(port.Valid());
        port.Command("AT");
        EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("OK")));
    }
    EXPECT_NE(::access(link.c_str(), F_OK), 0);
}

TEST(IrsimEngine, LinkNeverReplacesARegularFile) {
    const std::string path = ::testing::TempDir() + "irsim_file_" + std::to_string(::getpid());
    {
        std::FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    SimulatorOptions options;
    options.linkPath = path;
    EXPECT_THROW(Simulator{options}, std::system_error);
    EXPECT_EQ(::access(path.c_str(), F_OK), 0);
    ::unlink(path.c_str());
}

TEST(IrsimEngine, WrittenTimesFollowTheOrderOfSends) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    const auto before = Clock::now();
    const Ticket first = simulator.SendLine("one");
    const Ticket second = simulator.SendLine("two");
    EXPECT_LT(first, second);
    const auto firstAt = simulator.WaitWritten(first, Patience);
    const auto secondAt = simulator.WaitWritten(second, Patience);
    ASSERT_TRUE(firstAt && secondAt);
    EXPECT_LE(before, *firstAt);
    EXPECT_LE(*firstAt, *secondAt);
    EXPECT_LE(*secondAt, Clock::now());
}

TEST(IrsimEngine, LeavesNoDescriptorsBehind) {
    const auto countFds = [] {
        int n = 0;
        for (int fd = 0; fd < 1024; ++fd)
            n += ::fcntl(fd, F_GETFD) != -1;
        return n;
    };
    const int before = countFds();
    {
        Simulator simulator;
        PortClient port(simulator.SlavePath());
        port.Command("AT");
        ASSERT_TRUE(port.ReadLine(Patience));
        simulator.HangUp();
        simulator.Replug();
    }
    EXPECT_EQ(countFds(), before);
}

} // namespace
} // namespace irsim

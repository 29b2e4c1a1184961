#include "PortClient.h"

#include "frame/PulseFrame.h"

#include <gmock/gmock.h>

#include <ostream>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <set>

namespace irsim {
namespace {

using test::Patience;
using test::PortClient;
using test::Rig;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::Optional;

const std::string Ident = "+ATI: irsim IR transceiver 1.0";

// Commands as the program sends them: each followed by its CR and one more.
std::string Cmds(std::initializer_list<std::string_view> commands) {
    std::string bytes;
    for (const std::string_view command : commands) {
        bytes.append(command).append("\r\r");
    }
    return bytes;
}

std::string Frame(const std::string& durations) {
    return std::string(frame::DeviceSignature) + "," + durations;
}

// A conversation: the bytes the program writes and every line the device sends back, in order.
struct Exchange {
    const char* name;
    test::ChangeOptions options;
    std::string sent;
    std::vector<std::string> answers;
};

void PrintTo(const Exchange& c, std::ostream* out) {
    *out << c.name;
}

class IrsimExchange : public ::testing::TestWithParam<Exchange> {};

TEST_P(IrsimExchange, AnswersInOrderAndNothingMore) {
    Rig rig(GetParam().options);
    rig.port.Write(GetParam().sent);
    for (const std::string& answer : GetParam().answers) {
        EXPECT_EQ(rig.port.Next(), answer);
    }
    EXPECT_EQ(rig.port.ReadFor(100ms), "");
}

// Option changes for one-line set-ups.
using O = SimulatorOptions&;
const auto Loopback = [](O o) { o.loopback = true; };
const auto Checksum = [](O o) { o.requireChecksum = true; };
const auto Address3 = [](O o) { o.busAddress = 3; };

const std::string OK = "OK", ERR = "ERROR", Looped = Frame("9000,2250,560");

// clang-format off
INSTANTIATE_TEST_SUITE_P(Protocol, IrsimExchange, ::testing::Values(
    // Empty commands get no answer, unknown ones an error.
    Exchange{"AtAndAti", {}, "\r\r\rATZ\r" + Cmds({"AT", "ATI"}), {ERR, OK, Ident}},
    Exchange{"Ab1WithNothingCaptured", {}, Cmds({"ab1"}), {ERR}},
    // Without loop-back nothing but the answers comes back.
    Exchange{"CollectAndEmit", {},
             Cmds({"AT+SND=1,9000", "AT+SND=2,4500", "AT+SND=3,-5", "AT+SND=0,3"}),
             {OK, OK, OK, OK}},
    // A missing pulse refuses the emission, and the pulses collected do not linger.
    Exchange{"EmissionWithAGap", {},
             Cmds({"AT+SND=1,9000", "AT+SND=3,560", "AT+SND=0,3", "AT+SND=0,1"}),
             {OK, OK, ERR, ERR}},
    // Loop-back reports each emission as a captured frame, none for an empty one.
    Exchange{"LoopBack", Loopback,
             Cmds({"AT+SND=0,0", "AT+SND=1,9000", "AT+SND=2,2250", "AT+SND=3,560", "AT+SND=0,3",
                   "ab1"}),
             {OK, OK, OK, OK, OK, Looped, OK, Looped}},
    // "AT" framed without a CR of its own, "AT\r" framed with the extra CR after it, a wrong
    // sum, no framing.
    Exchange{"Checksum", Checksum, "$#149@AT\r$#162@AT\r\r$#150@AT\r\rAT\r\r", {OK, OK, ERR, ERR}},
    // Another device's command is ignored; everyone's is done but not answered.
    Exchange{"BusAddress", Address3, Cmds({"\x03" "AT", "\x10" "AT", "\xFF" "AT", "\x03" "ATI"}),
             {OK, Ident}},
    Exchange{"AddressBeforeFraming", [](O o) { Checksum(o); o.busAddress = 16; },
             "\x10$#149@AT\r\x10$#149@ATI\r", {OK, ERR}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(IrsimProtocol, RecordsWhatItReceivedAndEmitted) {
    Rig rig;
    const std::string sent = "\r\r\rATZ\r" + Cmds({"AT+SND=1,9000", "AT+SND=2,-5", "AT+SND=0,2"});
    rig.port.Write(sent);
    ASSERT_TRUE(rig.simulator.WaitForEmitted(1, Patience));
    EXPECT_THAT(rig.simulator.CommandTexts(),
                ElementsAre("ATZ", "AT+SND=1,9000", "AT+SND=2,-5", "AT+SND=0,2"));
    EXPECT_EQ(rig.simulator.EmptyCommands(), 6u);
    EXPECT_EQ(rig.simulator.ReceivedBytes(), sent);

    // "ab1" emits the last captured code.
    rig.simulator.SendFrame({9000, 4500, 560});
    rig.port.Command("ab1");
    ASSERT_TRUE(rig.simulator.WaitForEmitted(2, Patience));
    EXPECT_THAT(rig.simulator.Emitted(),
                ElementsAre(Durations{9000, -5}, Durations{9000, 4500, 560}));

    rig.simulator.ClearReceived();
    EXPECT_TRUE(rig.simulator.Commands().empty());
    EXPECT_TRUE(rig.simulator.Emitted().empty());
    EXPECT_EQ(rig.simulator.EmptyCommands(), 0u);
    EXPECT_EQ(rig.simulator.ReceivedBytes(), "");
}

TEST(IrsimProtocol, RecordsFramingAndAddressOfEachCommand) {
    EXPECT_THROW(Simulator(test::Options([](O o) { o.busAddress = 13; })), std::invalid_argument);
    Rig rig([](O o) {
        Checksum(o);
        Address3(o);
    });
    rig.port.Write("\x03$#149@AT\r\x10$#149@AT\r\xFF$#150@AT\r\x03"
                   "AT\r");
    ASSERT_TRUE(rig.simulator.WaitForCommands(4, Patience));
    const auto c = rig.simulator.Commands();
    EXPECT_TRUE(c[0].framed && c[0].checksumOk && c[0].forThisDevice);
    EXPECT_EQ(c[0].address, 3);
    EXPECT_FALSE(c[1].forThisDevice);
    EXPECT_TRUE(c[2].forThisDevice);
    EXPECT_EQ(c[2].address, 255);
    EXPECT_FALSE(c[2].checksumOk);
    EXPECT_FALSE(c[3].framed);
}

TEST(IrsimProtocol, CrAndLfPassUnchangedAndAllByteValuesArrive) {
    Rig rig;
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    rig.simulator.SendRaw(all);
    EXPECT_EQ(rig.port.ReadBytes(256), all);
    rig.port.Write(all);
    ASSERT_TRUE(rig.simulator.WaitForBytes(256, Patience));
    EXPECT_EQ(rig.simulator.ReceivedBytes(), all);
}

TEST(IrsimEngine, RemoteAndPeriodicFramesArriveAsFrameLines) {
    Rig rig([](O o) { o.jitter = {0, 0}; });
    rig.simulator.SendRemote({Remote::NecRepeat, 0, 0});
    EXPECT_EQ(rig.port.Next(), Frame("9000,2250,560"));
    EXPECT_THAT(rig.simulator.LastCaptured(), Optional(Durations{9000, 2250, 560}));

    rig.simulator.SetPeriodic(30ms);
    for (int i = 0; i < 3; ++i)
        EXPECT_THAT(rig.port.Next(), ::testing::StartsWith(Frame(""))) << i;
    rig.simulator.SetPeriodic(0ms);
    rig.port.ReadFor(100ms);
    EXPECT_EQ(rig.port.ReadFor(150ms), "");
}

TEST(IrsimEngine, KeepsWorkingWhileTheProgramClosesAndReopensThePort) {
    Simulator simulator;
    // What is sent while nobody holds the port waits for the program.
    simulator.SendLine("early");
    ASSERT_TRUE(simulator.WaitIdle(Patience));
    for (int round = 0; round < 3; ++round) {
        PortClient port(simulator.SlavePath());
        ASSERT_TRUE(port.Valid());
        if (round == 0) {
            EXPECT_EQ(port.Next(), "early");
        }
        port.Command("AT");
        EXPECT_EQ(port.Next(), "OK") << "round " << round;
    }
    EXPECT_FALSE(simulator.IsHungUp());
}

TEST(IrsimEngine, LinkPointsAtTheTerminalIsRemovedAtTheEndAndNeverReplacesAFile) {
    const std::string link = ::testing::TempDir() + "irsim_link_" + std::to_string(::getpid());
    {
        Simulator simulator(test::Options([&](O o) { o.linkPath = link; }));
        PortClient port(link);
        ASSERT_TRUE(port.Valid());
        port.Command("AT");
        EXPECT_EQ(port.Next(), "OK");
    }
    EXPECT_NE(::access(link.c_str(), F_OK), 0);

    std::fclose(std::fopen(link.c_str(), "w"));
    EXPECT_THROW(Simulator(test::Options([&](O o) { o.linkPath = link; })), std::system_error);
    EXPECT_EQ(::access(link.c_str(), F_OK), 0);
    ::unlink(link.c_str());
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
        Rig rig;
        rig.port.Command("AT");
        ASSERT_TRUE(rig.port.ReadLine());
        rig.simulator.HangUp();
        rig.simulator.Replug();
    }
    EXPECT_EQ(countFds(), before);
}

// --- Faults on request ------------------------------------------------------------------

TEST(IrsimFaults, SilentDeviceRecordsButNeverAnswers) {
    Rig rig([](O o) { o.silent = true; });
    rig.port.Command("AT");
    rig.port.Command("ATI");
    ASSERT_TRUE(rig.simulator.WaitForCommands(2, Patience));
    EXPECT_EQ(rig.port.ReadFor(150ms), "");
    rig.simulator.SetSilent(false);
    rig.port.Command("AT");
    EXPECT_EQ(rig.port.Next(), "OK");
}

TEST(IrsimFaults, GarbageIsTheRequestedNumberOfRandomBytes) {
    Rig rig;
    rig.simulator.SendGarbage(5000);
    const std::string garbage = rig.port.ReadBytes(5000);
    EXPECT_EQ(garbage.size(), 5000u);
    EXPECT_NE(garbage.find('\r'), std::string::npos);
    EXPECT_GT(std::set<char>(garbage.begin(), garbage.end()).size(), 200u);
    EXPECT_EQ(rig.port.ReadFor(100ms), "");
}

TEST(IrsimFaults, SplitLinesAndRepliesComeInPiecesWithPauses) {
    Rig rig;
    const std::string line = std::string(frame::DeviceSignature) + ",9000,4500,560\r\n";
    const auto start = Clock::now();
    const Ticket ticket = rig.simulator.SendSplit(line, 3, 150ms);
    const std::string first = rig.port.ReadFor(60ms, 1000ms);
    EXPECT_FALSE(first.empty());
    EXPECT_LT(first.size(), line.size());
    EXPECT_EQ(rig.port.Next(), line.substr(first.size(), line.size() - first.size() - 2));
    const auto written = rig.simulator.WaitWritten(ticket, Patience);
    ASSERT_TRUE(written);
    EXPECT_GE(*written - start, 300ms);

    rig.simulator.SetSplitMode(2, 100ms);
    const auto asked = Clock::now();
    rig.port.Command("ATI");
    EXPECT_EQ(rig.port.Next(), "+ATI: irsim IR transceiver 1.0");
    EXPECT_GE(Clock::now() - asked, 100ms);
}

TEST(IrsimFaults, LongLineHasNoLineEndAndOrdinaryLinesFollow) {
    Rig rig;
    constexpr std::size_t size = std::size_t{1} << 20;
    rig.simulator.SendLongLine(size);
    rig.simulator.SendLine("OK");
    const std::string bytes = rig.port.ReadBytes(size + 4, 10000ms);
    ASSERT_EQ(bytes.size(), size + 4);
    EXPECT_EQ(bytes.find('\r'), size + 2);
    EXPECT_EQ(bytes.find('\n'), size + 3);
    EXPECT_EQ(bytes.rfind(std::string(frame::DeviceSignature), 0), 0u);
}

TEST(IrsimFaults, FloodSendsExactlyTheRequestedFullDistinctFrames) {
    EXPECT_EQ(FloodFrame(0).size(), std::size_t(frame::FrameCapacity));
    EXPECT_NE(FloodFrame(1), FloodFrame(2));
    EXPECT_EQ(FloodFrame(7).back(), 567);

    Rig rig;
    constexpr std::size_t count = 300;
    const auto before = Clock::now();
    const Ticket last = rig.simulator.Flood(count);
    std::size_t lines = 0;
    while (auto line = rig.port.ReadLine()) {
        ASSERT_EQ(*line + "\r\n", FrameLine(FloodFrame(lines))) << "line " << lines;
        if (++lines == count)
            break;
    }
    EXPECT_EQ(lines, count);
    const auto lastAt = rig.simulator.WaitWritten(last, Patience);
    const auto firstAt = rig.simulator.WaitWritten(last - (count - 1), Patience);
    // Written times follow the order of the tickets.
    ASSERT_TRUE(lastAt && firstAt);
    EXPECT_LE(before, *firstAt);
    EXPECT_LE(*firstAt, *lastAt);
    EXPECT_LE(*lastAt, Clock::now());
    EXPECT_EQ(rig.port.ReadFor(100ms), "");
}

TEST(IrsimFaults, FloodWaitsForAProgramThatReadsSlowly) {
    Rig rig;
    const Ticket last = rig.simulator.Flood(200); // far more than the terminal buffers
    EXPECT_FALSE(rig.simulator.WaitWritten(last, 100ms));
    std::size_t lines = 0;
    while (lines < 200 && rig.port.ReadLine())
        ++lines;
    EXPECT_EQ(lines, 200u);
    EXPECT_TRUE(rig.simulator.WaitWritten(last, Patience));
}

TEST(IrsimFaults, HangUpIsSeenByTheProgramAndLaterSendsGoNowhere) {
    Rig rig;
    rig.port.Command("AT");
    ASSERT_TRUE(rig.port.ReadLine());
    rig.simulator.HangUp();
    EXPECT_TRUE(rig.simulator.IsHungUp());
    EXPECT_TRUE(rig.simulator.SlavePath().empty());
    EXPECT_TRUE(rig.port.WaitHangUp());
    const Ticket ticket = rig.simulator.SendLine("lost");
    EXPECT_EQ(rig.simulator.WaitWritten(ticket, 100ms), std::nullopt);
    EXPECT_EQ(rig.simulator.Flood(3), ticket + 3);
    rig.simulator.HangUp(); // twice is harmless
}

TEST(IrsimFaults, HangUpDropsWhatWasQueued) {
    Simulator simulator;
    const Ticket flood = simulator.Flood(1000); // nobody reads: most stays queued
    simulator.HangUp();
    EXPECT_EQ(simulator.WaitWritten(flood, Patience), std::nullopt);
    EXPECT_TRUE(simulator.WaitIdle(Patience));
}

TEST(IrsimFaults, ReplugComesBackOnANewTerminalBehindTheSameLink) {
    const std::string link = ::testing::TempDir() + "irsim_replug_" + std::to_string(::getpid());
    Simulator simulator(test::Options([&](O o) { o.linkPath = link; }));
    simulator.HangUp();
    EXPECT_NE(::access(link.c_str(), F_OK), 0);
    simulator.Replug();
    EXPECT_FALSE(simulator.IsHungUp());
    PortClient port(link);
    ASSERT_TRUE(port.Valid());
    port.Command("AT");
    EXPECT_EQ(port.Next(), "OK");
}

} // namespace
} // namespace irsim

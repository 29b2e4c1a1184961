#include "PortClient.h"

#include "frame/PulseFrame.h"
#include "tools/irsim/Simulator.h"

#include <gmock/gmock.h>

#include <unistd.h>

#include <algorithm>

namespace irsim {
namespace {

using test::PortClient;
using ::testing::Optional;
using namespace std::chrono_literals;

constexpr auto Patience = 3000ms;

TEST(IrsimFaults, SilentDeviceRecordsButNeverAnswers) {
    SimulatorOptions options;
    options.silent = true;
    Simulator simulator(options);
    PortClient port(simulator.SlavePath());
    port.Command("AT");
    port.Command("ATI");
    ASSERT_TRUE(simulator.WaitForCommands(2, Patience));
    EXPECT_EQ(port.ReadFor(150ms), "");
    simulator.SetSilent(false);
    port.Command("AT");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("OK")));
}

TEST(IrsimFaults, GarbageIsTheRequestedNumberOfBytes) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    simulator.SendGarbage(5000);
    const std::string garbage = port.ReadBytes(5000, Patience);
    EXPECT_EQ(garbage.size(), 5000u);
    // Random bytes: many different values, line ends among them.
    EXPECT_NE(garbage.find('\r'), std::string::npos);
    EXPECT_GT(std::count(garbage.begin(), garbage.end(), garbage[0]), 0);
    EXPECT_EQ(port.ReadFor(100ms), "");
}

TEST(IrsimFaults, SplitLineComesInPiecesWithPauses) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    const std::string line = std::string(frame::DeviceSignature) + ",9000,4500,560\r\n";
    const auto start = Clock::now();
    const Ticket ticket = simulator.SendSplit(line, 3, 150ms);

    const std::string first = port.ReadFor(60ms, 1000ms);
    EXPECT_FALSE(first.empty());
    EXPECT_LT(first.size(), line.size());
    EXPECT_THAT(port.ReadLine(Patience),
                Optional(line.substr(first.size(), line.size() - first.size() - 2)));
    const auto written = simulator.WaitWritten(ticket, Patience);
    ASSERT_TRUE(written);
    EXPECT_GE(*written - start, 300ms);
}

TEST(IrsimFaults, SplitModeAppliesToReplies) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    simulator.SetSplitMode(2, 100ms);
    const auto start = Clock::now();
    port.Command("ATI");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("+ATI: irsim IR transceiver 1.0")));
    EXPECT_GE(Clock::now() - start, 100ms);
}

TEST(IrsimFaults, LongLineHasNoLineEndAndOrdinaryLinesFollow) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    constexpr std::size_t size = std::size_t{1} << 20;
    simulator.SendLongLine(size);
    simulator.SendLine("OK");
    const std::string bytes = port.ReadBytes(size + 4, 10000ms);
    ASSERT_EQ(bytes.size(), size + 4);
    EXPECT_EQ(bytes.find('\r'), size + 2);
    EXPECT_EQ(bytes.find('\n'), size + 3);
    EXPECT_EQ(bytes.rfind(std::string(frame::DeviceSignature), 0), 0u);
}

TEST(IrsimFaults, FloodSendsExactlyTheRequestedFrames) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    constexpr std::size_t count = 300;
    const Ticket last = simulator.Flood(count);
    std::size_t lines = 0;
    while (auto line = port.ReadLine(Patience)) {
        const std::string expected = FrameLine(FloodFrame(lines));
        ASSERT_EQ(*line + "\r\n", expected) << "line " << lines;
        if (++lines == count)
            break;
    }
    EXPECT_EQ(lines, count);
    const auto lastAt = simulator.WaitWritten(last, Patience);
    const auto firstAt = simulator.WaitWritten(last - (count - 1), Patience);
    ASSERT_TRUE(lastAt && firstAt);
    EXPECT_LE(*firstAt, *lastAt);
    EXPECT_EQ(port.ReadFor(100ms), "");
}

TEST(IrsimFaults, FloodFramesAreFullAndDistinct) {
    EXPECT_EQ(FloodFrame(0).size(), std::size_t(frame::FrameCapacity));
    EXPECT_NE(FloodFrame(1), FloodFrame(2));
    EXPECT_EQ(FloodFrame(7).back(), 567);
}

TEST(IrsimFaults, FloodWaitsForAProgramThatReadsSlowly) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    const Ticket last = simulator.Flood(200); // far more than the terminal buffers
    EXPECT_FALSE(simulator.WaitWritten(last, 100ms));
    std::size_t lines = 0;
    while (lines < 200 && port.ReadLine(Patience))
        ++lines;
    EXPECT_EQ(lines, 200u);
    EXPECT_TRUE(simulator.WaitWritten(last, Patience));
}

TEST(IrsimFaults, HangUpIsSeenByTheProgram) {
    Simulator simulator;
    PortClient port(simulator.SlavePath());
    port.Command("AT");
    ASSERT_TRUE(port.ReadLine(Patience));
    simulator.HangUp();
    EXPECT_TRUE(simulator.IsHungUp());
    EXPECT_TRUE(simulator.SlavePath().empty());
    EXPECT_TRUE(port.WaitHangUp(Patience));
    // Whatever is sent after the device vanished goes nowhere and says so.
    const Ticket ticket = simulator.SendLine("lost");
    EXPECT_EQ(simulator.WaitWritten(ticket, 100ms), std::nullopt);
    EXPECT_EQ(simulator.Flood(3), ticket + 3);
    simulator.HangUp(); // twice is harmless
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
    SimulatorOptions options;
    options.linkPath = link;
    Simulator simulator(options);
    simulator.HangUp();
    EXPECT_NE(::access(link.c_str(), F_OK), 0);
    simulator.Replug();
    EXPECT_FALSE(simulator.IsHungUp());
    PortClient port(link);
    ASSERT_TRUE(port.Valid());
    port.Command("AT");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("OK")));
}

} // namespace
} // namespace irsim

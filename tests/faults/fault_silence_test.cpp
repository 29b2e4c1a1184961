// A device that falls silent, end to end: after the first line the window's port component asks
// with the check command after one check interval of silence and drops the link after three; the
// status bar follows, and "Zastosuj" brings the link back.

#include "tests/faults/FaultTestSupport.h"

#include <gmock/gmock.h>

namespace faulttest {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

constexpr int Interval = 100;

long long MsBetween(Clock::time_point from, Clock::time_point to) {
    return duration_cast<milliseconds>(to - from).count();
}

TEST(FaultSilentDevice, CheckCommandAfterOneIntervalDropAfterThree) {
    formtest::Device device;
    device->SetSilent(true);
    LinkedWindow window(device);
    serial::TZorComPort& port = window.Port();
    // The connection's own commands; unanswered, so the link-check timers have not started.
    ASSERT_TRUE(WaitUntil([&] { return device->CommandTexts().size() >= 2; }));
    EXPECT_FALSE(port.CheckTimerActive());
    EXPECT_FALSE(port.TimeOutTimerActive());

    port.SetCheckInterval(Interval);
    // The check timer takes a new interval at its next tick; one tick now queues a check command.
    port.CheckTimerTick();
    ASSERT_TRUE(WaitUntil([&] { return device->CommandTexts().size() >= 3; }));
    EXPECT_EQ(port.CheckTimerInterval(), Interval);
    EXPECT_EQ(port.TimeOutTimerInterval(), 3 * Interval);
    device->ClearReceived();
    const int disconnectionsBefore = window.Log().disconnections;

    // One line, then silence.
    const irsim::Ticket ok = device->SendLine("OK");
    ASSERT_TRUE(WaitUntil([&] { return window->Core().LinkConfirmed(); }));
    const auto sent = device->WaitWritten(ok, 0ms);
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(window.LinkText(), Utf8(frame::TextLinked));

    ASSERT_TRUE(WaitUntil([&] { return window.Log().disconnections > disconnectionsBefore; }, 5000))
        << "the silent link was never dropped";
    const Clock::time_point dropped = window.Log().lastDisconnection;
    EXPECT_EQ(window.LinkText(), Disconnected());
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(port.WorkerLinkOpen());
    EXPECT_FALSE(window->Core().LinkConfirmed());
    // The drop closes the port but keeps the worker, which waits for a new connection.
    EXPECT_TRUE(port.HasWorker());

    const std::vector<irsim::ReceivedCommand> checks = device->Commands();
    ASSERT_FALSE(checks.empty()) << "no check command reached the device";
    for (const auto& command : checks) {
        EXPECT_EQ(command.text, "AT");
    }
    const long long firstCheck = MsBetween(*sent, checks.front().at);
    const long long drop = MsBetween(*sent, dropped);
    RecordProperty("first_check_ms", std::to_string(firstCheck));
    RecordProperty("drop_ms", std::to_string(drop));
    std::printf("[ timing   ] check after %lld ms, drop after %lld ms, %zu check commands\n",
                firstCheck, drop, checks.size());
    // Timers may fire a little early; a busy machine makes them late, never much early.
    EXPECT_GE(firstCheck, Interval * 9 / 10);
    EXPECT_LT(firstCheck, 2 * Interval + 1500);
    EXPECT_GE(drop, 3 * Interval * 9 / 10);
    EXPECT_LT(drop, 3 * Interval + 2500);
    EXPECT_GT(drop, firstCheck);

    // Nothing more is written on the dropped link, however long the silence lasts; the time-out
    // keeps telling the window while the check timer runs. (What the device counts cannot tell:
    // a check command written just before the drop may reach it only after the drop is seen.)
    const int writtenAtDrop = window.Driver().writes;
    Pump(4 * Interval);
    EXPECT_EQ(window.Driver().writes, writtenAtDrop);
    EXPECT_EQ(window.LinkText(), Disconnected());

    device->SetSilent(false);
    window.ReconnectWithApply({9000, 4500, 560});
    EXPECT_TRUE(window.Log().errors.empty()) << window.Log().errors[0].text;
}

} // namespace
} // namespace faulttest

// A flood of frames, end to end: every line of ten thousand is delivered once, in order, and drawn;
// and the window closes within the port component's three seconds while a flood is running.

#include "tests/faults/FaultTestSupport.h"

#include <gmock/gmock.h>

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

namespace faulttest {
namespace {

constexpr std::size_t FloodSize = 10000;
constexpr std::size_t FullFramePoints = 1 + 2 * frame::FrameCapacity;

TEST(FaultFlood, EveryLineOfTenThousandIsDeliveredAndDrawn) {
    formtest::Device device;
    LinkedWindow window(device);
    ASSERT_TRUE(window.WaitLinkText(Identified())) << window.LinkText().toStdString();

    // Follow the flood line by line: line i must be FloodFrame(i), whole, and drawn. A line sent
    // after the flood marks its end.
    window.Log().keepLines = false;
    const std::size_t linesBefore = window.Log().lineCount;
    const std::string endMarker = "end of flood";
    bool ended = false;
    std::size_t floodLines = 0;
    std::size_t drawn = 0;
    std::size_t wrongFrames = 0;
    std::size_t otherLines = 0;
    std::size_t earlyReplies = 0;
    const std::string signature(frame::DeviceSignature);
    window.AfterEachLine([&](const std::string& line) {
        if (line == endMarker) {
            ended = true;
            return;
        }
        if (line.rfind(signature, 0) != 0) {
            // Replies to the connection's own commands may come before the flood, not within it.
            ++(floodLines == 0 ? earlyReplies : otherLines);
            return;
        }
        const irsim::Durations expected = irsim::FloodFrame(floodLines++);
        const frame::PulseFrame& frame = window->PulseFrame();
        if (frame.Count != static_cast<int32_t>(expected.size()) ||
            !std::equal(expected.begin(), expected.end(), frame.Durations.begin())) {
            ++wrongFrames;
            return;
        }
        const auto& points = window.Form().Chart1()->Points();
        if (points.size() == FullFramePoints &&
            points.back().Label == QString::number(expected.back())) {
            ++drawn;
        }
    });

    QElapsedTimer clock;
    clock.start();
    const irsim::Ticket last = device->Flood(FloodSize);
    // Sanitized builds run several times slower; the bound is there to end a hang, not to time.
    ASSERT_TRUE(WaitUntil([&] { return floodLines >= FloodSize; }, Sanitized ? 90000 : 28000))
        << "only " << floodLines << " of " << FloodSize << " lines arrived";
    const qint64 elapsed = clock.elapsed();
    EXPECT_TRUE(device->WaitWritten(last, 0ms).has_value());
    device->SendLine(endMarker);
    ASSERT_TRUE(WaitUntil([&] { return ended; }));

    EXPECT_EQ(floodLines, FloodSize);
    EXPECT_EQ(window.Log().lineCount - linesBefore, FloodSize + otherLines + earlyReplies + 1);
    EXPECT_EQ(otherLines, 0u);
    EXPECT_EQ(wrongFrames, 0u);
    EXPECT_EQ(drawn, FloodSize);
    EXPECT_TRUE(window.Log().errors.empty()) << window.Log().errors[0].text;
    EXPECT_EQ(window.Panel(frame::PanelPulseCount), QString::number(frame::FrameCapacity));
    EXPECT_EQ(window.Panel(frame::PanelMode), Utf8(frame::TextReceiverView));
    EXPECT_EQ(window.LinkText(), Identified());
    EXPECT_TRUE(window.Port().WorkerLinkOpen());
    RecordProperty("flood_ms", std::to_string(elapsed));
    std::printf("[ flood    ] %zu frames in %lld ms (%.0f frames/s)\n", FloodSize,
                static_cast<long long>(elapsed),
                elapsed > 0 ? 1000.0 * static_cast<double>(FloodSize) / static_cast<double>(elapsed)
                            : 0.0);

    // After the flood the link is as usable as before it.
    window.ReconnectWithApply({9000, 4500, 560});
}

// "Zastosuj" pressed again and again while frames pour in: each time the link comes back and
// frames are drawn again; a line cut by the restart is never taken for a frame.
TEST(FaultFlood, ApplyDuringAFloodBringsTheFramesBack) {
    formtest::Device device;
    LinkedWindow window(device);
    ASSERT_TRUE(window.WaitLinkText(Identified())) << window.LinkText().toStdString();
    const std::string signature(frame::DeviceSignature);
    std::size_t frames = 0;
    std::size_t badFrames = 0;
    window.AfterEachLine([&](const std::string& line) {
        if (line.rfind(signature, 0) != 0) {
            return;
        }
        ++frames;
        // Every frame line that reaches the window is whole: all its pulses, drawn.
        const int32_t count = window->PulseFrame().Count;
        if (count != frame::FrameCapacity ||
            window.Form().Chart1()->Points().size() != FullFramePoints) {
            ++badFrames;
        }
    });
    window.Log().keepLines = false;
    device->Flood(200000);
    ASSERT_TRUE(WaitUntil([&] { return frames >= 20; }));

    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("apply " + std::to_string(round));
        window.PressApply();
        EXPECT_EQ(window.LinkText(), Connecting());
        const std::size_t before = frames;
        ASSERT_TRUE(WaitUntil([&] { return frames >= before + 20; }, 8000))
            << "no frames after Zastosuj";
        EXPECT_TRUE(window.Port().WorkerLinkOpen());
        EXPECT_TRUE(window.Port().Connected());
    }
    EXPECT_EQ(badFrames, 0u);
    EXPECT_TRUE(window.Log().errors.empty()) << window.Log().errors[0].text;
}

// Closing the window while a flood is running: the port component ends its worker in order and in
// time, again and again.
TEST(FaultFlood, FiftyClosesDuringAFloodEachEndWithinThreeSeconds) {
    constexpr int Rounds = 50;
    std::vector<qint64> durations;
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        formtest::Device device;
        LinkedWindow window(device);
        window.Log().keepLines = false;
        ASSERT_TRUE(WaitUntil([&] { return device->CommandTexts().size() >= 2; }))
            << "the window never connected";
        device->Flood(20000);
        // Vary the moment of the close: sometimes at the first frames, sometimes well inside.
        const std::size_t wanted = 1 + static_cast<std::size_t>(round % 5) * 10;
        ASSERT_TRUE(WaitUntil([&] { return window.Log().lineCount >= wanted; }))
            << "the flood did not arrive";

        QElapsedTimer clock;
        clock.start();
        const bool closed = window->close();
        const qint64 took = clock.elapsed();
        durations.push_back(took);

        EXPECT_TRUE(closed);
        EXPECT_LT(took, 3000);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(window.Port().HasWorker());
        EXPECT_FALSE(window.Port().Active());
        EXPECT_FALSE(window.Port().Connected());
        EXPECT_EQ(window.LinkText(), Disconnected());
        EXPECT_TRUE(window.Log().errors.empty()) << window.Log().errors[0].text;
        window.Destroy();
    }

    std::vector<qint64> sorted = durations;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double q) {
        return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1))];
    };
    const double mean =
        static_cast<double>(std::accumulate(sorted.begin(), sorted.end(), qint64{0})) /
        static_cast<double>(sorted.size());
    RecordProperty("close_ms_min", std::to_string(sorted.front()));
    RecordProperty("close_ms_median", std::to_string(at(0.5)));
    RecordProperty("close_ms_p90", std::to_string(at(0.9)));
    RecordProperty("close_ms_max", std::to_string(sorted.back()));
    std::printf("[ closes   ] %d closes: min %lld, median %lld, p90 %lld, max %lld, mean %.1f ms\n",
                Rounds, static_cast<long long>(sorted.front()), static_cast<long long>(at(0.5)),
                static_cast<long long>(at(0.9)), static_cast<long long>(sorted.back()), mean);
}

} // namespace
} // namespace faulttest

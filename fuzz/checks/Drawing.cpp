#include "fuzz/checks/Drawing.h"

#include "fuzz/checks/FuzzCheck.h"

#include <algorithm>

namespace frame::fuzz {

void CheckDrawing(const Recorder& recorder, const PulseFrame& frame) {
    const int32_t count = std::clamp(frame.Count, int32_t{0}, FrameCapacity);
    const size_t points = 1 + 2 * static_cast<size_t>(count);

    const auto& calls = recorder.chartCalls;
    FUZZ_REQUIRE(calls.size() >= 2 + points, "too few chart calls for a drawing");
    const size_t start = calls.size() - 2 - points;
    FUZZ_REQUIRE(calls[start] == Recorder::ChartCall::Clear, "a drawing must clear first");
    FUZZ_REQUIRE(calls[start + 1] == Recorder::ChartCall::Axis,
                 "a drawing must make the time axis automatic");
    for (size_t i = start + 2; i < calls.size(); ++i) {
        FUZZ_REQUIRE(calls[i] == Recorder::ChartCall::Point, "a drawing only adds points");
    }
    FUZZ_REQUIRE(recorder.series.size() == points,
                 "points: " + std::to_string(recorder.series.size()) + " for " +
                     std::to_string(count) + " pulses");

    const int32_t mode = frame.Mode;
    double level = static_cast<double>(mode ^ 1);
    if (level == 0.0) {
        level = 0.1;
    }
    const Point& origin = recorder.series[0];
    FUZZ_REQUIRE(origin.x == 0.0 && origin.y == level && origin.label.empty(),
                 "the starting point");

    int64_t sum = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t d = frame.Durations[static_cast<size_t>(i)];
        const Point& begin = recorder.series[1 + 2 * static_cast<size_t>(i)];
        const Point& end = recorder.series[2 + 2 * static_cast<size_t>(i)];
        FUZZ_REQUIRE(begin.x == static_cast<double>(sum) && begin.y == level && begin.label == ".",
                     "the start of pulse " + std::to_string(i));
        sum += d;
        FUZZ_REQUIRE(end.x == static_cast<double>(sum) && end.y == level &&
                         end.label == std::to_string(d),
                     "the end of pulse " + std::to_string(i));
        level = level == 1.0 ? 0.1 : 1.0;
    }

    FUZZ_REQUIRE(!recorder.panelWrites.empty(), "a drawing must set panel 3");
    const auto& [panel, text] = recorder.panelWrites.back();
    FUZZ_REQUIRE(panel == 3, "a drawing writes panel 3 last");
    FUZZ_REQUIRE(text == (mode != 0 ? "ODBIORNIK" : "NADAJNIK"), "the view text in panel 3");
}

} // namespace frame::fuzz

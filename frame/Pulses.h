#pragma once

#include "frame/PulseFrame.h"

#include <algorithm>
#include <cstdint>
#include <span>

namespace frame {

// The valid durations of a frame. Count is a plain field that anyone may set, so it is clamped to
// the array: a wrong Count can never make a reader run past the end.
inline std::span<const int32_t> Pulses(const PulseFrame& frame) {
    const auto count = std::clamp(frame.Count, int32_t{0}, FrameCapacity);
    return std::span<const int32_t>(frame.Durations).first(static_cast<size_t>(count));
}

} // namespace frame

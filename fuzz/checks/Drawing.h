#pragma once

#include "frame/PulseFrame.h"
#include "fuzz/checks/Recorder.h"

namespace frame::fuzz {

// Checks one drawing of `frame` as the recorder holds it: the chart calls that end the step
// (a clear, the axis made automatic, then 1 + 2 * Count points), the points themselves (every X
// the exact running sum, levels alternating from the mode's starting level, labels "." and the
// duration) and panel 3 written last.
void CheckDrawing(const Recorder& recorder, const PulseFrame& frame);

} // namespace frame::fuzz

#pragma once

#include "frame/PulseFrame.h"

#include <string>
#include <string_view>
#include <vector>

namespace frame {

// Asks the device to emit the code it captured itself.
inline constexpr std::string_view EmitCapturedCommand = "ab1\r";

// The commands that make the device emit the frame: "AT+SND=<position>,<duration>\r" for each pulse
// (positions count from 1), then "AT+SND=0,<count>\r". An empty frame gives the closing command
// only.
std::vector<std::string> FrameEmissionCommands(const PulseFrame& frame);

} // namespace frame

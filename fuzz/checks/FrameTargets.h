#pragma once

#include <string_view>

namespace frame::fuzz {

// The fuzz targets of the frame core. Each takes one input of any bytes, drives the frame core
// with it and throws CheckFailure when an invariant does not hold. The libFuzzer mains and the
// regression test call these same functions, so a kept input fails the same way in both.

// Lines from the device: the input is cut at '\n' (one '\r' before it is dropped, as the port
// does with CR LF) and every piece goes to FrameCore::ZorComPort1RxString. A piece of a single
// byte 0x01..0x07 stands for an event instead (see DeviceLinesTarget.cpp). The frame, the flags,
// the status panels, the chart points and the commands are compared with an independent model.
void CheckDeviceLines(std::string_view input);

// The frame file reader: the input is a file's bytes. The result must match an independent
// reader; an accepted frame must survive FrameFileText and a second reading unchanged, and
// FrameCore::LoadFrame must take and draw it correctly.
void CheckFrameFile(std::string_view input);

// Field and number reading: ParseInt32 and DurationFromField against a strtoll-based reading,
// TrimBlanks and TakeField against their rules, and the first four bytes as a number written in
// every accepted form read back unchanged.
void CheckTextFields(std::string_view input);

// The C table and the emission commands of a frame built from the input (its Count possibly out
// of range), checked by small independent parsers.
void CheckCTable(std::string_view input);

} // namespace frame::fuzz

#pragma once

// Fixed facts of the device: the hardware's timing and how much the 2 KB of RAM hold.

#include <stdint.h>

namespace fw {

// Timer1 counts at F_CPU / 8 = 2 MHz: two ticks per microsecond.
constexpr uint32_t TicksPerUs = 2;

// Silence that ends a frame: a Sharp frame's two halves (~43 ms apart) stay one line, and NEC
// repeat codes (~96 ms apart) come as lines of their own.
constexpr uint32_t FrameEndUs = 65000;

// Pulses shorter than this are noise, not infra-red: they merge with the pulses around them.
// The shortest symbol of any remote is well above 100 us.
constexpr uint32_t MinPulseUs = 20;

// Most durations one frame line carries (and one "AT+SND" set holds).
constexpr uint16_t MaxDurations = 301;

// Captured durations (in us, 16 bits each) waiting to be written, plus the last frame kept for
// "ab1". Frames wait here while an earlier line is still on the wire.
constexpr uint16_t RingDurations = 320;
// Frames waiting to be written (including the one being written).
constexpr uint8_t QueuedFrames = 8;

// "AT+SND" durations above 16 bits are kept apart, this many per set.
constexpr uint8_t LongDurations = 8;

// Longest command kept; the rest of a longer one is dropped and the command answered "ERROR".
constexpr uint8_t MaxCommandLength = 40;

} // namespace fw

namespace fw {

// First field of every frame line; the program compares it exactly.
constexpr char DeviceSignature[] = "http://dekoder-ir.falquin.pl";

} // namespace fw

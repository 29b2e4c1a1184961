#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace frame {

inline constexpr int FrameCapacity = 301;

// The first field of every frame line the device sends. The device simulator uses the same constant.
inline constexpr std::string_view DeviceSignature = "http://dekoder-ir.falquin.pl";

// Display polarity of a frame.
inline constexpr int32_t ModeReceiver = 1;    // "ODBIORNIK": first pulse drawn low
inline constexpr int32_t ModeTransmitter = 0; // "NADAJNIK": first pulse drawn high

// The current frame. Entries at and beyond Count keep the values of earlier, longer frames; nothing
// reads them.
struct PulseFrame {
    std::array<int32_t, FrameCapacity> Durations{};
    int32_t Count = 0;
    int32_t Mode = ModeReceiver;
};

} // namespace frame

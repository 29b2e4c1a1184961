#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace frame {

// A signal's carrier as a receiver measured it or a file stored it. Frames of the AT device carry
// none: its receiver demodulates before timing.
struct SignalCarrier {
    int32_t hz = 0;
    double dutyCycle = 0.0; // 0..1
    friend bool operator==(const SignalCarrier&, const SignalCarrier&) = default;
};

// Why the frame core announces a frame.
enum class FrameChange {
    DeviceFrame,   // a frame line from a capture device (not shown while the view is held)
    Load,          // a frame file
    Import,        // the first signal of another tool's file
    CleanUp,       // the decoded stretches set to their nominal timings
    HistoryChoice, // an entry the user chose from the history
    Echo,          // the device's report of an emitted frame, shown even while the view is held
    Inversion,     // the same frame in the other view
};

// One announcement: a frame came or the current frame changed, and why. Valid only during the
// call to the observers.
struct FrameEvent {
    FrameChange why;
    // The frame announced: the current frame's, or for a held device frame the line's own.
    std::span<const int32_t> durations;
    int32_t mode = 1;
    std::optional<SignalCarrier> carrier;
    // The current frame now is this frame. False only for a device frame while the view is held.
    bool shown = true;
    // Where a loaded frame came from (a file's path); empty otherwise.
    std::string_view source;
};

// A feature that follows the frame (history, comparison, the window's enabling).
class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    virtual void FrameChanged(const FrameEvent& event) = 0;
};

} // namespace frame

#pragma once

// Turns receiver edges into frames of durations and keeps them until their lines are written:
// the frame ends after FrameEndUs of silence or at MaxDurations; frames that end while earlier
// ones wait are queued; when there is no room the newest frame is dropped and counted. The last
// complete frame stays readable for "ab1" until new captures need its room.

#include "src/Config.h"

namespace fw {

class FrameStore {
public:
    // One receiver edge at `tick` (Timer1 ticks, extended to 32 bits); `mark` is true when the
    // receiver starts seeing carrier.
    void Edge(uint32_t tick, bool mark);
    // Ends the frame when the line has been dark for FrameEndUs at `now`.
    void Poll(uint32_t now);
    // Forgets the frame being captured (counted as dropped when it had begun); the receiver
    // shows `markNow` from here on.
    void Abort(bool markNow);
    bool Capturing() const { return state_ != State::Idle; }

    // The oldest complete frame not yet written.
    bool HasFrame() const { return queued_ > 0; }
    uint16_t FrameCount() const { return queue_[head_].count; }
    uint16_t FrameDuration(uint16_t i) const { return ring_[Wrap(queue_[head_].start + i)]; }
    // Its line has been written: its room may be reused.
    void FrameWritten();

    // The last complete frame, for re-emission; LastCount() is 0 when there is none (anymore).
    uint16_t LastCount() const { return lastValid_ ? last_.count : 0; }
    uint16_t LastDuration(uint16_t i) const { return ring_[Wrap(last_.start + i)]; }

    uint16_t Dropped() const { return dropped_; }

private:
    enum class State : uint8_t { Idle, InFrame };
    struct Slot {
        uint16_t start;
        uint16_t count;
    };

    static uint16_t Wrap(uint16_t i) { return i >= RingDurations ? i - RingDurations : i; }
    void Append(uint16_t us);
    void Close();
    void Drop();

    uint16_t ring_[RingDurations] = {};
    Slot queue_[QueuedFrames] = {};
    uint8_t head_ = 0;
    uint8_t queued_ = 0;
    uint16_t used_ = 0;     // ring entries held by queued frames
    uint16_t writePos_ = 0; // where the next frame starts

    State state_ = State::Idle;
    uint16_t count_ = 0;    // durations of the frame in capture
    bool overflow_ = false; // the frame in capture no longer fits: it is being dropped
    uint32_t lastTick_ = 0; // its latest edge
    uint32_t prevTick_ = 0; // the edge before, to undo a noise pulse
    bool level_ = false;    // true while a mark is on

    Slot last_ = {};
    bool lastValid_ = false;
    uint16_t dropped_ = 0;
};

} // namespace fw

#include "src/Capture.h"

namespace fw {

void FrameStore::Edge(uint32_t tick, bool mark) {
    if (mark == level_)
        return;
    level_ = mark;
    if (state_ == State::Idle) {
        // A frame starts with a mark; the dark after a frame cut at MaxDurations is not part of
        // any line.
        if (mark) {
            state_ = State::InFrame;
            count_ = 0;
            overflow_ = false;
            lastTick_ = prevTick_ = tick;
        }
        return;
    }
    const uint32_t ticks = tick - lastTick_;
    if (ticks < MinPulseUs * TicksPerUs) {
        // A noise pulse: it and the pulse it interrupted become one with the one before.
        if (count_ == 0) {
            state_ = State::Idle;
            return;
        }
        --count_;
        lastTick_ = prevTick_;
        return;
    }
    const uint32_t us = (ticks + TicksPerUs / 2) / TicksPerUs;
    Append(us > 0xFFFF ? 0xFFFF : uint16_t(us));
    prevTick_ = lastTick_;
    lastTick_ = tick;
    if (count_ == MaxDurations)
        Close();
}

void FrameStore::Append(uint16_t us) {
    if (!overflow_ && used_ + count_ >= RingDurations)
        overflow_ = true;
    if (!overflow_) {
        const uint16_t pos = Wrap(writePos_ + count_);
        if (lastValid_ && Wrap(pos + RingDurations - last_.start) < last_.count)
            lastValid_ = false;
        ring_[pos] = us;
    }
    ++count_;
}

void FrameStore::Poll(uint32_t now) {
    // Signed: a time that reads as older than the latest edge (taken as the counter wraps) is no
    // silence.
    if (state_ == State::InFrame && !level_ &&
        int32_t(now - lastTick_) >= int32_t(FrameEndUs * TicksPerUs))
        Close();
}

void FrameStore::Close() {
    if (overflow_ || queued_ == QueuedFrames) {
        Drop();
        return;
    }
    Slot& slot = queue_[(head_ + queued_) % QueuedFrames];
    slot.start = writePos_;
    slot.count = count_;
    ++queued_;
    used_ += count_;
    last_ = slot;
    lastValid_ = true;
    writePos_ = Wrap(writePos_ + count_);
    state_ = State::Idle;
}

void FrameStore::Drop() {
    if (dropped_ != 0xFFFF)
        ++dropped_;
    state_ = State::Idle;
}

void FrameStore::Abort(bool markNow) {
    if (state_ == State::InFrame)
        Drop();
    level_ = markNow;
}

void FrameStore::FrameWritten() {
    if (queued_ == 0)
        return;
    used_ -= queue_[head_].count;
    head_ = uint8_t((head_ + 1) % QueuedFrames);
    --queued_;
}

} // namespace fw

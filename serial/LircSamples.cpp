#include "serial/LircSamples.h"

#include <cstring>
#include <limits>

namespace serial {

TLircFrameAssembler::TLircFrameAssembler(uint32_t gapUs, size_t maxDurations)
    : gapUs_(gapUs), maxDurations_(maxDurations) {}

void TLircFrameAssembler::Feed(std::span<const std::byte> bytes, std::vector<TLircEvent>& events) {
    constexpr size_t SampleSize = sizeof(uint32_t);
    while (!bytes.empty()) {
        const size_t taken = std::min(SampleSize - partialSize_, bytes.size());
        std::memcpy(partial_ + partialSize_, bytes.data(), taken);
        partialSize_ += taken;
        bytes = bytes.subspan(taken);
        if (partialSize_ == SampleSize) {
            uint32_t sample = 0;
            std::memcpy(&sample, partial_, SampleSize);
            partialSize_ = 0;
            Take(sample, events);
        }
    }
}

void TLircFrameAssembler::Take(uint32_t sample, std::vector<TLircEvent>& events) {
    const uint32_t value = sample & LircValueMask;
    switch (static_cast<TLircSampleKind>(sample >> LircKindShift)) {
    case TLircSampleKind::Pulse:
        if (!dropping_) {
            Add(true, value);
        }
        break;
    case TLircSampleKind::Space:
        if (value >= gapUs_) {
            EndFrame(events);
        } else if (count_ > 0 && !dropping_) {
            Add(false, value);
        }
        break;
    case TLircSampleKind::Frequency:
        // Receivers that measure the carrier report it beside the marks it belongs to; one that
        // reports it before the first mark gives it to the frame that follows.
        carrier_ = value;
        break;
    case TLircSampleKind::Timeout:
        EndFrame(events);
        break;
    case TLircSampleKind::Overflow:
        // Samples are missing from here on; what follows until the frame's end is no frame.
        if (!dropping_) {
            events.push_back(TLircEvent::Of(TLircEvent::TKind::Overflow));
        }
        dropping_ = true;
        durations_.clear();
        count_ = 0;
        break;
    default:
        break; // kinds newer kernels may add carry nothing a frame needs
    }
}

void TLircFrameAssembler::Add(bool mark, uint32_t us) {
    // The kernel may split one long mark or space over two samples.
    if (count_ > 0 && mark == lastMark_) {
        if (count_ <= durations_.size()) {
            const int64_t sum = int64_t{durations_.back()} + us;
            durations_.back() =
                static_cast<int32_t>(std::min<int64_t>(sum, std::numeric_limits<int32_t>::max()));
        }
        return;
    }
    if (count_ == 0 && !mark) {
        return;
    }
    ++count_;
    lastMark_ = mark;
    if (durations_.size() < maxDurations_) {
        durations_.push_back(static_cast<int32_t>(us));
    }
}

void TLircFrameAssembler::EndFrame(std::vector<TLircEvent>& events) {
    if (count_ > 0 && !lastMark_) {
        --count_; // the frame ends with its last mark
        if (durations_.size() > count_) {
            durations_.pop_back();
        }
    }
    if (count_ > maxDurations_) {
        events.push_back(TLircEvent::Of(TLircEvent::TKind::TooLong, count_));
    } else if (count_ > 0) {
        events.push_back(TLircEvent::FrameOf(durations_, carrier_));
    }
    if (count_ > 0 || dropping_) {
        carrier_.reset();
    }
    durations_.clear();
    count_ = 0;
    lastMark_ = false;
    dropping_ = false;
}

} // namespace serial

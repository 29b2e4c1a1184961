#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace serial {

// What a LIRC device reads in mode2: 32-bit samples in host order, the kind in the top 8 bits and
// the value (µs, or Hz for a carrier) in the low 24, as the kernel's LIRC device interface
// documents it (docs.kernel.org, userspace-api/media/rc/lirc-dev-intro, "LIRC_MODE_MODE2").
// LircKernel.cpp checks these values against the kernel's header.
inline constexpr uint32_t LircKindShift = 24;
inline constexpr uint32_t LircValueMask = 0x00FFFFFF;
enum class TLircSampleKind : uint32_t {
    Space = 0,
    Pulse = 1,
    Frequency = 2,
    Timeout = 3,
    Overflow = 4,
};

constexpr uint32_t LircSample(TLircSampleKind kind, uint32_t value) {
    return (static_cast<uint32_t>(kind) << LircKindShift) | (value & LircValueMask);
}

// One thing the sample stream tells.
struct TLircEvent {
    enum class TKind {
        Frame,    // Durations holds a frame: marks and spaces alternating, a mark first and last
        TooLong,  // a frame of Count durations, more than the limit; nothing of it is kept
        Overflow, // the kernel's buffer overflowed: the frame in progress is lost
    };
    TKind Kind = TKind::Frame;
    std::vector<int32_t> Durations;
    std::optional<uint32_t> CarrierHz; // where the receiver measured it
    size_t Count = 0;

    static TLircEvent FrameOf(std::vector<int32_t> durations, std::optional<uint32_t> carrierHz) {
        TLircEvent event;
        event.Durations = std::move(durations);
        event.CarrierHz = carrierHz;
        return event;
    }
    static TLircEvent Of(TKind kind, size_t count = 0) {
        TLircEvent event;
        event.Kind = kind;
        event.Count = count;
        return event;
    }

    friend bool operator==(const TLircEvent&, const TLircEvent&) = default;
};

// Turns the bytes read from a LIRC device into frames. A frame starts with its first mark (the
// silence before it is no part of it) and ends with its last mark: at a time-out sample, at a space
// of at least `gapUs`, or when the caller says the device has been silent that long (EndFrame).
// Reads may end inside a sample; the rest of it is kept for the next Feed.
class TLircFrameAssembler {
public:
    TLircFrameAssembler(uint32_t gapUs, size_t maxDurations);

    void SetGap(uint32_t gapUs) { gapUs_ = gapUs; }
    void Feed(std::span<const std::byte> bytes, std::vector<TLircEvent>& events);
    void EndFrame(std::vector<TLircEvent>& events);
    bool InFrame() const { return count_ > 0 || dropping_; }

private:
    void Take(uint32_t sample, std::vector<TLircEvent>& events);
    void Add(bool mark, uint32_t us);

    uint32_t gapUs_;
    size_t maxDurations_;
    std::vector<int32_t> durations_;
    size_t count_ = 0; // durations of the frame so far, also those past the limit
    bool lastMark_ = false;
    bool dropping_ = false; // after an overflow, until the frame's end
    std::optional<uint32_t> carrier_;
    std::byte partial_[4]{};
    size_t partialSize_ = 0;
};

} // namespace serial

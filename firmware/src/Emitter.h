#pragma once

// What the device sends out: the durations collected with "AT+SND=p,d", and the schedule that
// turns a list of durations into carrier on/off steps for the hardware's timer.

#include "src/Config.h"

namespace fw {

// The durations of "AT+SND=p,d". Durations up to 65534 us take two bytes each; longer ones (the
// gaps between repeated frames) are kept apart, LongDurations of them per set. Zero and negative
// durations are kept as 0 and emit nothing.
class SendSet {
public:
    // False when the set has no room for another long duration.
    bool Store(uint16_t position, int32_t value);
    // Whether every position 1..count came since the last call; the next set starts empty either
    // way, so a pulse is never emitted twice by accident.
    bool TakeComplete(uint16_t count);
    // Duration of entry `index` (position index + 1) in us.
    uint32_t At(uint16_t index) const;

private:
    static constexpr uint16_t LongMark = 0xFFFF;
    struct Long {
        uint16_t index;
        uint32_t us;
    };

    uint16_t values_[MaxDurations] = {};
    uint8_t present_[(MaxDurations + 7) / 8] = {};
    Long long_[LongDurations] = {};
    uint8_t longs_ = 0;
    bool taken_ = false; // the long durations belong to a set already emitted
};

// Steps through durations (mark first): each step is a carrier state and how long it lasts.
// Durations of 0 take no time, so the pulses on both sides of one join.
class Emission {
public:
    using Source = uint32_t (*)(uint16_t index);

    void Start(Source source, uint16_t count);
    // The next step; false when the durations are all sent.
    bool Next(bool& mark, uint16_t& ticks);

private:
    // Steps stay below half the timer's period so that a passed deadline can be told from a
    // future one; longer durations take several steps.
    static constexpr uint32_t MaxStepUs = 15000;

    Source source_ = nullptr;
    uint16_t count_ = 0;
    uint16_t index_ = 0;
    uint32_t remaining_ = 0;
    bool mark_ = false;
};

} // namespace fw

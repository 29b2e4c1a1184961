#include "src/Emitter.h"

namespace fw {

bool SendSet::Store(uint16_t position, int32_t value) {
    if (taken_) {
        longs_ = 0;
        taken_ = false;
    }
    const uint16_t index = position - 1;
    const uint32_t us = value > 0 ? uint32_t(value) : 0;
    if (us < LongMark) {
        values_[index] = uint16_t(us);
    } else {
        uint8_t slot = 0;
        while (slot < longs_ && long_[slot].index != index)
            ++slot;
        if (slot == longs_) {
            if (longs_ == LongDurations)
                return false;
            ++longs_;
        }
        long_[slot] = Long{index, us};
        values_[index] = LongMark;
    }
    present_[index / 8] |= uint8_t(1U << (index % 8));
    return true;
}

bool SendSet::TakeComplete(uint16_t count) {
    bool complete = true;
    for (uint16_t i = 0; i < count; ++i)
        complete = complete && (present_[i / 8] & (1U << (i % 8))) != 0;
    for (uint8_t& bits : present_)
        bits = 0;
    taken_ = true;
    return complete;
}

uint32_t SendSet::At(uint16_t index) const {
    if (values_[index] != LongMark)
        return values_[index];
    for (uint8_t slot = 0; slot < longs_; ++slot)
        if (long_[slot].index == index)
            return long_[slot].us;
    return 0;
}

void Emission::Start(Source source, uint16_t count) {
    source_ = source;
    count_ = count;
    index_ = 0;
    remaining_ = 0;
}

bool Emission::Next(bool& mark, uint16_t& ticks) {
    while (remaining_ == 0) {
        if (index_ >= count_)
            return false;
        remaining_ = source_(index_);
        mark_ = index_ % 2 == 0;
        ++index_;
    }
    const uint32_t step = remaining_ < MaxStepUs ? remaining_ : MaxStepUs;
    remaining_ -= step;
    mark = mark_;
    ticks = uint16_t(step * TicksPerUs);
    return true;
}

} // namespace fw

#include "tools/irsim/Wave.h"

#include <cmath>
#include <iterator>

namespace irsim {

void WaveBuilder::Add(bool mark, double us) {
    const int64_t whole = std::llround(us);
    elapsed_ += whole;
    if (!levels_.empty() && levels_.back().first == mark)
        levels_.back().second += whole;
    else
        levels_.emplace_back(mark, whole);
}

Durations WaveBuilder::Take() const {
    auto first = levels_.begin();
    auto last = levels_.end();
    while (first != last && !first->first)
        ++first;
    while (last != first && !std::prev(last)->first)
        --last;
    Durations durations;
    for (auto it = first; it != last; ++it)
        durations.push_back(int32_t(it->second));
    return durations;
}

UnitWriter& UnitWriter::Units(std::initializer_list<double> units) {
    Send(units);
    return *this;
}

UnitWriter& UnitWriter::Micros(std::initializer_list<double> us) {
    for (const double d : us)
        wave_.Add(d > 0, std::abs(d));
    return *this;
}

UnitWriter& UnitWriter::Bits(uint64_t value, int count, const BitSymbols& symbols) {
    for (int i = 0; i < count; ++i) {
        const int bit = msbFirst_ ? count - 1 - i : i;
        pending_.push_back((value >> bit) & 1);
        if (int(pending_.size()) < symbols.bitsPerSymbol)
            continue;
        std::size_t index = 0;
        for (const bool b : pending_)
            index = index << 1 | std::size_t(b);
        pending_.clear();
        Send(symbols.symbols[index]);
    }
    return *this;
}

UnitWriter& UnitWriter::StartFrame() {
    frameStart_ = wave_.Elapsed();
    return *this;
}

UnitWriter& UnitWriter::Extent(double us) {
    const double left = frameStart_ + us - wave_.Elapsed();
    if (left > 0)
        wave_.Add(false, left);
    return *this;
}

void UnitWriter::Send(const std::vector<double>& symbol) {
    for (const double units : symbol)
        wave_.Add(units > 0, std::abs(units) * unit_);
}

} // namespace irsim

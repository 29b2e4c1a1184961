#pragma once

// Frames built as the light goes: bursts of carrier (marks) and dark (spaces), written either in
// microseconds or in a protocol's time unit with a table of bit symbols, the way IRP notation
// describes remotes.

#include "tools/irsim/Protocol.h"

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace irsim {

class WaveBuilder {
public:
    // Adjacent levels of the same kind merge. Each piece is rounded to whole microseconds as it
    // comes, so that time since the start is what has been sent: an extent then makes the frame's
    // period exact even with a unit that is no whole number of microseconds.
    void Add(bool mark, double us);

    // Time since the start, in microseconds.
    int64_t Elapsed() const { return elapsed_; }

    // The receiver sees neither the dark before the first mark nor after the last one.
    Durations Take() const;

private:
    std::vector<std::pair<bool, int64_t>> levels_;
    int64_t elapsed_ = 0;
};

// One way of sending bits: symbol i is sent for the bit group of value i (one bit per symbol, or
// two, the first bit the high one). A symbol is a list of durations in units, positive for a mark,
// negative for a space.
struct BitSymbols {
    std::vector<std::vector<double>> symbols;
    int bitsPerSymbol = 1;
};

class UnitWriter {
public:
    UnitWriter(double unitUs, bool msbFirst, BitSymbols symbols)
        : unit_(unitUs), msbFirst_(msbFirst), symbols_(std::move(symbols)) {}

    // Durations in units: positive for a mark, negative for a space.
    UnitWriter& Units(std::initializer_list<double> units);
    // The same in microseconds.
    UnitWriter& Micros(std::initializer_list<double> us);
    // The low `count` bits of `value`, in the writer's bit order, through its symbols.
    UnitWriter& Bits(uint64_t value, int count) { return Bits(value, count, symbols_); }
    UnitWriter& Bits(uint64_t value, int count, const BitSymbols& symbols);
    // A new frame (or repeat code) starts here: extents count from this point.
    UnitWriter& StartFrame();
    // Dark until the frame, counted from its start, lasts `us` (IRP's "^" extent).
    UnitWriter& Extent(double us);

    Durations Take() const { return wave_.Take(); }

private:
    void Send(const std::vector<double>& symbol);

    double unit_;
    bool msbFirst_;
    BitSymbols symbols_;
    std::vector<bool> pending_; // bits waiting for the rest of their symbol
    double frameStart_ = 0;
    WaveBuilder wave_;
};

} // namespace irsim

#pragma once

// Relations between two signals: how far a capture differs from a reference, and whether a
// signal is the repeat code of a decoded frame. Standard library only.

#include "analysis/Analysis.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace analysis {

struct Comparison {
    std::size_t compared = 0;  // durations present in both signals
    std::size_t differing = 0; // of those, the ones outside the reference's window
    std::size_t extra = 0;     // durations only one of the two signals has
    int32_t largest = 0;       // largest difference in microseconds (magnitude)
    double mean = 0.0;         // mean difference in microseconds (magnitude) over `compared`
    std::vector<bool> differs; // per compared duration: outside the window
};

// Compares `signal` with `reference` duration by duration (magnitudes; index 0 a mark), using the
// analysis's tolerance window around each reference duration.
Comparison Compare(std::span<const int32_t> reference, std::span<const int32_t> signal);

// True when `signal` is exactly what `frame`'s protocol sends after that frame while the key stays
// held: a ditto, or the same frame again (same toggle), within the tolerance windows.
bool IsRepeatOf(const Decode& frame, std::span<const int32_t> signal);

} // namespace analysis

#pragma once

// The receiver's distortion as read from a whole signal (internal to analysis/): what the generic
// reading and the comparison of two signals allow for. Each protocol decode fits its own lag in
// the IRP engine instead.

#include "analysis/Analysis.h"

#include <span>

namespace analysis::detail {

// The receiver's distortion as estimated from one signal: marks come out longer and spaces shorter
// than sent by `lag` microseconds. Windows are centred on the nominal value shifted by the lag.
class Tolerance {
public:
    explicit Tolerance(int32_t lagUs = 0) : lag_(lagUs) {}
    int32_t lag() const { return lag_; }

    // The allowed window of a mark or a space of the given nominal length.
    Window Mark(int32_t nominal) const;
    Window Space(int32_t nominal) const;
    bool FitsMark(int32_t value, int32_t nominal) const;
    bool FitsSpace(int32_t value, int32_t nominal) const;

private:
    int32_t lag_;
};

// Estimates the lag from the signal's own durations (magnitudes, mark first).
Tolerance EstimateTolerance(std::span<const int32_t> durations);

// The reading of a signal that no listed protocol fits (magnitudes, mark first).
Generic AnalyseGeneric(std::span<const int32_t> durations, const Tolerance& tolerance);

} // namespace analysis::detail

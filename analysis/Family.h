#pragma once

// How the protocol families plug into the analysis engine (internal to analysis/). A family is a
// group of protocols sharing one shape (none today: every protocol is a table row); it lists
// its protocols, decodes a frame at a given start and renders nominal durations. The engine
// (Analysis.cpp) estimates the receiver's distortion once, asks every family at every start that no
// accepted decode covers yet, keeps the most robust and longest candidate, and checks parameters
// before rendering.

#include "analysis/Analysis.h"
#include "analysis/ProtocolTable.h"

#include <span>
#include <string_view>
#include <vector>

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

struct Candidate {
    Decode decode;
    Robustness robustness = Robustness::Weak;
    // The table row that decoded it (its place in the table and the names it wins against);
    // empty for the families still outside the table.
    std::string row;
    std::size_t order = 0;
    const std::vector<std::string>* preferredOver = nullptr;
    double residualUs = 0; // how far the durations are from the fitted timing
    int32_t lagUs = 0;     // the receiver lag the fit assumed
    bool described = true; // false: the engine's decode still lacks its windows and spans
};

struct Family {
    std::vector<ProtocolInfo> protocols;
    // Every decode of the family's protocols whose first frame starts at `at` (an even index: a
    // mark), with the repeats that follow it. `durations` are magnitudes.
    std::vector<Candidate> (*decode)(std::span<const int32_t> durations, std::size_t at,
                                     const Tolerance& tolerance) = nullptr;
    // Nominal durations of one of the family's protocols: `params` are complete (defaults filled
    // in) and within range, in the protocol's order; the result ends with a mark.
    Durations (*render)(std::string_view protocol, const std::vector<Param>& params,
                        int repeats) = nullptr;
};

// The reading of a signal that no listed protocol fits (magnitudes, mark first).
Generic AnalyseGeneric(std::span<const int32_t> durations, const Tolerance& tolerance);

} // namespace analysis::detail

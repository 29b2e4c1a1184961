#pragma once

// The frame with its decoded stretches at their protocols' nominal timings.

#include "analysis/Analysis.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace ui {

using NominalTimings = std::function<analysis::Durations(const analysis::Decode&)>;

// Every decoded stretch of `durations` replaced by `nominal` of its decode (by default the
// protocol's rendering with the same parameters and repeats); durations no decode covers stay as
// they were, so nothing captured is lost. Marks and spaces keep alternating: a stretch that ended
// with a space (the gap before what follows) keeps that space as captured. nullopt when there is
// no decode, a decode does not lie within the durations in order, or cannot be rendered.
std::optional<std::vector<int32_t>>
CleanDurations(std::span<const int32_t> durations, const std::vector<analysis::Decode>& decodes,
               const NominalTimings& nominal = &analysis::CleanUp);

} // namespace ui

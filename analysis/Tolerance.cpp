#include "analysis/Family.h"

#include <algorithm>

namespace analysis::detail {

// Placeholder window: ±25 % and ±150 us around the lag-corrected nominal value.
namespace {
Window Around(int32_t centre, int32_t nominal) {
    const int32_t half = std::max<int32_t>(150, nominal / 4);
    return {nominal, std::max<int32_t>(1, centre - half), centre + half};
}
} // namespace

Window Tolerance::Mark(int32_t nominal) const {
    return Around(nominal + lag_, nominal);
}
Window Tolerance::Space(int32_t nominal) const {
    return Around(nominal - lag_, nominal);
}
bool Tolerance::FitsMark(int32_t value, int32_t nominal) const {
    const Window w = Mark(nominal);
    return value >= w.low && value <= w.high;
}
bool Tolerance::FitsSpace(int32_t value, int32_t nominal) const {
    const Window w = Space(nominal);
    return value >= w.low && value <= w.high;
}

Tolerance EstimateTolerance(std::span<const int32_t>) {
    return Tolerance(0);
}

} // namespace analysis::detail

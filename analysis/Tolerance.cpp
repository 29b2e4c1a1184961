#include "analysis/Tolerance.h"
#include "analysis/irp/Irp.h"

#include <algorithm>
#include <array>
#include <limits>

namespace analysis::detail {
namespace {

// The window around a duration: 150 us plus 20 % of the nominal value either side of the
// lag-corrected centre. The absolute part covers a lag the estimate missed (up to about 150 us
// on short units, e.g. Sharp's 264 us marks) plus jitter; the relative part covers units that
// differ between published definitions or remotes (JVC 525/527 us, Samsung36 500/560 us,
// Pioneer captures at 530 us) and long leads. Neighbouring symbols stay apart: the
// shortest ratio between two symbols of a pulse code listed is 1:2, whose windows meet only at
// units below 125 us; where they overlap, the nearer symbol decides.
constexpr int32_t kAbsoluteUs = 150;
constexpr int32_t kRelativePercent = 20;

// Worked out in 64 bits and clamped, so a huge nominal length cannot overflow the window.
Window Around(int64_t centre, int32_t nominal) {
    const int64_t half = kAbsoluteUs + int64_t{nominal} * kRelativePercent / 100;
    const auto clamp = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, 1, std::numeric_limits<int32_t>::max()));
    };
    return {nominal, clamp(centre - half), clamp(centre + half)};
}

// Receivers lengthen marks and shorten spaces by the same lag, 50-150 us. Nearly every code
// sends its shortest mark and its shortest space at one unit each, so half the difference
// between the two is the lag. Where the shortest space is nominally longer (Sharp, RCA, RECS80)
// the difference comes out negative and the lag is taken as 0: the window's absolute part
// covers it. The tenth-percentile value stands for "shortest" so that a stray glitch does not.
constexpr std::size_t kSample = 256;
constexpr int32_t kLongestBitUs = 20000; // gaps tell nothing about the lag

int32_t LowPercentile(std::array<int32_t, kSample>& values, std::size_t count) {
    const auto nth = values.begin() + static_cast<std::ptrdiff_t>(count / 10);
    std::nth_element(values.begin(), nth, values.begin() + static_cast<std::ptrdiff_t>(count));
    return *nth;
}

} // namespace

Window Tolerance::Mark(int32_t nominal) const {
    return Around(int64_t{nominal} + lag_, nominal);
}
Window Tolerance::Space(int32_t nominal) const {
    return Around(int64_t{nominal} - lag_, nominal);
}
bool Tolerance::FitsMark(int32_t value, int32_t nominal) const {
    const Window w = Mark(nominal);
    return value >= w.low && value <= w.high;
}
bool Tolerance::FitsSpace(int32_t value, int32_t nominal) const {
    const Window w = Space(nominal);
    return value >= w.low && value <= w.high;
}

Tolerance EstimateTolerance(std::span<const int32_t> durations) {
    std::array<int32_t, kSample> marks{};
    std::array<int32_t, kSample> spaces{};
    std::size_t markCount = 0;
    std::size_t spaceCount = 0;
    for (std::size_t i = 0; i < durations.size(); ++i) {
        const int32_t d = durations[i];
        if (d <= 0 || d > kLongestBitUs)
            continue;
        if (i % 2 == 0 && markCount < kSample)
            marks[markCount++] = d;
        else if (i % 2 == 1 && spaceCount < kSample)
            spaces[spaceCount++] = d;
        if (markCount == kSample && spaceCount == kSample)
            break;
    }
    if (markCount < 4 || spaceCount < 4)
        return Tolerance(0);
    const int32_t mark = LowPercentile(marks, markCount);
    const int32_t space = LowPercentile(spaces, spaceCount);
    return Tolerance(std::clamp((mark - space) / 2, 0, irp::kMaxLagUs));
}

} // namespace analysis::detail

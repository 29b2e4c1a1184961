#include "analysis/Compare.h"

#include "analysis/Tolerance.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace analysis {
namespace {

bool Fits(const detail::Tolerance& tolerance, std::size_t index, int32_t nominal, int32_t value) {
    return index % 2 == 0 ? tolerance.FitsMark(value, nominal)
                          : tolerance.FitsSpace(value, nominal);
}

// What the protocol may send after its first frame while the key is held, without the gap before
// it: one form, or for a lone frame named for several repeat forms (a ditto, the frame again) each.
std::vector<Durations> RepeatParts(const Decode& frame) {
    std::vector<Durations> parts;
    for (const std::string& name : LoneNameMembers(frame.protocol)) {
        const auto once = Render(name, frame.params, 0);
        const auto twice = Render(name, frame.params, 1);
        if (once && twice && twice->size() > once->size() + 1)
            parts.emplace_back(twice->begin() + static_cast<std::ptrdiff_t>(once->size()) + 1,
                               twice->end());
    }
    return parts;
}

} // namespace

Comparison Compare(std::span<const int32_t> reference, std::span<const int32_t> signal) {
    const detail::Tolerance tolerance(0);
    Comparison result;
    result.compared = std::min(reference.size(), signal.size());
    result.extra = std::max(reference.size(), signal.size()) - result.compared;
    result.differs.resize(result.compared);
    double sum = 0.0;
    for (std::size_t i = 0; i < result.compared; ++i) {
        const int32_t r = Magnitude(reference[i]);
        const int32_t s = Magnitude(signal[i]);
        const int64_t difference = std::abs(static_cast<int64_t>(r) - s);
        sum += static_cast<double>(difference);
        result.largest = static_cast<int32_t>(std::min<int64_t>(
            std::max<int64_t>(result.largest, difference), std::numeric_limits<int32_t>::max()));
        result.differs[i] = !Fits(tolerance, i, r, s);
        result.differing += result.differs[i] ? 1 : 0;
    }
    if (result.compared > 0)
        result.mean = sum / static_cast<double>(result.compared);
    return result;
}

bool IsRepeatOf(const Decode& frame, std::span<const int32_t> signal) {
    Durations magnitudes(signal.size());
    std::transform(signal.begin(), signal.end(), magnitudes.begin(), Magnitude);
    const detail::Tolerance tolerance = detail::EstimateTolerance(magnitudes);
    const auto fits = [&](const Durations& repeat) {
        if (repeat.size() != magnitudes.size())
            return false;
        for (std::size_t i = 0; i < magnitudes.size(); ++i)
            if (!Fits(tolerance, i, repeat[i], magnitudes[i]))
                return false;
        return true;
    };
    const std::vector<Durations> parts = RepeatParts(frame);
    return std::any_of(parts.begin(), parts.end(), fits);
}

} // namespace analysis

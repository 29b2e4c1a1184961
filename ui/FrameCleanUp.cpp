#include "ui/FrameCleanUp.h"

namespace ui {

std::optional<std::vector<int32_t>> CleanDurations(std::span<const int32_t> durations,
                                                   const std::vector<analysis::Decode>& decodes,
                                                   const NominalTimings& nominal) {
    if (decodes.empty()) {
        return std::nullopt;
    }
    std::vector<int32_t> clean;
    std::size_t next = 0; // the first duration not yet taken over
    for (const analysis::Decode& decode : decodes) {
        if (decode.first < next || decode.first > decode.last || decode.last >= durations.size()) {
            return std::nullopt;
        }
        analysis::Durations stretch = nominal(decode);
        if (stretch.empty()) {
            return std::nullopt;
        }
        clean.insert(clean.end(), durations.begin() + static_cast<std::ptrdiff_t>(next),
                     durations.begin() + static_cast<std::ptrdiff_t>(decode.first));
        const bool endsWithSpace = (decode.last - decode.first) % 2 == 1;
        const bool nominalEndsWithSpace = stretch.size() % 2 == 0;
        if (nominalEndsWithSpace && !endsWithSpace) {
            stretch.pop_back();
        }
        clean.insert(clean.end(), stretch.begin(), stretch.end());
        if (endsWithSpace && !nominalEndsWithSpace) {
            clean.push_back(durations[decode.last]);
        }
        next = decode.last + 1;
    }
    clean.insert(clean.end(), durations.begin() + static_cast<std::ptrdiff_t>(next),
                 durations.end());
    return clean;
}

} // namespace ui

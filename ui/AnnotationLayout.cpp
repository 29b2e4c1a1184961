#include "ui/AnnotationLayout.h"

#include "frame/FrameCore.h"

#include <algorithm>
#include <cstdlib>

namespace ui {
namespace {

constexpr double HighLevel = frame::WaveHighLevel;
constexpr double LowLevel = frame::WaveLowLevel;

std::string DefaultText(analysis::Span::Kind kind) {
    switch (kind) {
    case analysis::Span::Kind::Lead:
        return "nagłówek";
    case analysis::Span::Kind::Trailer:
        return "stop";
    case analysis::Span::Kind::Repeat:
        return "powtórzenie";
    case analysis::Span::Kind::Bit:
    case analysis::Span::Kind::Field:
        break;
    }
    return {};
}

} // namespace

std::string DecodeSummary(const analysis::Decode& decode) {
    std::string text = decode.protocol;
    for (const analysis::Param& param : decode.params) {
        text += "  " + param.name + "=" + std::to_string(param.value);
    }
    if (decode.repeats > 0) {
        text += "  ×" + std::to_string(decode.repeats);
    }
    return text;
}

// The analysis names encodings in English (irdecode prints them); the window speaks Polish.
std::string PolishEncoding(const std::string& encoding) {
    if (encoding == "pulse distance")
        return "kodowanie odstępem impulsów";
    if (encoding == "pulse width")
        return "kodowanie szerokością impulsów";
    if (encoding == "bi-phase")
        return "kodowanie dwufazowe";
    return encoding;
}

std::string GenericSummary(const analysis::Generic& generic) {
    std::string text = "Nieznany protokół";
    if (!generic.encoding.empty() && generic.encoding != "unknown") {
        text += ": " + PolishEncoding(generic.encoding);
    }
    if (!generic.bits.empty()) {
        text += ", bitów: " + std::to_string(generic.bits.size());
        if (!generic.hexMsb.empty()) {
            text += ", MSB " + generic.hexMsb;
        }
        if (!generic.hexLsb.empty()) {
            text += ", LSB " + generic.hexLsb;
        }
    }
    return text;
}

AnnotationLayout LayOutAnnotation(std::span<const int32_t> durations, double firstLevel,
                                  const analysis::Result& result) {
    AnnotationLayout layout;
    if (durations.empty()) {
        return layout;
    }
    // Edge times summed as the wave's are, so the annotation sits on the drawn edges.
    std::vector<double> edges{0.0};
    std::vector<double> levels;
    int64_t x = 0;
    double level = firstLevel;
    for (const int32_t d : durations) {
        x += d;
        edges.push_back(static_cast<double>(x));
        levels.push_back(level);
        level = level == HighLevel ? LowLevel : HighLevel;
    }
    const std::size_t count = durations.size();

    for (const analysis::Decode& decode : result.decodes) {
        if (decode.first >= count) {
            continue;
        }
        layout.Summary.push_back({edges[decode.first], DecodeSummary(decode)});
        for (const analysis::Span& span : decode.spans) {
            if (span.first > span.last || span.last >= count) {
                continue;
            }
            AnnotationBox box{span.kind, edges[span.first], edges[span.last + 1],
                              span.label.empty() ? DefaultText(span.kind) : span.label};
            (span.kind == analysis::Span::Kind::Field ? layout.Fields : layout.Symbols)
                .push_back(std::move(box));
        }
        for (std::size_t k = 0; k < decode.windows.size() && decode.first + k < count; ++k) {
            const std::size_t i = decode.first + k;
            const analysis::Window& window = decode.windows[k];
            const int64_t magnitude = std::llabs(static_cast<long long>(durations[i]));
            // A negative duration (a hand-edited file) runs backwards; so does its window.
            const double direction = durations[i] < 0 ? -1.0 : 1.0;
            const double near = edges[i] + direction * window.low;
            const double far = edges[i] + direction * window.high;
            layout.Timings.push_back({i, edges[i], edges[i + 1], levels[i], std::min(near, far),
                                      std::max(near, far),
                                      magnitude < window.low || magnitude > window.high});
        }
    }
    if (layout.Summary.empty()) {
        layout.Summary.push_back({0.0, GenericSummary(result.generic)});
    }
    return layout;
}

} // namespace ui

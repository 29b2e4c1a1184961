#pragma once

// Where the protocol annotation of a frame goes, in the chart's time coordinates (microseconds from
// the frame's start, the X of the wave's points). A pure function of the drawn durations and their
// analysis, so painting only maps these times to pixels.

#include "analysis/Analysis.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ui {

// A labelled stretch of the annotation row: a lead, a bit, a trailer, a repeat or a field.
struct AnnotationBox {
    analysis::Span::Kind Kind = analysis::Span::Kind::Bit;
    double Start = 0.0;
    double End = 0.0;
    std::string Text; // UTF-8
};

// One decoded duration: the stretch of the wave it is drawn as, and where its closing edge may
// fall.
struct TimedDuration {
    std::size_t Index = 0;
    double Start = 0.0;
    double End = 0.0;
    double Level = 0.0;
    double WindowStart = 0.0; // the allowed window of the closing edge, WindowStart <= WindowEnd
    double WindowEnd = 0.0;
    bool Outside = false; // the captured value lies outside its window
};

struct AnnotationText {
    double Start = 0.0; // where its decode begins
    std::string Text;   // UTF-8
};

struct AnnotationLayout {
    std::vector<AnnotationBox> Symbols;  // leads, bits, trailers and repeats
    std::vector<AnnotationBox> Fields;   // "D=4", "F=8", ...
    std::vector<TimedDuration> Timings;  // every duration a decode covers
    std::vector<AnnotationText> Summary; // one per decode, or the generic reading
};

// "NEC1  D=4  S=251  F=8  ×3" (the repeat count only when repeats follow).
std::string DecodeSummary(const analysis::Decode& decode);
// The reading of a signal no protocol fits: "Nieznany protokół: kodowanie odstępem impulsów,
// bitów: 32, MSB 20DF10EF, LSB 04FB08F7", shortened to what the analysis found.
std::string GenericSummary(const analysis::Generic& generic);

// `durations` as drawn (signed, frame order), the first pulse at `firstLevel`, the levels then
// alternating between high and low as the wave does. Spans or windows a decode places beyond the
// durations are left out. An empty frame has an empty layout.
AnnotationLayout LayOutAnnotation(std::span<const int32_t> durations, double firstLevel,
                                  const analysis::Result& result);

} // namespace ui

#pragma once

// irdecode's two outputs for one signal: readable lines, and one JSON object.
//
// The JSON object (one per input signal, on one line; the keys are stable):
//   "line"      where the signal starts (its line in the input, counted from 1)
//   "file"      the file it came from (absent for standard input)
//   "name"      the signal's name, for files of formats that name signals
//   "decodes"   every protocol found, in signal order; empty when none fits. Each:
//       "protocol" its name, "params" {IRP name: integer, in IRP order}, "repeats" how many
//       repeats follow, "repeat_form" "none"|"ditto"|"frame"|"toggled", "first"/"last" the
//       indices of the first and last duration covered (repeats included)
//   "analysis"  the generic reading: "encoding" ("pulse distance", "pulse width", "bi-phase" or
//       "unknown"), "bits" ('0'/'1' as sent), "hex_lsb" and "hex_msb" (the bits as hex, each
//       byte's first bit lowest / the first bit highest), "header" ([mark, space] or null),
//       "mark_clusters" and "space_clusters" (centres of the durations found, ascending, µs)

#include "analysis/Analysis.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace irdecode {

// Where a signal came from.
struct Origin {
    int line = 0;
    std::string file; // empty for standard input
    std::string name; // empty where the format has no names
};

nlohmann::ordered_json JsonReport(const Origin& origin, const analysis::Result& result);

// One line per decode ("NEC1 D=4 S=251 F=8, 3 ditto repeats"), or the generic reading when no
// protocol fits; none for an empty signal. Lines start with "NAME: " for named signals.
std::vector<std::string> PlainReport(const Origin& origin, const analysis::Result& result,
                                     bool empty);

} // namespace irdecode

#pragma once

// Which protocol names a round trip may give back for a rendered signal; shared by the analysis
// tests and the table's accuracy report so both judge a decode by the same rule.

#include "analysis/Analysis.h"

#include <algorithm>
#include <string>
#include <vector>

namespace analysistest {

// Names a signal cannot tell apart: a lone NEC frame, NEC1/NEC2 by their repeats, Pioneer by
// its carrier alone.
inline std::string SignalClass(const std::string& name) {
    for (const char* nec : {"NEC", "NEC1", "NEC2", "Pioneer"})
        if (name == nec)
            return "NEC";
    if (name.starts_with("NEC") && name.ends_with("-f16"))
        return "NEC-f16";
    if (name.starts_with("NECx"))
        return "NECx";
    return name;
}

// Whether a signal rendered as `rendered` may come back named `decoded`: the same signal class,
// the name of a repeat-less frame, or a protocol the table prefers for the same durations (or the
// other way round, where the preferred one's condition does not hold for these parameters).
inline bool SameSignal(const std::string& rendered, const std::string& decoded) {
    if (SignalClass(decoded) == SignalClass(rendered) || analysis::LoneName(rendered) == decoded ||
        analysis::LoneName(decoded) == rendered || analysis::PreferredOver(rendered, decoded))
        return true;
    const std::vector<std::string> members = analysis::LoneNameMembers(decoded);
    return std::any_of(members.begin(), members.end(), [&](const std::string& member) {
        return analysis::PreferredOver(member, rendered);
    });
}

} // namespace analysistest

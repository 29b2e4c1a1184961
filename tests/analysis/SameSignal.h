#pragma once

// Which protocol names a round trip may give back for a rendered signal; shared by the analysis
// tests and the table's accuracy report so both judge a decode by the same rule.

#include "analysis/Analysis.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace analysistest {

// Whether two protocols taking the same parameters render the same lone frames and, held, either
// the same repeats or repeats of another shape (they differ in carrier or held-key form): tried
// over the first parameter's values, the others at their minimum or derived default, wherever both
// render.
inline bool SameLoneFrames(const analysis::ProtocolInfo& a, const analysis::ProtocolInfo& b) {
    const auto sameParam = [](const analysis::ParamInfo& x, const analysis::ParamInfo& y) {
        return x.name == y.name && x.min == y.min && x.max == y.max;
    };
    if (a.params.empty() ||
        !std::equal(a.params.begin(), a.params.end(), b.params.begin(), b.params.end(), sameParam))
        return false;
    bool compared = false;
    const analysis::ParamInfo& first = a.params[0];
    for (int64_t v = first.min; v <= std::min(first.max, first.min + 255); ++v) {
        std::vector<analysis::Param> params{{first.name, v}};
        for (std::size_t i = 1; i < a.params.size(); ++i)
            if (!a.params[i].derivedDefault)
                params.push_back({a.params[i].name, a.params[i].choices.empty()
                                                        ? a.params[i].min
                                                        : a.params[i].choices[0]});
        const auto ra = analysis::Render(a.name, params, 0),
                   rb = analysis::Render(b.name, params, 0);
        if (!ra || !rb)
            continue;
        // Held, they may send repeats of other shapes, but not the same shapes at other timings.
        const auto ha = analysis::Render(a.name, params, 1),
                   hb = analysis::Render(b.name, params, 1);
        if (*ra != *rb || (ha && hb && ha->size() == hb->size() && *ha != *hb))
            return false;
        compared = true;
    }
    return compared;
}

// Names a signal cannot tell apart, from the table: a protocol with a lone-frame name is that
// name's (NEC1 and NEC2 are "NEC"); one preferred over a row whose lone frames it renders the same
// is that row's (Pioneer is NEC2's: only the carrier differs). Worked out once per name: the
// programs using it do not change the table.
inline std::string SignalClass(const std::string& name) {
    static std::map<std::string, std::string> known;
    if (const auto it = known.find(name); it != known.end())
        return it->second;
    const auto& all = analysis::Protocols();
    std::string current = name;
    for (std::size_t step = 0; step <= all.size(); ++step) {
        const std::string lone = analysis::LoneName(current);
        if (lone != current) {
            current = lone;
            break;
        }
        const analysis::ProtocolInfo* self = analysis::FindProtocol(current);
        const auto same = std::find_if(all.begin(), all.end(), [&](const auto& other) {
            return self && other.name != current && analysis::PreferredOver(current, other.name) &&
                   SameLoneFrames(*self, other);
        });
        if (same == all.end())
            break;
        current = same->name;
    }
    return known[name] = current;
}

// Whether a signal rendered as `rendered` may come back named `decoded`: the same signal class,
// the name of a repeat-less frame, or a protocol the table prefers for the same durations (or the
// other way round, where the preferred one's condition does not hold for these parameters), also
// between the members of the two names' classes.
inline bool SameSignal(const std::string& rendered, const std::string& decoded) {
    if (SignalClass(decoded) == SignalClass(rendered) || analysis::LoneName(rendered) == decoded ||
        analysis::LoneName(decoded) == rendered || analysis::PreferredOver(rendered, decoded))
        return true;
    const std::vector<std::string> members = analysis::LoneNameMembers(decoded);
    if (std::any_of(members.begin(), members.end(), [&](const std::string& member) {
            return analysis::PreferredOver(member, rendered);
        }))
        return true;
    // A preference between the two names' signal classes: a Roku frame of a Pioneer device code
    // is Pioneer's, since NEC2 (Pioneer's class) is preferred over Roku.
    const std::string renderedClass = SignalClass(rendered), decodedClass = SignalClass(decoded);
    const auto& all = analysis::Protocols();
    return std::any_of(all.begin(), all.end(), [&](const analysis::ProtocolInfo& p) {
        const std::string pClass = SignalClass(p.name);
        if (pClass != renderedClass && pClass != decodedClass)
            return false;
        const std::string& other = pClass == renderedClass ? decodedClass : renderedClass;
        return std::any_of(all.begin(), all.end(), [&](const analysis::ProtocolInfo& q) {
            return SignalClass(q.name) == other && (analysis::PreferredOver(p.name, q.name) ||
                                                    analysis::PreferredOver(q.name, p.name));
        });
    });
}

} // namespace analysistest

#include "analysis/Analysis.h"

#include "analysis/Family.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <limits>

namespace analysis {
namespace {

using detail::Candidate;
using detail::Family;

std::array<const Family*, 3> Families() {
    return {&detail::PulseFamily(), &detail::BiPhaseFamily(), &detail::MultiLevelFamily()};
}

Durations Magnitudes(std::span<const int32_t> durations) {
    Durations out;
    out.reserve(durations.size());
    for (const int32_t d : durations)
        out.push_back(Magnitude(d));
    return out;
}

bool Better(const Candidate& a, const Candidate& b) {
    if (a.robustness != b.robustness)
        return a.robustness > b.robustness;
    return a.decode.last > b.decode.last;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

const Family* FamilyOf(std::string_view name) {
    for (const Family* family : Families())
        for (const ProtocolInfo& info : family->protocols)
            if (SameName(info.name, name))
                return family;
    return nullptr;
}

std::optional<Candidate> BestAt(std::span<const int32_t> magnitudes, std::size_t at,
                                const detail::Tolerance& tolerance) {
    std::optional<Candidate> best;
    for (const Family* family : Families()) {
        if (!family->decode)
            continue;
        for (Candidate& candidate : family->decode(magnitudes, at, tolerance))
            if (!best || Better(candidate, *best))
                best = std::move(candidate);
    }
    return best;
}

// Whether a robust decode (one with a check) starts inside this one: a glitch before a frame can
// make a weak protocol without a lead swallow the frame's first part (a Sharp half read as
// Mitsubishi). Only a check overrules: the bits of a pulse-distance frame can also be read as a
// bi-phase frame of moderate robustness, which would otherwise take over from the real decode.
bool Overruled(const Candidate& candidate, std::span<const int32_t> magnitudes,
               const detail::Tolerance& tolerance) {
    if (candidate.robustness == detail::Robustness::Robust)
        return false;
    for (std::size_t at = candidate.decode.first + 2; at <= candidate.decode.last; at += 2) {
        const std::optional<Candidate> inside = BestAt(magnitudes, at, tolerance);
        if (inside && inside->robustness == detail::Robustness::Robust)
            return true;
    }
    return false;
}

} // namespace

Result Analyse(std::span<const int32_t> durations) {
    const Durations magnitudes = Magnitudes(durations);
    const detail::Tolerance tolerance = detail::EstimateTolerance(magnitudes);
    Result result;
    std::size_t at = 0;
    while (at < magnitudes.size()) {
        std::optional<Candidate> best = BestAt(magnitudes, at, tolerance);
        if (!best || Overruled(*best, magnitudes, tolerance)) {
            at += 2;
            continue;
        }
        // The next start is the first mark after the decode's last duration.
        at = best->decode.last + 1;
        at += at % 2;
        result.decodes.push_back(std::move(best->decode));
    }
    result.generic = detail::AnalyseGeneric(magnitudes, tolerance);
    return result;
}

std::string Summary(const Decode& decode) {
    std::string text = decode.protocol;
    for (const Param& p : decode.params)
        text += " " + p.name + "=" + std::to_string(p.value);
    return text;
}

const std::vector<ProtocolInfo>& Protocols() {
    static const std::vector<ProtocolInfo> all = [] {
        std::vector<ProtocolInfo> list;
        for (const Family* family : Families())
            list.insert(list.end(), family->protocols.begin(), family->protocols.end());
        return list;
    }();
    return all;
}

const ProtocolInfo* FindProtocol(std::string_view name) {
    for (const ProtocolInfo& info : Protocols())
        if (SameName(info.name, name))
            return &info;
    return nullptr;
}

std::optional<Durations> Render(std::string_view protocol, const std::vector<Param>& params,
                                int repeats, std::string* error) {
    const auto fail = [&](std::string text) -> std::optional<Durations> {
        if (error)
            *error = std::move(text);
        return std::nullopt;
    };
    const ProtocolInfo* info = FindProtocol(protocol);
    const Family* family = FamilyOf(protocol);
    if (!info || !family || !family->render)
        return fail("unknown protocol \"" + std::string(protocol) + "\"");
    if (repeats < 0 || repeats > 1000)
        return fail("repeats must be 0..1000");
    for (const Param& given : params)
        if (std::none_of(info->params.begin(), info->params.end(),
                         [&](const ParamInfo& p) { return SameName(p.name, given.name); }))
            return fail(info->name + " has no parameter " + given.name);
    const auto givenValue = [&](std::string_view name) -> std::optional<int64_t> {
        const auto given = std::find_if(params.begin(), params.end(),
                                        [&](const Param& g) { return SameName(g.name, name); });
        if (given == params.end())
            return std::nullopt;
        return given->value;
    };
    std::vector<Param> complete;
    for (const ParamInfo& p : info->params) {
        std::optional<int64_t> value = givenValue(p.name);
        if (!value)
            value = p.defaultValue;
        if (!value && p.derivedDefault) {
            // The source parameter comes first in every table, so it is complete already.
            for (const Param& source : complete)
                if (source.name == p.derivedDefault->from)
                    value = source.value ^ p.derivedDefault->mask;
        }
        if (!value)
            return fail(info->name + " needs " + p.name);
        if (*value < p.min || *value > p.max)
            return fail(p.name + "=" + std::to_string(*value) + " is outside " +
                        std::to_string(p.min) + ".." + std::to_string(p.max));
        if (!p.choices.empty() &&
            std::find(p.choices.begin(), p.choices.end(), *value) == p.choices.end())
            return fail(p.name + "=" + std::to_string(*value) + " is not allowed for " +
                        info->name);
        complete.push_back({p.name, *value});
    }
    return family->render(info->name, complete, repeats);
}

Durations CleanUp(const Decode& decode) {
    return Render(decode.protocol, decode.params, decode.repeats).value_or(Durations{});
}

} // namespace analysis

#include "analysis/Analysis.h"

#include "analysis/ProtocolSet.h"
#include "analysis/Tolerance.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>

namespace analysis {
namespace {

using detail::Robustness;

// One protocol's reading of the durations at a start, before the best is chosen.
struct Candidate {
    Decode decode;
    Robustness robustness = Robustness::Weak;
    // The table row that decoded it (its place in the table and the names it wins against).
    std::string row;
    std::size_t order = 0;
    const std::vector<std::string>* preferredOver = nullptr;
    double residualUs = 0; // how far the durations are from the fitted timing
    int32_t lagUs = 0;     // the receiver lag the fit assumed
};

using detail::CompiledRow;
using detail::ProtocolSet;
using detail::SameName;

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
    if (a.decode.last != b.decode.last)
        return a.decode.last > b.decode.last;
    // Of two readings of the same stretch, the one the durations fit better (Thomson7's and
    // Lumagen's timings overlap once a receiver's lag is allowed for).
    if (std::abs(a.residualUs - b.residualUs) > 10)
        return a.residualUs < b.residualUs;
    // Then the one asking less of the receiver (Akai and Matsui differ by a lag alone).
    if (std::abs(a.lagUs - b.lagUs) > 20)
        return std::abs(a.lagUs) < std::abs(b.lagUs);
    return a.order < b.order;
}

// Whether `a` wins against `b` by the table's preference: both read the same durations and `a`
// names `b` (or the lone name `b` reported) among those it is preferred over.
bool Preferred(const Candidate& a, const Candidate& b) {
    if (!a.preferredOver || a.decode.first != b.decode.first || a.decode.last != b.decode.last)
        return false;
    return std::any_of(a.preferredOver->begin(), a.preferredOver->end(), [&](const auto& name) {
        return name == b.row || name == b.decode.protocol;
    });
}

// A decode covers whole frames: it starts at the signal's start or after a gap at least as long
// as the protocol needs before a frame (the engine sees to the end). One stray mark before the
// frame (a receiver's glitch) is allowed.
bool FrameMayStart(std::span<const int32_t> magnitudes, std::size_t at, int64_t minGapUs) {
    const auto gapBefore = [&](std::size_t index) {
        return index == 0 || magnitudes[index - 1] >= minGapUs;
    };
    return gapBefore(at) || at == 2;
}

class Scanner {
public:
    explicit Scanner(std::span<const int32_t> magnitudes)
        : magnitudes_(magnitudes), set_(detail::CurrentProtocols()),
          tolerance_(detail::EstimateTolerance(magnitudes)), engineRows_(EngineRows(set_)) {}

    const detail::Tolerance& tolerance() const { return tolerance_; }

    std::optional<Candidate> BestAt(std::size_t at) const {
        std::vector<Candidate> candidates;
        // Candidates are ranked by their row's order, not by the order they are found in. A row
        // less robust than a candidate found already cannot win (unless it is preferred over a
        // more robust row), so the more robust rows are tried first.
        const std::vector<EngineRow>& rows = *engineRows_;
        for (std::size_t i = 0; i < rows.size();) {
            const EngineRow& row = rows[i];
            const bool outranked =
                std::any_of(candidates.begin(), candidates.end(),
                            [&](const Candidate& c) { return c.robustness > row.robustness; }) &&
                !row.mayOverrule;
            if (!FrameMayStart(magnitudes_, at, row.minGapUs)) {
                i = row.groupEnd; // the rest of its group needs a longer gap
                continue;
            }
            if (outranked) {
                ++i;
                continue;
            }
            Decode(set_->rows[row.order], row.order, at, candidates);
            ++i;
        }
        std::optional<Candidate> best;
        for (Candidate& candidate : candidates) {
            if (std::any_of(candidates.begin(), candidates.end(),
                            [&](const Candidate& other) { return Preferred(other, candidate); }))
                continue;
            if (!best || Better(candidate, *best))
                best = std::move(candidate);
        }
        return best;
    }

    // Completes the chosen decode with what ranking did not need: its windows and spans, from
    // the same match the ranking took.
    void Describe(Candidate& candidate) const {
        if (auto match = Read(set_->rows[candidate.order], candidate.decode.first, true)) {
            candidate.decode.windows = std::move(match->windows);
            candidate.decode.spans = std::move(match->spans);
        }
    }

    // Whether a robust decode (one with a check) starts inside this one: a glitch before a frame
    // can make a weak protocol without a lead swallow the frame's first part (a Sharp half read
    // as Mitsubishi). Only a check overrules: the bits of a pulse-distance frame can also be read
    // as a bi-phase frame of moderate robustness, which would otherwise take over from the real
    // decode.
    bool Overruled(const Candidate& candidate) const {
        if (candidate.robustness == Robustness::Robust)
            return false;
        for (std::size_t at = candidate.decode.first + 2; at <= candidate.decode.last; at += 2) {
            const std::optional<Candidate> inside = BestAt(at);
            if (inside && inside->robustness == Robustness::Robust)
                return true;
        }
        return false;
    }

private:
    // Every row, the most robust first and in each robustness by the gap they need before a
    // frame: a start after a shorter gap skips the rest of the group without looking at them.
    // Worked out once per set.
    struct EngineRow {
        int64_t minGapUs;
        std::size_t order;
        Robustness robustness;
        bool mayOverrule;     // preferred over a more robust row
        std::size_t groupEnd; // the first row of the next robustness
    };
    static std::shared_ptr<const std::vector<EngineRow>>
    EngineRows(const std::shared_ptr<const ProtocolSet>& set) {
        thread_local std::shared_ptr<const ProtocolSet> seen;
        thread_local std::shared_ptr<const std::vector<EngineRow>> rows;
        if (set != seen) {
            auto list = std::make_shared<std::vector<EngineRow>>();
            for (std::size_t i = 0; i < set->rows.size(); ++i) {
                const CompiledRow& row = set->rows[i];
                const bool mayOverrule =
                    std::any_of(set->rows.begin(), set->rows.end(), [&](const CompiledRow& other) {
                        return other.robustness > row.robustness &&
                               std::any_of(row.preferredOver.begin(), row.preferredOver.end(),
                                           [&](const std::string& name) {
                                               return name == other.name || name == other.loneName;
                                           });
                    });
                list->push_back({row.minGapBeforeUs, i, row.robustness, mayOverrule, 0});
            }
            std::stable_sort(list->begin(), list->end(),
                             [](const EngineRow& a, const EngineRow& b) {
                                 if (a.robustness != b.robustness)
                                     return a.robustness > b.robustness;
                                 return a.minGapUs < b.minGapUs;
                             });
            for (std::size_t i = list->size(); i-- > 0;)
                (*list)[i].groupEnd =
                    i + 1 < list->size() && (*list)[i + 1].robustness == (*list)[i].robustness
                        ? (*list)[i + 1].groupEnd
                        : i + 1;
            rows = std::move(list);
            seen = set;
        }
        return rows;
    }

    // The row's first match at `at` whose parameters meet the row's condition.
    std::optional<irp::Match> Read(const CompiledRow& row, std::size_t at, bool describe) const {
        irp::DecodeOptions options;
        options.describe = describe;
        for (irp::Match& match : row.protocol->Decode(magnitudes_, at, options))
            if (set_->Holds(row, match.params))
                return std::move(match);
        return std::nullopt;
    }

    void Decode(const CompiledRow& row, std::size_t order, std::size_t at,
                std::vector<Candidate>& out) const {
        if (!row.protocol->MayStartAt(magnitudes_, at))
            return;
        std::optional<irp::Match> match = Read(row, at, false);
        if (!match)
            return;
        Candidate candidate;
        analysis::Decode& d = candidate.decode;
        d.protocol = match->repeats == 0 && !row.loneName.empty() ? row.loneName : row.name;
        d.params = std::move(match->params);
        d.first = match->first;
        d.last = match->last;
        d.repeats = match->repeats;
        d.repeatForm = match->repeatForm;
        candidate.robustness = row.robustness;
        candidate.residualUs = match->residualUs;
        candidate.lagUs = match->lagUs;
        candidate.row = row.name;
        candidate.order = order;
        candidate.preferredOver = &row.preferredOver;
        out.push_back(std::move(candidate));
    }

    std::span<const int32_t> magnitudes_;
    std::shared_ptr<const ProtocolSet> set_;
    detail::Tolerance tolerance_;
    std::shared_ptr<const std::vector<EngineRow>> engineRows_;
};

} // namespace

Result Analyse(std::span<const int32_t> durations) {
    const Durations magnitudes = Magnitudes(durations);
    const Scanner scanner(magnitudes);
    Result result;
    std::size_t at = 0;
    while (at < magnitudes.size()) {
        std::optional<Candidate> best = scanner.BestAt(at);
        if (!best || scanner.Overruled(*best)) {
            at += 2;
            continue;
        }
        // The next start is the first mark after the decode's last duration.
        at = best->decode.last + 1;
        at += at % 2;
        scanner.Describe(*best);
        result.decodes.push_back(std::move(best->decode));
    }
    result.generic = detail::AnalyseGeneric(magnitudes, scanner.tolerance());
    return result;
}

std::string Summary(const Decode& decode) {
    std::string text = decode.protocol;
    for (const Param& p : decode.params)
        text += " " + p.name + "=" + std::to_string(p.value);
    return text;
}

const std::vector<ProtocolInfo>& Protocols() {
    // The set stays alive as long as the program (see ProtocolSet.cpp); the list is rebuilt only
    // when the set changed.
    thread_local std::shared_ptr<const ProtocolSet> seen;
    thread_local std::vector<ProtocolInfo> list;
    const auto set = detail::CurrentProtocols();
    if (set != seen) {
        list = set->infos;
        seen = set;
    }
    return list;
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
    const auto set = detail::CurrentProtocols();
    const ProtocolInfo* info = FindProtocol(protocol);
    const CompiledRow* row = set->Renderer(protocol);
    if (!info || !row)
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
        if (!value) {
            // A default the engine works out from its own expression.
            const auto engineSpec =
                std::find_if(row->protocol->Params().begin(), row->protocol->Params().end(),
                             [&](const irp::ParamSpec& s) { return s.name == p.name; });
            if (engineSpec != row->protocol->Params().end() && !engineSpec->defaultText.empty())
                continue;
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
    std::string why;
    auto durations = row->protocol->Render(complete, repeats, &why);
    if (!durations)
        return fail(info->name + ": " + why);
    return durations;
}

Durations CleanUp(const Decode& decode) {
    return Render(decode.protocol, decode.params, decode.repeats).value_or(Durations{});
}

} // namespace analysis

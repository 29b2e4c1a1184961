#include "analysis/Press.h"

#include <algorithm>

namespace analysis::detail {

Window WindowOf(const Tolerance& tolerance, bool mark, const Nominal& nominal) {
    Window window = mark ? tolerance.Mark(nominal.us) : tolerance.Space(nominal.us);
    const int32_t shift = mark ? tolerance.lag() : -tolerance.lag();
    if (nominal.below > 0)
        window.low = std::max(window.low, (nominal.us + nominal.below) / 2 + shift + 1);
    if (nominal.above > 0)
        window.high = std::min(window.high, (nominal.us + nominal.above) / 2 + shift);
    return window;
}

bool Fits(const Tolerance& tolerance, bool mark, const Nominal& nominal, int32_t value) {
    const Window window = WindowOf(tolerance, mark, nominal);
    return value >= window.low && value <= window.high;
}

bool SameButToggle(const std::vector<int64_t>& a, const std::vector<int64_t>& b,
                   std::size_t toggle) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (i != toggle && a[i] != b[i])
            return false;
    return true;
}

Candidate MakeCandidate(const ProtocolInfo& info, std::size_t toggle, Robustness robustness,
                        std::size_t at, const std::vector<FrameRead>& frames, const Layout& layout,
                        const Tolerance& tolerance) {
    Candidate candidate;
    candidate.robustness = robustness;
    Decode& decode = candidate.decode;
    decode.protocol = info.name;
    for (std::size_t i = 0; i < info.params.size(); ++i)
        decode.params.push_back({info.params[i].name, frames.front().values[i]});
    decode.first = at;
    decode.last = frames.back().last;
    decode.repeats = static_cast<int>(frames.size()) - 1;
    decode.repeatForm = decode.repeats == 0 ? RepeatForm::None : RepeatForm::Frame;

    const std::size_t count = std::min(decode.last - at + 1, layout.wave.size());
    decode.windows.reserve(count);
    std::size_t frame = 0;
    for (std::size_t i = 0; i < count; ++i) {
        while (frame + 1 < frames.size() && at + i > frames[frame].last + 1)
            ++frame;
        const bool gap = at + i == frames[frame].last + 1;
        decode.windows.push_back(
            WindowOf(gap ? tolerance : Tolerance(frames[frame].lag), i % 2 == 0, layout.wave[i]));
    }

    decode.spans = layout.spans;
    for (Span& span : decode.spans) {
        span.first += at;
        span.last += at;
    }
    for (std::size_t i = 1; i < frames.size(); ++i) {
        const int64_t t = frames[i].values[toggle];
        if (t != frames[i - 1].values[toggle])
            decode.repeatForm = RepeatForm::Toggled;
        decode.spans.push_back(
            {Span::Kind::Repeat, "T=" + std::to_string(t), frames[i - 1].last + 2, frames[i].last});
    }
    return candidate;
}

ParamInfo Required(std::string name, int64_t max) {
    ParamInfo info;
    info.name = std::move(name);
    info.max = max;
    return info;
}

ParamInfo Defaulted(std::string name, int64_t max, int64_t defaultValue) {
    ParamInfo info = Required(std::move(name), max);
    info.defaultValue = defaultValue;
    return info;
}

std::size_t IndexOf(const ProtocolInfo& info, std::string_view name) {
    for (std::size_t i = 0; i < info.params.size(); ++i)
        if (info.params[i].name == name)
            return i;
    return info.params.size();
}

} // namespace analysis::detail

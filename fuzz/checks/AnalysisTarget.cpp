#include "fuzz/checks/AnalysisTarget.h"

#include "analysis/Analysis.h"
#include "fuzz/checks/FuzzCheck.h"

namespace analysis::fuzz {

void CheckAnalysis(std::string_view input) {
    const std::vector<int32_t> signal = SignalFromInput(input);
    const Result result = Analyse(signal);
    std::size_t next = 0; // the first index a following decode may cover
    for (const Decode& decode : result.decodes) {
        const std::string name = Summary(decode);
        FUZZ_REQUIRE(decode.first >= next && decode.first <= decode.last &&
                         decode.last < signal.size(),
                     name + ": covers " + std::to_string(decode.first) + ".." +
                         std::to_string(decode.last) + " of " + std::to_string(signal.size()));
        FUZZ_REQUIRE(decode.first % 2 == 0 && decode.last % 2 == 0,
                     name + ": does not run from a mark to a mark");
        FUZZ_REQUIRE(decode.windows.size() == decode.last - decode.first + 1,
                     name + ": " + std::to_string(decode.windows.size()) + " windows");
        for (const Window& w : decode.windows)
            FUZZ_REQUIRE(w.low <= w.high, name + ": an empty window");
        for (const Span& span : decode.spans)
            FUZZ_REQUIRE(span.first <= span.last && span.first >= decode.first &&
                             span.last <= decode.last,
                         name + ": span " + span.label + " outside the decode");
        std::string error;
        const std::optional<Durations> rendered =
            Render(decode.protocol, decode.params, decode.repeats, &error);
        FUZZ_REQUIRE(rendered.has_value(), name + ": does not render: " + error);
        FUZZ_REQUIRE(CleanUp(decode).size() == decode.windows.size(),
                     name + ": the clean-up has another length");
        next = decode.last + 1;
    }
}

} // namespace analysis::fuzz

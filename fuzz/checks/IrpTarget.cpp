#include "fuzz/checks/IrpTarget.h"
#include "fuzz/checks/FuzzCheck.h"

#include "analysis/irp/Irp.h"

namespace analysis::fuzz {

void CheckIrp(std::string_view input) {
    const auto compiled = irp::Protocol::Compile(input);
    if (const auto* error = std::get_if<irp::ParseError>(&compiled)) {
        FUZZ_REQUIRE(error->position <= input.size(), "an error lies beyond the text");
        FUZZ_REQUIRE(!error->message.empty(), "an error without a message");
        return;
    }
    const auto& protocol = std::get<std::shared_ptr<const irp::Protocol>>(compiled);
    FUZZ_REQUIRE(protocol->Text() == input, "the protocol lost its text");
    std::vector<Param> params;
    for (const irp::ParamSpec& spec : protocol->Params())
        if (spec.defaultText.empty())
            params.push_back({spec.name, spec.min});
    for (int repeats : {0, 2}) {
        std::string error;
        const auto signal = protocol->Render(params, repeats, &error);
        if (!signal) {
            FUZZ_REQUIRE(!error.empty(), "a render failed without a reason");
            continue;
        }
        FUZZ_REQUIRE(!signal->empty() && signal->size() % 2 == 1,
                     "a render does not end on a mark");
        for (int32_t d : *signal)
            FUZZ_REQUIRE(d > 0, "a rendered duration is not positive");
        if (signal->size() > 4096)
            continue; // decoding is fuzzed on signals of a device's size
        for (const irp::Match& match : protocol->Decode(*signal, 0)) {
            FUZZ_REQUIRE(match.first == 0 && match.last < signal->size() &&
                             match.first <= match.last,
                         "a match lies outside the signal");
            FUZZ_REQUIRE(match.windows.size() == match.last - match.first + 1,
                         "a match has not one window per duration");
            for (const Span& span : match.spans)
                FUZZ_REQUIRE(span.first <= span.last && span.last <= match.last,
                             "a span lies outside its match");
        }
    }
}

} // namespace analysis::fuzz

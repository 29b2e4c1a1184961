#include "fuzz/checks/FormatsTarget.h"
#include "fuzz/checks/FuzzCheck.h"

#include "analysis/Formats.h"

#include <cmath>
#include <cstdlib>

namespace frame::fuzz {

namespace {

using namespace analysis::formats;

constexpr Format Readable[] = {Format::Flipper, Format::Pronto, Format::Mode2, Format::Lirc};

// Writing may refuse what the format cannot hold; it must say so with a FormatError.
std::optional<std::string> TryWrite(Format format, std::span<const Signal> signals) {
    try {
        return Write(format, signals);
    } catch (const FormatError& e) {
        FUZZ_REQUIRE(e.line() == 0 &&
                         std::string_view(e.what()).find("signal") != std::string::npos,
                     "a writer's refusal names the signal");
        return std::nullopt;
    }
}

std::vector<Signal> ReadBack(Format format, const std::string& text) {
    try {
        return Read(format, text);
    } catch (const FormatError& e) {
        FUZZ_REQUIRE(false, std::string("a written file does not read: ") + e.what());
    }
    return {};
}

void CheckSameSignals(Format format, const std::vector<Signal>& first,
                      const std::vector<Signal>& second) {
    FUZZ_REQUIRE(first.size() == second.size(), "a written file reads as another signal count");
    for (std::size_t i = 0; i < first.size(); ++i) {
        const analysis::Durations& a = first[i].durations;
        const analysis::Durations& b = second[i].durations;
        if (format != Format::Pronto) {
            FUZZ_REQUIRE(a == b, "a written signal reads back with other durations");
            FUZZ_REQUIRE(first[i].carrierHz == second[i].carrierHz, "the carrier changed");
            continue;
        }
        // A duration moves by at most half a carrier cycle; an ending mark gets a gap.
        FUZZ_REQUIRE(b.size() == a.size() + a.size() % 2, "Pronto changed the duration count");
        // Shorter than a cycle becomes one cycle.
        const double cycleUs = 1e6 / second[i].carrierHz + 1;
        for (std::size_t k = 0; k < a.size(); ++k)
            FUZZ_REQUIRE(std::abs(static_cast<double>(a[k]) - b[k]) <=
                             (a[k] < cycleUs ? cycleUs : cycleUs / 2),
                         "Pronto moved a duration by more than its resolution");
    }
}

} // namespace

void CheckFormats(std::string_view input) {
    if (input.empty())
        return;
    const Format format = Readable[static_cast<unsigned char>(input[0]) % std::size(Readable)];
    const std::string_view text = input.substr(1);

    std::vector<Signal> signals;
    try {
        signals = Read(format, text);
    } catch (const FormatError& e) {
        const std::string prefix = "line " + std::to_string(e.line()) + ": ";
        FUZZ_REQUIRE(e.line() >= 1 && std::string_view(e.what()).starts_with(prefix),
                     "a reading error names its line");
        return;
    }
    for (const Signal& signal : signals) {
        FUZZ_REQUIRE(!signal.durations.empty(), "a signal read holds durations");
        for (const int32_t d : signal.durations)
            FUZZ_REQUIRE(d > 0, "every duration read is positive");
        FUZZ_REQUIRE(signal.carrierHz > 0, "every carrier read is positive");
        FUZZ_REQUIRE(signal.line >= 1, "every signal read knows its line");
    }
    if (!signals.empty())
        TryWrite(Format::IrRemote, std::span(signals).first(1));
    if (format == Format::Mode2 && signals.size() != 1)
        return;

    const auto written = TryWrite(format, signals);
    if (!written)
        return;
    const std::vector<Signal> again = ReadBack(format, *written);
    // Flipper stores decoded signals by their parameters: those read back at nominal timings.
    if (format != Format::Flipper)
        CheckSameSignals(format, signals, again);
    const auto rewritten = TryWrite(format, again);
    FUZZ_REQUIRE(rewritten.has_value(), "signals read from a written file cannot be written");
    if (format == Format::Pronto)
        CheckSameSignals(format, again, ReadBack(format, *rewritten));
    else
        FUZZ_REQUIRE(*rewritten == *written, "writing what was written is not stable");
}

} // namespace frame::fuzz

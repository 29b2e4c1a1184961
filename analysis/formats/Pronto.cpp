// Pronto Hex: codes of four-digit hex words. A code starts with its form, a frequency word and the
// pair counts of its once and repeat sequences. Learned codes (form 0000) hold durations in carrier
// cycles; the short forms of RC5, RC5x, RC6 and NEC hold the protocol's parameters instead.

#include "analysis/formats/Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace analysis::formats::detail {
namespace {

// The length of one frequency-word step: a carrier cycle lasts `word` times this.
constexpr double CycleStepUs = 0.241246;

struct Word {
    int line = 0;
    uint16_t value = 0;
};

// A code while it is read: its first line, its name ("name:" before it), its words.
struct Code {
    int line = 0;
    std::string name;
    std::vector<Word> words;
};

std::optional<uint16_t> HexWord(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.size() != 4 || error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::size_t ExpectedWords(const Code& code) {
    return 4 + 2 * (std::size_t{code.words[2].value} + code.words[3].value);
}

Signal Learned(const Code& code) {
    const uint16_t frequency = code.words[1].value;
    if (frequency == 0)
        throw FormatError(code.words[1].line, "a frequency word of 0000 gives no carrier");
    if (code.words.size() == 4)
        throw FormatError(code.line, "the code holds no durations");
    const double cycleUs = frequency * CycleStepUs;
    Signal signal;
    signal.name = code.name;
    signal.line = code.line;
    signal.carrierHz = static_cast<int>(std::lround(1e6 / cycleUs));
    for (std::size_t i = 4; i < code.words.size(); ++i) {
        const Word& w = code.words[i];
        if (w.value == 0)
            throw FormatError(w.line, "a duration of 0 cycles");
        signal.durations.push_back(static_cast<int32_t>(std::lround(w.value * cycleUs)));
    }
    return signal;
}

// The short forms: the protocol's parameters follow the four header words.
Signal Short(const Code& code) {
    const auto word = [&](std::size_t i) -> int64_t {
        if (i >= code.words.size())
            throw FormatError(code.line, "the code is too short for its form");
        return code.words[i].value;
    };
    std::string protocol;
    std::vector<Param> params;
    switch (code.words[0].value) {
    case 0x5000:
        protocol = "RC5";
        params = {{"D", word(4)}, {"F", word(5)}, {"T", 0}};
        break;
    case 0x5001:
        protocol = "RC5x";
        params = {{"D", word(4)}, {"S", word(5)}, {"F", word(6)}, {"T", 0}};
        break;
    case 0x6000:
        protocol = "RC6";
        params = {{"D", word(4)}, {"F", word(5)}, {"T", 0}};
        break;
    case 0x900A: {
        // Device and subdevice bytes, then the function and its complement.
        const int64_t f = word(5) >> 8;
        if ((word(5) & 255) != (~f & 255))
            throw FormatError(code.words[5].line, "the NEC function byte is not followed by "
                                                  "its complement");
        protocol = "NEC1";
        params = {{"D", word(4) >> 8}, {"S", word(4) & 255}, {"F", f}};
        break;
    }
    default: {
        char form[8];
        std::snprintf(form, sizeof form, "%04X", code.words[0].value);
        throw FormatError(code.line, "Pronto form " + std::string(form) +
                                         " is not supported (learned 0000, RC5 5000, RC5x 5001, "
                                         "RC6 6000, NEC 900A)");
    }
    }
    Signal signal = RenderedSignal(protocol, params, code.line);
    signal.name = code.name;
    return signal;
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

} // namespace

std::vector<Signal> ReadPronto(std::string_view text) {
    LineReader lines(text);
    std::vector<Signal> signals;
    std::optional<Code> code;
    const auto finish = [&] {
        signals.push_back(code->words[0].value == 0 ? Learned(*code) : Short(*code));
        code.reset();
    };
    while (const auto line = lines.Next()) {
        std::string_view content = Trim(line->text);
        if (content.empty() || content.front() == '#')
            continue;
        std::string name;
        if (const auto colon = content.find(':'); colon != std::string_view::npos) {
            if (code)
                throw FormatError(line->number, "a new code starts before the one of line " +
                                                    std::to_string(code->line) + " is complete");
            name = std::string(Trim(content.substr(0, colon)));
            content = content.substr(colon + 1);
        }
        for (const std::string_view w : Words(content)) {
            const auto value = HexWord(w);
            if (!value)
                throw FormatError(line->number, Quoted(w) + " is not a four-digit hex word");
            if (!code)
                code = Code{line->number, name, {}};
            code->words.push_back({line->number, *value});
            if (code->words.size() >= 4 && code->words.size() == ExpectedWords(*code))
                finish();
        }
    }
    if (code) {
        const std::string needed = code->words.size() < 4
                                       ? "its four header words"
                                       : std::to_string(ExpectedWords(*code)) + " words";
        throw FormatError(code->line, "the code that starts here ends early: it needs " + needed +
                                          ", found " + std::to_string(code->words.size()));
    }
    return signals;
}

std::string WritePronto(std::span<const Signal> signals) {
    std::string text;
    for (std::size_t i = 0; i < signals.size(); ++i) {
        const Signal& signal = signals[i];
        Durations durations = WritableDurations(signal, i);
        const long frequency =
            signal.carrierHz > 0 ? std::lround(1e6 / (signal.carrierHz * CycleStepUs)) : 0;
        if (frequency < 1 || frequency > 0xFFFF)
            throw FormatError("signal " + std::to_string(i + 1) + ": a carrier of " +
                              std::to_string(signal.carrierHz) + " Hz cannot be written as Pronto");
        const double cycleUs = frequency * CycleStepUs;
        const auto cycles = [&](int64_t us) {
            return std::max<int64_t>(1, std::llround(static_cast<double>(us) / cycleUs));
        };
        // Pronto holds mark and space pairs: a signal ending with its mark gets a gap.
        if (durations.size() % 2 == 1)
            durations.push_back(
                static_cast<int32_t>(std::min<int64_t>(RepeatGapUs, 0xFFFF * cycleUs)));
        if (durations.size() / 2 > 0xFFFF)
            throw FormatError("signal " + std::to_string(i + 1) + " is too long for Pronto");
        text += "0000 " + Hex4(static_cast<unsigned>(frequency)) + " " +
                Hex4(static_cast<unsigned>(durations.size() / 2)) + " 0000";
        for (const int32_t d : durations) {
            const int64_t n = cycles(d);
            if (n > 0xFFFF)
                throw FormatError("signal " + std::to_string(i + 1) + ": " + std::to_string(d) +
                                  " µs is too long for Pronto at " +
                                  std::to_string(signal.carrierHz) + " Hz");
            text += " " + Hex4(static_cast<unsigned>(n));
        }
        text += "\n";
    }
    return text;
}

} // namespace analysis::formats::detail

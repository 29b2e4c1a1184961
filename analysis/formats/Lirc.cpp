// LIRC: the output of mode2 ("pulse N" / "space N" lines) and lircd.conf remotes with raw codes.

#include "analysis/formats/Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace analysis::formats::detail {
namespace {

// A space this long in mode2 output is the pause between two key presses, not part of a signal:
// it is longer than any listed protocol's gap before a repeat (about 100 ms).
constexpr int32_t Mode2PauseUs = 200000;

// Adds a duration; two of the same kind in a row are one longer duration.
void Append(Durations& durations, int32_t value, bool mark, int line) {
    const bool sameKind = !durations.empty() && (durations.size() % 2 == 1) == mark;
    if (!sameKind) {
        durations.push_back(value);
        return;
    }
    if (durations.back() > std::numeric_limits<int32_t>::max() - value)
        throw FormatError(line, "the durations add up to more than 2147483647 µs");
    durations.back() += value;
}

// The text after '#' is a comment in lircd.conf.
std::string_view WithoutComment(std::string_view line) {
    return Trim(line.substr(0, line.find('#')));
}

struct Remote {
    int line = 0;
    int carrierHz = 38000;
    double dutyCycle = 0.33;
};

std::string LircName(const Signal& signal, std::size_t index) {
    std::string name = WritableName(signal, index);
    // A name is one word; '#' would start a comment.
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return c == '#' || std::isspace(static_cast<unsigned char>(c)); }, '_');
    return name;
}

} // namespace

std::vector<Signal> ReadMode2(std::string_view text) {
    LineReader lines(text);
    std::vector<Signal> signals;
    Signal current; // a signal is under way while it holds durations
    int carrierHz = 38000;
    const auto finish = [&] {
        if (!current.durations.empty())
            signals.push_back(std::move(current));
        current = Signal{};
    };
    while (const auto line = lines.Next()) {
        const std::string_view content = Trim(line->text);
        if (content.empty() || content.front() == '#')
            continue;
        const std::vector<std::string_view> words = Words(content);
        if (words.size() != 2)
            throw FormatError(line->number,
                              "expected \"pulse N\" or \"space N\", found " + Quoted(content));
        const std::string_view kind = words[0];
        if (kind == "timeout") {
            DurationWord(words[1], line->number);
            finish();
            continue;
        }
        if (kind == "carrier" || kind == "frequency") {
            const auto hz = Decimal(words[1], 1, 1000000);
            if (!hz)
                throw FormatError(line->number, Quoted(words[1]) + " is not a carrier in Hz");
            carrierHz = static_cast<int>(*hz);
            current.carrierHz = carrierHz;
            continue;
        }
        if (kind != "pulse" && kind != "space")
            throw FormatError(line->number,
                              "expected \"pulse N\" or \"space N\", found " + Quoted(content));
        const int32_t value = DurationWord(words[1], line->number);
        const bool mark = kind == "pulse";
        if (!mark && value >= Mode2PauseUs) {
            finish();
            continue;
        }
        if (current.durations.empty()) {
            // Spaces before the first pulse are the silence before the signal.
            if (!mark)
                continue;
            current.carrierHz = carrierHz;
            current.line = line->number;
        }
        Append(current.durations, value, mark, line->number);
    }
    finish();
    return signals;
}

std::string WriteMode2(std::span<const Signal> signals) {
    RequireOne(signals, "mode2 output");
    const Durations durations = WritableDurations(signals.front(), 0);
    std::string text;
    for (std::size_t i = 0; i < durations.size(); ++i)
        text += (i % 2 == 0 ? "pulse " : "space ") + std::to_string(durations[i]) + "\n";
    return text;
}

std::vector<Signal> ReadLirc(std::string_view text) {
    LineReader lines(text);
    std::vector<Signal> signals;
    Remote remote;
    bool inRemote = false;
    bool inRawCodes = false;
    std::optional<Signal> code;
    int rawCodesLine = 0;
    const auto finishCode = [&] {
        if (!code)
            return;
        if (code->durations.empty())
            throw FormatError(code->line, "raw code " + Quoted(code->name) + " holds no durations");
        signals.push_back(std::move(*code));
        code.reset();
    };
    while (const auto line = lines.Next()) {
        const std::string_view content = WithoutComment(line->text);
        if (content.empty())
            continue;
        const std::vector<std::string_view> words = Words(content);
        const bool begin = SameText(words[0], "begin");
        const bool end = SameText(words[0], "end");
        const std::string_view what = words.size() > 1 ? words[1] : std::string_view{};
        if (!inRemote) {
            if (!begin || !SameText(what, "remote"))
                throw FormatError(line->number,
                                  "expected \"begin remote\", found " + Quoted(content));
            remote = Remote{line->number};
            inRemote = true;
            continue;
        }
        if (inRawCodes) {
            if (end && SameText(what, "raw_codes")) {
                finishCode();
                inRawCodes = false;
            } else if (words[0] == "name") {
                finishCode();
                if (words.size() != 2)
                    throw FormatError(line->number, "expected \"name NAME\"");
                code = Signal{
                    std::string(words[1]), {}, remote.carrierHz, remote.dutyCycle, line->number};
            } else if (!code) {
                throw FormatError(line->number, "expected \"name NAME\" before the durations");
            } else {
                for (const std::string_view w : words)
                    code->durations.push_back(DurationWord(w, line->number));
            }
            continue;
        }
        if (begin && SameText(what, "raw_codes")) {
            inRawCodes = true;
            rawCodesLine = line->number;
        } else if (begin && SameText(what, "codes")) {
            throw FormatError(line->number, "this remote holds decoded codes; only raw_codes "
                                            "are read");
        } else if (end && SameText(what, "remote")) {
            inRemote = false;
        } else if (begin) {
            throw FormatError(line->number, "unexpected " + Quoted(content));
        } else if (words[0] == "frequency" && words.size() == 2) {
            const auto hz = Decimal(words[1], 1, 1000000);
            if (!hz)
                throw FormatError(line->number, Quoted(words[1]) + " is not a carrier in Hz");
            remote.carrierHz = static_cast<int>(*hz);
        } else if (words[0] == "duty_cycle" && words.size() == 2) {
            const auto percent = Decimal(words[1], 1, 100);
            if (!percent)
                throw FormatError(line->number, Quoted(words[1]) + " is not a duty cycle in %");
            remote.dutyCycle = static_cast<double>(*percent) / 100.0;
        }
        // Other settings of a remote (name, flags, eps, gap, ...) do not change raw codes.
    }
    if (inRawCodes)
        throw FormatError(rawCodesLine, "\"begin raw_codes\" has no \"end raw_codes\"");
    if (inRemote)
        throw FormatError(remote.line, "\"begin remote\" has no \"end remote\"");
    return signals;
}

std::string WriteLirc(std::span<const Signal> signals) {
    // lircd.conf gives the carrier per remote: one remote for each carrier, in order of appearance.
    std::vector<int> carriers;
    for (const Signal& signal : signals)
        if (std::find(carriers.begin(), carriers.end(), signal.carrierHz) == carriers.end())
            carriers.push_back(signal.carrierHz);
    std::string text = "# Raw codes written by Dekoder IR\n";
    for (std::size_t r = 0; r < carriers.size(); ++r) {
        const int carrier = carriers[r];
        if (carrier <= 0 || carrier > 1000000)
            throw FormatError("a carrier of " + std::to_string(carrier) +
                              " Hz cannot be written to lircd.conf");
        std::string codes;
        long duty = 0;
        for (std::size_t i = 0; i < signals.size(); ++i) {
            const Signal& signal = signals[i];
            if (signal.carrierHz != carrier)
                continue;
            const Durations durations = WritableDurations(signal, i);
            if (duty == 0)
                duty = std::clamp(std::lround(signal.dutyCycle * 100.0), 1L, 100L);
            codes += "\n    name " + LircName(signal, i) + "\n";
            for (std::size_t k = 0; k < durations.size(); ++k) {
                codes += k % 6 == 0 ? "       " : " ";
                const std::string value = std::to_string(durations[k]);
                codes += std::string(value.size() < 8 ? 8 - value.size() : 0, ' ') + value;
                if (k % 6 == 5 || k + 1 == durations.size())
                    codes += "\n";
            }
        }
        const std::string name = r == 0 ? "dekoder-ir" : "dekoder-ir-" + std::to_string(r + 1);
        text += "\nbegin remote\n\n  name  " + name +
                "\n  flags RAW_CODES\n  eps            30\n  aeps          100\n"
                "  frequency " +
                std::to_string(carrier) + "\n  duty_cycle " + std::to_string(duty) + "\n  gap " +
                std::to_string(RepeatGapUs) + "\n\n  begin raw_codes\n" + codes +
                "\n  end raw_codes\n\nend remote\n";
    }
    return text;
}

} // namespace analysis::formats::detail

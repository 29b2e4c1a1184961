#include "analysis/formats/Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <utility>

namespace analysis::formats::detail {

std::optional<Line> LineReader::Next() {
    if (rest_.empty())
        return std::nullopt;
    const auto end = rest_.find_first_of("\r\n");
    Line line{++number_, rest_.substr(0, end)};
    if (end == std::string_view::npos) {
        rest_ = {};
    } else {
        const bool crlf = rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
        rest_.remove_prefix(end + (crlf ? 2 : 1));
    }
    return line;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    while (true) {
        const auto first = text.find_first_not_of(" \t");
        if (first == std::string_view::npos)
            return words;
        text.remove_prefix(first);
        const auto end = text.find_first_of(" \t");
        words.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            return words;
        text.remove_prefix(end);
    }
}

bool SameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<int64_t> Decimal(std::string_view word, int64_t min, int64_t max) {
    if (word.empty() || word.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc{} || end != word.data() + word.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

int32_t DurationWord(std::string_view word, int line) {
    const auto value = Decimal(word, 1, std::numeric_limits<int32_t>::max());
    if (!value)
        throw FormatError(line, Quoted(word) + " is not a duration (1 to 2147483647 µs)");
    return static_cast<int32_t>(*value);
}

} // namespace analysis::formats::detail

namespace analysis::formats {

namespace {

// The length of the UTF-8 sequence that starts `text`; 0 when it is not a valid one, or when it is
// a C1 control (U+0080 to U+009F), which steers a terminal as the C0 ones do.
std::size_t PrintableSequence(std::string_view text) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        low = lead == 0xC2 ? 0xA0 : low;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (text.size() < length || at(1) < low || at(1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (at(k) < 0x80 || at(k) > 0xBF)
            return 0;
    return length;
}

} // namespace

std::string Quoted(std::string_view text) {
    constexpr std::size_t Longest = 80; // characters
    std::string out = "\"";
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size(); ++shown) {
        if (shown == Longest) {
            out += "…";
            break;
        }
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += byte == '\\' ? "\\\\" : std::string(1, static_cast<char>(byte));
            ++i;
            continue;
        }
        const std::size_t length = byte >= 0x80 ? PrintableSequence(text.substr(i)) : 0;
        if (length > 0) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        static constexpr char Hex[] = "0123456789ABCDEF";
        out += byte == '\t'   ? "\\t"
               : byte == '\n' ? "\\n"
               : byte == '\r' ? "\\r"
                              : std::string{'\\', 'x', Hex[byte >> 4], Hex[byte & 0xF]};
        ++i;
    }
    return out + "\"";
}

} // namespace analysis::formats

namespace analysis::formats::detail {

namespace {

std::string SignalLabel(const Signal& signal, std::size_t index) {
    std::string label = "signal " + std::to_string(index + 1);
    if (!signal.name.empty() && signal.name.find_first_of("\r\n") == std::string::npos)
        label += " " + Quoted(signal.name);
    return label;
}

} // namespace

Durations WritableDurations(const Signal& signal, std::size_t index) {
    if (signal.durations.empty())
        throw FormatError(SignalLabel(signal, index) + " holds no durations");
    Durations out;
    out.reserve(signal.durations.size());
    for (const int32_t d : signal.durations) {
        if (d == 0 || d == std::numeric_limits<int32_t>::min())
            throw FormatError(SignalLabel(signal, index) + " holds a duration of " +
                              std::to_string(d) + " µs, which cannot be written");
        out.push_back(std::abs(d));
    }
    return out;
}

std::string WritableName(const Signal& signal, std::size_t index) {
    if (signal.name.find_first_of("\r\n") != std::string::npos)
        throw FormatError(SignalLabel(signal, index) + ": a name cannot hold a line break");
    const std::string_view trimmed = Trim(signal.name);
    if (trimmed.empty())
        return "signal_" + std::to_string(index + 1);
    return std::string(trimmed);
}

Signal RenderedSignal(std::string_view protocol, const std::vector<Param>& params, int line) {
    std::string error;
    auto durations = Render(protocol, params, 0, &error);
    if (!durations)
        throw FormatError(line, error);
    Signal signal;
    signal.durations = std::move(*durations);
    if (const ProtocolInfo* info = FindProtocol(protocol))
        signal.carrierHz = info->carrierHz;
    signal.line = line;
    return signal;
}

void RequireOne(std::span<const Signal> signals, std::string_view format) {
    if (signals.size() != 1)
        throw FormatError(std::string(format) + " holds exactly one signal, not " +
                          std::to_string(signals.size()));
}

} // namespace analysis::formats::detail

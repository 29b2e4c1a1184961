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

std::string Quoted(std::string_view word) {
    constexpr std::size_t Longest = 40;
    if (word.size() > Longest)
        return "\"" + std::string(word.substr(0, Longest)) + "...\"";
    return "\"" + std::string(word) + "\"";
}

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
    auto durations = Render(protocol, params, 1, &error);
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

#include "tools/irdecode/Input.h"

#include "analysis/Formats.h"
#include "frame/PulseFrame.h"
#include "frame/TextFields.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

namespace irdecode {
namespace {

constexpr std::string_view Separators = ", \t";

std::string_view TrimSeparators(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

int32_t WordDuration(std::string_view word) {
    std::string_view digits = word;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
        digits.remove_prefix(1);
    int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || digits.front() == '-' || error != std::errc{} ||
        end != digits.data() + digits.size() || value > std::numeric_limits<int32_t>::max()) {
        throw InputError(analysis::formats::Quoted(word) + " is not a duration in µs");
    }
    return static_cast<int32_t>(value);
}

analysis::Durations DeviceLine(std::string_view text) {
    frame::TakeField(text, ','); // the signature
    analysis::Durations durations;
    while (!text.empty()) {
        durations.push_back(
            analysis::Magnitude(frame::DurationFromField(frame::TakeField(text, ','))));
    }
    return durations;
}

} // namespace

analysis::Durations ParseSignalLine(std::string_view line) {
    std::string_view text = TrimSeparators(line);
    if (text.starts_with(frame::DeviceSignature))
        return DeviceLine(text);
    analysis::Durations durations;
    while (true) {
        const auto first = text.find_first_not_of(Separators);
        if (first == std::string_view::npos)
            return durations;
        text.remove_prefix(first);
        const auto end = text.find_first_of(Separators);
        durations.push_back(WordDuration(text.substr(0, end)));
        if (end == std::string_view::npos)
            return durations;
        text.remove_prefix(end);
    }
}

} // namespace irdecode

#include "frame/TextFields.h"

namespace frame {

namespace {

constexpr char Blank = ' ';

int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

} // namespace

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(Blank);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(Blank);
    return text.substr(first, last - first + 1);
}

std::string_view TakeField(std::string_view& text, char delimiter) {
    std::string_view field;
    const auto at = text.find(delimiter);
    if (at == std::string_view::npos) {
        field = text;
        text = {};
    } else {
        field = text.substr(0, at);
        text = text.substr(at + 1);
    }
    text = TrimBlanks(text);
    return TrimBlanks(field);
}

std::string TakeField(std::string& text, char delimiter) {
    std::string_view rest = text;
    std::string field(TakeField(rest, delimiter));
    text = std::string(rest);
    return field;
}

std::optional<int32_t> ParseInt32(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }

    int base = 10;
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }

    // The magnitude is kept in 64 bits and checked after every digit, so no digit string, however
    // long, can overflow it. The negative side holds one more value than the positive side.
    const int64_t limit = negative ? int64_t{INT32_MAX} + 1 : int64_t{INT32_MAX};
    int64_t magnitude = 0;
    for (const char c : text) {
        const int digit = DigitValue(c, base);
        if (digit < 0) {
            return std::nullopt;
        }
        magnitude = magnitude * base + digit;
        if (magnitude > limit) {
            return std::nullopt;
        }
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

int32_t DurationFromField(std::string_view field) {
    return ParseInt32(field).value_or(0);
}

} // namespace frame

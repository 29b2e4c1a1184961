#include "fuzz/checks/FrameTargets.h"
#include "fuzz/checks/FuzzCheck.h"
#include "fuzz/checks/Reference.h"

#include "frame/TextFields.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace frame::fuzz {

namespace {

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c >= 32 && c < 127) {
            quoted += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
            quoted += escaped;
        }
    }
    return quoted + "\"";
}

void CheckNumber(std::string_view text) {
    const std::optional<int32_t> expected = ReferenceInt32(text);
    FUZZ_REQUIRE(ParseInt32(text) == expected, "ParseInt32(" + Quoted(text) + ")");
    FUZZ_REQUIRE(DurationFromField(text) == expected.value_or(0),
                 "DurationFromField(" + Quoted(text) + ")");
}

void CheckTrim(std::string_view text) {
    const std::string_view trimmed = TrimBlanks(text);
    FUZZ_REQUIRE(trimmed == ReferenceTrim(text), "TrimBlanks(" + Quoted(text) + ")");
    // Callers keep using the view: it must point into the original text.
    FUZZ_REQUIRE(trimmed.empty() || (trimmed.data() >= text.data() &&
                                     trimmed.data() + trimmed.size() <= text.data() + text.size()),
                 "TrimBlanks left the text");
}

// Takes fields until the text is empty, with both overloads side by side.
void CheckFields(std::string_view text, char delimiter) {
    std::string_view view = text;
    std::string copy(text);
    size_t taken = 0;
    const size_t delimiters = static_cast<size_t>(std::count(text.begin(), text.end(), delimiter));
    do {
        std::string_view expectedField;
        std::string_view expectedRest;
        const auto at = view.find(delimiter);
        if (at == std::string_view::npos) {
            expectedField = ReferenceTrim(view);
        } else {
            expectedField = ReferenceTrim(view.substr(0, at));
            expectedRest = ReferenceTrim(view.substr(at + 1));
        }

        const std::string_view field = TakeField(view, delimiter);
        const std::string fieldCopy = TakeField(copy, delimiter);
        FUZZ_REQUIRE(field == expectedField && view == expectedRest,
                     "TakeField at " + Quoted(std::string_view(&delimiter, 1)) + " in " +
                         Quoted(text));
        FUZZ_REQUIRE(fieldCopy == field && copy == view, "the two TakeField overloads differ");
        FUZZ_REQUIRE(field.find(delimiter) == std::string_view::npos,
                     "a field holds its delimiter");
        ++taken;
        FUZZ_REQUIRE(taken <= delimiters + 1, "more fields than delimiters allow");
    } while (!view.empty());
}

// Every way of writing `value` that the reader accepts gives it back.
void CheckWrittenForms(int32_t value) {
    const bool negative = value < 0;
    const int64_t magnitude = negative ? -int64_t{value} : int64_t{value};
    const std::string sign = negative ? "-" : "";
    char lower[24];
    char upper[24];
    std::snprintf(lower, sizeof lower, "%llx", static_cast<unsigned long long>(magnitude));
    std::snprintf(upper, sizeof upper, "%llX", static_cast<unsigned long long>(magnitude));
    const std::string decimal = std::to_string(magnitude);
    const std::string forms[] = {
        std::to_string(value),  negative ? sign + decimal : "+" + decimal,
        sign + "000" + decimal, sign + "$" + lower,
        sign + "x" + upper,     sign + "X" + lower,
        sign + "0x" + upper,    sign + "0X00" + lower,
    };
    for (const std::string& form : forms) {
        FUZZ_REQUIRE(ParseInt32(form) == value, "ParseInt32(" + Quoted(form) + ")");
    }
    // As far beyond the range as the value lies within it: refused.
    const int64_t beyond =
        negative ? int64_t{INT32_MIN} - 1 - magnitude : int64_t{INT32_MAX} + 1 + magnitude;
    FUZZ_REQUIRE(!ParseInt32(std::to_string(beyond)), "ParseInt32 took " + std::to_string(beyond));
    FUZZ_REQUIRE(DurationFromField(std::to_string(beyond)) == 0, "an out-of-range duration");
}

} // namespace

void CheckTextFields(std::string_view input) {
    CheckNumber(input);
    CheckNumber(ReferenceTrim(input));
    CheckTrim(input);
    if (!input.empty()) {
        CheckFields(input.substr(1), input[0]);
    }
    CheckFields(input, ',');
    if (input.size() >= 4) {
        int32_t value = 0;
        std::memcpy(&value, input.data(), sizeof value);
        CheckWrittenForms(value);
    }
}

} // namespace frame::fuzz

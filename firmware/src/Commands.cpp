#include "src/Commands.h"

namespace fw {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

struct Span {
    const char* text;
    uint8_t length;

    void Trim() {
        while (length > 0 && IsBlank(text[0])) {
            ++text;
            --length;
        }
        while (length > 0 && IsBlank(text[length - 1]))
            --length;
    }
    bool Is(const char* word) const {
        uint8_t i = 0;
        for (; word[i] != '\0'; ++i)
            if (i >= length || Lower(text[i]) != Lower(word[i]))
                return false;
        return i == length;
    }
    bool StartsWith(const char* word) const {
        uint8_t i = 0;
        for (; word[i] != '\0'; ++i)
            if (i >= length || Lower(text[i]) != Lower(word[i]))
                return false;
        return true;
    }
};

// A signed 32-bit decimal number: an optional "+" or "-" and digits, blanks around.
bool ParseInt32(Span span, int32_t& value) {
    span.Trim();
    uint8_t i = 0;
    bool negative = false;
    if (i < span.length && span.text[i] == '+')
        ++i;
    else if (i < span.length && span.text[i] == '-') {
        negative = true;
        ++i;
    }
    if (i == span.length)
        return false;
    const uint32_t limit = negative ? 0x80000000UL : 0x7FFFFFFFUL;
    uint32_t magnitude = 0;
    for (; i < span.length; ++i) {
        const char c = span.text[i];
        if (c < '0' || c > '9')
            return false;
        const uint8_t digit = uint8_t(c - '0');
        if (magnitude > (limit - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    value = negative ? int32_t(0U - magnitude) : int32_t(magnitude);
    return true;
}

} // namespace

Command ParseCommand(const char* text, uint8_t length) {
    Span span{text, length};
    span.Trim();
    Command command;
    using Kind = Command::Kind;
    if (span.Is("AT"))
        command.kind = Kind::Attention;
    else if (span.Is("ATI"))
        command.kind = Kind::Identify;
    else if (span.Is("ab1"))
        command.kind = Kind::EmitCaptured;
    else if (span.Is("AT+DROP?"))
        command.kind = Kind::Drops;
    else if (span.StartsWith("AT+SND=")) {
        const Span arguments{span.text + 7, uint8_t(span.length - 7)};
        uint8_t comma = 0;
        while (comma < arguments.length && arguments.text[comma] != ',')
            ++comma;
        if (comma == arguments.length)
            return command;
        int32_t position = 0;
        int32_t value = 0;
        if (!ParseInt32(Span{arguments.text, comma}, position) ||
            !ParseInt32(Span{arguments.text + comma + 1, uint8_t(arguments.length - comma - 1)},
                        value) ||
            position < 0 || position > MaxDurations)
            return command;
        if (position == 0 && (value < 0 || value > MaxDurations))
            return command;
        command.kind = position == 0 ? Kind::Emit : Kind::Collect;
        command.position = uint16_t(position);
        command.value = value;
    }
    return command;
}

bool LineReader::Feed(uint8_t byte) {
    if (complete_) {
        complete_ = false;
        Clear();
    }
    const bool empty = length_ == 0 && !damaged_;
    if (byte == '\n' && empty)
        return false;
    if (byte != '\r') {
        if (length_ < MaxCommandLength)
            text_[length_++] = char(byte);
        else
            damaged_ = true;
        return false;
    }
    if (empty)
        return false;
    complete_ = true;
    return true;
}

} // namespace fw

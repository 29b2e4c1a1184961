#include "fuzz/checks/Reference.h"

#include <cerrno>
#include <cstdlib>

namespace frame::fuzz {

namespace {

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Cuts `text` at every `delimiter`; n delimiters give n + 1 pieces.
std::vector<std::string_view> SplitAll(std::string_view text, char delimiter) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == delimiter) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return pieces;
}

std::vector<std::string_view> SplitAll(std::string_view text, std::string_view delimiter) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const auto at = text.find(delimiter);
        pieces.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return pieces;
        }
        text.remove_prefix(at + delimiter.size());
    }
}

} // namespace

std::string_view ReferenceTrim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<int32_t> ReferenceInt32(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X')) {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // strtoll would skip blanks and take a sign or a prefix of its own: only digits reach it.
    for (const char c : text) {
        if (base == 16 ? !IsHexDigit(c) : !IsDecimalDigit(c)) {
            return std::nullopt;
        }
    }
    const std::string digits(text);
    errno = 0;
    const long long magnitude = std::strtoll(digits.c_str(), nullptr, base);
    if (errno == ERANGE) {
        return std::nullopt;
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

std::optional<int64_t> ReadCanonical(std::string_view text) {
    const bool negative = text.starts_with('-');
    std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 18) {
        return std::nullopt;
    }
    for (const char c : digits) {
        if (!IsDecimalDigit(c)) {
            return std::nullopt;
        }
    }
    if (digits[0] == '0' && (digits.size() > 1 || negative)) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

ReferenceLine ReadDeviceLine(std::string_view line, std::string_view signature) {
    ReferenceLine result;
    if (line == "OK") {
        result.kind = ReferenceLine::Kind::Acknowledgement;
        return result;
    }
    std::string_view text = line;
    if (line.find("+ATI:") != std::string_view::npos) {
        result.identification = true;
        text = ReferenceTrim(line.substr(line.find(':') + 1));
        result.identText = std::string(text);
    }
    std::vector<std::string_view> pieces = SplitAll(text, ',');
    if (ReferenceTrim(pieces[0]) != signature) {
        return result;
    }
    result.kind = ReferenceLine::Kind::Frame;
    pieces.erase(pieces.begin());
    // A trailing comma, or one followed by blanks only, adds no value.
    if (!pieces.empty() && ReferenceTrim(pieces.back()).empty()) {
        pieces.pop_back();
    }
    for (const std::string_view piece : pieces) {
        result.durations.push_back(ReferenceInt32(ReferenceTrim(piece)).value_or(0));
    }
    return result;
}

std::vector<std::string_view> SplitFileLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            lines.push_back(bytes.substr(start, i - start));
            const bool crlf = bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n';
            i += crlf ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < bytes.size()) {
        lines.push_back(bytes.substr(start));
    }
    return lines;
}

std::optional<ReferenceFile> ReadFrameFileReference(std::string_view bytes, size_t sizeLimit,
                                                    size_t capacity) {
    if (bytes.size() > sizeLimit) {
        return std::nullopt;
    }
    const auto lineValue = [](std::string_view line) {
        while (!line.empty() && line.front() == ' ') {
            line.remove_prefix(1);
        }
        return ReferenceInt32(line);
    };
    const std::vector<std::string_view> lines = SplitFileLines(bytes);
    if (lines.size() < 2 || lines.size() - 1 > capacity) {
        return std::nullopt;
    }
    ReferenceFile file;
    file.mode = lineValue(lines[0]).value_or(0);
    for (size_t i = 1; i < lines.size(); ++i) {
        const auto value = lineValue(lines[i]);
        if (!value || *value == -1) {
            return std::nullopt;
        }
        file.durations.push_back(*value);
    }
    if (file.durations.back() < 0) {
        return std::nullopt;
    }
    return file;
}

ParsedTable ParseCTable(std::string_view text) {
    ParsedTable table;
    const std::vector<std::string_view> lines = SplitAll(text, std::string_view("\r\n"));
    if (lines.size() < 2 || lines.back() != "};") {
        table.error = "the text does not end in a line \"};\"";
        return table;
    }
    for (const std::string_view line : lines) {
        if (line.find_first_of("\r\n") != std::string_view::npos) {
            table.error = "a lone CR or LF";
            return table;
        }
    }

    constexpr std::string_view head = "uint16_t tab[";
    constexpr std::string_view afterCount = "] PROGMEM = { ";
    std::string_view first = lines[0];
    const auto close = first.find(']');
    if (!first.starts_with(head) || close == std::string_view::npos) {
        table.error = "no header";
        return table;
    }
    const auto declared = ReadCanonical(first.substr(head.size(), close - head.size()));
    if (!declared || *declared < 0 || !first.substr(close).starts_with(afterCount)) {
        table.error = "a malformed header";
        return table;
    }
    table.declared = *declared;
    first.remove_prefix(close + afterCount.size());

    // The value lines; a single value sits on the header line itself.
    std::vector<std::string_view> valueLines(lines.begin() + 1, lines.end() - 1);
    const int64_t n = table.declared;
    if (n == 0) {
        if (first != " " || !valueLines.empty()) {
            table.error = "an empty table with something between its braces";
        }
        return table;
    }
    if (n == 1) {
        if (!valueLines.empty() || !first.ends_with(' ')) {
            table.error = "a single value not alone on the header line";
            return table;
        }
        valueLines.push_back(first);
    } else {
        if (!first.empty()) {
            table.error = "values on the header line of a longer table";
            return table;
        }
        const int64_t expectedLines = (n - 1 + 4) / 5;
        if (static_cast<int64_t>(valueLines.size()) != expectedLines) {
            table.error = "value lines: " + std::to_string(valueLines.size()) + " instead of " +
                          std::to_string(expectedLines);
            return table;
        }
        for (std::string_view& line : valueLines) {
            if (!line.starts_with('\t')) {
                table.error = "a value line without its TAB";
                return table;
            }
            line.remove_prefix(1);
        }
    }

    for (size_t i = 0; i < valueLines.size(); ++i) {
        std::string_view line = valueLines[i];
        const bool last = i + 1 == valueLines.size();
        // Every line but the last ends with the comma that leads to the next line; the last ends
        // with the blank before the closing line.
        if (last ? !line.ends_with(' ') : !line.ends_with(',')) {
            table.error = "value line " + std::to_string(i) + " ends wrongly";
            return table;
        }
        line.remove_suffix(1);
        const std::vector<std::string_view> fields = SplitAll(line, ',');
        const size_t expected =
            last ? static_cast<size_t>(n - 5 * static_cast<int64_t>(valueLines.size() - 1)) : 5;
        if (n >= 2 && fields.size() != expected) {
            table.error = "value line " + std::to_string(i) + " holds " +
                          std::to_string(fields.size()) + " values instead of " +
                          std::to_string(expected);
            return table;
        }
        for (const std::string_view field : fields) {
            const auto value = ReadCanonical(field);
            if (!value) {
                table.error = "not a plain number: \"" + std::string(field) + "\"";
                return table;
            }
            table.values.push_back(*value);
        }
    }
    if (static_cast<int64_t>(table.values.size()) != n) {
        table.error = "the count between the brackets differs from the values";
    }
    return table;
}

ParsedEmission ParseEmission(const std::vector<std::string>& commands) {
    ParsedEmission emission;
    constexpr std::string_view head = "AT+SND=";
    for (size_t i = 0; i < commands.size(); ++i) {
        std::string_view command = commands[i];
        if (!command.starts_with(head) || !command.ends_with('\r')) {
            emission.error = "command " + std::to_string(i) + " malformed";
            return emission;
        }
        command.remove_prefix(head.size());
        command.remove_suffix(1);
        const std::vector<std::string_view> parts = SplitAll(command, ',');
        const auto position = parts.size() == 2 ? ReadCanonical(parts[0]) : std::nullopt;
        const auto value = parts.size() == 2 ? ReadCanonical(parts[1]) : std::nullopt;
        if (!position || !value) {
            emission.error = "command " + std::to_string(i) + " does not hold two plain numbers";
            return emission;
        }
        const bool closing = i + 1 == commands.size();
        const int64_t expectedPosition = closing ? 0 : static_cast<int64_t>(i) + 1;
        if (*position != expectedPosition) {
            emission.error =
                "command " + std::to_string(i) + " has position " + std::to_string(*position);
            return emission;
        }
        if (closing) {
            if (*value != static_cast<int64_t>(emission.durations.size())) {
                emission.error = "the closing command's count differs from the pulses sent";
            }
            return emission;
        }
        emission.durations.push_back(*value);
    }
    emission.error = "no closing command";
    return emission;
}

} // namespace frame::fuzz

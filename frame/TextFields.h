#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace frame {

// Splitting and number reading shared by the device line parser and the frame file reader.

// Takes the field before the first `delimiter` out of `text` (the whole text when there is none);
// `text` keeps what follows the delimiter. Then removes blanks (character 32 only, tabs stay) from
// both ends of the field and of `text`.
std::string TakeField(std::string& text, char delimiter);

// The same on a view, without copying; the returned field points into the original text.
std::string_view TakeField(std::string_view& text, char delimiter);

// Removes blanks (character 32 only) from both ends.
std::string_view TrimBlanks(std::string_view text);

// Reads a whole text as a signed 32-bit integer: an optional '+' or '-', then decimal digits, or
// hexadecimal digits (either letter case) after "$", "x", "X", "0x" or "0X". Anything else in the
// text, an empty text or a value outside the signed 32-bit range gives nullopt. No blanks allowed.
std::optional<int32_t> ParseInt32(std::string_view text);

// A duration field of a frame line: ParseInt32 with 0 for everything it does not accept.
int32_t DurationFromField(std::string_view field);

} // namespace frame

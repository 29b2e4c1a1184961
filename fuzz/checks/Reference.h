#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace frame::fuzz {

// Readings of the frame core's texts written independently of frame/, in the plainest way that
// works, so the fuzz targets can compare the real code against them.

// Removes spaces (character 32 only) from both ends.
std::string_view ReferenceTrim(std::string_view text);

// A whole text as a signed 32-bit number: an optional sign, then decimal digits, or hexadecimal
// digits after "$", "x", "X", "0x" or "0X". The digits themselves go through strtoll.
std::optional<int32_t> ReferenceInt32(std::string_view text);

// A plain decimal number as this program writes them: "0", or an optional "-" and digits without
// a leading zero ("-0" is not one). Nullopt for anything else or outside 64 bits.
std::optional<int64_t> ReadCanonical(std::string_view text);

// One device line as the main window must take it.
struct ReferenceLine {
    enum class Kind { Acknowledgement, Other, Frame };
    Kind kind = Kind::Other;
    bool identification = false;
    std::string identText;          // the text after the first colon, trimmed
    std::vector<int32_t> durations; // every value of a frame line, not yet cut to the capacity
};
ReferenceLine ReadDeviceLine(std::string_view line, std::string_view signature);

// A frame file as the reader must take it; nullopt when it must be rejected.
struct ReferenceFile {
    int32_t mode = 0;
    std::vector<int32_t> durations;
};
std::optional<ReferenceFile> ReadFrameFileReference(std::string_view bytes, size_t sizeLimit,
                                                    size_t capacity);

// The file's lines: ended by CR LF, LF or CR; the last may lack its end.
std::vector<std::string_view> SplitFileLines(std::string_view bytes);

// A C table text read back: the count between the brackets and the values. `error` is empty when
// the text has the exact layout (header, line breaks before every fifth value but never before
// the last, commas, closing text).
struct ParsedTable {
    int64_t declared = -1;
    std::vector<int64_t> values;
    std::string error;
};
ParsedTable ParseCTable(std::string_view text);

// Emission commands read back: the durations they carry, or the first thing that is wrong.
struct ParsedEmission {
    std::vector<int64_t> durations;
    std::string error;
};
ParsedEmission ParseEmission(const std::vector<std::string>& commands);

} // namespace frame::fuzz

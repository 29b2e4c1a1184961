#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Text and time helpers of the serial line driver. Free functions without state.
namespace serial {

// Finds the first CR or LF in `text`. Answers its zero-based position, or -1 when there is none.
// `lineEnd` receives the line end found there: "\r\n" when a CR is followed by LF, "\n\r" when an
// LF is followed by CR, else the single byte (also when it is the last one); empty when none.
std::ptrdiff_t FindLineEnd(std::string_view text, std::string_view& lineEnd);

// Milliseconds of the monotonic clock, cut to the low 32 bits (wraps every ~49.7 days).
std::uint32_t MillisecondTick();

// Milliseconds from `earlier` to `later` of MillisecondTick, across one wrap of the counter.
// A later tick below the earlier one counts as a wrap only when the earlier has its top bit set
// and the later has not; otherwise the two were swapped and their distance is answered.
constexpr std::uint32_t TicksBetween(std::uint32_t earlier, std::uint32_t later) {
    constexpr std::uint32_t topBit = 0x8000'0000u;
    if (later >= earlier) {
        return later - earlier;
    }
    if ((earlier & topBit) != 0 && (later & topBit) == 0) {
        return later - earlier; // unsigned arithmetic adds the 2^32 of the wrap
    }
    return earlier - later;
}

// The system's text for an error number: no trailing full stops, blanks or line ends, and at
// most 255 characters.
std::string OsErrorText(int errorNumber);

} // namespace serial

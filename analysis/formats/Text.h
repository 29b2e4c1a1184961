#pragma once

// Text helpers the format readers and writers share (internal to analysis/formats).

#include "analysis/Formats.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace analysis::formats::detail {

// The gap written after a signal where a format needs one (Pronto's last space, LIRC's gap): long
// enough for any listed protocol's repeat period, so a held key repeats the code correctly.
inline constexpr int32_t RepeatGapUs = 100000;

struct Line {
    int number = 0; // counted from 1
    std::string_view text;
};

// The lines of a text, ended by LF, CR LF or CR.
class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}
    std::optional<Line> Next();

private:
    std::string_view rest_;
    int number_ = 0;
};

// Blanks and tabs removed from both ends.
std::string_view Trim(std::string_view text);

// The words of a text, split at blanks and tabs.
std::vector<std::string_view> Words(std::string_view text);

// Equal but for the letter case (ASCII).
bool SameText(std::string_view a, std::string_view b);

// A whole word of decimal digits as a number within [min, max]; nullopt otherwise.
std::optional<int64_t> Decimal(std::string_view word, int64_t min, int64_t max);

// A duration word: a positive decimal number of microseconds that fits a signal.
int32_t DurationWord(std::string_view word, int line);

// The durations of a signal about to be written: magnitudes, checked to be writable (at least one,
// none zero). Throws FormatError naming the signal.
Durations WritableDurations(const Signal& signal, std::size_t index);

// A name to write: the signal's own, or "signal N" when it has none. Throws FormatError when the
// name holds a line break, which no format can store.
std::string WritableName(const Signal& signal, std::size_t index);

// A signal a format stores by its protocol and parameters: the protocol's nominal frame alone (so
// an exported frame reads back as the same durations), toggle 0 (unless given), the protocol's
// carrier. Throws
// FormatError at `line` when the protocol cannot render these parameters.
Signal RenderedSignal(std::string_view protocol, const std::vector<Param>& params, int line);

// Throws FormatError when the format holds a single signal and `signals` is not one.
void RequireOne(std::span<const Signal> signals, std::string_view format);

std::vector<Signal> ReadFlipper(std::string_view text);
std::string WriteFlipper(std::span<const Signal> signals);
std::vector<Signal> ReadPronto(std::string_view text);
std::string WritePronto(std::span<const Signal> signals);
std::vector<Signal> ReadMode2(std::string_view text);
std::string WriteMode2(std::span<const Signal> signals);
std::vector<Signal> ReadLirc(std::string_view text);
std::string WriteLirc(std::span<const Signal> signals);
std::string WriteIrRemote(std::span<const Signal> signals);

} // namespace analysis::formats::detail

#pragma once

#include <string_view>

namespace frame::fuzz {

// The readers of other IR tools' files: the first byte picks the format (Flipper, Pronto, mode2,
// lircd.conf), the rest is the file. Bad input must give a FormatError naming a line, never a crash
// or another exception; a file that reads must hold only positive durations, write back in its own
// format and read again to the same signals (within Pronto's resolution), and a second writing
// must equal the first (Pronto: same durations, as its carrier is rounded to whole hertz).
void CheckFormats(std::string_view input);

} // namespace frame::fuzz

#pragma once

// The file formats other infra-red tools keep signals in: reading them into signals and writing
// signals out as their text. Pure text in, text out; writing a file atomically is the caller's
// (frame/FrameFile.h has the writer). Standard library only.

#include "analysis/Analysis.h"

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace analysis::formats {

// One signal of a file: its name where the format has names (empty otherwise), its durations
// (mark first, positive values) and its carrier.
struct Signal {
    std::string name;
    Durations durations;
    int carrierHz = 38000;
    double dutyCycle = 0.33;
};

enum class Format {
    Flipper,  // Flipper Zero ".ir" signals file, raw and parsed entries
    Pronto,   // Pronto Hex, one code per line or block
    Mode2,    // LIRC mode2 output ("pulse N" / "space N")
    Lirc,     // lircd.conf with raw_codes
    IrRemote, // Arduino IRremote sketch lines (written only)
};

// Bad input. The text names the line ("line 12: ...") and is ready for the user.
class FormatError : public std::runtime_error {
public:
    FormatError(int line, const std::string& what);
    int line() const { return line_; }

private:
    int line_;
};

// Reads every signal of a file's text, in file order. Throws FormatError.
std::vector<Signal> Read(Format format, std::string_view text);

// The file's text for these signals. Throws FormatError where the format cannot hold one of them
// (IrRemote and Mode2 hold one signal each, for example).
std::string Write(Format format, std::span<const Signal> list);

// "flipper", "pronto", "mode2", "lirc", "irremote".
std::optional<Format> FormatFromName(std::string_view name);

} // namespace analysis::formats

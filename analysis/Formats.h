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
    int line = 0; // the line of the file where it starts; 0 when it was not read from a file
};

enum class Format {
    Flipper,  // Flipper Zero ".ir" signals file, raw and parsed entries
    Pronto,   // Pronto Hex, one code per line or block
    Mode2,    // LIRC mode2 output ("pulse N" / "space N")
    Lirc,     // lircd.conf with raw_codes
    IrRemote, // Arduino IRremote sketch lines (written only)
};

// Bad input. The text names the line ("line 12: ...") and is ready for the user. A signal a writer
// cannot store gives an error without a line (line() 0) whose text names the signal instead.
class FormatError : public std::runtime_error {
public:
    FormatError(int line, const std::string& what);
    explicit FormatError(const std::string& what);
    int line() const { return line_; }

private:
    int line_;
};

// Reads every signal of a file's text, in file order. Throws FormatError.
//
// Flipper: raw entries as stored; parsed entries rendered with their protocol's nominal timings,
// one repeat in the protocol's repeat form (so a NEC entry reads back as NEC1), toggle 0, the
// protocol's carrier. Pronto: learned codes (0000) as their once and repeat sequences, each sent
// once; RC5 (5000), RC5x (5001), RC6 (6000) and NEC (900A) codes rendered like parsed entries; a
// line may start with "name:". Mode2: a new signal after a "timeout" line or a space of at least
// 200 ms; leading spaces dropped. LIRC: every raw code of every remote.
std::vector<Signal> Read(Format format, std::string_view text);

// The file's text for these signals. Throws FormatError where the format cannot hold one of them
// (Mode2 holds one signal, for example). Signs of durations are dropped; a zero
// duration cannot be written.
//
// Flipper: a signal that decodes to exactly one protocol Flipper stores (repeats allowed) is
// written as a parsed entry, any other as raw. Pronto: learned codes, one per line, without names;
// a signal ending with a mark gets a 100 ms trailing space. LIRC: a remote for each run of signals
// sharing carrier and duty cycle, names with blanks written with '_'. IrRemote: per signal a
// uint16_t table with the decode as a comment and its sendRaw call; one signal's table is rawData,
// several are named after their signals as C identifiers (unique, rawData for no name).
std::string Write(Format format, std::span<const Signal> list);

// "flipper", "pronto", "mode2", "lirc", "irremote".
std::optional<Format> FormatFromName(std::string_view name);
std::string_view FormatName(Format format);

// A piece of input in quotes, safe to print in a message: control bytes, C1 controls and bytes that
// are not UTF-8 escaped (\t, \n, \r, \xNN; a backslash as \\), valid UTF-8 kept, cut after 80
// characters with "…".
std::string Quoted(std::string_view text);

// A decode as one readable line: "NEC1 D=4 S=251 F=8, 3 ditto repeats".
std::string DescribeDecode(const Decode& decode);

// The generic reading as one line: "pulse distance, 32 bits, header 9024/4512, LSB 0x.., MSB 0x..".
std::string DescribeGeneric(const Generic& generic);

} // namespace analysis::formats

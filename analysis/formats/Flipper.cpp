// Flipper Zero ".ir" signals files: a "Filetype"/"Version" header, then entries of "key: value"
// lines, each starting with "name". Raw entries hold durations; parsed entries a protocol with a
// 32-bit address and command written as four little-endian hex bytes.

#include "analysis/formats/Text.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>

namespace analysis::formats::detail {
namespace {

constexpr std::string_view SignalsFiletype = "IR signals file";
constexpr std::string_view LibraryFiletype = "IR library file";

// A parsed entry as the file stores it.
struct Parsed {
    std::string protocol;
    uint32_t address = 0;
    uint32_t command = 0;
    bool operator==(const Parsed&) const = default;
};

// The same entry as the analysis names it.
struct Irp {
    std::string protocol;
    std::vector<Param> params;
};

struct Widths {
    std::string_view name;
    int addressBits;
    int commandBits;
};

constexpr Widths FlipperProtocols[] = {
    {"NEC", 8, 8},     {"NECext", 16, 16}, {"NEC42", 13, 8},     {"Samsung32", 8, 8},
    {"RC5", 5, 6},     {"RC5X", 5, 7},     {"RC6", 8, 8},        {"SIRC", 5, 7},
    {"SIRC15", 8, 7},  {"SIRC20", 13, 7},  {"Kaseikyo", 26, 10}, {"RCA", 4, 8},
    {"Pioneer", 8, 8},
};

// The Kaseikyo OEM codes Flipper's entries carry, with the protocol each one names.
struct Oem {
    uint32_t m;
    uint32_t n;
    std::string_view protocol;
};
constexpr Oem KaseikyoOems[] = {{2, 32, "Panasonic"}, {3, 1, "JVC-48"}, {84, 50, "Denon-K"}};

const Widths* FindFlipperProtocol(std::string_view name) {
    for (const Widths& w : FlipperProtocols)
        if (SameText(w.name, name))
            return &w;
    return nullptr;
}

uint32_t OemCheck(uint32_t m, uint32_t n) {
    return (m ^ (m >> 4) ^ n ^ (n >> 4)) & 15;
}

std::vector<Param> P(std::initializer_list<std::pair<const char*, uint32_t>> values) {
    std::vector<Param> params;
    for (const auto& [name, value] : values)
        params.push_back({name, static_cast<int64_t>(value)});
    return params;
}

// Apple remotes are NECext entries with Apple's device bytes and odd parity over all 32 bits.
bool IsApple(uint32_t d, uint32_t s, uint32_t command) {
    return d == 238 && s == 135 && std::popcount(d | s << 8 | command << 16) % 2 == 1;
}

// The analysis protocol of a parsed entry; nullopt with `error` set when the file's values do not
// fit it. Carrier, toggle and repeats are not stored in the file.
std::optional<Irp> ToIrp(const Parsed& p, std::string& error) {
    const Widths* widths = FindFlipperProtocol(p.protocol);
    if (!widths) {
        error = "protocol " + Quoted(p.protocol) + " is not one Flipper files store";
        return std::nullopt;
    }
    const uint64_t addressLimit = uint64_t{1} << widths->addressBits;
    const uint64_t commandLimit = uint64_t{1} << widths->commandBits;
    if (p.address >= addressLimit || p.command >= commandLimit) {
        error = "address or command too wide for " + std::string(widths->name) + " (" +
                std::to_string(widths->addressBits) + " and " +
                std::to_string(widths->commandBits) + " bits)";
        return std::nullopt;
    }
    const uint32_t a = p.address;
    const uint32_t c = p.command;
    const std::string_view name = widths->name;
    if (name == "NEC")
        return Irp{"NEC1", P({{"D", a}, {"S", 255 - a}, {"F", c}})};
    if (name == "Pioneer")
        return Irp{"Pioneer", P({{"D", a}, {"S", 255 - a}, {"F", c}})};
    if (name == "NECext") {
        const uint32_t d = a & 255, s = a >> 8, f = c & 255, e = c >> 8;
        if (IsApple(d, s, c))
            return Irp{"Apple", P({{"D", d}, {"S", s}, {"F", f >> 1}, {"PairID", e}})};
        if (e == (~f & 255))
            return Irp{"NEC1", P({{"D", d}, {"S", s}, {"F", f}})};
        return Irp{"NEC1-f16", P({{"D", d}, {"S", s}, {"F", f}, {"E", e}})};
    }
    if (name == "NEC42")
        return Irp{"Aiwa", P({{"D", a & 255}, {"S", a >> 8}, {"F", c}})};
    if (name == "Samsung32")
        return Irp{"NECx1", P({{"D", a}, {"S", a}, {"F", c}})};
    if (name == "RC5")
        return Irp{"RC5", P({{"D", a}, {"F", c}, {"T", 0}})};
    if (name == "RC5X") // the extended command range of RC5, not the 20-bit RC5x
        return Irp{"RC5", P({{"D", a}, {"F", 64 + (c & 63)}, {"T", 0}})};
    if (name == "RC6")
        return Irp{"RC6", P({{"D", a}, {"F", c}, {"T", 0}})};
    if (name == "SIRC")
        return Irp{"Sony12", P({{"D", a}, {"F", c}})};
    if (name == "SIRC15")
        return Irp{"Sony15", P({{"D", a}, {"F", c}})};
    if (name == "SIRC20")
        return Irp{"Sony20", P({{"D", a & 31}, {"S", a >> 5}, {"F", c}})};
    if (name == "RCA")
        return Irp{"RCA", P({{"D", a}, {"F", c}})};
    // Kaseikyo: the address packs the OEM code, two genre nibbles and the top of the 12-bit
    // function field; the command the rest of it.
    const uint32_t genre2 = a & 15, genre1 = (a >> 4) & 15, m = (a >> 8) & 255, n = (a >> 16) & 255,
                   id = (a >> 24) & 3;
    for (const Oem& oem : KaseikyoOems) {
        if (oem.m != m || oem.n != n)
            continue;
        if (oem.protocol == "Denon-K")
            return Irp{"Denon-K", P({{"D", genre1}, {"S", genre2}, {"F", c | id << 10}})};
        const uint32_t d = OemCheck(m, n) | genre1 << 4;
        const uint32_t s = genre2 | (c & 15) << 4;
        const uint32_t f = ((c >> 4) & 63) | id << 6;
        return Irp{std::string(oem.protocol), P({{"D", d}, {"S", s}, {"F", f}})};
    }
    error = "Kaseikyo OEM code " + std::to_string(m) + "." + std::to_string(n) +
            " names no protocol known here";
    return std::nullopt;
}

std::optional<int64_t> ParamOf(const Decode& decode, std::string_view name) {
    for (const Param& p : decode.params)
        if (p.name == name)
            return p.value;
    return std::nullopt;
}

// The parsed entry for a decode, where Flipper has a protocol for it.
std::optional<Parsed> FromDecode(const Decode& decode) {
    const std::string& name = decode.protocol;
    const auto d = ParamOf(decode, "D"), s = ParamOf(decode, "S"), f = ParamOf(decode, "F");
    if (!d || !f || *d < 0 || *f < 0)
        return std::nullopt;
    const auto a = static_cast<uint32_t>(*d);
    const auto c = static_cast<uint32_t>(*f);
    const auto sub = static_cast<uint32_t>(s.value_or(0));
    if (LoneName(name) == "NEC") {
        if (sub == 255 - a)
            return Parsed{"NEC", a, c};
        return Parsed{"NECext", a | sub << 8, c | (~c & 255) << 8};
    }
    if (LoneName(name) == "NEC-f16")
        return Parsed{"NECext", a | sub << 8,
                      c | static_cast<uint32_t>(ParamOf(decode, "E").value_or(0)) << 8};
    if (name == "Apple") {
        const auto pair = static_cast<uint32_t>(ParamOf(decode, "PairID").value_or(0));
        uint32_t command = c << 1 | pair << 8;
        if (std::popcount(a | sub << 8 | command << 16) % 2 == 0)
            command |= 1;
        return Parsed{"NECext", a | sub << 8, command};
    }
    if (name == "Pioneer" && sub == 255 - a)
        return Parsed{"Pioneer", a, c};
    if (name == "Aiwa")
        return Parsed{"NEC42", a | sub << 8, c};
    if ((name == "NECx1" || name == "NECx2" || name == "NECx") && sub == a)
        return Parsed{"Samsung32", a, c};
    if (name == "RC5")
        return c < 64 ? Parsed{"RC5", a, c} : Parsed{"RC5X", a, c - 64};
    if (name == "RC6")
        return Parsed{"RC6", a, c};
    if (name == "Sony12")
        return Parsed{"SIRC", a, c};
    if (name == "Sony15")
        return Parsed{"SIRC15", a, c};
    if (name == "Sony20")
        return Parsed{"SIRC20", a | sub << 5, c};
    if (name == "RCA")
        return Parsed{"RCA", a, c};
    for (const Oem& oem : KaseikyoOems) {
        if (name != oem.protocol)
            continue;
        const uint32_t oemBits = oem.m << 8 | oem.n << 16;
        if (name == "Denon-K")
            return Parsed{"Kaseikyo", sub | a << 4 | oemBits | (c >> 10) << 24, c & 1023};
        if ((a & 15) != OemCheck(oem.m, oem.n))
            return std::nullopt;
        return Parsed{"Kaseikyo", (sub & 15) | (a >> 4) << 4 | oemBits | (c >> 6) << 24,
                      (sub >> 4) | (c & 63) << 4};
    }
    return std::nullopt;
}

std::vector<Param> WithoutToggle(std::vector<Param> params) {
    std::erase_if(params, [](const Param& p) { return p.name == "T"; });
    return params;
}

// The entry a signal is stored as when it is one decode of a protocol Flipper stores, with its
// repeats and at most a trailing space beyond it, and the entry reads back as that same decode
// (the toggle aside, which entries do not keep).
std::optional<Parsed> ParsedEntry(const Durations& durations) {
    const Result result = Analyse(durations);
    if (result.decodes.size() != 1)
        return std::nullopt;
    const Decode& decode = result.decodes.front();
    // An entry reads back as the frame alone: repeats would be lost, so such a signal stays raw.
    if (decode.first != 0 || decode.last + 2 < durations.size() || decode.repeats != 0)
        return std::nullopt;
    const auto parsed = FromDecode(decode);
    if (!parsed)
        return std::nullopt;
    std::string error;
    const auto irp = ToIrp(*parsed, error);
    if (!irp || WithoutToggle(irp->params) != WithoutToggle(decode.params))
        return std::nullopt;
    Decode again;
    again.protocol = irp->protocol;
    again.params = irp->params;
    if (FromDecode(again) != parsed)
        return std::nullopt;
    return parsed;
}

std::string HexBytes(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", value & 255, (value >> 8) & 255,
                  (value >> 16) & 255, value >> 24);
    return text;
}

// A value of a "key: value" line, with its line.
struct Field {
    int line = 0;
    std::string_view value;
};

// One entry while it is read.
struct Entry {
    int line = 0;
    std::string name;
    std::optional<Field> type, frequency, dutyCycle, protocol, address, command;
    std::optional<Field> data; // the first data line
    Durations durations;
};

uint32_t HexBytesValue(const Field& field) {
    const std::vector<std::string_view> bytes = Words(field.value);
    if (bytes.size() != 4)
        throw FormatError(field.line, "expected four hex bytes, found " + Quoted(field.value));
    uint32_t value = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned byte = 0;
        const std::string_view b = bytes[i];
        const auto [end, error] = std::from_chars(b.data(), b.data() + b.size(), byte, 16);
        if (b.size() > 2 || error != std::errc{} || end != b.data() + b.size())
            throw FormatError(field.line, Quoted(b) + " is not a hex byte");
        value |= static_cast<uint32_t>(byte) << (8 * i);
    }
    return value;
}

const Field& Required(const std::optional<Field>& field, const Entry& entry, std::string_view key) {
    if (!field)
        throw FormatError(entry.line,
                          "signal " + Quoted(entry.name) + " has no " + std::string(key));
    return *field;
}

double DutyCycle(const Field& field) {
    double value = 0;
    const std::string_view text = field.value;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
        !(value > 0.0 && value <= 1.0))
        throw FormatError(field.line,
                          Quoted(text) + " is not a duty cycle (a fraction above 0, at most 1)");
    return value;
}

Signal Finish(const Entry& entry) {
    const Field& type = Required(entry.type, entry, "type");
    if (type.value == "raw") {
        const Field& frequency = Required(entry.frequency, entry, "frequency");
        const Field& duty = Required(entry.dutyCycle, entry, "duty_cycle");
        Required(entry.data, entry, "data");
        const auto hz = Decimal(frequency.value, 1, 1000000);
        if (!hz)
            throw FormatError(frequency.line,
                              Quoted(frequency.value) + " is not a carrier (1 to 1000000 Hz)");
        Signal signal;
        signal.name = entry.name;
        signal.durations = entry.durations;
        signal.carrierHz = static_cast<int>(*hz);
        signal.dutyCycle = DutyCycle(duty);
        signal.line = entry.line;
        return signal;
    }
    if (type.value == "parsed") {
        const Field& protocol = Required(entry.protocol, entry, "protocol");
        const Parsed parsed{std::string(protocol.value),
                            HexBytesValue(Required(entry.address, entry, "address")),
                            HexBytesValue(Required(entry.command, entry, "command"))};
        std::string error;
        const auto irp = ToIrp(parsed, error);
        if (!irp)
            throw FormatError(protocol.line, error);
        Signal signal = RenderedSignal(irp->protocol, irp->params, protocol.line);
        signal.name = entry.name;
        signal.line = entry.line;
        return signal;
    }
    throw FormatError(type.line, "type " + Quoted(type.value) + " is neither raw nor parsed");
}

void Store(Entry& entry, std::string_view key, Field field) {
    if (key == "data") {
        // Long captures are stored over several data lines.
        if (!entry.data)
            entry.data = field;
        for (const std::string_view word : Words(field.value))
            entry.durations.push_back(DurationWord(word, field.line));
        if (entry.durations.empty())
            throw FormatError(field.line, "data holds no durations");
        return;
    }
    std::optional<Field>* slot = key == "type"         ? &entry.type
                                 : key == "frequency"  ? &entry.frequency
                                 : key == "duty_cycle" ? &entry.dutyCycle
                                 : key == "protocol"   ? &entry.protocol
                                 : key == "address"    ? &entry.address
                                 : key == "command"    ? &entry.command
                                                       : nullptr;
    if (!slot)
        throw FormatError(field.line, "unknown key " + Quoted(key));
    if (*slot)
        throw FormatError(field.line,
                          Quoted(key) + " given twice for signal " + Quoted(entry.name));
    *slot = field;
}

} // namespace

std::vector<Signal> ReadFlipper(std::string_view text) {
    LineReader lines(text);
    std::vector<Signal> signals;
    std::optional<Entry> entry;
    bool filetype = false;
    bool version = false;
    int lastLine = 1;
    while (const auto line = lines.Next()) {
        lastLine = line->number;
        const std::string_view content = Trim(line->text);
        if (content.empty() || content.front() == '#')
            continue;
        const auto colon = content.find(':');
        if (colon == std::string_view::npos)
            throw FormatError(line->number, "expected \"key: value\", found " + Quoted(content));
        const std::string_view key = Trim(content.substr(0, colon));
        const Field field{line->number, Trim(content.substr(colon + 1))};
        if (!filetype) {
            if (key != "Filetype" ||
                (field.value != SignalsFiletype && field.value != LibraryFiletype))
                throw FormatError(line->number, "not a Flipper IR file: expected \"Filetype: " +
                                                    std::string(SignalsFiletype) + "\"");
            filetype = true;
        } else if (!version) {
            if (key != "Version")
                throw FormatError(line->number, "expected \"Version: 1\"");
            if (field.value != "1")
                throw FormatError(line->number,
                                  "version " + Quoted(field.value) + " is not supported (only 1)");
            version = true;
        } else if (key == "name") {
            if (entry)
                signals.push_back(Finish(*entry));
            if (field.value.empty())
                throw FormatError(line->number, "a signal needs a name");
            entry.emplace();
            entry->line = line->number;
            entry->name = std::string(field.value);
        } else if (!entry) {
            throw FormatError(line->number, "expected \"name:\" before " + Quoted(key));
        } else {
            Store(*entry, key, field);
        }
    }
    if (!version)
        throw FormatError(lastLine, "not a Flipper IR file: the \"Filetype\" and \"Version\" "
                                    "lines are missing");
    if (entry)
        signals.push_back(Finish(*entry));
    return signals;
}

std::string WriteFlipper(std::span<const Signal> signals) {
    std::string text = "Filetype: " + std::string(SignalsFiletype) + "\nVersion: 1\n";
    for (std::size_t i = 0; i < signals.size(); ++i) {
        const Signal& signal = signals[i];
        const Durations durations = WritableDurations(signal, i);
        text += "#\nname: " + WritableName(signal, i) + "\n";
        if (const auto parsed = ParsedEntry(durations)) {
            text += "type: parsed\nprotocol: " + parsed->protocol +
                    "\naddress: " + HexBytes(parsed->address) +
                    "\ncommand: " + HexBytes(parsed->command) + "\n";
            continue;
        }
        if (signal.carrierHz <= 0 || signal.carrierHz > 1000000)
            throw FormatError("signal " + std::to_string(i + 1) + ": a carrier of " +
                              std::to_string(signal.carrierHz) + " Hz cannot be written");
        if (!(signal.dutyCycle > 0.0 && signal.dutyCycle <= 1.0))
            throw FormatError("signal " + std::to_string(i + 1) +
                              ": the duty cycle must be above 0 and at most 1");
        char duty[32];
        // Six decimals, as Flipper writes them; a tiny duty cycle must not read back as 0.
        std::snprintf(duty, sizeof duty, "%.6f", std::max(signal.dutyCycle, 0.000001));
        text += "type: raw\nfrequency: " + std::to_string(signal.carrierHz) +
                "\nduty_cycle: " + duty + "\ndata:";
        for (const int32_t d : durations)
            text += " " + std::to_string(d);
        text += "\n";
    }
    return text;
}

} // namespace analysis::formats::detail

// The lines Arduino IRremote users paste into a sketch: the durations as a uint16_t table with the
// decode as a comment, and the call that sends them.

#include "analysis/formats/Text.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <string_view>
#include <vector>

namespace analysis::formats::detail {
namespace {

std::string Comment(const Durations& durations) {
    const Result result = Analyse(durations);
    std::string text;
    for (const Decode& decode : result.decodes)
        text += (text.empty() ? "" : "; ") + DescribeDecode(decode);
    if (text.empty())
        text = "no known protocol: " + DescribeGeneric(result.generic);
    return text;
}

// Words of C++ that a button may be named after but an array may not.
constexpr std::string_view Keywords[] = {
    "alignas",       "alignof",   "and",       "and_eq",    "asm",       "auto",      "bitand",
    "bitor",         "bool",      "break",     "case",      "catch",     "char",      "class",
    "compl",         "concept",   "const",     "consteval", "constexpr", "constinit", "continue",
    "co_await",      "co_return", "co_yield",  "decltype",  "default",   "delete",    "do",
    "double",        "else",      "enum",      "explicit",  "export",    "extern",    "false",
    "float",         "for",       "friend",    "goto",      "if",        "inline",    "int",
    "long",          "mutable",   "namespace", "new",       "noexcept",  "not",       "not_eq",
    "nullptr",       "operator",  "or",        "or_eq",     "private",   "protected", "public",
    "register",      "requires",  "return",    "short",     "signed",    "sizeof",    "static",
    "static_assert", "struct",    "switch",    "template",  "this",      "throw",     "true",
    "try",           "typedef",   "typeid",    "typename",  "union",     "unsigned",  "using",
    "virtual",       "void",      "volatile",  "while",     "xor",       "xor_eq",
};

// The signal's name as a C identifier: every run of other characters than ASCII letters and
// digits becomes one '_' (none at either end), so no reserved "__" or leading '_' can arise; a
// name starting with a digit, or a keyword, gets a prefix; a name without letters or digits
// gives rawData. `taken` keeps the identifiers unique with _2, _3, ...
std::string ArrayName(std::string_view name, std::vector<std::string>& taken) {
    std::string id;
    bool gap = false;
    for (const char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            if (gap && !id.empty())
                id += '_';
            id += c;
            gap = false;
        } else {
            gap = true;
        }
    }
    if (id.empty())
        id = "rawData";
    else if ((id.front() >= '0' && id.front() <= '9') ||
             std::find(std::begin(Keywords), std::end(Keywords), id) != std::end(Keywords))
        id = "ir_" + id;
    std::string unique = id;
    for (int n = 2; std::find(taken.begin(), taken.end(), unique) != taken.end(); ++n)
        unique = id + "_" + std::to_string(n);
    taken.push_back(unique);
    return unique;
}

// One signal as users paste it: the decode as a comment, the table, the call that sends it.
std::string Block(const Signal& signal, std::size_t index, const std::string& array) {
    const Durations durations = WritableDurations(signal, index);
    if (*std::max_element(durations.begin(), durations.end()) >
        std::numeric_limits<uint16_t>::max())
        throw FormatError("signal " + std::to_string(index + 1) +
                          " holds a duration over 65535 µs, which IRremote's uint16_t table "
                          "cannot hold");
    const long kHz = std::max(1L, std::lround(signal.carrierHz / 1000.0));
    const std::string count = std::to_string(durations.size());
    std::string text = "// ";
    if (!signal.name.empty())
        text += WritableName(signal, index) + ": ";
    text += Comment(durations) + "\nconst uint16_t " + array + "[" + count + "] = {";
    for (std::size_t i = 0; i < durations.size(); ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(durations[i]);
    text += "};\nIrSender.sendRaw(" + array + ", " + count + ", " + std::to_string(kHz) + ");\n";
    return text;
}

} // namespace

// One signal keeps the array name rawData, as sketches pasted from it expect; several get one
// array each, named after the signals, with a blank line between them.
std::string WriteIrRemote(std::span<const Signal> signals) {
    if (signals.empty())
        throw FormatError("an IRremote sketch needs at least one signal");
    if (signals.size() == 1)
        return Block(signals.front(), 0, "rawData");
    std::vector<std::string> taken;
    std::string text;
    for (std::size_t i = 0; i < signals.size(); ++i)
        text += (i == 0 ? "" : "\n") + Block(signals[i], i, ArrayName(signals[i].name, taken));
    return text;
}

} // namespace analysis::formats::detail

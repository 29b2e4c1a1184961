#pragma once

// The protocol analysis of an infra-red signal: which known protocols it carries, with their
// parameters and repeats, the allowed timing window of every duration, and a generic reading of
// signals no listed protocol fits. Standard library only.
//
// A signal is a list of durations in microseconds, alternating mark and space, first a mark. Signs
// are ignored (some tools write spaces negative); zero and absurd values are allowed and never
// decode.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace analysis {

using Durations = std::vector<int32_t>;

// A duration's length whatever its sign; the most negative value, whose negation does not fit,
// counts as the longest.
constexpr int32_t Magnitude(int32_t d) {
    return d == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max()
                                                    : (d < 0 ? -d : d);
}

// The allowed window of one duration: a captured value in [low, high] matches `nominal`.
struct Window {
    int32_t nominal = 0;
    int32_t low = 0;
    int32_t high = 0;
};

// One named parameter of a decode, by its IRP name ("D", "S", "F", "T", "E", "PairID", ...).
struct Param {
    std::string name;
    int64_t value = 0;
    bool operator==(const Param&) const = default;
};

enum class RepeatForm {
    None,    // no repeats follow
    Ditto,   // a short repeat code (NEC's 9 ms + 2.25 ms + mark)
    Frame,   // the whole frame again, unchanged
    Toggled, // the whole frame again with its toggle changed (a new key press)
};

// A stretch of durations with a meaning, for drawing under the wave: [first, last] are indices
// into the signal, inclusive.
struct Span {
    enum class Kind { Lead, Bit, Field, Trailer, Repeat };
    Kind kind = Kind::Bit;
    std::string label; // "0"/"1" for a bit ("01" for a two-bit symbol), "D=4" for a field
    std::size_t first = 0;
    std::size_t last = 0;
};

struct Decode {
    std::string protocol;      // as the protocol table names it: "NEC1", "RC5", "Sony12", ...
    std::vector<Param> params; // in IRP order
    std::size_t first = 0;     // first duration covered
    std::size_t last = 0;      // last duration covered, repeats included (inclusive)
    int repeats = 0;           // how many repeats follow the first frame
    RepeatForm repeatForm = RepeatForm::None;
    std::vector<Window> windows; // one per duration in [first, last]
    std::vector<Span> spans;     // lead, bits, fields, trailer, repeats
};

// What can be read from a signal that no listed protocol fits.
struct Generic {
    std::string encoding;               // "pulse distance", "pulse width", "bi-phase" or "unknown"
    std::vector<int32_t> markClusters;  // centres of the mark lengths found, ascending
    std::vector<int32_t> spaceClusters; // centres of the space lengths found, ascending
    std::optional<std::pair<int32_t, int32_t>> header; // lead mark and space, where there is one
    std::string bits;                                  // '0'/'1' in the order sent
    std::string hexLsb; // the bits as hex, each byte's first bit its lowest
    std::string hexMsb; // the bits as hex, first bit highest
};

struct Result {
    std::vector<Decode> decodes; // every decode found, in signal order
    Generic generic;
};

// Decodes a signal of any length.
Result Analyse(std::span<const int32_t> durations);

// "NEC1 D=4 S=251 F=8" (parameters as the decode lists them).
std::string Summary(const Decode& decode);

// Protocol names and parameters the encoders take.
struct ParamInfo {
    std::string name;
    int64_t min = 0;
    int64_t max = 0;
    std::optional<int64_t> defaultValue; // absent: required
    // Not empty: the only values allowed (Apple's D is 238, or 224 while pairing).
    std::vector<int64_t> choices;
    // A default taken from another parameter: that parameter's value XOR `mask` (NEC's S = 255-D
    // is D XOR 255, NECx's S = D is D XOR 0). Used when neither the caller nor `defaultValue`
    // gives a value.
    struct Derived {
        std::string from;
        int64_t mask = 0;
    };
    std::optional<Derived> derivedDefault;
};
struct ProtocolInfo {
    std::string name;
    int carrierHz = 38000;
    std::vector<ParamInfo> params;
};
const std::vector<ProtocolInfo>& Protocols();
const ProtocolInfo* FindProtocol(std::string_view name); // exact name, case-insensitive

// A lone frame cannot show which of several protocols sent it when they differ only in what a held
// key sends: it is named for all of them ("NEC" for NEC1 and NEC2). LoneName gives that name for a
// protocol (or the name itself); LoneNameMembers the protocols a lone-frame name stands for (or the
// name itself); NameForRepeats the member whose held-key form is `held` (or the name itself).
std::string LoneName(std::string_view protocol);
std::vector<std::string> LoneNameMembers(std::string_view name);
std::string NameForRepeats(std::string_view name, RepeatForm held);
// Whether `winner` names the durations both protocols read (it is the same signal on another
// carrier, a special case, or what a repeat-less frame is called).
bool PreferredOver(std::string_view winner, std::string_view loser);

// The nominal durations of a protocol's frame with the given parameters, followed by `repeats`
// repeats in the protocol's repeat form, ending with a mark. nullopt with `error` set when the
// protocol is unknown, a required parameter is missing, or a value is out of range.
std::optional<Durations> Render(std::string_view protocol, const std::vector<Param>& params,
                                int repeats, std::string* error = nullptr);

// The signal's decoded stretch at its protocol's nominal timings (same parameters and repeats).
// Repeats come out in the protocol's held-key form: toggled repeats keep the first frame's toggle.
Durations CleanUp(const Decode& decode);

} // namespace analysis

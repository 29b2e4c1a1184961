#pragma once

// Protocols written in IRP notation: a parser that compiles one IRP string, a renderer of its
// nominal durations, and a decoder that matches a captured signal against the compiled form.
// Standard library only.
//
// The notation, briefly: `{38.4k,564,msb}` carrier, unit (µs, or periods with `p`) and bit order;
// `<1,-1|1,-3>` the bit symbols (2, 4, 8 or 16 of them; each symbol carries log2(count) bits);
// then the stream: durations in units or with u/m/p (negative: space), extents `^108m` (the
// space that makes the stream last that long since its start), bit fields `D:8`, `~F:8`,
// `F:1:6`, `(D^S):8`, assignments `T=T+1`, nested streams with their own bit symbols and repeat
// markers (`*`, `+`, `3`, `3+`), variations `[first][repeat][ending]`; then definitions
// `{C=D^F}` and parameter specs `[D:0..255,S:0..255=255-D,T@:0..1=0]` (`@`: kept between
// presses, such as a toggle).
//
// Errors never escape as exceptions: bad text gives a ParseError, a render that cannot be done
// gives nullopt with a reason, a signal that does not fit gives no match.
//
// Thread safety: a compiled Protocol is immutable; any number of threads may render and decode
// with one at the same time.

#include "analysis/Analysis.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace analysis::irp {

// The one limit of the receiver lag for the whole library: marks arrive up to this much longer,
// spaces this much shorter than sent.
inline constexpr int32_t kMaxLagUs = 250;

// Where the text went wrong: `position` is a 0-based byte offset into the IRP text.
struct ParseError {
    std::size_t position = 0;
    std::string message;
};

// One entry of the parameter specs, `[D:0..255=...]`.
struct ParamSpec {
    std::string name;
    int64_t min = 0;
    int64_t max = 0;
    std::string defaultText; // the default expression as written ("255-D"); empty: required
    bool memory = false;     // `@`: a value kept from press to press (a toggle)
};

// How close a captured duration must be to its nominal value once the lag is known: the window is
// nominal ± lag ± (jitterUs + nominal · jitterPercent / 100), the jitter part of a bit's duration
// held to half the step to the nearest other bit duration of its sign (a miss rather than a
// guess). Each candidate gets its own lag: the least-squares value over its own durations, kept
// within [0, maxLagUs] and within the lags every one of its durations allows.
struct DecodeOptions {
    int32_t maxLagUs = kMaxLagUs;
    int32_t jitterUs = 100;
    int32_t jitterPercent = 15;
    // Repeats beyond this many are left for the next decode (bounds the work on long holds).
    int maxRepeats = 1000;
    // Off: a match without windows and spans (what ranking candidates needs, much cheaper).
    bool describe = true;
};

// One way a protocol's frame (plus the repeats that follow it) matches a signal.
struct Match {
    std::vector<Param> params; // every parameter named in the specs (or, without specs, in the
                               // stream), in the order of first appearance
    std::size_t first = 0;     // first duration covered
    std::size_t last = 0;      // last duration covered, repeats included (inclusive)
    int repeats = 0;           // repeat units after the first frame
    RepeatForm repeatForm = RepeatForm::None;
    std::vector<Window> windows; // one per duration in [first, last], shifted by the fitted lag
    std::vector<Span> spans;     // Lead / Bit / Field / Trailer / Repeat, indices into the signal
    int32_t lagUs = 0;           // fitted: marks = nominal + lag, spaces = nominal - lag
    double residualUs = 0;       // root mean square of the durations' distance from the fit
};

class Protocol {
public:
    // Parses and checks one IRP string. The result may be shared and used from any thread.
    static std::variant<std::shared_ptr<const Protocol>, ParseError> Compile(std::string_view irp);

    ~Protocol();
    Protocol(const Protocol&) = delete;
    Protocol& operator=(const Protocol&) = delete;

    const std::string& Text() const;
    int CarrierHz() const;                       // 0 for unmodulated
    std::optional<int> DutyCyclePercent() const; // only where the text gives one
    double UnitUs() const;
    const std::vector<ParamSpec>& Params() const;
    // The frame's own trailing gap (a lead-out or the rest of an extent) at nominal timing, the
    // shortest over the parameter values tried: a frame of this protocol follows a gap at least
    // this long, or starts the signal.
    int64_t LeadOutUs() const;
    // What a held key sends after the first frame: None (no repeat marker), Ditto (a repeat part
    // that differs from the frame) or Frame (the frame again).
    RepeatForm HeldForm() const;

    // The parameters completed: missing ones from their default expressions (evaluated in spec
    // order, so S=255-D sees D), every value range-checked. nullopt with `error` set when a
    // required one is missing, a name is unknown or a value is out of range.
    std::optional<std::vector<Param>> Complete(const std::vector<Param>& params,
                                               std::string* error = nullptr) const;

    // Nominal durations in µs (magnitudes, mark first) of the frame followed by `repeats` repeat
    // units in the protocol's own repeat form, ending with a mark (the last gap dropped). Memory
    // parameters keep their value through the repeats.
    std::optional<Durations> Render(const std::vector<Param>& params, int repeats,
                                    std::string* error = nullptr) const;

    // Cheap test whether a frame of this protocol can start at `at` (the first mark and space
    // against the protocol's possible lead-in, the room left): false means Decode finds nothing.
    bool MayStartAt(std::span<const int32_t> magnitudes, std::size_t at,
                    const DecodeOptions& options = {}) const;

    // Every way the frame (plus following repeats) matches starting at `at` (an even index: a
    // mark), best first. The frame must end at a gap or at the signal's end. `magnitudes` are the
    // durations without signs.
    std::vector<Match> Decode(std::span<const int32_t> magnitudes, std::size_t at,
                              const DecodeOptions& options = {}) const;

    struct Impl;

private:
    explicit Protocol(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace analysis::irp

#pragma once

// Frames of common infra-red remotes as a receiver module reports them: durations in
// microseconds, alternating mark and space, starting and ending with a mark (the receiver does
// not see the idle line before or after a frame).

#include "tools/irsim/Protocol.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string_view>

namespace irsim {

enum class Remote {
    Nec,       // 8-bit address (16-bit when above 0xFF), 8-bit command
    NecRepeat, // the code NEC remotes send while a key stays pressed
    Rc5,       // 5-bit address, 7-bit command (RC5X above 63), toggle bit
    Rc6,       // mode 0: 8-bit address, 8-bit command, toggle bit
    Sirc12,    // Sony: 7-bit command, 5-bit address
    Sirc15,    // Sony: 7-bit command, 8-bit address
    Sirc20,    // Sony: 7-bit command, 5-bit address, 8-bit extension (address bits 5..12)
    Samsung,   // 8-bit address sent twice, 8-bit command
    Jvc,       // 8-bit address, 8-bit command
    Panasonic, // Kaseikyo: vendor 0x2002, device (address low byte), sub-device (high byte),
               // command

    // The remotes below take their parameters by IRP name (see RemoteCode). Their repeats are
    // what the remote sends while the key stays pressed: repeat codes or the whole frame again.
    Nec1,       // NEC, then dittos (9 ms, 2.25 ms, mark)
    Nec2,       // NEC, the whole frame repeated
    NecF16,     // NEC with a free fourth byte E instead of ~F; whole frames repeated
    NecX,       // NEC with a 4.5 ms lead mark (Samsung TVs); whole frames repeated
    Apple,      // NEC framing, 7-bit F, a parity bit and PairID; dittos
    Pioneer,    // NEC at 40 kHz (the carrier does not show in a capture); whole frames
    Aiwa,       // NEC42: 8-bit D and 5-bit S, each followed by its complement; own dittos
    Samsung36,  // D, S, a short stop, 4-bit E, F and ~F
    Rc5x,       // RC5 with 20 bits: D, S (7 bits), a 4-unit space, F (6 bits), T
    Rc6M6,      // RC6 mode 6, 20 bits (Sky): D, S (4 bits), F, T
    Mce,        // RC6 mode 6, 32 bits (Microsoft): OEM 128, S, T, D (7 bits), F
    JvcHeld,    // JVC frame, then bare frames without the lead-in
    Sharp,      // two halves, the second with ~F
    Denon,      // as Sharp, other marker bits
    Jvc48,      // Kaseikyo, OEM 3.1
    DenonK,     // Kaseikyo, OEM 84.50: D, S (4 bits each), F (12 bits)
    Fujitsu,    // Kaseikyo, OEM 20.99: E, D, S, F and no check byte
    SharpDvd,   // Kaseikyo, OEM 170.90, 400 us unit
    Kaseikyo,   // Kaseikyo of any other OEM code pair
    Mitsubishi, // no lead, 8-bit D and F
    Rca,        // 4-bit D, 8-bit F, both complemented, most significant bit first
    Thomson7,   // no lead, 4-bit D, T, 7-bit F
    Recs80,     // Philips pulse-distance (the 158 us form), 3-bit D, 6-bit F, T
    Grundig16,  // two bits per symbol: T, F, D (7 bits)
    Nokia32,    // RC-MM 32 bits: D, S, T, X (7 bits), F
};

// For the first ten remotes, address and command are as their comments say. For the others they
// are D and F, and the other fields carry the IRP parameters by name.
struct RemoteCode {
    Remote remote = Remote::Nec;
    uint32_t address = 0;                // D
    uint32_t command = 0;                // F
    bool toggle = false;                 // T: RC5, RC6 and the remotes that carry one
    std::optional<uint32_t> subdevice{}; // S; empty: DefaultSubdevice
    uint32_t extra = 0;                  // E; PairID of Apple; X of Nokia32
    std::optional<uint16_t> oem{};       // Kaseikyo's M | N << 8 (default 0x0101)
    int repeats = 0;                     // sent after the first frame (not by the first ten)
};

// The subdevice a remote sends when none is given: ~D for the NEC remotes, D for NECx, 135 for
// Apple, 15 for MCE, otherwise 0.
uint32_t DefaultSubdevice(Remote remote, uint32_t device);

// The frame with every duration at its nominal value. Address and command bits beyond the
// protocol's width are dropped.
Durations NominalFrame(const RemoteCode& code);

// Names as the command line uses them: "nec", "necrep", "rc5", "rc6", "sirc12", "sirc15", "sirc20",
// "samsung", "jvc", "panasonic", and for the others as RemoteName gives them ("nec1", "rc6-6-20",
// "denonk", ...).
std::optional<Remote> RemoteFromName(std::string_view name);
std::string_view RemoteName(Remote remote);
// The first ten remotes: what random and periodic frames come from by default.
inline constexpr Remote AllRemotes[] = {
    Remote::Nec,    Remote::NecRepeat, Remote::Rc5,     Remote::Rc6, Remote::Sirc12,
    Remote::Sirc15, Remote::Sirc20,    Remote::Samsung, Remote::Jvc, Remote::Panasonic};
// The remotes that take IRP parameters.
inline constexpr Remote IrpRemotes[] = {
    Remote::Nec1,    Remote::Nec2,     Remote::NecF16,    Remote::NecX,      Remote::Apple,
    Remote::Pioneer, Remote::Aiwa,     Remote::Samsung36, Remote::Rc5x,      Remote::Rc6M6,
    Remote::Mce,     Remote::JvcHeld,  Remote::Sharp,     Remote::Denon,     Remote::Jvc48,
    Remote::DenonK,  Remote::Fujitsu,  Remote::SharpDvd,  Remote::Kaseikyo,  Remote::Mitsubishi,
    Remote::Rca,     Remote::Thomson7, Remote::Recs80,    Remote::Grundig16, Remote::Nokia32};
bool TakesIrpParameters(Remote remote);

// The widths of a remote's parameters in bits (0: it has none); a wider value is cut to them. For
// the first ten remotes, d and f are the widths of the address and the command.
struct ParameterWidths {
    int d = 0, s = 0, f = 0, e = 0;
    bool toggle = false;
    bool oem = false;
};
ParameterWidths WidthsOf(Remote remote);

// How a receiver module distorts what it sees: its output lags behind the light more at the end of
// a burst than at its start, so marks come out longer and spaces shorter, plus some noise.
struct Jitter {
    int markStretchUs = 40; // added to every mark, taken from every space
    int spreadUs = 50;      // uniform noise in [-spread, +spread]

    // Largest distance of a captured duration from its nominal value.
    int Bound() const { return markStretchUs + spreadUs; }
};

// Turns nominal frames into captured ones, reproducibly for a given seed.
class Receiver {
public:
    Receiver(uint32_t seed, Jitter jitter) : random_(seed), jitter_(jitter) {}

    // Applies the jitter; durations never drop below 1 us. Index 0 is a mark.
    Durations Capture(const Durations& nominal);

    // A varied code: a random remote of AllRemotes with a random address and command.
    RemoteCode RandomCode();
    // A random code of this remote: every parameter drawn over its range, 0 to 2 repeats (none
    // for the first ten).
    RemoteCode RandomCodeOf(Remote remote);
    // A random code of any remote, the IRP ones included.
    RemoteCode RandomCodeOfAny();

    std::mt19937& Random() { return random_; }

private:
    std::mt19937 random_;
    Jitter jitter_;
};

} // namespace irsim

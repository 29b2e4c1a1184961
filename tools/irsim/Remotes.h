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
};

struct RemoteCode {
    Remote remote = Remote::Nec;
    uint32_t address = 0;
    uint32_t command = 0;
    bool toggle = false; // RC5 and RC6 only
};

// The frame with every duration at its nominal value. Address and command bits beyond the
// protocol's width are dropped.
Durations NominalFrame(const RemoteCode& code);

// Names as the command line uses them: "nec", "necrep", "rc5", "rc6", "sirc12", "sirc15", "sirc20",
// "samsung", "jvc", "panasonic".
std::optional<Remote> RemoteFromName(std::string_view name);
std::string_view RemoteName(Remote remote);
inline constexpr Remote AllRemotes[] = {
    Remote::Nec,    Remote::NecRepeat, Remote::Rc5,     Remote::Rc6, Remote::Sirc12,
    Remote::Sirc15, Remote::Sirc20,    Remote::Samsung, Remote::Jvc, Remote::Panasonic};

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

    // A varied code: a random remote with a random address and command.
    RemoteCode RandomCode();

    std::mt19937& Random() { return random_; }

private:
    std::mt19937 random_;
    Jitter jitter_;
};

} // namespace irsim

#include "tools/irsim/Remotes.h"

#include "tools/irsim/IrpRemotes.h"
#include "tools/irsim/Wave.h"

#include <algorithm>
#include <array>
#include <utility>

namespace irsim {
namespace {

// Pulse-distance coding, least significant bit first: every bit is a mark, then a short or long
// space; a final mark ends the last space.
struct PulseDistance {
    int32_t headerMark, headerSpace, bitMark, zeroSpace, oneSpace;
};

void AddBitsLsbFirst(WaveBuilder& wave, const PulseDistance& timing, uint64_t bits, int count) {
    for (int i = 0; i < count; ++i) {
        wave.Add(true, timing.bitMark);
        wave.Add(false, (bits >> i) & 1 ? timing.oneSpace : timing.zeroSpace);
    }
}

Durations PulseDistanceFrame(const PulseDistance& timing, const std::vector<uint8_t>& bytes) {
    WaveBuilder wave;
    wave.Add(true, timing.headerMark);
    wave.Add(false, timing.headerSpace);
    for (const uint8_t byte : bytes)
        AddBitsLsbFirst(wave, timing, byte, 8);
    wave.Add(true, timing.bitMark);
    return wave.Take();
}

Durations NecFrame(uint32_t address, uint32_t command) {
    const uint8_t cmd = command & 0xFF;
    std::vector<uint8_t> bytes;
    if (address > 0xFF)
        bytes = {uint8_t(address & 0xFF), uint8_t((address >> 8) & 0xFF)};
    else
        bytes = {uint8_t(address), uint8_t(~address & 0xFF)};
    bytes.push_back(cmd);
    bytes.push_back(uint8_t(~cmd & 0xFF));
    return PulseDistanceFrame({9000, 4500, 560, 560, 1690}, bytes);
}

Durations SamsungFrame(uint32_t address, uint32_t command) {
    const uint8_t a = address & 0xFF;
    const uint8_t c = command & 0xFF;
    return PulseDistanceFrame({4500, 4500, 560, 560, 1690}, {a, a, c, uint8_t(~c & 0xFF)});
}

Durations JvcFrame(uint32_t address, uint32_t command) {
    return PulseDistanceFrame({8400, 4200, 526, 526, 1578},
                              {uint8_t(address & 0xFF), uint8_t(command & 0xFF)});
}

Durations PanasonicFrame(uint32_t address, uint32_t command) {
    const uint8_t device = address & 0xFF;
    const uint8_t subDevice = (address >> 8) & 0xFF;
    const uint8_t function = command & 0xFF;
    return PulseDistanceFrame(
        {3456, 1728, 432, 432, 1296},
        {0x02, 0x20, device, subDevice, function, uint8_t(device ^ subDevice ^ function)});
}

// Pulse-width coding (Sony): a long or short mark per bit, each followed by a fixed space.
Durations SircFrame(int bits, uint32_t address, uint32_t command) {
    const int addressBits = bits - 7;
    const uint64_t word = (command & 0x7F) | (uint64_t(address) & ((1u << addressBits) - 1)) << 7;
    WaveBuilder wave;
    wave.Add(true, 2400);
    wave.Add(false, 600);
    for (int i = 0; i < bits; ++i) {
        wave.Add(true, (word >> i) & 1 ? 1200 : 600);
        wave.Add(false, 600);
    }
    return wave.Take();
}

// Bi-phase coding: RC5 sends a one as dark-then-light, RC6 as light-then-dark.
void AddBiphase(WaveBuilder& wave, bool oneIsMarkFirst, bool bit, int32_t half) {
    const bool firstHalfMark = bit == oneIsMarkFirst;
    wave.Add(firstHalfMark, half);
    wave.Add(!firstHalfMark, half);
}

Durations Rc5Frame(uint32_t address, uint32_t command, bool toggle) {
    constexpr int32_t half = 889;
    WaveBuilder wave;
    // The second start bit carries the inverted seventh command bit (RC5X).
    const bool field = (command & 0x40) == 0;
    uint32_t word = 1u << 13 | uint32_t(field) << 12 | uint32_t(toggle) << 11 |
                    (address & 0x1F) << 6 | (command & 0x3F);
    for (int i = 13; i >= 0; --i)
        AddBiphase(wave, false, (word >> i) & 1, half);
    return wave.Take();
}

Durations Rc6Frame(uint32_t address, uint32_t command, bool toggle) {
    constexpr int32_t t = 444;
    WaveBuilder wave;
    wave.Add(true, 6 * t);
    wave.Add(false, 2 * t);
    AddBiphase(wave, true, true, t); // start bit
    for (int i = 0; i < 3; ++i)      // mode 0
        AddBiphase(wave, true, false, t);
    AddBiphase(wave, true, toggle, 2 * t); // the trailer bit is twice as long
    const uint32_t word = (address & 0xFF) << 8 | (command & 0xFF);
    for (int i = 15; i >= 0; --i)
        AddBiphase(wave, true, (word >> i) & 1, t);
    return wave.Take();
}

constexpr std::array<std::pair<std::string_view, Remote>, 35> Names{{
    {"nec", Remote::Nec},           {"necrep", Remote::NecRepeat},
    {"rc5", Remote::Rc5},           {"rc6", Remote::Rc6},
    {"sirc12", Remote::Sirc12},     {"sirc15", Remote::Sirc15},
    {"sirc20", Remote::Sirc20},     {"samsung", Remote::Samsung},
    {"jvc", Remote::Jvc},           {"panasonic", Remote::Panasonic},
    {"nec1", Remote::Nec1},         {"nec2", Remote::Nec2},
    {"necf16", Remote::NecF16},     {"necx", Remote::NecX},
    {"apple", Remote::Apple},       {"pioneer", Remote::Pioneer},
    {"aiwa", Remote::Aiwa},         {"samsung36", Remote::Samsung36},
    {"rc5x20", Remote::Rc5x},       {"rc6-6-20", Remote::Rc6M6},
    {"mce", Remote::Mce},           {"jvcheld", Remote::JvcHeld},
    {"sharp", Remote::Sharp},       {"denon", Remote::Denon},
    {"jvc48", Remote::Jvc48},       {"denonk", Remote::DenonK},
    {"fujitsu", Remote::Fujitsu},   {"sharpdvd", Remote::SharpDvd},
    {"kaseikyo", Remote::Kaseikyo}, {"mitsubishi", Remote::Mitsubishi},
    {"rca", Remote::Rca},           {"thomson7", Remote::Thomson7},
    {"recs80", Remote::Recs80},     {"grundig16", Remote::Grundig16},
    {"nokia32", Remote::Nokia32},
}};

// OEM code pairs (M | N << 8) of the named Kaseikyo members and of those with sums of their own: a
// generic Kaseikyo code never uses them.
constexpr uint16_t NamedOems[] = {2 | 32 << 8,   3 | 1 << 8,    84 | 50 << 8, 20 | 99 << 8,
                                  170 | 90 << 8, 35 | 203 << 8, 67 | 83 << 8};

} // namespace

Durations NominalFrame(const RemoteCode& code) {
    switch (code.remote) {
    case Remote::Nec:
        return NecFrame(code.address, code.command);
    case Remote::NecRepeat:
        return {9000, 2250, 560};
    case Remote::Rc5:
        return Rc5Frame(code.address, code.command, code.toggle);
    case Remote::Rc6:
        return Rc6Frame(code.address, code.command, code.toggle);
    case Remote::Sirc12:
        return SircFrame(12, code.address, code.command);
    case Remote::Sirc15:
        return SircFrame(15, code.address, code.command);
    case Remote::Sirc20:
        return SircFrame(20, code.address, code.command);
    case Remote::Samsung:
        return SamsungFrame(code.address, code.command);
    case Remote::Jvc:
        return JvcFrame(code.address, code.command);
    case Remote::Panasonic:
        return PanasonicFrame(code.address, code.command);
    default:
        return IrpFrame(code);
    }
}

bool TakesIrpParameters(Remote remote) {
    return std::find(std::begin(IrpRemotes), std::end(IrpRemotes), remote) != std::end(IrpRemotes);
}

uint32_t DefaultSubdevice(Remote remote, uint32_t device) {
    switch (remote) {
    case Remote::Nec1:
    case Remote::Nec2:
    case Remote::NecF16:
    case Remote::Pioneer:
        return ~device & 0xFF;
    case Remote::NecX:
        return device;
    case Remote::Apple:
        return 135;
    case Remote::Mce:
        return 15;
    default:
        return 0;
    }
}

ParameterWidths WidthsOf(Remote remote) {
    switch (remote) {
    case Remote::NecRepeat:
        return {};
    case Remote::Nec:
    case Remote::Panasonic:
        return {16, 0, 8};
    case Remote::Rc5:
        return {5, 0, 7, 0, true};
    case Remote::Rc6:
        return {8, 0, 8, 0, true};
    case Remote::Sirc12:
        return {5, 0, 7};
    case Remote::Sirc15:
        return {8, 0, 7};
    case Remote::Sirc20:
        return {13, 0, 7};
    case Remote::Samsung:
    case Remote::Jvc:
    case Remote::Nec1:
    case Remote::Nec2:
    case Remote::NecX:
    case Remote::Pioneer:
    case Remote::Jvc48:
        return {8, 8, 8};
    case Remote::NecF16:
        return {8, 8, 8, 8};
    case Remote::Apple:
        return {8, 8, 7, 8};
    case Remote::Aiwa:
        return {8, 5, 8};
    case Remote::Samsung36:
    case Remote::Fujitsu:
        return {8, 8, 8, 4};
    case Remote::Rc5x:
        return {5, 7, 6, 0, true};
    case Remote::Rc6M6:
        return {8, 4, 8, 0, true};
    case Remote::Mce:
        return {7, 8, 8, 0, true};
    case Remote::JvcHeld:
    case Remote::Mitsubishi:
        return {8, 0, 8};
    case Remote::Sharp:
    case Remote::Denon:
        return {5, 0, 8};
    case Remote::DenonK:
        return {4, 4, 12};
    case Remote::SharpDvd:
        return {4, 8, 8, 4};
    case Remote::Kaseikyo:
        return {4, 8, 8, 4, false, true};
    case Remote::Rca:
        return {4, 0, 8};
    case Remote::Thomson7:
        return {4, 0, 7, 0, true};
    case Remote::Recs80:
        return {3, 0, 6, 0, true};
    case Remote::Grundig16:
        return {7, 0, 8, 0, true};
    case Remote::Nokia32:
        return {8, 8, 8, 7, true};
    default:
        return {};
    }
}

std::optional<Remote> RemoteFromName(std::string_view name) {
    for (const auto& [text, remote] : Names)
        if (text == name)
            return remote;
    return std::nullopt;
}

std::string_view RemoteName(Remote remote) {
    for (const auto& [text, value] : Names)
        if (value == remote)
            return text;
    return {};
}

Durations Receiver::Capture(const Durations& nominal) {
    std::uniform_int_distribution<int32_t> noise(-jitter_.spreadUs, jitter_.spreadUs);
    Durations captured;
    captured.reserve(nominal.size());
    for (std::size_t i = 0; i < nominal.size(); ++i) {
        const bool mark = i % 2 == 0;
        int32_t d = nominal[i] + (mark ? jitter_.markStretchUs : -jitter_.markStretchUs);
        if (jitter_.spreadUs > 0)
            d += noise(random_);
        captured.push_back(std::max<int32_t>(d, 1));
    }
    return captured;
}

RemoteCode Receiver::RandomCode() {
    std::uniform_int_distribution<std::size_t> pick(0, std::size(AllRemotes) - 1);
    std::uniform_int_distribution<uint32_t> byte(0, 255);
    RemoteCode code;
    code.remote = AllRemotes[pick(random_)];
    code.address = byte(random_);
    code.command = byte(random_);
    code.toggle = byte(random_) & 1;
    return code;
}

RemoteCode Receiver::RandomCodeOf(Remote remote) {
    const ParameterWidths w = WidthsOf(remote);
    const auto draw = [this](int bits) {
        return bits == 0 ? 0u
                         : std::uniform_int_distribution<uint32_t>(0, (1u << bits) - 1)(random_);
    };
    RemoteCode code;
    code.remote = remote;
    code.address = draw(w.d);
    code.command = draw(w.f);
    code.toggle = w.toggle && draw(1) == 1;
    if (!TakesIrpParameters(remote))
        return code;
    code.subdevice = draw(w.s);
    code.extra = draw(w.e);
    code.repeats = std::uniform_int_distribution<int>(0, 2)(random_);
    if (remote == Remote::Apple) { // the one device and subdevice Apple remotes send
        code.address = 238;
        code.subdevice = 135;
    } else if (remote == Remote::Pioneer) { // the devices Pioneer uses
        code.address = 160 + draw(4);
        code.subdevice.reset();
    } else if (w.oem) {
        do
            code.oem = uint16_t(draw(16));
        while (std::find(std::begin(NamedOems), std::end(NamedOems), *code.oem) !=
               std::end(NamedOems));
    }
    return code;
}

RemoteCode Receiver::RandomCodeOfAny() {
    constexpr std::size_t count = std::size(AllRemotes) + std::size(IrpRemotes);
    const std::size_t i = std::uniform_int_distribution<std::size_t>(0, count - 1)(random_);
    return RandomCodeOf(i < std::size(AllRemotes) ? AllRemotes[i]
                                                  : IrpRemotes[i - std::size(AllRemotes)]);
}

} // namespace irsim

#include "tools/irsim/Remotes.h"

#include <algorithm>
#include <array>
#include <utility>

namespace irsim {
namespace {

// Levels as the light goes: true is a burst of carrier (mark), false is dark (space).
class WaveBuilder {
public:
    void Add(bool mark, int32_t us) {
        if (!levels_.empty() && levels_.back().first == mark)
            levels_.back().second += us;
        else
            levels_.emplace_back(mark, us);
    }

    // The receiver sees neither the dark before the first mark nor after the last one.
    Durations Take() const {
        auto first = levels_.begin();
        auto last = levels_.end();
        while (first != last && !first->first)
            ++first;
        while (last != first && !std::prev(last)->first)
            --last;
        Durations durations;
        for (auto it = first; it != last; ++it)
            durations.push_back(it->second);
        return durations;
    }

private:
    std::vector<std::pair<bool, int32_t>> levels_;
};

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

constexpr std::array<std::pair<std::string_view, Remote>, 10> Names{{
    {"nec", Remote::Nec},
    {"necrep", Remote::NecRepeat},
    {"rc5", Remote::Rc5},
    {"rc6", Remote::Rc6},
    {"sirc12", Remote::Sirc12},
    {"sirc15", Remote::Sirc15},
    {"sirc20", Remote::Sirc20},
    {"samsung", Remote::Samsung},
    {"jvc", Remote::Jvc},
    {"panasonic", Remote::Panasonic},
}};

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
    }
    return {};
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

} // namespace irsim

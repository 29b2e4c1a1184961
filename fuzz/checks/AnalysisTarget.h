#pragma once

// The protocol analysis under arbitrary signals. Kept apart from the frame core's targets: it
// links the analysis library, which the frame core does not use.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace analysis::fuzz {

// The input is a signal: every two bytes a duration (little-endian, 0..65534); the escape 0xFFFF
// takes the next four bytes as a raw 32-bit value, so zero, negative and absurd values occur.
inline std::vector<int32_t> SignalFromInput(std::string_view input) {
    std::vector<int32_t> signal;
    std::size_t i = 0;
    while (i + 2 <= input.size()) {
        const auto byte = [&](std::size_t k) { return static_cast<uint8_t>(input[k]); };
        const uint32_t value = byte(i) | byte(i + 1) << 8;
        i += 2;
        if (value != 0xFFFF) {
            signal.push_back(static_cast<int32_t>(value));
        } else if (i + 4 <= input.size()) {
            uint32_t raw = 0;
            for (int k = 3; k >= 0; --k)
                raw = raw << 8 | byte(i + static_cast<std::size_t>(k));
            int32_t cast = 0;
            std::memcpy(&cast, &raw, sizeof cast);
            signal.push_back(cast);
            i += 4;
        }
    }
    return signal;
}

inline std::string InputFromSignal(std::span<const int32_t> signal) {
    std::string input;
    for (const int32_t d : signal) {
        if (d >= 0 && d < 0xFFFF) {
            input += static_cast<char>(d & 0xFF);
            input += static_cast<char>(d >> 8 & 0xFF);
            continue;
        }
        uint32_t raw = 0;
        std::memcpy(&raw, &d, sizeof raw);
        input += "\xFF\xFF";
        for (int k = 0; k < 4; ++k)
            input += static_cast<char>(raw >> (8 * k) & 0xFF);
    }
    return input;
}

// Analyse must not crash; every decode lies inside the signal, in order and without overlap, has
// one window per duration it covers and spans inside it; its parameters render, and the clean-up
// has exactly the durations the decode covers. Throws frame::fuzz::CheckFailure.
void CheckAnalysis(std::string_view input);

} // namespace analysis::fuzz

#include "fuzz/checks/Drawing.h"
#include "fuzz/checks/FrameTargets.h"
#include "fuzz/checks/FuzzCheck.h"
#include "fuzz/checks/Recorder.h"
#include "fuzz/checks/Reference.h"

#include "frame/CTable.h"
#include "frame/Emission.h"
#include "frame/FrameCore.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace frame::fuzz {

namespace {

int32_t ReadInt32(std::string_view bytes) {
    int32_t value = 0;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

// The first byte decides the count: odd, the next four bytes give Count as they are (negative
// or far beyond the capacity: a plain field anyone may set); even, Count is the number of whole
// four-byte durations that follow, up to the capacity. Its upper bits give the mode, -64..63.
PulseFrame FrameFromBytes(std::string_view input) {
    PulseFrame frame;
    if (input.empty()) {
        return frame;
    }
    frame.Mode = static_cast<int8_t>(input[0]) / 2;
    const bool rawCount = (static_cast<unsigned char>(input[0]) & 1) != 0 && input.size() >= 5;
    if (rawCount) {
        frame.Count = ReadInt32(input.substr(1, 4));
    }
    input.remove_prefix(rawCount ? 5 : 1);
    size_t n = 0;
    for (; n < frame.Durations.size() && input.size() >= 4; ++n) {
        frame.Durations[n] = ReadInt32(input.substr(0, 4));
        input.remove_prefix(4);
    }
    if (!rawCount) {
        frame.Count = static_cast<int32_t>(n);
    }
    return frame;
}

} // namespace

void CheckCTable(std::string_view input) {
    const PulseFrame frame = FrameFromBytes(input);
    const size_t n = static_cast<size_t>(std::clamp(frame.Count, int32_t{0}, FrameCapacity));
    const auto pulses = std::span<const int32_t>(frame.Durations).first(n);

    const ParsedTable table = ParseCTable(CTableText(frame));
    FUZZ_REQUIRE(table.error.empty(),
                 "C table for Count " + std::to_string(frame.Count) + ": " + table.error);
    FUZZ_REQUIRE(table.declared == static_cast<int64_t>(n), "the count between the brackets");
    FUZZ_REQUIRE(std::equal(table.values.begin(), table.values.end(), pulses.begin(), pulses.end()),
                 "the C table's values");

    const ParsedEmission emission = ParseEmission(FrameEmissionCommands(frame));
    FUZZ_REQUIRE(emission.error.empty(),
                 "emission for Count " + std::to_string(frame.Count) + ": " + emission.error);
    FUZZ_REQUIRE(std::equal(emission.durations.begin(), emission.durations.end(), pulses.begin(),
                            pulses.end()),
                 "the emission commands' durations");

    // Drawing and emitting go through the same clamp.
    PulseFrame drawn = frame;
    Recorder recorder;
    FrameCore core(drawn, recorder, recorder, recorder);
    core.DrawFrame(frame.Mode);
    CheckDrawing(recorder, frame);
    FUZZ_REQUIRE(core.EmitujKodExecute() == (n > 0), "emitting needs at least one pulse");
}

} // namespace frame::fuzz

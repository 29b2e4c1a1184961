#pragma once

// Pulse-distance and pulse-width protocols as data (internal to analysis/). A protocol is a row:
// carrier, lead, the two bit symbols, the frame's bit layout (fields, constants, computed checks,
// fixed pulses), its trailer and gap, and how a held key repeats it. One engine (PulseEngine.cpp)
// decodes and renders every row, so a new protocol of this shape is a new row and a test case.
//
// All timings are in microseconds; a row's table entry converts the protocol's units once.

#include "analysis/Family.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace analysis::detail::pulse {

// At most this many parameters per protocol (Kaseikyo has six).
inline constexpr int kMaxParams = 8;
using Values = std::array<int64_t, kMaxParams>;

// One element of a frame's layout, sent in the row's bit order.
struct Item {
    enum class Kind : uint8_t {
        Field, // `width` bits of parameter `index` from its bit `from`, complemented when `invert`
        Const, // `width` bits of `value`
        Check, // `width` bits computed by the row's check function number `index`
        Pulse, // a fixed mark and space (`mark`, `space`), e.g. a mid-frame separator
    };
    Kind kind = Kind::Field;
    int index = 0;
    int width = 0;
    int from = 0;
    bool invert = false;
    int64_t value = 0;
    int32_t mark = 0;
    int32_t space = 0;
    std::string_view label; // Const and Check: the name shown on the span ("M", "C")
};

inline Item Field(int param, int width, int from = 0) {
    Item item;
    item.index = param;
    item.width = width;
    item.from = from;
    return item;
}
inline Item NotField(int param, int width, int from = 0) {
    Item item = Field(param, width, from);
    item.invert = true;
    return item;
}
inline Item Const(int64_t value, int width, std::string_view label = {}) {
    Item item;
    item.kind = Item::Kind::Const;
    item.width = width;
    item.value = value;
    item.label = label;
    return item;
}
inline Item Check(int which, int width, std::string_view label) {
    Item item;
    item.kind = Item::Kind::Check;
    item.index = which;
    item.width = width;
    item.label = label;
    return item;
}
inline Item Pulse(int32_t mark, int32_t space) {
    Item item;
    item.kind = Item::Kind::Pulse;
    item.mark = mark;
    item.space = space;
    return item;
}

// What a held key sends after the first frame.
enum class Repeat {
    Frame, // the whole frame again
    Ditto, // a short fixed code (`repeatUnit` below)
    Bare,  // the frame without its lead (JVC)
};

// A stretch sent as one piece: an optional lead, the layout, an optional stop mark, then either
// a fixed gap or an extent (the stretch plus its gap lasts `extent`).
struct Unit {
    int32_t leadMark = 0;
    int32_t leadSpace = 0;
    std::vector<Item> items;
    int32_t stopMark = 0; // 0: none, the last bit's space runs into the gap
    int32_t gap = 0;
    int32_t extent = 0; // used instead of `gap` when not 0
};

struct Row {
    std::string name;
    std::string loneName; // the name of a frame no repeat follows, where it differs ("NEC")
    int carrierHz = 38000;
    bool msb = false;
    int32_t zeroMark = 0, zeroSpace = 0, oneMark = 0, oneSpace = 0;
    Unit frame;
    Repeat repeat = Repeat::Frame;
    Unit repeatUnit; // what Repeat::Ditto and Repeat::Bare send for each repeat
    Robustness robustness = Robustness::Weak;
    std::vector<ParamInfo> params; // in IRP order; a Field's `index` points here
    // Where published definitions disagree about a computed check, each reading is accepted; the
    // first is the one rendered. `check(which, values, reading)`.
    int readings = 1;
    int64_t (*check)(int which, const Values& v, int reading) = nullptr;
    // Extra conditions on the decoded values (a fixed device code, for example).
    bool (*accept)(const Values& v) = nullptr;
};

const std::vector<Row>& Rows();

// The engine. DecodeAt gives the best decode of any row whose frame starts at `at` (the most
// robust, then the longest, then the first in the table), or none. RenderRow gives the nominal
// durations of a row's frame plus `repeats` repeats, ending with a mark.
std::vector<Candidate> DecodeAt(std::span<const Row> rows, std::span<const int32_t> durations,
                                std::size_t at, const Tolerance& tolerance);
Durations RenderRow(const Row& row, const std::vector<Param>& params, int repeats);

} // namespace analysis::detail::pulse

// The Philips bi-phase protocols: RC5, RC5x and the RC6 modes. Each bit is two half-bits of
// opposite level on a fixed unit grid; where adjacent half-bits share a level the receiver sees one
// duration twice as long. A protocol is a row below; one reader and one renderer serve them all.

#include "analysis/Press.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace analysis::detail {
namespace {

// The longest run of one level inside a frame, in units: RC6's leader mark, RC5x's pause with the
// half-bits either side of it.
constexpr int kMaxUnits = 6;
// The most parameters a row has (RC6-6-32).
constexpr std::size_t kMaxParams = 5;

// One stretch of a frame: `width` bits, most significant first, of the parameter named `name` from
// its bit `from` (inverted if asked), or of the constant `value` when there is no name; a pause of
// `value` units of space when `width` is 0.
struct Item {
    const char* name = nullptr;
    int value = 0;
    int width = 0;
    int from = 0;
    bool invert = false;
    bool wide = false; // each half-bit two units long (RC6's trailer bit)
    int param = -1;    // index of `name` among the protocol's parameters
};

Item Const(int value, int width) {
    return {.value = value, .width = width};
}
Item Bits(const char* name, int width, int from = 0) {
    return {.name = name, .width = width, .from = from};
}
Item Inverted(const char* name, int bit) {
    return {.name = name, .width = 1, .from = bit, .invert = true};
}
Item Wide(Item item) {
    item.wide = true;
    return item;
}
Item Pause(int units) {
    return {.value = units};
}

struct Timing {
    int32_t unit = 0;
    bool oneMarkFirst = false; // RC6: a 1 is mark then space; RC5: space then mark
    int leadMark = 0;          // units
    int leadSpace = 0;
    int32_t extentUs = 0; // a frame and its gap last this long, or
    int32_t gapUs = 0;    // the gap after a frame
};

struct Row {
    ProtocolInfo info;
    Timing timing;
    std::vector<Item> items;
    std::size_t toggle = 0;
    // No checksum, but a strict half-bit grid and a fixed length.
    Robustness robustness = Robustness::Moderate;
    std::size_t longest = 0;  // durations of a frame at most: one per half-bit
    std::size_t shortest = 0; // and at least: each bit changes level in its middle
};

Row MakeRow(std::string name, std::vector<ParamInfo> params, Timing timing,
            std::vector<Item> items) {
    params.push_back(Defaulted("T", 1, 0));
    Row row{{std::move(name), 36000, std::move(params)}, timing, std::move(items)};
    for (Item& item : row.items)
        if (item.name)
            item.param = static_cast<int>(IndexOf(row.info, item.name));
    row.toggle = IndexOf(row.info, "T");
    row.longest = static_cast<std::size_t>(timing.leadMark + timing.leadSpace);
    row.shortest = timing.leadMark > 0 ? 2 : 0;
    for (const Item& item : row.items)
        row.shortest += static_cast<std::size_t>(item.width);
    --row.shortest; // the last half-bit may run into the gap
    for (const Item& item : row.items)
        row.longest += static_cast<std::size_t>(item.width == 0 ? item.value
                                                                : item.width * (item.wide ? 4 : 2));
    return row;
}

// Rows that read the same frame are listed most specific first: MCE is RC6-6-32 with OEM1=128.
const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = [] {
        const Timing rc5{.unit = 889, .oneMarkFirst = false, .extentUs = 114000};
        const Timing rc6{
            .unit = 444, .oneMarkFirst = true, .leadMark = 6, .leadSpace = 2, .extentUs = 107000};
        Timing rc6NoExtent = rc6;
        rc6NoExtent.extentUs = 0;
        rc6NoExtent.gapUs = 100000;
        // The trailer bit is a fixed 0 here; the toggle is bit 15 of the 32-bit payload.
        const std::vector<Item> mce = {Const(1, 1),  Const(6, 3),  Wide(Const(0, 1)), Const(128, 8),
                                       Bits("S", 8), Bits("T", 1), Bits("D", 7),      Bits("F", 8)};
        std::vector<Item> rc6632 = mce;
        rc6632[3] = Bits("OEM1", 8);
        return std::vector<Row>{
            // The second start bit carries F's bit 6 inverted (F >= 64 is "RC5 extended"); the
            // leading half-bit space of the first start bit is never seen.
            MakeRow("RC5", {Required("D", 31), Required("F", 127)}, rc5,
                    {Const(1, 1), Inverted("F", 6), Bits("T", 1), Bits("D", 5), Bits("F", 6)}),
            MakeRow("RC5x", {Required("D", 31), Required("S", 127), Required("F", 63)}, rc5,
                    {Const(1, 1), Inverted("S", 6), Bits("T", 1), Bits("D", 5), Pause(4),
                     Bits("S", 6), Bits("F", 6)}),
            MakeRow("RC6", {Required("D", 255), Required("F", 255)}, rc6,
                    {Const(1, 1), Const(0, 3), Wide(Bits("T", 1)), Bits("D", 8), Bits("F", 8)}),
            MakeRow("RC6-6-20", {Required("D", 255), Required("S", 15), Required("F", 255)},
                    rc6NoExtent,
                    {Const(1, 1), Const(6, 3), Wide(Bits("T", 1)), Bits("D", 8), Bits("S", 4),
                     Bits("F", 8)}),
            MakeRow("MCE", {Required("D", 127), Required("S", 255), Required("F", 255)}, rc6, mce),
            // The same frame with any other OEM1 code; rendered with OEM1=128 it is an MCE frame.
            MakeRow(
                "RC6-6-32",
                {Required("D", 127), Required("S", 255), Required("F", 255), Required("OEM1", 255)},
                rc6, rc6632),
        };
    }();
    return rows;
}

// The windows of whole numbers of one unit, marks and spaces, each worked out when first needed:
// a reading asks for the same few again and again.
class UnitWindows {
public:
    UnitWindows(int32_t unit, const Tolerance& tolerance) : unit_(unit), tolerance_(tolerance) {}

    int32_t unit() const { return unit_; }

    // How many units a captured mark or space is, 0 if it fits no whole number up to kMaxUnits.
    int Of(int32_t value, bool mark) {
        const int64_t corrected =
            mark ? int64_t{value} - tolerance_.lag() : int64_t{value} + tolerance_.lag();
        const int64_t units = (corrected + unit_ / 2) / unit_;
        if (units < 1 || units > kMaxUnits)
            return 0;
        const Window& window = At(static_cast<int>(units), mark);
        return value >= window.low && value <= window.high ? static_cast<int>(units) : 0;
    }
    // Whether a space is too long for any run inside a frame: the gap after it.
    bool Gap(int32_t value) { return value > At(kMaxUnits, false).high; }

private:
    const Window& At(int units, bool mark) {
        const auto index = static_cast<std::size_t>(2 * (units - 1) + (mark ? 1 : 0));
        if (!known_[index]) {
            const int32_t us = units * unit_;
            windows_[index] = WindowOf(tolerance_, mark, {us, us - unit_, us + unit_});
            known_[index] = true;
        }
        return windows_[index];
    }

    int32_t unit_;
    const Tolerance& tolerance_;
    std::array<Window, 2 * kMaxUnits> windows_{};
    std::array<bool, 2 * kMaxUnits> known_{};
};

// The signal from a start read as half-bit units of one level each, preceded by one unit of the
// space before the frame (RC5's first half-bit hides there). A captured duration counts as k units
// where it fits k units' window; a space too long for any run of a frame is the gap after it and,
// like the end of the signal, reads as space from there on; anything else ends the reading. Units
// are read only as far as asked.
class HalfBits {
public:
    HalfBits(std::span<const int32_t> durations, std::size_t at, UnitWindows& windows)
        : durations_(durations), start_(at), next_(at), windows_(windows) {
        level_[0] = 0;
        filled_ = 1;
    }

    // 1 mark, 0 space, -1 unreadable.
    int Level(std::size_t i) {
        while (i >= filled_ && state_ == State::Open)
            Extend();
        if (i < filled_)
            return level_[i];
        return state_ == State::Gap ? 0 : -1;
    }
    // The first unit of the gap, once the reading got there.
    std::size_t GapStart() const { return state_ == State::Gap ? gapStart_ : kNone; }
    // The duration unit `i` (not the first) belongs to.
    std::size_t DurationOf(std::size_t i) const { return start_ + offset_[i]; }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    static constexpr std::size_t kCapacity = 96; // the longest frame (RC6-6-32) holds 85 units
    enum class State { Open, Gap, Broken };

    void Extend() {
        const std::size_t offset = next_ - start_;
        if (next_ >= durations_.size() || offset > 255) {
            Stop(next_ >= durations_.size() ? State::Gap : State::Broken);
            return;
        }
        const bool mark = offset % 2 == 0;
        const int32_t value = durations_[next_];
        if (!mark && windows_.Gap(value)) {
            Stop(State::Gap);
            return;
        }
        const auto units = static_cast<std::size_t>(windows_.Of(value, mark));
        if (units == 0 || filled_ + units > kCapacity) {
            Stop(State::Broken);
            return;
        }
        for (std::size_t k = 0; k < units; ++k, ++filled_) {
            level_[filled_] = mark ? 1 : 0;
            offset_[filled_] = static_cast<uint8_t>(offset);
        }
        ++next_;
    }
    void Stop(State state) {
        state_ = state;
        gapStart_ = filled_;
    }

    std::span<const int32_t> durations_;
    std::size_t start_;
    std::size_t next_;
    UnitWindows& windows_;
    std::array<int8_t, kCapacity> level_;
    std::array<uint8_t, kCapacity> offset_;
    std::size_t filled_ = 0;
    std::size_t gapStart_ = kNone;
    State state_ = State::Open;
};

// The frame of `row` in `units`, if they hold one followed by a gap or the end of the signal.
std::optional<FrameRead> Read(const Row& row, HalfBits& units, const Tolerance& tolerance) {
    // Rows with a leader start with a mark, after the space unit before the frame.
    std::size_t pos = row.timing.leadMark > 0 ? 1 : 0;
    const auto run = [&](int level, int count) {
        for (int i = 0; i < count; ++i)
            if (units.Level(pos++) != level)
                return false;
        return true;
    };
    if (!run(1, row.timing.leadMark) || !run(0, row.timing.leadSpace))
        return std::nullopt;
    std::array<int64_t, kMaxParams> values{};
    for (const Item& item : row.items) {
        if (item.width == 0 && !run(0, item.value))
            return std::nullopt;
        const int half = item.wide ? 2 : 1;
        for (int b = item.width - 1; b >= 0; --b) {
            const int first = units.Level(pos);
            if (first < 0 || !run(first, half) || !run(1 - first, half))
                return std::nullopt;
            const bool bit = (first == 1) == row.timing.oneMarkFirst;
            if (item.param < 0) {
                if (bit != (((item.value >> b) & 1) != 0))
                    return std::nullopt;
            } else if (bit != item.invert) {
                values[static_cast<std::size_t>(item.param)] |= int64_t{1} << (item.from + b);
            }
        }
    }
    const std::size_t lastMark = units.Level(pos - 1) == 1 ? pos - 1 : pos - 2;
    units.Level(lastMark + 1);
    if (units.GapStart() != lastMark + 1)
        return std::nullopt;
    FrameRead frame;
    frame.values.assign(values.begin(),
                        values.begin() + static_cast<std::ptrdiff_t>(row.info.params.size()));
    frame.last = units.DurationOf(lastMark);
    frame.lag = tolerance.lag();
    return frame;
}

// Nominal durations built from half-bits: a half-bit of the level the last duration has lengthens
// it; spaces before the first mark are dropped. Durations on the unit grid may be mistaken for
// one unit more or less; gaps for nothing.
class Wave {
public:
    explicit Wave(int32_t unit) : unit_(unit) {}

    // Index of the duration the added stretch fell into (0 while none).
    std::size_t Add(bool mark, int32_t us, bool onGrid = true) {
        if (layout_.wave.empty() && !mark)
            return 0;
        if (!layout_.wave.empty() && LastIsMark() == mark) {
            layout_.wave.back().us += us;
            grid_.back() = grid_.back() && onGrid;
        } else {
            layout_.wave.push_back({us});
            grid_.push_back(onGrid);
        }
        return layout_.wave.size() - 1;
    }
    bool LastIsMark() const { return layout_.wave.size() % 2 == 1; }
    Layout& Building() { return layout_; }

    // The layout ending with a mark, its grid durations given their neighbours.
    Layout Finish() {
        if (!layout_.wave.empty() && !LastIsMark())
            layout_.wave.pop_back();
        for (std::size_t i = 0; i < layout_.wave.size(); ++i)
            if (grid_[i])
                layout_.wave[i] = {layout_.wave[i].us, layout_.wave[i].us - unit_,
                                   layout_.wave[i].us + unit_};
        return std::move(layout_);
    }

private:
    int32_t unit_;
    Layout layout_;
    std::vector<bool> grid_;
};

Layout Lay(const Row& row, std::span<const std::vector<int64_t>> frames) {
    Wave wave(row.timing.unit);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const std::vector<int64_t>& values = frames[f];
        std::vector<Span> spans;
        int64_t elapsed = 0;
        std::size_t lastMark = 0;
        const auto put = [&](bool mark, int units) {
            elapsed += int64_t{units} * row.timing.unit;
            const std::size_t index = wave.Add(mark, units * row.timing.unit);
            if (mark)
                lastMark = index;
            return index;
        };
        // Spans are kept for the first frame only.
        const bool first = f == 0;
        if (row.timing.leadMark > 0) {
            const std::size_t lead = put(true, row.timing.leadMark);
            const std::size_t space = put(false, row.timing.leadSpace);
            if (first)
                spans.push_back({Span::Kind::Lead, "", lead, space});
        }
        for (const Item& item : row.items) {
            if (item.width == 0) {
                put(false, item.value);
                continue;
            }
            const int64_t source = item.param < 0
                                       ? item.value
                                       : values[static_cast<std::size_t>(item.param)] >> item.from;
            const int half = item.wide ? 2 : 1;
            const std::size_t fieldStart = spans.size();
            for (int b = item.width - 1; b >= 0; --b) {
                const bool bit = (((source >> b) & 1) != 0) != item.invert;
                const bool markFirst = bit == row.timing.oneMarkFirst;
                const std::size_t from = put(markFirst, half);
                const std::size_t to = put(!markFirst, half);
                if (first)
                    spans.push_back({Span::Kind::Bit, bit ? "1" : "0", from, to});
            }
            if (first && item.param >= 0 && !item.invert)
                spans.push_back({Span::Kind::Field,
                                 row.info.params[static_cast<std::size_t>(item.param)].name + "=" +
                                     std::to_string(values[static_cast<std::size_t>(item.param)]),
                                 spans[fieldStart].first, spans.back().last});
        }
        wave.Building().lasts.push_back(lastMark);
        // The last half-bit may be a space that runs into the gap.
        for (Span& span : spans) {
            span.first = std::min(span.first, lastMark);
            span.last = std::min(span.last, lastMark);
            wave.Building().spans.push_back(span);
        }
        const int64_t gap =
            row.timing.extentUs > 0 ? row.timing.extentUs - elapsed : row.timing.gapUs;
        wave.Add(false, static_cast<int32_t>(gap), false);
    }
    return wave.Finish();
}

// Whether `count` durations from `at` hold no gap and lie within the signal.
bool Room(std::span<const int32_t> durations, std::size_t at, std::size_t count,
          UnitWindows& windows) {
    if (at + count > durations.size())
        return false;
    for (std::size_t i = at + 1; i + 1 < at + count; i += 2)
        if (windows.Gap(durations[i]))
            return false;
    return true;
}

std::vector<Candidate> DecodeAt(std::span<const int32_t> durations, std::size_t at,
                                const Tolerance& tolerance) {
    std::vector<Candidate> found;
    // Rows of one unit follow each other and read the same half-bits from a start. Most starts
    // hold no bi-phase frame: the first mark's length tells at once.
    std::optional<UnitWindows> windows;
    std::optional<HalfBits> units;
    int first = 0;
    for (const Row& row : Rows()) {
        if (!windows || windows->unit() != row.timing.unit) {
            units.reset();
            windows.emplace(row.timing.unit, tolerance);
            first = windows->Of(durations[at], true);
        }
        if (row.timing.leadMark > 0 ? first != row.timing.leadMark : first < 1 || first > 2)
            continue;
        // Inside a frame (where the engine looks for better decodes) the gap comes too soon.
        if (!Room(durations, at, row.shortest, *windows))
            continue;
        if (!units)
            units.emplace(durations, at, *windows);
        const auto read = [&](const Row& r, std::span<const int32_t>, std::size_t start,
                              const Tolerance&) {
            if (start == at)
                return Read(r, *units, tolerance);
            HalfBits other(durations, start, *windows);
            return Read(r, other, tolerance);
        };
        std::optional<Candidate> candidate =
            ReadCandidate(row, durations, at, tolerance, read, &Lay);
        if (candidate && std::none_of(found.begin(), found.end(), [&](const Candidate& c) {
                return c.decode.last == candidate->decode.last;
            }))
            found.push_back(std::move(*candidate));
    }
    return found;
}

} // namespace

const Family& BiPhaseFamily() {
    static const Family family = MakeFamily<&Rows, &Lay>(&DecodeAt);
    return family;
}

} // namespace analysis::detail

#include "analysis/PulseTable.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace analysis::detail::pulse {
namespace {

// Room for the longest unit of any row (Kaseikyo: 2 + 96 + 2 durations). Decoding renders the
// expected unit here instead of on the heap: it runs at every start of every signal drawn.
class Buffer {
public:
    void push_back(int32_t value, bool bit = false) {
        if (size_ < data_.size()) {
            data_[size_] = value;
            bit_[size_] = bit;
        }
        ++size_; // an overflow is seen by the caller as a size beyond capacity
    }
    bool isBit(std::size_t i) const { return i < bit_.size() && bit_[i]; }
    void pop_back() { --size_; }
    int32_t back() const { return (*this)[size_ - 1]; }
    std::size_t size() const { return size_; }
    bool overflowed() const { return size_ > data_.size(); }
    int32_t operator[](std::size_t i) const { return i < data_.size() ? data_[i] : 0; }

private:
    std::array<int32_t, 256> data_; // written before read
    std::array<bool, 256> bit_;
    std::size_t size_ = 0;
};

// A bit's mark or space: the buffer notes it, since a bit's window is cut where the other
// symbol's begins.
void PushBit(Buffer& out, int32_t value) {
    out.push_back(value, true);
}
void PushBit(Durations& out, int32_t value) {
    out.push_back(value);
}

int64_t Mask(int width) {
    return width >= 63 ? -1 : (int64_t{1} << width) - 1;
}

int64_t ItemBits(const Row& row, const Item& item, const Values& v, int reading) {
    int64_t bits = 0;
    switch (item.kind) {
    case Item::Kind::Field:
        bits = v[item.index] >> item.from;
        if (item.invert)
            bits = ~bits;
        break;
    case Item::Kind::Const:
        bits = item.value;
        break;
    case Item::Kind::Check:
        bits = row.check ? row.check(item.index, v, reading) : 0;
        break;
    case Item::Kind::Pulse:
        break;
    }
    return bits & Mask(item.width);
}

int BitAt(int64_t bits, int width, int i, bool msb) {
    return static_cast<int>((bits >> (msb ? width - 1 - i : i)) & 1);
}

std::string ItemLabel(const Row& row, const Item& item, const Values& v, int64_t bits) {
    if (item.kind == Item::Kind::Field) {
        const std::string& name = row.params[item.index].name;
        if (item.invert)
            return "~" + name;
        return name + "=" + std::to_string(v[item.index]);
    }
    if (item.label.empty())
        return std::to_string(bits);
    return std::string(item.label) + "=" + std::to_string(bits);
}

// Spans of one emitted unit; null where only durations are wanted.
struct SpanSink {
    std::vector<Span>* spans = nullptr;
    std::size_t base = 0;
    void Add(Span::Kind kind, std::string label, std::size_t first, std::size_t last) const {
        if (spans)
            spans->push_back({kind, std::move(label), base + first, base + last});
    }
    // The last bit's space became the gap: the spans that held it end at its mark.
    void EndAt(std::size_t last) const {
        if (!spans)
            return;
        for (Span& span : *spans)
            span.last = std::min(span.last, base + last);
    }
};

// Appends one unit's nominal durations to `out`, its gap last. `first` is where the unit starts
// in `out`.
template <class Out>
void EmitUnit(const Row& row, const Unit& unit, const Values& v, int reading, Out& out,
              const SpanSink& sink = {}) {
    const std::size_t first = out.size();
    if (unit.leadMark) {
        sink.Add(Span::Kind::Lead, "", out.size() - first, out.size() - first + 1);
        out.push_back(unit.leadMark);
        out.push_back(unit.leadSpace);
    }
    for (const Item& item : unit.items) {
        const std::size_t itemFirst = out.size() - first;
        if (item.kind == Item::Kind::Pulse) {
            sink.Add(Span::Kind::Trailer, "", itemFirst, itemFirst);
            out.push_back(item.mark);
            out.push_back(item.space);
            continue;
        }
        const int64_t bits = ItemBits(row, item, v, reading);
        for (int i = 0; i < item.width; ++i) {
            const int bit = BitAt(bits, item.width, i, row.msb);
            const std::size_t at = out.size() - first;
            sink.Add(Span::Kind::Bit, bit ? "1" : "0", at, at + 1);
            PushBit(out, bit ? row.oneMark : row.zeroMark);
            PushBit(out, bit ? row.oneSpace : row.zeroSpace);
        }
        if (item.width > 0)
            sink.Add(Span::Kind::Field, ItemLabel(row, item, v, bits), itemFirst,
                     out.size() - first - 1);
    }
    // Without a stop mark the last bit's space runs into the gap.
    int32_t runIn = 0;
    if (unit.stopMark) {
        sink.Add(Span::Kind::Trailer, "", out.size() - first, out.size() - first);
        out.push_back(unit.stopMark);
    } else if (out.size() > first) {
        runIn = out.back();
        out.pop_back();
        sink.EndAt(out.size() - first - 1);
    }
    int64_t gap = int64_t{runIn} + unit.gap;
    if (unit.extent) {
        int64_t sent = 0;
        for (std::size_t i = first; i < out.size(); ++i)
            sent += out[i];
        gap = std::max<int64_t>(unit.extent - sent, std::max(runIn, 1));
    }
    out.push_back(static_cast<int32_t>(gap));
}

template <class Out>
void EmitRepeat(const Row& row, const Values& v, int reading, Out& out, const SpanSink& sink = {}) {
    EmitUnit(row, row.repeat == Repeat::Frame ? row.frame : row.repeatUnit, v, reading, out, sink);
}

// A gap ends a frame when it is clearly longer than the frame's own spaces; it still joins a
// repeat when it is at most about twice its nominal length (a longer pause is a new key press).
Window GapWindow(int32_t nominal) {
    return {nominal, std::max<int32_t>(nominal / 4, 1), nominal * 2 + 20000};
}

// Between two symbols' windows the value where one ends and the other begins: the gap between
// the nominal values split in proportion to their windows, so overlapping windows are cut there.
int32_t Boundary(const Tolerance& tolerance, bool mark, int32_t smaller, int32_t larger) {
    const int32_t shift = mark ? tolerance.lag() : -tolerance.lag();
    const int64_t centreA = int64_t{smaller} + shift;
    const int64_t centreB = int64_t{larger} + shift;
    // The high ends are never clamped, unlike the low ones: the half widths come from them.
    const int64_t halfA =
        (mark ? tolerance.Mark(smaller) : tolerance.Space(smaller)).high - centreA;
    const int64_t halfB = (mark ? tolerance.Mark(larger) : tolerance.Space(larger)).high - centreB;
    return static_cast<int32_t>(centreA +
                                (centreB - centreA) * halfA / std::max<int64_t>(1, halfA + halfB));
}

// A bit's window, cut where the other symbol's begins.
Window BitWindow(const Tolerance& tolerance, bool mark, const Row& row, int32_t nominal) {
    Window w = mark ? tolerance.Mark(nominal) : tolerance.Space(nominal);
    const int32_t zero = mark ? row.zeroMark : row.zeroSpace;
    const int32_t one = mark ? row.oneMark : row.oneSpace;
    if (zero == one)
        return w;
    const int32_t boundary = Boundary(tolerance, mark, std::min(zero, one), std::max(zero, one));
    if (nominal == std::min(zero, one))
        w.high = std::min(w.high, boundary);
    else
        w.low = std::max(w.low, boundary + 1);
    return w;
}

// The two bit symbols of a row under one tolerance: which one a mark and space are, if any.
class Symbols {
public:
    Symbols(const Row& row, const Tolerance& tolerance)
        : zeroMark_(BitWindow(tolerance, true, row, row.zeroMark)),
          oneMark_(BitWindow(tolerance, true, row, row.oneMark)),
          zeroSpace_(BitWindow(tolerance, false, row, row.zeroSpace)),
          oneSpace_(BitWindow(tolerance, false, row, row.oneSpace)),
          leadMark_(tolerance.Mark(row.frame.leadMark)),
          leadSpace_(tolerance.Space(row.frame.leadSpace)) {}

    bool Lead(int32_t mark, int32_t space) const {
        return Inside(mark, leadMark_) && Inside(space, leadSpace_);
    }

    // `space` is negative where the bit's space is the gap and is not looked at.
    std::optional<int> Read(int32_t mark, int32_t space) const {
        const bool inZero = Inside(mark, zeroMark_) && (space < 0 || Inside(space, zeroSpace_));
        const bool inOne = Inside(mark, oneMark_) && (space < 0 || Inside(space, oneSpace_));
        if (inZero == inOne) // neither, or a gap where only the space tells them apart
            return std::nullopt;
        return inOne ? 1 : 0;
    }

    // The window of a bit's mark or space of the given nominal length.
    const Window& Bit(bool mark, int32_t nominal) const {
        if (mark)
            return nominal == zeroMark_.nominal ? zeroMark_ : oneMark_;
        return nominal == zeroSpace_.nominal ? zeroSpace_ : oneSpace_;
    }

    static bool Inside(int32_t value, const Window& w) { return value >= w.low && value <= w.high; }

private:
    Window zeroMark_, oneMark_, zeroSpace_, oneSpace_, leadMark_, leadSpace_;
};

enum class Fit { No, EndsSignal, Gap };

// Whether the signal at `pos` matches the nominal unit in `expected` (its gap last).
Fit Matches(const Buffer& expected, const Symbols& symbols, std::span<const int32_t> d,
            std::size_t pos, const Tolerance& tolerance) {
    const std::size_t n = expected.size();
    if (expected.overflowed() || n < 2 || pos + n - 1 > d.size())
        return Fit::No;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const bool mark = i % 2 == 0;
        const bool fits = expected.isBit(i)
                              ? Symbols::Inside(d[pos + i], symbols.Bit(mark, expected[i]))
                          : mark ? tolerance.FitsMark(d[pos + i], expected[i])
                                 : tolerance.FitsSpace(d[pos + i], expected[i]);
        if (!fits)
            return Fit::No;
    }
    const std::size_t gapAt = pos + n - 1;
    if (gapAt >= d.size())
        return Fit::EndsSignal;
    return d[gapAt] >= GapWindow(expected[n - 1]).low ? Fit::Gap : Fit::No;
}

// The bits of a frame read symbol by symbol, giving the parameters the fields carry; every
// window, constant, complement and check is then verified against the rendered frame.
std::optional<Values> ReadValues(const Row& row, const Symbols& symbols, std::span<const int32_t> d,
                                 std::size_t at, const Tolerance& tolerance) {
    const Unit& unit = row.frame;
    std::size_t pos = at;
    if (unit.leadMark) {
        if (pos + 1 >= d.size() || !symbols.Lead(d[pos], d[pos + 1]))
            return std::nullopt;
        pos += 2;
    }
    Values v{};
    for (std::size_t k = 0; k < unit.items.size(); ++k) {
        const Item& item = unit.items[k];
        if (item.kind == Item::Kind::Pulse) {
            if (pos + 1 >= d.size() || !tolerance.FitsMark(d[pos], item.mark) ||
                !tolerance.FitsSpace(d[pos + 1], item.space))
                return std::nullopt;
            pos += 2;
            continue;
        }
        const bool lastItem = k + 1 == unit.items.size();
        int64_t bits = 0;
        for (int i = 0; i < item.width; ++i) {
            // The space of a last bit without a stop mark is the gap: the mark decides alone.
            const bool useSpace = !(lastItem && i + 1 == item.width && !unit.stopMark);
            if (pos + (useSpace ? 1 : 0) >= d.size())
                return std::nullopt;
            const std::optional<int> bit = symbols.Read(d[pos], useSpace ? d[pos + 1] : -1);
            if (!bit)
                return std::nullopt;
            bits |= int64_t{*bit} << (row.msb ? item.width - 1 - i : i);
            pos += 2;
        }
        if (item.kind == Item::Kind::Field && !item.invert)
            v[item.index] |= bits << item.from;
    }
    for (std::size_t p = 0; p < row.params.size(); ++p) {
        const ParamInfo& info = row.params[p];
        if (v[p] < info.min || v[p] > info.max ||
            (!info.choices.empty() &&
             std::find(info.choices.begin(), info.choices.end(), v[p]) == info.choices.end()))
            return std::nullopt;
    }
    if (row.accept && !row.accept(v))
        return std::nullopt;
    return v;
}

// Every row's symbols under the tolerance: the windows depend on the lag alone, and a signal's
// lag is the same at all of its starts, so they are worked out once per signal and thread.
std::span<const Symbols> SymbolsOf(std::span<const Row> rows, const Tolerance& tolerance) {
    thread_local std::vector<Symbols> symbols;
    thread_local std::optional<int32_t> lag;
    thread_local const Row* table = nullptr;
    if (lag != tolerance.lag() || table != rows.data() || symbols.size() != rows.size()) {
        symbols.clear();
        for (const Row& row : rows)
            symbols.emplace_back(row, tolerance);
        lag = tolerance.lag();
        table = rows.data();
    }
    return symbols;
}

// How many repeats a toggle is followed through; a held key beyond that only repeats unchanged.
constexpr int kToggleRepeats = 64;

struct Match {
    std::size_t row = 0;
    Values values{};
    int reading = 0;
    int repeats = 0;
    std::size_t last = 0; // the last mark covered
    bool toggled = false;
    uint64_t toggles = 0; // bit r: repeat r's toggle differs from the first frame's
};

// The values a repeat carries: the first frame's, with the toggle flipped where it was.
Values RepeatValues(const Row& row, const Values& v, uint64_t toggles, int repeat) {
    Values out = v;
    if (row.toggle >= 0 && (toggles >> std::min(repeat, kToggleRepeats - 1) & 1))
        out[row.toggle] ^= 1;
    return out;
}

// The frame at `at` under one reading, and the repeats that follow it.
std::optional<Match> MatchRow(const Row& row, const Symbols& symbols, const Values& v, int reading,
                              std::span<const int32_t> d, std::size_t at,
                              const Tolerance& tolerance) {
    Buffer expected;
    EmitUnit(row, row.frame, v, reading, expected);
    Fit fit = Matches(expected, symbols, d, at, tolerance);
    if (fit == Fit::No)
        return std::nullopt;
    Match match{0, v, reading, 0, at + expected.size() - 2};
    int32_t nominalGap = expected[expected.size() - 1];
    bool flipped = false; // the last frame's toggle against the first's
    while (fit == Fit::Gap && d[match.last + 1] <= GapWindow(nominalGap).high) {
        Values current = v;
        if (flipped)
            current[row.toggle] ^= 1;
        Buffer repeat;
        EmitRepeat(row, current, reading, repeat);
        fit = Matches(repeat, symbols, d, match.last + 2, tolerance);
        // A new press of the same key sends the frame with its toggle changed.
        if (fit == Fit::No && row.toggle >= 0 && row.repeat == Repeat::Frame &&
            match.repeats < kToggleRepeats) {
            current[row.toggle] ^= 1;
            repeat = Buffer();
            EmitRepeat(row, current, reading, repeat);
            fit = Matches(repeat, symbols, d, match.last + 2, tolerance);
            if (fit != Fit::No) {
                flipped = !flipped;
                match.toggled = true;
            }
        }
        if (fit == Fit::No)
            break;
        if (flipped)
            match.toggles |= uint64_t{1} << std::min(match.repeats, kToggleRepeats - 1);
        ++match.repeats;
        match.last += repeat.size();
        nominalGap = repeat[repeat.size() - 1];
    }
    return match;
}

bool Longer(const Match& a, const Match& b, std::span<const Row> rows) {
    if (rows[a.row].robustness != rows[b.row].robustness)
        return rows[a.row].robustness > rows[b.row].robustness;
    return a.last > b.last;
}

// The nominal durations of a frame and its repeats, gaps included, and the indices of the gaps.
// The first frame's spans go to `spans`, one span per repeat too; the spans inside the repeats
// go to `repeatSpans`.
template <class Out>
std::vector<std::size_t> EmitAll(const Row& row, const Values& v, int reading, int repeats,
                                 uint64_t toggles, Out& out, std::vector<Span>* spans,
                                 std::vector<Span>* repeatSpans, std::size_t base) {
    std::vector<std::size_t> gaps;
    EmitUnit(row, row.frame, v, reading, out, SpanSink{spans, base});
    gaps.push_back(out.size() - 1);
    for (int r = 0; r < repeats; ++r) {
        const std::size_t first = out.size();
        EmitRepeat(row, RepeatValues(row, v, toggles, r), reading, out,
                   SpanSink{repeatSpans, base + first});
        gaps.push_back(out.size() - 1);
        if (spans)
            spans->push_back({Span::Kind::Repeat, row.repeat == Repeat::Ditto ? "ditto" : "repeat",
                              base + first, base + out.size() - 2});
    }
    return gaps;
}

Decode Build(const Row& row, const Match& m, std::size_t at, const Tolerance& tolerance) {
    Decode decode;
    decode.protocol = m.repeats == 0 && !row.loneName.empty() ? row.loneName : row.name;
    for (std::size_t p = 0; p < row.params.size(); ++p)
        decode.params.push_back({row.params[p].name, m.values[p]});
    decode.first = at;
    decode.last = m.last;
    decode.repeats = m.repeats;
    decode.repeatForm = m.repeats == 0                ? RepeatForm::None
                        : row.repeat == Repeat::Ditto ? RepeatForm::Ditto
                        : m.toggled                   ? RepeatForm::Toggled
                                                      : RepeatForm::Frame;
    Durations nominal;
    std::vector<Span> repeatSpans;
    const std::vector<std::size_t> gaps = EmitAll(row, m.values, m.reading, m.repeats, m.toggles,
                                                  nominal, &decode.spans, &repeatSpans, at);
    nominal.pop_back(); // the gap after the last frame is not part of the decode
    decode.windows.reserve(nominal.size());
    for (std::size_t i = 0; i < nominal.size(); ++i) {
        if (std::find(gaps.begin(), gaps.end(), i) != gaps.end())
            decode.windows.push_back(GapWindow(nominal[i]));
        else
            decode.windows.push_back(i % 2 == 0 ? tolerance.Mark(nominal[i])
                                                : tolerance.Space(nominal[i]));
    }
    // A bit's windows end where the other symbol's begin, as the bits were read.
    for (const std::vector<Span>* spans : {&decode.spans, &repeatSpans})
        for (const Span& span : *spans) {
            if (span.kind != Span::Kind::Bit)
                continue;
            for (std::size_t i = span.first; i <= span.last; ++i)
                decode.windows[i - at] =
                    BitWindow(tolerance, (i - at) % 2 == 0, row, nominal[i - at]);
        }
    return decode;
}

} // namespace

std::vector<Candidate> DecodeAt(std::span<const Row> rows, std::span<const int32_t> durations,
                                std::size_t at, const Tolerance& tolerance) {
    const std::span<const Symbols> symbols = SymbolsOf(rows, tolerance);
    std::optional<Match> best;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        const std::optional<Values> values = ReadValues(row, symbols[r], durations, at, tolerance);
        if (!values)
            continue;
        for (int reading = 0; reading < row.readings; ++reading) {
            std::optional<Match> match =
                MatchRow(row, symbols[r], *values, reading, durations, at, tolerance);
            if (!match)
                continue;
            match->row = r;
            if (!best || Longer(*match, *best, rows))
                best = match;
        }
    }
    if (!best)
        return {};
    std::vector<Candidate> out;
    Candidate candidate;
    candidate.decode = Build(rows[best->row], *best, at, tolerance);
    candidate.robustness = rows[best->row].robustness;
    out.push_back(std::move(candidate));
    return out;
}

Durations RenderRow(const Row& row, const std::vector<Param>& params, int repeats) {
    Values v{};
    for (std::size_t p = 0; p < params.size() && p < v.size(); ++p)
        v[p] = params[p].value;
    Durations out;
    EmitAll(row, v, 0, repeats, 0, out, nullptr, nullptr, 0);
    out.pop_back();
    return out;
}

} // namespace analysis::detail::pulse

// The multi-level protocols: each symbol carries two bits (the first the high bit of the symbol's
// index) as one of four duration patterns. A protocol is a row below; one reader and one renderer
// serve them all. Symbols never share a level with what precedes or follows them, so durations
// never merge as they do in bi-phase.

#include "analysis/Press.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace analysis::detail {
namespace {

// Far beyond what receivers do (50-150 µs): a frame whose marks say more is not read that way.
constexpr int64_t kMaxLagUs = 400;

struct Field {
    const char* name;
    int width;
};

struct Row {
    ProtocolInfo info;
    std::vector<int32_t> lead;                   // µs, first a mark
    std::array<std::vector<int32_t>, 4> symbols; // µs, positive a mark, negative a space
    std::vector<Field> fields;                   // most significant bit first, in order sent
    int32_t trailer = 0;                         // a mark after the symbols, 0: none
    int32_t extentUs = 0;                        // a frame and its gap last this long, or
    int32_t gapUs = 0;                           // the gap after a frame
    Robustness robustness = Robustness::Weak;

    // Derived from the above.
    std::array<std::vector<Nominal>, 4> steps; // each symbol's durations with their neighbours
    std::vector<std::size_t> params;           // index of each field's parameter
    std::size_t toggle = 0;
    int bits = 0;
    int32_t longestSpace = 0;
    // Where every symbol has the same marks: the frame's marks in order, else empty.
    std::vector<int32_t> marks;
    std::size_t longest = 0; // durations of a frame at most
};

// A row with what the reader needs filled in: at each place of a symbol, the lengths the other
// symbols hold there are its neighbours, so that the four symbols' windows never overlap.
Row MakeRow(ProtocolInfo info, std::vector<int32_t> lead,
            std::array<std::vector<int32_t>, 4> symbols, std::vector<Field> fields, int32_t trailer,
            int32_t extentUs, int32_t gapUs, Robustness robustness) {
    Row row;
    row.info = std::move(info);
    row.lead = std::move(lead);
    row.symbols = std::move(symbols);
    row.fields = std::move(fields);
    row.trailer = trailer;
    row.extentUs = extentUs;
    row.gapUs = gapUs;
    row.robustness = robustness;
    for (std::size_t k = 0; k < 4; ++k)
        for (std::size_t j = 0; j < row.symbols[k].size(); ++j) {
            const int32_t own = row.symbols[k][j];
            Nominal nominal{std::abs(own)};
            for (const std::vector<int32_t>& other : row.symbols) {
                if (j >= other.size() || (other[j] > 0) != (own > 0))
                    continue;
                const int32_t length = std::abs(other[j]);
                if (length < nominal.us && length > nominal.below)
                    nominal.below = length;
                if (length > nominal.us && (nominal.above == 0 || length < nominal.above))
                    nominal.above = length;
            }
            row.steps[k].push_back(nominal);
            if (own < 0)
                row.longestSpace = std::max(row.longestSpace, -own);
        }
    for (std::size_t i = 1; i < row.lead.size(); i += 2)
        row.longestSpace = std::max(row.longestSpace, row.lead[i]);
    for (const Field& field : row.fields) {
        row.params.push_back(IndexOf(row.info, field.name));
        row.bits += field.width;
    }
    row.toggle = IndexOf(row.info, "T");
    std::size_t longestSymbol = 0;
    for (const std::vector<int32_t>& symbol : row.symbols)
        longestSymbol = std::max(longestSymbol, symbol.size());
    row.longest = row.lead.size() + static_cast<std::size_t>(row.bits / 2) * longestSymbol +
                  (row.trailer > 0 ? 1 : 0);
    const auto marksOf = [](const std::vector<int32_t>& durations, std::size_t from) {
        std::vector<int32_t> marks;
        for (std::size_t i = from; i < durations.size(); i += 2)
            marks.push_back(durations[i]);
        return marks;
    };
    if (std::all_of(row.symbols.begin(), row.symbols.end(),
                    [&](const std::vector<int32_t>& s) {
                        return s.size() == row.symbols[0].size() &&
                               marksOf(s, 0) == marksOf(row.symbols[0], 0);
                    }) &&
        row.symbols[0].size() % 2 == 0 && row.lead.size() % 2 == 0 && row.symbols[0][0] > 0) {
        row.marks = marksOf(row.lead, 0);
        for (int s = 0; s < row.bits / 2; ++s)
            for (const int32_t mark : marksOf(row.symbols[0], 0))
                row.marks.push_back(mark);
        if (row.trailer > 0)
            row.marks.push_back(row.trailer);
    }
    return row;
}

std::vector<int32_t> Scaled(std::vector<int32_t> units, double unitUs) {
    for (int32_t& u : units)
        u = static_cast<int32_t>(u * unitUs + (u > 0 ? 0.5 : -0.5));
    return units;
}

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = [] {
        constexpr double grundig = 578;
        // Nokia's unit is one carrier period at 36 kHz, so its four spaces lie 167 µs apart.
        constexpr double nokia = 1e6 / 36000;
        return std::vector<Row>{
            // A fixed leader, then 8 symbols, all ending with a mark; no check: the strict leader
            // and length make a chance fit rare.
            MakeRow({"Grundig16",
                     35700,
                     {Required("D", 127), Required("F", 255), Defaulted("T", 1, 0)}},
                    {806, 2960, 1346},
                    {Scaled({-4, 2}, grundig), Scaled({-3, 1, -1, 1}, grundig),
                     Scaled({-2, 1, -2, 1}, grundig), Scaled({-1, 1, -3, 1}, grundig)},
                    {{"T", 1}, {"F", 8}, {"D", 7}}, 0, 0, Scaled({100}, grundig)[0],
                    Robustness::Moderate),
            // RC-MM 32-bit. No check, and neighbouring spaces a sixth of a millisecond apart: a
            // little jitter reads another value, so it is trusted least.
            MakeRow({"Nokia32",
                     36000,
                     {Required("D", 255), Required("S", 255), Required("F", 255),
                      Defaulted("T", 1, 0), Defaulted("X", 127, 0)}},
                    Scaled({15, 10}, nokia),
                    {Scaled({6, -10}, nokia), Scaled({6, -16}, nokia), Scaled({6, -22}, nokia),
                     Scaled({6, -28}, nokia)},
                    {{"D", 8}, {"S", 8}, {"T", 1}, {"X", 7}, {"F", 8}}, Scaled({6}, nokia)[0],
                    100000, 0, Robustness::Weak),
        };
    }();
    return rows;
}

// The lag of the frame at `at` from its own marks, where their lengths are known, else the
// signal's. Neighbouring lengths of a tight code lie closer than the lag can differ between a
// signal's parts.
Tolerance LagOf(const Row& row, std::span<const int32_t> durations, std::size_t at,
                const Tolerance& tolerance) {
    if (row.marks.empty() || at + 2 * row.marks.size() > durations.size() + 1)
        return tolerance;
    int64_t sum = 0;
    for (std::size_t i = 0; i < row.marks.size(); ++i)
        sum += int64_t{durations[at + 2 * i]} - row.marks[i];
    const int64_t lag = sum / static_cast<int64_t>(row.marks.size());
    return Tolerance(static_cast<int32_t>(std::clamp<int64_t>(lag, -kMaxLagUs, kMaxLagUs)));
}

std::optional<FrameRead> Read(const Row& row, std::span<const int32_t> durations, std::size_t at,
                              const Tolerance& signal) {
    // Most starts are not this protocol's: its leader tells at once.
    for (std::size_t i = 0; i < row.lead.size(); ++i)
        if (at + i >= durations.size() ||
            !Fits(signal, i % 2 == 0, {row.lead[i]}, durations[at + i]))
            return std::nullopt;
    const Tolerance tolerance = LagOf(row, durations, at, signal);
    std::size_t pos = at;
    const auto take = [&](const Nominal& nominal) {
        if (pos >= durations.size() || !Fits(tolerance, pos % 2 == 0, nominal, durations[pos]))
            return false;
        ++pos;
        return true;
    };
    for (const int32_t length : row.lead)
        if (!take({length}))
            return std::nullopt;
    uint64_t bits = 0;
    for (int s = 0; s < row.bits / 2; ++s) {
        const std::size_t start = pos;
        std::size_t k = 0;
        for (; k < 4; ++k) {
            pos = start;
            if (std::all_of(row.steps[k].begin(), row.steps[k].end(), take))
                break;
        }
        if (k == 4)
            return std::nullopt;
        bits = bits << 2 | k;
    }
    if (row.trailer > 0 && !take({row.trailer}))
        return std::nullopt;
    // The frame ends at a gap longer than any space inside it, or at the end of the signal.
    if (pos < durations.size() &&
        durations[pos] <= WindowOf(tolerance, false, {row.longestSpace}).high)
        return std::nullopt;
    FrameRead frame;
    frame.values.assign(row.info.params.size(), 0);
    int offset = row.bits;
    for (std::size_t i = 0; i < row.fields.size(); ++i) {
        offset -= row.fields[i].width;
        frame.values[row.params[i]] =
            static_cast<int64_t>((bits >> offset) & ((uint64_t{1} << row.fields[i].width) - 1));
    }
    frame.last = pos - 1;
    frame.lag = tolerance.lag();
    return frame;
}

Layout Lay(const Row& row, std::span<const std::vector<int64_t>> frames) {
    Layout layout;
    for (std::size_t f = 0; f < frames.size(); ++f) {
        // Spans are kept for the first frame only, which starts at index 0.
        const bool first = f == 0;
        int64_t elapsed = 0;
        const auto put = [&](const Nominal& nominal) {
            elapsed += nominal.us;
            layout.wave.push_back(nominal);
            return layout.wave.size() - 1;
        };
        for (const int32_t length : row.lead)
            put({length});
        if (first && !row.lead.empty())
            layout.spans.push_back({Span::Kind::Lead, "", 0, row.lead.size() - 1});
        uint64_t bits = 0;
        for (std::size_t i = 0; i < row.fields.size(); ++i)
            bits = bits << row.fields[i].width | (static_cast<uint64_t>(frames[f][row.params[i]]) &
                                                  ((uint64_t{1} << row.fields[i].width) - 1));
        const std::size_t firstSymbol = layout.spans.size();
        for (int s = row.bits / 2 - 1; s >= 0; --s) {
            const std::size_t k = (bits >> (2 * s)) & 3;
            const std::size_t from = layout.wave.size();
            std::size_t to = from;
            for (const Nominal& nominal : row.steps[k])
                to = put(nominal);
            if (first)
                layout.spans.push_back(
                    {Span::Kind::Bit, std::string{k & 2 ? '1' : '0', k & 1 ? '1' : '0'}, from, to});
        }
        if (row.trailer > 0) {
            const std::size_t index = put({row.trailer});
            if (first)
                layout.spans.push_back({Span::Kind::Trailer, "", index, index});
        }
        layout.lasts.push_back(layout.wave.size() - 1);
        // A field spans the symbols that hold its bits.
        for (std::size_t i = 0, offset = 0; first && i < row.fields.size(); ++i) {
            const std::size_t end = offset + static_cast<std::size_t>(row.fields[i].width) - 1;
            const std::size_t param = row.params[i];
            layout.spans.push_back(
                {Span::Kind::Field,
                 row.info.params[param].name + "=" + std::to_string(frames[f][param]),
                 layout.spans[firstSymbol + offset / 2].first,
                 layout.spans[firstSymbol + end / 2].last});
            offset = end + 1;
        }
        const int64_t gap = row.extentUs > 0 ? row.extentUs - elapsed : row.gapUs;
        layout.wave.push_back({static_cast<int32_t>(gap)});
    }
    layout.wave.pop_back();
    return layout;
}

std::vector<Candidate> DecodeAt(std::span<const int32_t> durations, std::size_t at,
                                const Tolerance& tolerance) {
    std::vector<Candidate> found;
    for (const Row& row : Rows())
        if (std::optional<Candidate> candidate =
                ReadCandidate(row, durations, at, tolerance, &Read, &Lay))
            found.push_back(std::move(*candidate));
    return found;
}

} // namespace

const Family& MultiLevelFamily() {
    static const Family family = MakeFamily<&Rows, &Lay>(&DecodeAt);
    return family;
}

} // namespace analysis::detail

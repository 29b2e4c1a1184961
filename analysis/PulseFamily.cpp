#include "analysis/PulseTable.h"

#include <algorithm>
#include <bit>
#include <cmath>

// The pulse-distance and pulse-width protocols, one row each. Where published definitions
// disagree, the row says which one it renders and what else it accepts.
namespace analysis::detail::pulse {
namespace {

ParamInfo P(std::string name, int64_t max, std::optional<int64_t> defaultValue = std::nullopt) {
    return {std::move(name), 0, max, defaultValue, {}, std::nullopt};
}
// A parameter whose default is another one's value XOR `mask`.
ParamInfo Derived(std::string name, int64_t max, std::string from, int64_t mask) {
    ParamInfo info = P(std::move(name), max);
    info.derivedDefault = ParamInfo::Derived{std::move(from), mask};
    return info;
}

// Timings given in the protocol's unit.
struct Units {
    double unit;
    int32_t operator()(double n) const { return static_cast<int32_t>(std::lround(n * unit)); }
};

// A pulse-distance row: every mark one unit, a zero's space `zero` units and a one's `one`.
Row Distance(std::string name, int carrierHz, Units u, double zero, double one,
             Robustness robustness, std::vector<ParamInfo> params) {
    Row row;
    row.name = std::move(name);
    row.carrierHz = carrierHz;
    row.zeroMark = row.oneMark = u(1);
    row.zeroSpace = u(zero);
    row.oneSpace = u(one);
    row.robustness = robustness;
    row.params = std::move(params);
    return row;
}

enum { D, S, F, E };

std::vector<Item> NecBits() {
    return {Field(D, 8), Field(S, 8), Field(F, 8), NotField(F, 8)};
}
std::vector<ParamInfo> NecParams() {
    return {P("D", 255), Derived("S", 255, "D", 255), P("F", 255)};
}

// NEC framing: lead 16,-8 (NECx: 8,-8), 32 bits, a stop mark, frames 108 ms apart.
Row NecFrame(std::string name, std::string loneName, int carrierHz, double leadMarkUnits,
             std::vector<Item> items, Repeat repeat) {
    const Units u{564};
    Row row = Distance(std::move(name), carrierHz, u, 1, 3, Robustness::Robust, NecParams());
    row.loneName = std::move(loneName);
    row.frame = {u(leadMarkUnits), u(8), std::move(items), u(1), 0, 108000};
    row.repeat = repeat;
    row.repeatUnit = {u(16), u(4), {}, u(1), 0, 108000};
    return row;
}

void AddNec(std::vector<Row>& rows) {
    // Pioneer is an NEC2 frame on a 40 kHz carrier, which a receiver cannot see; like the
    // IrpTransmogrifier database, the devices Pioneer uses are named Pioneer when no ditto
    // follows, and everything else NEC. Listed first so it wins those frames.
    Row pioneer = NecFrame("Pioneer", "", 40000, 16, NecBits(), Repeat::Frame);
    pioneer.accept = [](const Values& v) {
        return (v[D] >= 160 && v[D] <= 165) || v[D] == 168 || v[D] == 170 || v[D] == 171 ||
               v[D] == 173 || v[D] == 175;
    };
    rows.push_back(std::move(pioneer));

    // Apple: NEC1 framing with a parity bit and a pairing id in place of ~F. Its parity is
    // published two ways: odd parity over all 32 bits (rendered) and C = 1 when F and PairID
    // together have an even number of ones. They agree for D=238 and differ for D=224: both
    // are accepted.
    Row apple = NecFrame("Apple", "", 38400, 16,
                         {Field(D, 8), Field(S, 8), Check(0, 1, "C"), Field(F, 7), Field(3, 8)},
                         Repeat::Ditto);
    apple.params = {P("D", 255, 238), P("S", 255, 135), P("F", 127), P("PairID", 255)};
    apple.params[0].min = 224;
    apple.params[0].max = 238;
    apple.params[0].choices = {224, 238};
    apple.params[1].min = 135;
    apple.params[1].max = 135;
    apple.readings = 2;
    apple.check = [](int, const Values& v, int reading) -> int64_t {
        const int ones =
            std::popcount(static_cast<uint64_t>(v[F])) + std::popcount(static_cast<uint64_t>(v[3]));
        const int all = ones + std::popcount(static_cast<uint64_t>(v[D])) +
                        std::popcount(static_cast<uint64_t>(v[S]));
        return reading == 0 ? 1 - all % 2 : 1 - ones % 2;
    };
    rows.push_back(std::move(apple));

    // A lone frame cannot show whether the remote sends dittos or frames: it is "NEC".
    for (const auto& [name, repeat] : {std::pair{"NEC1", Repeat::Ditto}, {"NEC2", Repeat::Frame}}) {
        Row nec = NecFrame(name, "NEC", 38400, 16, NecBits(), repeat);
        rows.push_back(std::move(nec));
    }
    // NECx: 8,-8 lead. Its ditto carries one bit, published as D's lowest bit and as its
    // complement; both are accepted, the complement (confirmed by a peer) is rendered.
    for (const auto& [name, repeat] :
         {std::pair{"NECx1", Repeat::Ditto}, {"NECx2", Repeat::Frame}}) {
        Row necx = NecFrame(name, "", 38400, 8, NecBits(), repeat);
        necx.params = {P("D", 255), Derived("S", 255, "D", 0), P("F", 255)};
        necx.repeatUnit = {
            necx.frame.leadMark, necx.frame.leadSpace, {Check(0, 1, "D")}, 564, 0, 108000};
        necx.readings = 2;
        necx.check = [](int, const Values& v, int reading) -> int64_t {
            return reading == 0 ? ~v[D] & 1 : v[D] & 1;
        };
        rows.push_back(std::move(necx));
    }
    // The fourth byte free: no check left, so these come last and weak. Rendered as
    // D:8,S:8,F:8,E:8 (the older F:16 reading is the same bits).
    for (const auto& [name, repeat] :
         {std::pair{"NEC1-f16", Repeat::Ditto}, {"NEC2-f16", Repeat::Frame}}) {
        Row nec = NecFrame(name, "NEC-f16", 38400, 16,
                           {Field(D, 8), Field(S, 8), Field(F, 8), Field(E, 8)}, repeat);
        nec.params = {P("D", 255), Derived("S", 255, "D", 255), P("F", 255), P("E", 255)};
        nec.robustness = Robustness::Weak;
        rows.push_back(std::move(nec));
    }

    // Aiwa (NEC42): a 13-bit address and F, each followed by its complement; its ditto has an
    // 8-unit space and a fixed gap.
    const Units u{550};
    Row aiwa = Distance("Aiwa", 38000, u, 1, 3, Robustness::Robust,
                        {P("D", 255), P("S", 31), P("F", 255)});
    aiwa.frame = {
        u(16),
        u(8),
        {Field(D, 8), Field(S, 5), NotField(D, 8), NotField(S, 5), Field(F, 8), NotField(F, 8)},
        u(1),
        u(42),
        0};
    aiwa.repeat = Repeat::Ditto;
    aiwa.repeatUnit = {u(16), u(8), {}, u(1), u(165), 0};
    rows.push_back(std::move(aiwa));
}

// Kaseikyo: lead 8,-4, the OEM code M,N, then 32 bits of the member's own layout.
Row Kaseikyo(std::string name, double unit, int carrierHz, std::vector<Item> payload,
             double gapUnits) {
    const Units u{unit};
    Row row = Distance(std::move(name), carrierHz, u, 1, 3, Robustness::Robust, {});
    row.frame = {u(8), u(4), std::move(payload), u(1), u(gapUnits), 0};
    return row;
}

int64_t ByteXor(int, const Values& v, int) {
    return v[D] ^ v[S] ^ v[F];
}
// The nibble check of SharpDVD and of Kaseikyo's checked reading: D, both nibbles of S and of
// F, and E, XORed.
int64_t NibbleXor(const Values& v) {
    const int64_t sum = v[D] ^ v[S] ^ v[F] ^ (v[E] << 4);
    return (sum ^ (sum >> 4)) & 15;
}

void AddKaseikyo(std::vector<Row>& rows) {
    struct Member {
        const char* name;
        int m, n;
    };
    for (const auto& [name, m, n] : {Member{"Panasonic", 2, 32}, Member{"JVC-48", 3, 1}}) {
        // D's low nibble sits where the OEM code's XOR goes; as published, D is read whole.
        Row row = Kaseikyo(name, 432, 37000,
                           {Const(m, 8, "M"), Const(n, 8, "N"), Field(D, 8), Field(S, 8),
                            Field(F, 8), Check(0, 8, "C")},
                           173);
        row.params = {P("D", 255), P("S", 255), P("F", 255)};
        row.check = ByteXor;
        rows.push_back(std::move(row));
    }
    Row denon = Kaseikyo("Denon-K", 432, 37000,
                         {Const(84, 8, "M"), Const(50, 8, "N"), Const(0, 4, "X"), Field(D, 4),
                          Field(S, 4), Field(F, 12), Check(0, 8, "C")},
                         173);
    denon.params = {P("D", 15), P("S", 15), P("F", 4095)};
    denon.check = [](int, const Values& v, int) -> int64_t {
        return ((v[D] << 4) ^ v[S] ^ (v[F] << 4) ^ (v[F] >> 4)) & 255;
    };
    rows.push_back(std::move(denon));

    Row sharpDvd = Kaseikyo("SharpDVD", 400, 38000,
                            {Const(170, 8, "M"), Const(90, 8, "N"), Const(15, 4, "X"), Field(D, 4),
                             Field(S, 8), Field(F, 8), Field(E, 4), Check(0, 4, "C")},
                            48);
    sharpDvd.params = {P("D", 15), P("S", 255), P("F", 255), P("E", 15)};
    sharpDvd.check = [](int, const Values& v, int) { return NibbleXor(v); };
    rows.push_back(std::move(sharpDvd));

    // No check at all: moderate, behind the checked members.
    Row fujitsu = Kaseikyo("Fujitsu", 432, 37000,
                           {Const(20, 8, "M"), Const(99, 8, "N"), Const(0, 4, "X"), Field(E, 4),
                            Field(D, 8), Field(S, 8), Field(F, 8)},
                           110);
    fujitsu.params = {P("D", 255), P("S", 255), P("F", 255), P("E", 15)};
    fujitsu.robustness = Robustness::Moderate;
    rows.push_back(std::move(fujitsu));

    // Any other OEM code, in the reading with E and the nibble check C (the other published
    // reading leaves the last byte unchecked, which would accept any 48-bit frame with this
    // lead). X, the XOR of the OEM code's nibbles, must hold too.
    Row generic = Kaseikyo("Kaseikyo", 432, 37000,
                           {Field(4, 8), Field(5, 8), Check(0, 4, "X"), Field(D, 4), Field(S, 8),
                            Field(F, 8), Field(E, 4), Check(1, 4, "C")},
                           173);
    generic.params = {P("D", 15), P("S", 255), P("F", 255), P("E", 15), P("M", 255), P("N", 255)};
    generic.check = [](int which, const Values& v, int) -> int64_t {
        if (which == 0)
            return (v[4] ^ (v[4] >> 4) ^ v[5] ^ (v[5] >> 4)) & 15;
        return NibbleXor(v);
    };
    rows.push_back(std::move(generic));
}

void AddOthers(std::vector<Row>& rows) {
    // Samsung36 as IrpTransmogrifier writes it; the DecodeIR timing (500 us unit, 68 us more
    // space after F) falls inside these windows and is accepted as well.
    {
        const Units u{560};
        Row row = Distance("Samsung36", 37900, u, 1, 3, Robustness::Moderate,
                           {P("D", 255), P("S", 255), P("F", 255), P("E", 15)});
        row.frame = {
            4500,
            4500,
            {Field(D, 8), Field(S, 8), Pulse(u(1), u(9)), Field(E, 4), Field(F, 8), NotField(F, 8)},
            u(1),
            0,
            108000};
        rows.push_back(std::move(row));
    }
    // Sony: pulse width, lead 4,-1, frames 45 ms apart; the bit count tells the variants apart.
    struct Sony {
        const char* name;
        int deviceBits;
        bool subdevice;
    };
    for (const auto& [name, deviceBits, subdevice] :
         {Sony{"Sony12", 5, false}, Sony{"Sony15", 8, false}, Sony{"Sony20", 5, true}}) {
        const Units u{600};
        Row row;
        row.name = name;
        row.carrierHz = 40000;
        row.zeroMark = u(1);
        row.oneMark = u(2);
        row.zeroSpace = row.oneSpace = u(1);
        // F is sent first; the parameters are listed D, S, F.
        if (subdevice) {
            row.params = {P("D", 31), P("S", 255), P("F", 127)};
            row.frame = {u(4), u(1), {Field(F, 7), Field(D, 5), Field(S, 8)}, 0, 0, 45000};
        } else {
            row.params = {P("D", (1 << deviceBits) - 1), P("F", 127)};
            row.frame = {u(4), u(1), {Field(1, 7), Field(0, deviceBits)}, 0, 0, 45000};
        }
        row.robustness = Robustness::Moderate;
        rows.push_back(std::move(row));
    }
    // JVC: the lead only before the first frame, bare frames after it. Rendered with the
    // IrpTransmogrifier extents; DecodeIR's 525 us unit and 45-unit gap fit the same windows.
    // Without its lead a JVC frame is not robust and is left unreported.
    {
        const Units u{527};
        Row row = Distance("JVC", 37900, u, 1, 3, Robustness::Moderate, {P("D", 255), P("F", 255)});
        row.frame = {u(16), u(8), {Field(0, 8), Field(1, 8)}, u(1), 0, 59080};
        row.repeat = Repeat::Bare;
        row.repeatUnit = row.frame;
        row.repeatUnit.leadMark = row.repeatUnit.leadSpace = 0;
        row.repeatUnit.extent = 46420;
        rows.push_back(std::move(row));
    }
    // Sharp and Denon: two halves, the second with ~F and the 2-bit field inverted; only both
    // halves together are robust, so a lone half is not reported. A held key sends the pair
    // again; the other published form (first half alone, then inverted/normal pairs) is the same
    // stream of halves and decodes as the same pairs.
    struct Halves {
        const char* name;
        int first, second;
    };
    for (const auto& [name, first, second] : {Halves{"Sharp", 1, 2}, Halves{"Denon", 0, 3}}) {
        const Units u{264};
        Row row = Distance(name, 38000, u, 3, 7, Robustness::Robust, {P("D", 31), P("F", 255)});
        row.frame = {0,
                     0,
                     {Field(0, 5), Field(1, 8), Const(first, 2), Pulse(u(1), u(165)), Field(0, 5),
                      NotField(1, 8), Const(second, 2)},
                     u(1),
                     u(165),
                     0};
        rows.push_back(std::move(row));
    }
    {
        // RCA: msb first, D and F followed by their complements.
        const Units u{460};
        Row row = Distance("RCA", 58000, u, 2, 4, Robustness::Robust, {P("D", 15), P("F", 255)});
        row.msb = true;
        row.frame = {u(8), u(8),  {Field(0, 4), Field(1, 8), NotField(0, 4), NotField(1, 8)},
                     u(1), u(16), 0};
        rows.push_back(std::move(row));
    }
    {
        // Mitsubishi: no lead and no check. D is 8 bits as DecodeIR has it (7 elsewhere).
        const Units u{300};
        Row row =
            Distance("Mitsubishi", 32600, u, 3, 7, Robustness::Weak, {P("D", 255), P("F", 255)});
        row.frame = {0, 0, {Field(0, 8), Field(1, 8)}, u(1), u(80), 0};
        rows.push_back(std::move(row));
    }
    {
        // Thomson7 (the old Thomson reading splits the same 12 bits differently).
        const Units u{500};
        Row row = Distance("Thomson7", 33000, u, 4, 9, Robustness::Weak,
                           {P("D", 15), P("F", 127), P("T", 1)});
        row.frame = {0, 0, {Field(0, 4), Field(2, 1), Field(1, 7)}, u(1), 0, 80000};
        rows.push_back(std::move(row));
    }
    {
        // RECS80 rendered in its 158 us form; the 180 us form's spaces fall in the same
        // windows and the nearer symbol decides.
        const Units u{158};
        Row row = Distance("RECS80", 38000, u, 31, 47, Robustness::Weak,
                           {P("D", 7), P("F", 63), P("T", 1)});
        row.msb = true;
        row.frame = {0, 0, {Const(1, 1), Field(2, 1), Field(0, 3), Field(1, 6)}, u(1), 45000, 0};
        rows.push_back(std::move(row));
    }
}

} // namespace

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = [] {
        std::vector<Row> all;
        AddNec(all);
        AddKaseikyo(all);
        AddOthers(all);
        return all;
    }();
    return rows;
}

} // namespace analysis::detail::pulse

namespace analysis::detail {

const Family& PulseFamily() {
    static const Family family = [] {
        Family f;
        for (const pulse::Row& row : pulse::Rows()) {
            f.protocols.push_back({row.name, row.carrierHz, row.params});
            // A lone frame's name renders as its row does (a clean-up of a lone NEC frame).
            if (!row.loneName.empty() &&
                std::none_of(f.protocols.begin(), f.protocols.end(),
                             [&](const ProtocolInfo& p) { return p.name == row.loneName; }))
                f.protocols.push_back({row.loneName, row.carrierHz, row.params});
        }
        f.decode = [](std::span<const int32_t> durations, std::size_t at,
                      const Tolerance& tolerance) {
            return pulse::DecodeAt(pulse::Rows(), durations, at, tolerance);
        };
        f.render = [](std::string_view protocol, const std::vector<Param>& params, int repeats) {
            for (const pulse::Row& row : pulse::Rows())
                if (row.name == protocol || row.loneName == protocol)
                    return pulse::RenderRow(row, params, repeats);
            return Durations{};
        };
        return f;
    }();
    return family;
}

} // namespace analysis::detail

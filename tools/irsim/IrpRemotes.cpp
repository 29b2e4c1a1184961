#include "tools/irsim/IrpRemotes.h"

#include "tools/irsim/Wave.h"

#include <bit>

namespace irsim {
namespace {

// A remote's parameters, cut to its widths, subdevice filled in.
struct Params {
    uint32_t d, s, f, e, t;
    uint8_t m, n;
    int repeats;
};

uint32_t Mask(uint32_t value, int bits) {
    return bits >= 32 ? value : value & ((1u << bits) - 1);
}

Params Cut(const RemoteCode& code) {
    const ParameterWidths w = WidthsOf(code.remote);
    const uint32_t d = Mask(code.address, w.d);
    const uint16_t oem = code.oem.value_or(0x0101);
    return {d,
            Mask(code.subdevice.value_or(DefaultSubdevice(code.remote, d)), w.s),
            Mask(code.command, w.f),
            Mask(code.extra, w.e),
            w.toggle && code.toggle ? 1u : 0u,
            uint8_t(oem & 0xFF),
            uint8_t(oem >> 8),
            code.repeats < 0 ? 0 : code.repeats};
}

uint32_t Not(uint32_t value, int bits) {
    return Mask(~value, bits);
}

// Symbols "<1,-1|1,-3>" and the like: a mark, then a short or a long space.
BitSymbols Distance(double zeroSpace, double oneSpace) {
    return {{{1, -zeroSpace}, {1, -oneSpace}}, 1};
}

// Bi-phase: RC5 sends a zero as mark-space, RC6 a one.
const BitSymbols Rc5Phase{{{1, -1}, {-1, 1}}, 1};
const BitSymbols Rc6Phase{{{-1, 1}, {1, -1}}, 1};
const BitSymbols Rc6Trailer{{{-2, 2}, {2, -2}}, 1};

// --- The NEC family: 564 us unit, 16-unit lead mark, frame period 108 ms
// --------------------------

constexpr double NecUnit = 564, NecPeriod = 108000;

void NecFrame(UnitWriter& w, double leadMark, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4) {
    w.StartFrame().Units({leadMark, -8});
    w.Bits(b1, 8).Bits(b2, 8).Bits(b3, 8).Bits(b4, 8).Units({1}).Extent(NecPeriod);
}

void NecDitto(UnitWriter& w) {
    w.StartFrame().Units({16, -4, 1}).Extent(NecPeriod);
}

// NECx sends an 8-unit lead mark where NEC sends 16.
Durations NecLike(const Params& p, double leadMark, uint32_t third, uint32_t fourth, bool dittos) {
    UnitWriter w(NecUnit, false, Distance(1, 3));
    NecFrame(w, leadMark, p.d, p.s, third, fourth);
    for (int i = 0; i < p.repeats; ++i) {
        if (dittos)
            NecDitto(w);
        else
            NecFrame(w, leadMark, p.d, p.s, third, fourth);
    }
    return w.Take();
}

// Apple's parity bit, in DecodeIR's reading: set when F and PairID together hold an even number
// of ones. The other published reading counts D and S as well, which gives the same bit for the
// usual D=238, S=135 and the opposite one for the pairing device 224.
Durations AppleFrame(const Params& p) {
    const uint32_t parity = (std::popcount(p.f) + std::popcount(p.e)) % 2 == 0 ? 1 : 0;
    return NecLike(p, 16, parity | p.f << 1, p.e, true);
}

Durations AiwaFrame(const Params& p) {
    UnitWriter w(550, false, Distance(1, 3));
    w.Units({16, -8}).Bits(p.d, 8).Bits(p.s, 5).Bits(Not(p.d, 8), 8).Bits(Not(p.s, 5), 5);
    w.Bits(p.f, 8).Bits(Not(p.f, 8), 8).Units({1, -42});
    for (int i = 0; i < p.repeats; ++i)
        w.Units({16, -8, 1, -165});
    return w.Take();
}

// The 560 us unit and 4.5 ms lead of the IrpTransmogrifier reading; DecodeIR's (500 us, an extra
// 68 us space) differs by less than a receiver's spread.
Durations Samsung36Frame(const Params& p) {
    UnitWriter w(560, false, Distance(1, 3));
    for (int i = 0; i <= p.repeats; ++i) {
        w.StartFrame().Micros({4500, -4500}).Bits(p.d, 8).Bits(p.s, 8).Units({1, -9});
        w.Bits(p.e, 4).Bits(p.f, 8).Bits(Not(p.f, 8), 8).Units({1}).Extent(NecPeriod);
    }
    return w.Take();
}

// --- Bi-phase: RC5x and RC6 mode 6
// ----------------------------------------------------------------

Durations Rc5xFrame(const Params& p) {
    UnitWriter w(889, true, Rc5Phase);
    for (int i = 0; i <= p.repeats; ++i) {
        w.StartFrame().Bits(1, 1).Bits(Not(p.s >> 6, 1), 1).Bits(p.t, 1).Bits(p.d, 5);
        w.Units({-4}).Bits(p.s, 6).Bits(p.f, 6).Extent(114000);
    }
    return w.Take();
}

void Rc6Mode6Head(UnitWriter& w) {
    w.StartFrame().Units({6, -2}).Bits(1, 1).Bits(6, 3);
}

Durations Rc6M6Frame(const Params& p) {
    UnitWriter w(444, true, Rc6Phase);
    for (int i = 0; i <= p.repeats; ++i) {
        Rc6Mode6Head(w);
        w.Bits(p.t, 1, Rc6Trailer).Bits(p.d, 8).Bits(p.s, 4).Bits(p.f, 8).Micros({-100000});
    }
    return w.Take();
}

// MCE keeps the trailer bit at 0 and carries its toggle inside the payload.
Durations MceFrame(const Params& p) {
    UnitWriter w(444, true, Rc6Phase);
    for (int i = 0; i <= p.repeats; ++i) {
        Rc6Mode6Head(w);
        w.Units({-2, 2}).Bits(128, 8).Bits(p.s, 8).Bits(p.t, 1).Bits(p.d, 7);
        w.Bits(p.f, 8).Extent(107000);
    }
    return w.Take();
}

// --- JVC, Sharp and Denon, Mitsubishi, RCA
// --------------------------------------------------------

Durations JvcHeldFrame(const Params& p) {
    UnitWriter w(527, false, Distance(1, 3));
    w.Units({16, -8}).Bits(p.d, 8).Bits(p.f, 8).Units({1}).Extent(59080);
    for (int i = 0; i < p.repeats; ++i)
        w.StartFrame().Bits(p.d, 8).Bits(p.f, 8).Units({1}).Extent(46420);
    return w.Take();
}

// Both halves, the second with F and the marker bits inverted (DecodeIR's reading, with its 264 us
// unit rather than the Linux encoder's 320 us marks).
Durations SharpLike(const Params& p, uint32_t marker) {
    UnitWriter w(264, false, Distance(3, 7));
    for (int i = 0; i <= p.repeats; ++i) {
        w.Bits(p.d, 5).Bits(p.f, 8).Bits(marker, 2).Units({1, -165});
        w.Bits(p.d, 5).Bits(Not(p.f, 8), 8).Bits(Not(marker, 2), 2).Units({1, -165});
    }
    return w.Take();
}

Durations MitsubishiFrame(const Params& p) {
    UnitWriter w(300, false, Distance(3, 7));
    for (int i = 0; i <= p.repeats; ++i)
        w.Bits(p.d, 8).Bits(p.f, 8).Units({1, -80});
    return w.Take();
}

Durations RcaFrame(const Params& p) {
    UnitWriter w(460, true, Distance(2, 4));
    for (int i = 0; i <= p.repeats; ++i) {
        w.Units({8, -8}).Bits(p.d, 4).Bits(p.f, 8).Bits(Not(p.d, 4), 4).Bits(Not(p.f, 8), 8);
        w.Units({1, -16});
    }
    return w.Take();
}

// --- Kaseikyo: 432 us unit, lead 8,-4, the OEM pair, then the member's payload
// ---------------------

uint32_t NibbleXor(uint32_t value) {
    uint32_t x = 0;
    for (; value != 0; value >>= 4)
        x ^= value & 15;
    return x;
}

// The payload after the OEM pair, as (value, bits) fields sent in order.
struct Field {
    uint32_t value;
    int bits;
};

Durations KaseikyoFrame(const Params& p, double unit, uint8_t m, uint8_t n,
                        std::initializer_list<Field> payload, double leadOut) {
    UnitWriter w(unit, false, Distance(1, 3));
    for (int i = 0; i <= p.repeats; ++i) {
        w.Units({8, -4}).Bits(m, 8).Bits(n, 8);
        for (const Field& field : payload)
            w.Bits(field.value, field.bits);
        w.Units({1, -leadOut});
    }
    return w.Take();
}

// The check nibble of SharpDVD, which IrpTransmogrifier also uses for any other OEM: the XOR of
// D, both nibbles of S and F, and E.
uint32_t NibbleCheck(const Params& p) {
    return NibbleXor(p.d ^ p.s ^ p.f ^ p.e << 4);
}

Durations KaseikyoMember(Remote remote, const Params& p) {
    switch (remote) {
    case Remote::Jvc48:
        return KaseikyoFrame(p, 432, 3, 1, {{p.d, 8}, {p.s, 8}, {p.f, 8}, {p.d ^ p.s ^ p.f, 8}},
                             173);
    case Remote::DenonK: {
        const uint32_t check = (p.d << 4 ^ p.s ^ p.f << 4 ^ p.f >> 4) & 0xFF;
        return KaseikyoFrame(p, 432, 84, 50, {{0, 4}, {p.d, 4}, {p.s, 4}, {p.f, 12}, {check, 8}},
                             173);
    }
    case Remote::Fujitsu:
        return KaseikyoFrame(p, 432, 20, 99, {{0, 4}, {p.e, 4}, {p.d, 8}, {p.s, 8}, {p.f, 8}}, 110);
    case Remote::SharpDvd:
        return KaseikyoFrame(p, 400, 170, 90,
                             {{15, 4}, {p.d, 4}, {p.s, 8}, {p.f, 8}, {p.e, 4}, {NibbleCheck(p), 4}},
                             48);
    default: // generic: the OEM pair given, the nibble after it their XOR
        return KaseikyoFrame(p, 432, p.m, p.n,
                             {{NibbleXor(uint32_t(p.m) << 8 | p.n), 4},
                              {p.d, 4},
                              {p.s, 8},
                              {p.f, 8},
                              {p.e, 4},
                              {NibbleCheck(p), 4}},
                             173);
    }
}

// --- Thomson7, RECS80, Grundig16, Nokia32
// ---------------------------------------------------------

Durations Thomson7Frame(const Params& p) {
    UnitWriter w(500, false, Distance(4, 9));
    for (int i = 0; i <= p.repeats; ++i)
        w.StartFrame().Bits(p.d, 4).Bits(p.t, 1).Bits(p.f, 7).Units({1}).Extent(80000);
    return w.Take();
}

// The 158 us version (0045); 0068 differs only in unit and extent, 0090 is unmodulated.
Durations Recs80Frame(const Params& p) {
    UnitWriter w(158, true, Distance(31, 47));
    for (int i = 0; i <= p.repeats; ++i)
        w.Bits(1, 1).Bits(p.t, 1).Bits(p.d, 3).Bits(p.f, 6).Units({1}).Micros({-45000});
    return w.Take();
}

// Two bits per symbol, the first the high one of the symbol's index.
Durations Grundig16Frame(const Params& p) {
    const BitSymbols pairs{{{-4, 2}, {-3, 1, -1, 1}, {-2, 1, -2, 1}, {-1, 1, -3, 1}}, 2};
    UnitWriter w(578, true, pairs);
    for (int i = 0; i <= p.repeats; ++i)
        w.Micros({806, -2960, 1346}).Bits(p.t, 1).Bits(p.f, 8).Bits(p.d, 7).Units({-100});
    return w.Take();
}

// The unit is one carrier period at 36 kHz.
Durations Nokia32Frame(const Params& p) {
    const BitSymbols pairs{{{6, -10}, {6, -16}, {6, -22}, {6, -28}}, 2};
    UnitWriter w(1e6 / 36000, true, pairs);
    for (int i = 0; i <= p.repeats; ++i) {
        w.StartFrame().Units({15, -10}).Bits(p.d, 8).Bits(p.s, 8).Bits(p.t, 1).Bits(p.e, 7);
        w.Bits(p.f, 8).Units({6}).Extent(100000);
    }
    return w.Take();
}

} // namespace

Durations IrpFrame(const RemoteCode& code) {
    const Params p = Cut(code);
    switch (code.remote) {
    case Remote::Nec1:
        return NecLike(p, 16, p.f, Not(p.f, 8), true);
    case Remote::Nec2:
    case Remote::Pioneer:
        return NecLike(p, 16, p.f, Not(p.f, 8), false);
    case Remote::NecF16:
        return NecLike(p, 16, p.f, p.e, false);
    case Remote::NecX:
        return NecLike(p, 8, p.f, Not(p.f, 8), false);
    case Remote::Apple:
        return AppleFrame(p);
    case Remote::Aiwa:
        return AiwaFrame(p);
    case Remote::Samsung36:
        return Samsung36Frame(p);
    case Remote::Rc5x:
        return Rc5xFrame(p);
    case Remote::Rc6M6:
        return Rc6M6Frame(p);
    case Remote::Mce:
        return MceFrame(p);
    case Remote::JvcHeld:
        return JvcHeldFrame(p);
    case Remote::Sharp:
        return SharpLike(p, 1);
    case Remote::Denon:
        return SharpLike(p, 0);
    case Remote::Jvc48:
    case Remote::DenonK:
    case Remote::Fujitsu:
    case Remote::SharpDvd:
    case Remote::Kaseikyo:
        return KaseikyoMember(code.remote, p);
    case Remote::Mitsubishi:
        return MitsubishiFrame(p);
    case Remote::Rca:
        return RcaFrame(p);
    case Remote::Thomson7:
        return Thomson7Frame(p);
    case Remote::Recs80:
        return Recs80Frame(p);
    case Remote::Grundig16:
        return Grundig16Frame(p);
    case Remote::Nokia32:
        return Nokia32Frame(p);
    default:
        return {};
    }
}

} // namespace irsim

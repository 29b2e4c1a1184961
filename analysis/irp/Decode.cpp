// Matching a captured signal against a compiled protocol. The first frame's program runs over the
// signal as a depth-first search: each bit symbol is tried, durations of one sign merge as the
// renderer merges them, and a merged duration is compared with the signal as soon as it is
// complete. Bits land in the parameters; fields of known values are checks. Every candidate then
// gets its own receiver lag (marks longer, spaces shorter by the same amount, least squares over
// its durations) and is accepted only if each duration lies within the jitter window of the fit.

#include "analysis/irp/Engine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace analysis::irp {
namespace detail {
namespace {

double Jitter(const DecodeOptions& o, double nominal) {
    return o.jitterUs + nominal * (o.jitterPercent * 0.01);
}

// A bit's duration may stray at most half way to the nearest other one of its sign: beyond that
// the reading would be a guess, and a miss is better than a wrong value.
double Jitter(const DecodeOptions& o, const Protocol::Impl& impl, double nominal, bool mark) {
    const double j = Jitter(o, nominal);
    const std::size_t k = mark ? 0 : 1;
    return nominal <= impl.model.capBelowUs[k] ? std::min(j, impl.model.capUs[k]) : j;
}

// A gap ends a frame when it is clearly longer than the frame's own spaces; it still leads to a
// repeat when at most about twice its nominal length (a longer pause is a new key press).
double GapLow(double nominal) {
    return std::max(1.0, nominal / 4);
}
double GapHigh(double nominal) {
    return nominal * 2 + 20000;
}

struct Closure {
    std::size_t index;
    double nominal;
    int8_t kind; // +1 mark, -1 space, 0 a gap between frames
    // Where the duration was read as part of a bit symbol chosen among others: the bit symbols
    // (-1: none) and the lag the choice measured distances from.
    int spec;
    double ref;
};

struct SpanRec {
    std::size_t first;
    std::size_t last;
    int node;      // field node, -1 for a bit symbol
    uint64_t bits; // the symbol or field bits
    int width;
};

struct Undo {
    int var;
    int64_t value;
    uint64_t known;
};

struct Deferred {
    int node;
    uint64_t bits;
};

// The durations one symbol completes, kept until the symbol is taken.
struct Sink {
    static constexpr int kCapacity = 16;
    Closure items[kCapacity];
    int n = 0;
    double lagSum = 0;
};

// Where the reading stands: what a bit symbol's probe copies and changes.
struct Cursor {
    std::size_t cur = 0; // the signal index the pending duration will be compared with
    double pend = 0;
    double t = 0;
    // The lags every duration so far allows: each is within the jitter window of nominal ± lag.
    double lagLo = 0;
    double lagHi = 0;
    int8_t pendSign = 0;
    bool atStart = true; // a space here is invisible (it joins the gap before)
    // The choice of bit symbol the pending duration was first read in (see Closure).
    int pendSpec = -1;
    double pendRef = 0;
};

struct State {
    Cursor c;
    double lagSum = 0;
    int lagCount = 0;
    Env env;
    std::vector<double> starts;
    std::vector<Closure> closures;
    std::vector<Undo> undo;
    std::vector<Deferred> deferred;
    std::vector<SpanRec> spans;
    bool recordSpans = true;
    uint64_t carryBits = 0; // bits of a symbol beyond the last field, in sending order
    int carryCount = 0;
    std::size_t carryFirst = 0;
    int lag = 0;
    double residual = 0;
};

struct Mark {
    Cursor c;
    double lagSum;
    int lagCount;
    std::size_t closures, undo, deferred, spans;
    uint64_t carryBits;
    int carryCount;
    std::size_t carryFirst;
};

class Matcher {
public:
    Matcher(const Protocol::Impl& impl, std::span<const int32_t> d, const DecodeOptions& o)
        : impl_(impl), m_(impl.model), d_(d), o_(o) {}

    bool Run(const std::vector<Step>& program, State& s) {
        program_ = &program;
        budget_ = 64 * static_cast<long>(program.size()) + 4096;
        depth_ = 0;
        return Steps(0, s);
    }

private:
    const Protocol::Impl& impl_;
    const Model& m_;
    std::span<const int32_t> d_;
    const DecodeOptions& o_;
    const std::vector<Step>* program_ = nullptr;
    long budget_ = 0;
    // The reading recurses once per field and per symbol with a rival; a frame of more symbols
    // than this (several times the longest frame of 301 durations) is not read, rather than run
    // the stack out.
    static constexpr int kMaxDepth = 1000;
    int depth_ = 0;
    struct Deeper {
        int& depth;
        explicit Deeper(int& d) : depth(++d) {}
        ~Deeper() { --depth; }
        bool TooDeep() const { return depth > kMaxDepth; }
    };
    // The bit symbols being chosen among (-1: a fixed duration) and the lag the choice's
    // distances are measured from: the middle of the lags allowed before the symbol, the same
    // for every rival so that only the durations they differ in decide.
    int choiceSpec_ = -1;
    double choiceRef_ = 0;

    static Mark Save(const State& s) {
        Mark k;
        k.c = s.c;
        k.lagSum = s.lagSum;
        k.lagCount = s.lagCount;
        k.closures = s.closures.size();
        k.undo = s.undo.size();
        k.deferred = s.deferred.size();
        k.spans = s.spans.size();
        k.carryBits = s.carryBits;
        k.carryCount = s.carryCount;
        k.carryFirst = s.carryFirst;
        return k;
    }
    static void Restore(State& s, const Mark& k) {
        s.c = k.c;
        s.lagSum = k.lagSum;
        s.lagCount = k.lagCount;
        s.closures.resize(k.closures);
        while (s.undo.size() > k.undo) {
            const Undo& u = s.undo.back();
            s.env.values[static_cast<std::size_t>(u.var)] = u.value;
            s.env.known[static_cast<std::size_t>(u.var)] = u.known;
            s.undo.pop_back();
        }
        s.deferred.resize(k.deferred);
        s.spans.resize(k.spans);
        s.carryBits = k.carryBits;
        s.carryCount = k.carryCount;
        s.carryFirst = k.carryFirst;
    }

    // Compares the pending duration with the signal: the lags it allows must overlap those of
    // the durations before it. `cost` (for ordering the choices) grows with its distance from
    // the middle of the lags still allowed. Without a state nothing is recorded (a probe).
    bool Close(Cursor& c, Sink* s, double* cost) const {
        if (c.cur >= d_.size())
            return false;
        const double value = d_[c.cur];
        const double n = c.pend;
        const double jitter = Jitter(o_, impl_, n, c.pendSign > 0);
        const bool mark = c.pendSign > 0;
        const double lag = mark ? value - n : n - value;
        const double lo = std::max(c.lagLo, lag - jitter);
        const double hi = std::min(c.lagHi, lag + jitter);
        if (lo > hi)
            return false;
        if (cost) {
            const double off = lag - c.pendRef;
            *cost += off * off;
        }
        if (s) {
            if (s->n == Sink::kCapacity)
                return false; // symbols are held to fewer durations than that
            s->items[s->n++] = {c.cur, n, c.pendSign, c.pendSpec, c.pendRef};
            s->lagSum += lag;
        }
        c.lagLo = lo;
        c.lagHi = hi;
        ++c.cur;
        c.pendSign = 0;
        return true;
    }

    // Adds a duration; false when the one it completes does not fit.
    bool Advance(Cursor& c, Sink* s, double us, double* cost) {
        if (--budget_ < 0)
            return false;
        const int8_t sign = us > 0 ? 1 : -1;
        const double length = std::abs(us);
        if (length == 0)
            return true;
        c.t += length;
        if (c.pendSign == sign) {
            c.pend += length;
            return true;
        }
        if (c.pendSign != 0 && !Close(c, s, cost))
            return false;
        if (sign < 0 && c.atStart)
            return true;
        c.atStart = false;
        c.pendSign = sign;
        c.pend = length;
        c.pendSpec = choiceSpec_;
        c.pendRef = choiceSpec_ >= 0 ? choiceRef_ : (c.lagLo + c.lagHi) * 0.5;
        return true;
    }
    static void Commit(State& s, const Cursor& c, const Sink& sink) {
        s.c = c;
        s.closures.insert(s.closures.end(), sink.items, sink.items + sink.n);
        s.lagSum += sink.lagSum;
        s.lagCount += sink.n;
    }
    bool Emit(State& s, double us) {
        Sink sink;
        Cursor c = s.c;
        if (!Advance(c, &sink, us, nullptr))
            return false;
        Commit(s, c, sink);
        return true;
    }
    bool Close(State& s) {
        Sink sink;
        Cursor c = s.c;
        if (!Close(c, &sink, nullptr))
            return false;
        Commit(s, c, sink);
        return true;
    }

    bool Bind(State& s, int node, uint64_t bits, int width) {
        const Node& f = m_.nodes[static_cast<std::size_t>(node)];
        const Node& value = m_.nodes[static_cast<std::size_t>(f.a)];
        const bool plain =
            value.op == Op::Var && m_.variables[static_cast<std::size_t>(value.var)].definition < 0;
        const auto shiftValue = f.c >= 0 ? Evaluate(m_, f.c, s.env) : std::optional<int64_t>(0);
        const auto widthValue = Evaluate(m_, f.b, s.env);
        if (plain && shiftValue && widthValue && *shiftValue >= 0 && *shiftValue < 64 &&
            *shiftValue + width <= 64) {
            if (*widthValue < 0)
                bits = [&] {
                    uint64_t out = 0;
                    for (int i = 0; i < width; ++i)
                        out |= ((bits >> i) & 1) << (width - 1 - i);
                    return out;
                }();
            if (f.complement)
                bits = ~bits & (width >= 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1);
            const auto var = static_cast<std::size_t>(value.var);
            const uint64_t mask = (width >= 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1)
                                  << *shiftValue;
            const uint64_t placed = bits << *shiftValue;
            const uint64_t known = s.env.known[var];
            if ((static_cast<uint64_t>(s.env.values[var]) & known & mask) !=
                (placed & known & mask))
                return false;
            s.undo.push_back({value.var, s.env.values[var], known});
            s.env.values[var] =
                static_cast<int64_t>((static_cast<uint64_t>(s.env.values[var]) & ~mask) | placed);
            s.env.known[var] = known | mask;
            // A parameter complete now is checked against its range now, not at the frame's end
            // (a field that must hold one value rules out most frames early).
            if (s.env.known[var] == ~uint64_t{0})
                for (std::size_t p = 0; p < m_.params.size(); ++p)
                    if (static_cast<std::size_t>(m_.paramVars[p]) == var &&
                        (s.env.values[var] < m_.params[p].min ||
                         s.env.values[var] > m_.params[p].max))
                        return false;
            return true;
        }
        const auto expected = FieldBits(m_, node, s.env);
        if (expected)
            return expected->bits == bits;
        if (BindOffset(s, f, value, bits, width, widthValue))
            return true;
        s.deferred.push_back({node, bits});
        return true;
    }

    // A field of a parameter plus or minus a constant, `(D-1):4`, or times a power of two,
    // `(F*256):16`: the parameter is the one value of its range the bits allow.
    bool BindOffset(State& s, const Node& f, const Node& value, uint64_t bits, int width,
                    std::optional<int64_t> widthValue) {
        if ((value.op != Op::Add && value.op != Op::Sub && value.op != Op::Mul) || f.c >= 0 ||
            f.complement || !widthValue || *widthValue <= 0 || width >= 62)
            return false;
        const Node& left = m_.nodes[static_cast<std::size_t>(value.a)];
        const Node& right = m_.nodes[static_cast<std::size_t>(value.b)];
        if (left.op != Op::Var || right.op != Op::Num)
            return false;
        const Variable& v = m_.variables[static_cast<std::size_t>(left.var)];
        const auto var = static_cast<std::size_t>(left.var);
        if (v.definition >= 0 || v.spec < 0 || (s.env.known[var] & ~KnownZeros(v.spec)) != 0)
            return false;
        const ParamSpec& spec = m_.params[static_cast<std::size_t>(v.spec)];
        // Modulo the field's period, in unsigned arithmetic: constants may be any size.
        uint64_t raw = bits;
        int free = width; // bits of the parameter the field holds
        if (value.op == Op::Mul) {
            if (right.value <= 0 || !std::has_single_bit(static_cast<uint64_t>(right.value)))
                return false;
            const int shift = std::countr_zero(static_cast<uint64_t>(right.value));
            if (shift >= width)
                return false;
            if ((bits & ((uint64_t{1} << shift) - 1)) != 0)
                return false; // the low bits of a product are zero: another value's frame
            raw >>= shift;
            free -= shift;
        } else {
            const auto c = static_cast<uint64_t>(right.value);
            raw = value.op == Op::Sub ? raw + c : raw - c;
        }
        const uint64_t period = uint64_t{1} << free;
        const uint64_t span = static_cast<uint64_t>(spec.max) - static_cast<uint64_t>(spec.min);
        if (span >= period)
            return false;
        const uint64_t offset = (raw - static_cast<uint64_t>(spec.min)) & (period - 1);
        if (offset > span)
            return false;
        const auto candidate = static_cast<int64_t>(static_cast<uint64_t>(spec.min) + offset);
        s.undo.push_back({left.var, s.env.values[var], s.env.known[var]});
        s.env.values[var] = candidate;
        s.env.known[var] = ~uint64_t{0};
        return true;
    }

    // The bits a parameter's range leaves zero (known from the start of a decode).
    uint64_t KnownZeros(int spec) const {
        const ParamSpec& p = m_.params[static_cast<std::size_t>(spec)];
        if (p.min < 0)
            return 0;
        const int bits = std::bit_width(static_cast<uint64_t>(p.max));
        return bits >= 64 ? 0 : ~((uint64_t{1} << bits) - 1);
    }

    bool Steps(std::size_t i, State& s) {
        const Deeper deeper(depth_);
        if (deeper.TooDeep())
            return false;
        const std::vector<Step>& program = *program_;
        for (; i < program.size(); ++i) {
            const Step& step = program[i];
            switch (step.kind) {
            case Step::Kind::Start:
                if (s.starts.size() <= static_cast<std::size_t>(step.start))
                    s.starts.resize(static_cast<std::size_t>(step.start) + 1);
                s.starts[static_cast<std::size_t>(step.start)] = s.c.t;
                break;
            case Step::Kind::Duration:
            case Step::Kind::Extent: {
                choiceSpec_ = -1;
                double us = step.us;
                if (step.expr >= 0) {
                    const auto v = Evaluate(m_, step.expr, s.env);
                    if (!v || *v < 0)
                        return false;
                    us = static_cast<double>(*v) * step.scale;
                }
                if (step.kind == Step::Kind::Extent) {
                    us -= s.c.t - s.starts[static_cast<std::size_t>(step.start)];
                    if (us <= 0)
                        break;
                    if (!Emit(s, -us))
                        return false;
                } else if (!Emit(s, step.sign * us)) {
                    return false;
                }
                break;
            }
            case Step::Kind::Assign: {
                const auto var = static_cast<std::size_t>(step.var);
                s.undo.push_back({step.var, s.env.values[var], s.env.known[var]});
                const auto v = Evaluate(m_, step.expr, s.env);
                s.env.values[var] = v.value_or(0);
                s.env.known[var] = v ? ~uint64_t{0} : 0;
                break;
            }
            case Step::Kind::Field:
                return Field(i, s);
            }
        }
        return AtEnd(s);
    }

    // Reads a field symbol by symbol, trying the likelier symbols first. Symbols of several bits
    // may straddle fields: the bits left over from one field start the next.
    bool Field(std::size_t i, State& s) {
        const Step& step = (*program_)[i];
        const Node& f = m_.nodes[static_cast<std::size_t>(step.expr)];
        const auto widthValue = Evaluate(m_, f.b, s.env);
        if (!widthValue || *widthValue < -64 || *widthValue > 64)
            return false;
        const int width = static_cast<int>(*widthValue < 0 ? -*widthValue : *widthValue);
        const auto expected = FieldBits(m_, step.expr, s.env);
        Reading r{width, expected ? std::optional<uint64_t>(expected->bits) : std::nullopt};
        r.first = s.carryCount > 0 ? s.carryFirst : s.c.cur;
        // The carried bits come first.
        const int carried = s.carryCount;
        const uint64_t carry = s.carryBits;
        s.carryCount = 0;
        for (int j = 0; j < carried; ++j)
            if (!Take(r, (carry >> (carried - 1 - j)) & 1, s))
                return false;
        return Chunk(i, r, s);
    }

    struct Reading {
        int width;
        std::optional<uint64_t> expected;
        uint64_t bits = 0;
        int taken = 0;
        std::size_t first = 0;
    };

    // Places one bit (in sending order) into the field, or into the carry once the field is full.
    bool Take(Reading& r, uint64_t bit, State& s) const {
        if (r.taken < r.width) {
            const int at = m_.msb ? r.width - 1 - r.taken : r.taken;
            if (r.expected && ((*r.expected >> at) & 1) != bit)
                return false;
            r.bits |= bit << at;
            ++r.taken;
            return true;
        }
        s.carryBits = (s.carryBits << 1) | bit;
        ++s.carryCount;
        return true;
    }

    // Whether a pending duration is complete once a symbol is read: the next symbol of the same
    // bit symbols follows and every symbol starts with the other sign.
    bool PendingFinal(std::size_t i, const Reading& after, int8_t pendSign) const {
        const Step& step = (*program_)[i];
        const Symbols& sym = m_.symbols[static_cast<std::size_t>(step.bitspec)];
        if (sym.firstSign != -pendSign)
            return false;
        if (after.taken < after.width)
            return true;
        const std::size_t next = i + 1;
        if (next >= program_->size())
            return false;
        const Step& following = (*program_)[next];
        if (following.kind == Step::Kind::Duration)
            return following.sign == -pendSign && (following.expr >= 0 || following.us > 0);
        return following.kind == Step::Kind::Field && following.bitspec == step.bitspec;
    }

    // A probe's pending duration can only grow by merging: one already too long cannot fit.
    bool PendingMayFit(const Cursor& c) const {
        if (c.pendSign == 0 || c.cur >= d_.size())
            return true;
        const double value = d_[c.cur];
        const double least = c.pend - Jitter(o_, impl_, c.pend, c.pendSign > 0);
        return c.pendSign > 0 ? least <= value - c.lagLo : least <= value + c.lagHi;
    }

    bool Chunk(std::size_t i, Reading r, State& s) {
        const Deeper deeper(depth_);
        if (deeper.TooDeep())
            return false;
        const Step& step = (*program_)[i];
        const Symbols& sym = m_.symbols[static_cast<std::size_t>(step.bitspec)];
        const int k = sym.bits;
        const std::size_t count = sym.durations.size();
        const auto symbolBit = [&](std::size_t symbol, int j) -> uint64_t {
            // The symbol's bits in sending order: its index's high bit first when msb.
            return (symbol >> (m_.msb ? k - 1 - j : j)) & 1;
        };
        // Takes a symbol whose durations were read into `c` and `sink`.
        const auto take = [&](std::size_t symbol, Reading& next, const Cursor& c,
                              const Sink& sink) {
            const int8_t sign = sym.durations[symbol][0] > 0 ? 1 : -1;
            const std::size_t symbolFirst =
                s.c.pendSign == 0 || s.c.pendSign == sign ? s.c.cur : s.c.cur + 1;
            if (next.taken == 0)
                next.first = symbolFirst;
            for (int j = 0; j < k; ++j)
                Take(next, symbolBit(symbol, j), s);
            if (s.carryCount > 0)
                s.carryFirst = symbolFirst;
            Commit(s, c, sink);
            if (s.recordSpans)
                s.spans.push_back({symbolFirst, LastIndex(s), -1, symbol, k});
        };
        // Reads a symbol's durations; false when one does not fit.
        const auto read = [&](std::size_t symbol, Cursor& c, Sink& sink, double* cost) {
            for (double us : sym.durations[symbol])
                if (!Advance(c, &sink, us, cost))
                    return false;
            return true;
        };
        // Symbols without a rival are taken in a loop; only real choices recurse.
        while (r.taken < r.width) {
            // Left uninitialised: only the first `n` are written and read.
            struct Choice {
                double narrowing; // of the lags still allowed; 0 where their middle decides
                double cost;
                std::size_t symbol;
            };
            Choice order[16];
            std::size_t n = 0;
            const double ref = (s.c.lagLo + s.c.lagHi) * 0.5;
            // Where the lags still allowed span more than half the symbols' step, their middle
            // may lie nearer a rival's lag than the true one: there the reading that narrows
            // them least (agrees best with the durations so far) comes first.
            const double width = s.c.lagHi - s.c.lagLo;
            const bool wide = width > sym.halfStep;
            // Where the field's value is known already (a check, a repeat) no rival can win.
            const int spec = r.expected ? -1 : step.bitspec;
            choiceSpec_ = spec;
            choiceRef_ = ref;
            Cursor firstCursor;
            Sink firstSink;
            for (std::size_t symbol = 0; symbol < count; ++symbol) {
                Reading probe = r;
                const int carried = s.carryCount;
                const uint64_t carryBits = s.carryBits;
                bool fits = true;
                for (int j = 0; j < k && fits; ++j)
                    fits = Take(probe, symbolBit(symbol, j), s);
                s.carryCount = carried;
                s.carryBits = carryBits;
                if (!fits)
                    continue;
                double cost = 0;
                Cursor c = s.c;
                Sink sink;
                fits = read(symbol, c, sink, &cost);
                double left = c.lagHi - c.lagLo;
                if (fits && c.pendSign != 0) {
                    if (PendingFinal(i, probe, c.pendSign)) {
                        Cursor ahead = c;
                        fits = Close(ahead, nullptr, &cost);
                        left = ahead.lagHi - ahead.lagLo;
                    } else {
                        fits = PendingMayFit(c);
                    }
                }
                if (!fits)
                    continue;
                if (n == 0) {
                    firstCursor = c;
                    // Only the durations read: the whole buffer is many times larger.
                    firstSink.n = sink.n;
                    firstSink.lagSum = sink.lagSum;
                    std::copy_n(sink.items, sink.n, firstSink.items);
                }
                order[n++] = {wide ? width - left : 0, cost, symbol};
            }
            if (n == 0)
                return false;
            if (n == 1) {
                take(order[0].symbol, r, firstCursor, firstSink);
                continue;
            }
            std::sort(order, order + n, [](const Choice& a, const Choice& b) {
                if (a.narrowing != b.narrowing)
                    return a.narrowing < b.narrowing;
                return a.cost != b.cost ? a.cost < b.cost : a.symbol < b.symbol;
            });
            const Mark mark = Save(s);
            for (std::size_t c = 0; c < n; ++c) {
                Reading next = r;
                Cursor cursor = s.c;
                Sink sink;
                choiceSpec_ = spec;
                choiceRef_ = ref;
                if (read(order[c].symbol, cursor, sink, nullptr)) {
                    take(order[c].symbol, next, cursor, sink);
                    if (Chunk(i, next, s))
                        return true;
                }
                Restore(s, mark);
                if (budget_ < 0)
                    return false;
            }
            return false;
        }
        if (!Bind(s, step.expr, r.bits, r.width))
            return false;
        if (s.recordSpans && r.width > 0)
            s.spans.push_back({r.first, LastIndex(s), step.expr, r.bits, r.width});
        // Bits left over wait for the next field; anything else may not follow them.
        const std::size_t next = i + 1;
        if (s.carryCount > 0 &&
            (next >= program_->size() || (*program_)[next].kind != Step::Kind::Field ||
             (*program_)[next].bitspec != step.bitspec))
            return false;
        return Steps(next, s);
    }

    // The index the last added duration lands on.
    static std::size_t LastIndex(const State& s) {
        return s.c.pendSign != 0 ? s.c.cur : (s.c.cur > 0 ? s.c.cur - 1 : 0);
    }

    // The frame's end: its gap (or the signal's end), the checks that waited for later fields,
    // the parameter ranges, and the lag fit.
    bool AtEnd(State& s) {
        if (s.c.pendSign > 0) {
            if (!Close(s))
                return false;
        } else if (s.c.pendSign < 0) {
            if (s.c.cur < d_.size() && d_[s.c.cur] < GapLow(s.c.pend))
                return false;
        } else if (s.closures.empty()) {
            return false;
        }
        for (std::size_t p = 0; p < m_.params.size(); ++p) {
            const auto var = static_cast<std::size_t>(m_.paramVars[p]);
            if (s.env.known[var] == 0)
                continue;
            const int64_t v = s.env.values[var];
            if (v < m_.params[p].min || v > m_.params[p].max)
                return false;
        }
        // Bits no field carried are zero from here on, so checks over whole values can run.
        for (int var : m_.paramVars) {
            const auto v = static_cast<std::size_t>(var);
            if (s.env.known[v] != ~uint64_t{0}) {
                s.undo.push_back({var, s.env.values[v], s.env.known[v]});
                s.env.known[v] = ~uint64_t{0};
            }
        }
        for (const Deferred& check : s.deferred) {
            const auto v = FieldBits(m_, check.node, s.env);
            if (!v || v->bits != check.bits)
                return false;
        }
        return Fit(s);
    }

    // Least squares over the candidate's durations, kept within the lags every duration allows
    // (so each lies within its jitter of the fit).
    bool Fit(State& s) const {
        double squares = 0;
        int count = 0;
        const double lag =
            std::clamp(s.lagCount ? s.lagSum / s.lagCount : 0.0, s.c.lagLo, s.c.lagHi);
        for (const Closure& c : s.closures) {
            if (c.kind == 0)
                continue;
            const double off = d_[c.index] - (c.kind > 0 ? c.nominal + lag : c.nominal - lag);
            squares += off * off;
            ++count;
        }
        s.lag = static_cast<int>(std::lround(lag));
        s.residual = count ? std::sqrt(squares / count) : 0;
        // Every duration read as one of several bit symbols must be nearest its own length at
        // the lag the whole reading averages. Where the marks tell no symbol apart, the lags
        // allowed stay wide, and a reading a step off in a few symbols can still fit at the edge
        // of every duration's jitter; against the average it stands out.
        const double mean = s.lagCount ? s.lagSum / s.lagCount : 0.0;
        return std::all_of(s.closures.begin(), s.closures.end(),
                           [&](const Closure& c) { return NearestAtLag(c, mean); });
    }

    bool NearestAtLag(const Closure& c, double lag) const {
        if (c.kind == 0 || c.spec < 0)
            return true;
        const Symbols& symbols = m_.symbols[static_cast<std::size_t>(c.spec)];
        // Where half a step is more than any lag, no reading a step off fits at all.
        if (symbols.halfStep >= o_.maxLagUs)
            return true;
        const std::vector<double>& lengths = symbols.lengths[c.kind > 0 ? 0 : 1];
        const auto off = [&](double nominal) {
            return std::abs(d_[c.index] - (c.kind > 0 ? nominal + lag : nominal - lag));
        };
        const bool listed = std::any_of(lengths.begin(), lengths.end(),
                                        [&](double l) { return std::abs(l - c.nominal) <= 1e-6; });
        const double own = off(c.nominal);
        return !listed || std::none_of(lengths.begin(), lengths.end(),
                                       [&](double l) { return off(l) + 1 < own; });
    }
};

int32_t Clamp(double v) {
    return static_cast<int32_t>(std::clamp(v + 0.5, 1.0, 2147483647.0));
}

std::string Label(const Model& m, const SpanRec& r, const Env& env) {
    if (r.node < 0) {
        std::string bits;
        for (int i = r.width - 1; i >= 0; --i)
            bits += (r.bits >> i) & 1 ? '1' : '0';
        return bits;
    }
    const Node& f = m.nodes[static_cast<std::size_t>(r.node)];
    const Node& value = m.nodes[static_cast<std::size_t>(f.a)];
    if (value.op == Op::Var && f.c < 0) {
        const Variable& v = m.variables[static_cast<std::size_t>(value.var)];
        if (f.complement)
            return "~" + v.name;
        // A defined value (a checksum) is not kept among the variables: the bits sent are it.
        if (v.definition >= 0)
            return v.name + "=" + std::to_string(r.bits);
        return v.name + "=" + std::to_string(env.values[static_cast<std::size_t>(value.var)]);
    }
    return std::to_string(r.bits);
}

} // namespace

void Survey(Protocol::Impl& impl) {
    const Model& m = impl.model;
    // Parameter values from a fixed generator, the ranges' ends among them: the first mark and
    // space of every frame seen, the fewest durations, the longest lead-out.
    uint64_t seed = 0x9e3779b97f4a7c15u;
    const auto next = [&] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    std::size_t maxDurations = 0;
    for (int round = 0; round < 96; ++round) {
        std::vector<Param> given;
        for (const ParamSpec& spec : m.params) {
            const bool defaulted = !spec.defaultText.empty() && next() % 2 == 0;
            if (defaulted)
                continue;
            const uint64_t span = static_cast<uint64_t>(spec.max) - static_cast<uint64_t>(spec.min);
            const uint64_t cap = std::min<uint64_t>(span, 0xffff'ffffu);
            int64_t v = round == 0 ? spec.min
                        : round == 1
                            ? spec.min + static_cast<int64_t>(cap)
                            : spec.min + static_cast<int64_t>(
                                             cap == ~uint64_t{0} ? next() : next() % (cap + 1));
            given.push_back({spec.name, v});
        }
        const auto complete = impl.Complete(given, nullptr);
        if (!complete)
            continue;
        const auto signal = impl.RenderSigned(*complete, 0, nullptr);
        if (!signal)
            continue;
        std::vector<double> d;
        for (double v : *signal)
            if (!(d.empty() && v < 0))
                d.push_back(v);
        if (d.empty())
            continue;
        const double mark = d[0];
        const double space = d.size() > 1 ? -d[1] : 0;
        std::size_t count = d.size();
        double gap = 0;
        if (count % 2 == 0) {
            gap = -d.back();
            --count;
        }
        const auto leadOut = static_cast<int64_t>(std::llround(gap));
        for (std::size_t i = 1; i + 1 < count; i += 2)
            impl.longestSpaceUs = std::max(impl.longestSpaceUs, -d[i]);
        if (!impl.surveyed) {
            impl.leadOutUs = leadOut;
            impl.firstMarkMin = impl.firstMarkMax = mark;
            impl.firstSpaceMin = impl.firstSpaceMax = space;
            impl.minDurations = count;
            impl.surveyed = true;
        }
        impl.firstMarkMin = std::min(impl.firstMarkMin, mark);
        impl.firstMarkMax = std::max(impl.firstMarkMax, mark);
        impl.firstSpaceMin = std::min(impl.firstSpaceMin, space);
        impl.firstSpaceMax = std::max(impl.firstSpaceMax, space);
        impl.minDurations = std::min(impl.minDurations, count);
        maxDurations = std::max(maxDurations, count);
        impl.leadOutUs = std::min(impl.leadOutUs, leadOut);
    }
    const auto paired = [](const std::vector<double>& symbol) {
        if (symbol.empty() || symbol.front() <= 0 || symbol.back() >= 0)
            return false;
        for (std::size_t i = 0; i < symbol.size(); ++i)
            if ((symbol[i] > 0) != (i % 2 == 0))
                return false;
        return true;
    };
    impl.fixedLength = impl.surveyed && !impl.hasTail && maxDurations == impl.minDurations &&
                       std::all_of(m.symbols.begin(), m.symbols.end(), [&](const Symbols& sym) {
                           return std::all_of(sym.durations.begin(), sym.durations.end(), paired);
                       });
}

} // namespace detail

using namespace detail;

bool Protocol::MayStartAt(std::span<const int32_t> d, std::size_t at,
                          const DecodeOptions& o) const {
    const Impl& impl = *impl_;
    if (at % 2 != 0 || at >= d.size())
        return false;
    if (!impl.surveyed)
        return true;
    // Renders seen are not every frame: merged halves of bi-phase symbols can make a frame a
    // good deal shorter than the shortest sample, so only two thirds of it are asked for.
    if (d.size() - at < (impl.fixedLength ? impl.minDurations : impl.minDurations * 2 / 3))
        return false;
    if (impl.fixedLength) {
        // Where a frame of fixed length ends there must be a gap (or the signal's end), and no
        // space inside it can be a gap. Both bounds leave twice the room the matcher gives, as
        // the renders seen may miss a frame's extremes.
        const std::size_t end = at + impl.minDurations;
        if (end < d.size() && d[end] < impl.leadOutUs / 8)
            return false;
        const double longest = 2 * (impl.longestSpaceUs + Jitter(o, impl.longestSpaceUs));
        for (std::size_t i = at + 1; i + 1 < end; i += 2)
            if (d[i] > longest)
                return false;
    }
    const double mark = d[at];
    if (mark < impl.firstMarkMin - Jitter(o, impl.firstMarkMin) ||
        mark > impl.firstMarkMax + o.maxLagUs + Jitter(o, impl.firstMarkMax))
        return false;
    if (impl.minDurations < 2 || impl.firstSpaceMin <= 0)
        return true;
    const double space = d[at + 1];
    return space >= impl.firstSpaceMin - o.maxLagUs - Jitter(o, impl.firstSpaceMin) &&
           space <= impl.firstSpaceMax + Jitter(o, impl.firstSpaceMax);
}

std::vector<Match> Protocol::Decode(std::span<const int32_t> d, std::size_t at,
                                    const DecodeOptions& o) const {
    const Impl& impl = *impl_;
    const Model& m = impl.model;
    if (!MayStartAt(d, at, o))
        return {};
    // One state per thread, reused: decoding runs at many starts of every signal.
    thread_local State scratch;
    State& s = scratch;
    s.c.cur = at;
    s.c.pendSign = 0;
    s.c.pend = 0;
    s.c.atStart = true;
    s.c.t = 0;
    s.lagSum = 0;
    s.lagCount = 0;
    s.c.lagLo = 0;
    s.c.lagHi = o.maxLagUs;
    s.closures.clear();
    s.undo.clear();
    s.deferred.clear();
    s.spans.clear();
    s.recordSpans = o.describe;
    s.carryBits = 0;
    s.carryCount = 0;
    s.env.values.assign(m.variables.size(), 0);
    s.env.known.assign(m.variables.size(), 0);
    // A parameter's bits above its range are known zeros: a field of all its bits completes it.
    for (std::size_t p = 0; p < m.params.size(); ++p) {
        const ParamSpec& spec = m.params[p];
        if (spec.min < 0)
            continue;
        const int bits = std::bit_width(static_cast<uint64_t>(spec.max));
        s.env.known[static_cast<std::size_t>(m.paramVars[p])] =
            bits >= 64 ? 0 : ~((uint64_t{1} << bits) - 1);
    }
    Matcher matcher(impl, d, o);
    if (!matcher.Run(impl.prefix, s))
        return {};
    // Scratch reused like the state: a held key's repeats would otherwise copy everything read
    // so far once per repeat.
    thread_local Env first;
    thread_local Env saved;
    first.values.assign(s.env.values.begin(), s.env.values.end());
    first.known.assign(s.env.known.begin(), s.env.known.end());
    Match match;
    match.first = at;

    // Repeats: a gap that still belongs to the press, then the unit with the frame's values, or
    // with its memory parameters (a toggle) changed.
    struct RepeatRec {
        std::size_t first, last;
        bool toggled;
    };
    std::vector<RepeatRec> repeats;
    bool toggled = false;
    const bool anyMemory =
        std::any_of(m.params.begin(), m.params.end(), [](const ParamSpec& p) { return p.memory; });
    // What a failed attempt must give back; the checks and undo records of the frame before are
    // not needed any more.
    struct Snapshot {
        Cursor cursor;
        double lagSum = 0;
        int lagCount = 0;
        std::size_t closures = 0, spans = 0;
        bool recordSpans = false;
        uint64_t carryBits = 0;
        int carryCount = 0;
        std::size_t carryFirst = 0;
        int lag = 0;
        double residual = 0;
    };
    const auto save = [&](Snapshot& k, Env& env) {
        k = {s.c,           s.lagSum,    s.lagCount,   s.closures.size(), s.spans.size(),
             s.recordSpans, s.carryBits, s.carryCount, s.carryFirst,      s.lag,
             s.residual};
        env.values.assign(s.env.values.begin(), s.env.values.end());
        env.known.assign(s.env.known.begin(), s.env.known.end());
    };
    const auto restore = [&](const Snapshot& k, const Env& env) {
        s.c = k.cursor;
        s.lagSum = k.lagSum;
        s.lagCount = k.lagCount;
        s.closures.resize(k.closures);
        s.spans.resize(k.spans);
        s.recordSpans = k.recordSpans;
        s.carryBits = k.carryBits;
        s.carryCount = k.carryCount;
        s.carryFirst = k.carryFirst;
        s.lag = k.lag;
        s.residual = k.residual;
        s.env.values.assign(env.values.begin(), env.values.end());
        s.env.known.assign(env.known.begin(), env.known.end());
    };
    // Reads `program` after the gap that ends what was read so far (a repeat, the tail).
    const auto readAfterGap = [&](const std::vector<Step>& program) {
        if (s.c.pendSign >= 0 || s.c.cur >= d.size() || d[s.c.cur] > GapHigh(s.c.pend))
            return false;
        s.closures.push_back({s.c.cur, s.c.pend, 0, -1, 0});
        ++s.c.cur;
        s.c.pendSign = 0;
        s.c.atStart = true;
        s.c.t = 0;
        s.recordSpans = false;
        s.deferred.clear();
        s.undo.clear();
        const std::size_t unitFirst = s.c.cur;
        // A unit that sends nothing repeats nothing.
        return matcher.Run(program, s) && s.c.cur > unitFirst;
    };
    thread_local Env beforeLastEnv;
    Snapshot attemptState;
    Snapshot beforeLast;
    while (m.repeating >= 0 && s.c.pendSign < 0 && s.c.cur < d.size() &&
           static_cast<int>(repeats.size()) < o.maxRepeats && d[s.c.cur] <= GapHigh(s.c.pend)) {
        bool ok = false;
        bool changed = false;
        for (int attempt = 0; attempt < (anyMemory ? 2 : 1) && !ok; ++attempt) {
            save(attemptState, saved);
            const std::size_t unitFirst = s.c.cur + 1;
            if (attempt == 1) {
                // Only the memory parameters are free: everything else is checked as sent.
                for (std::size_t p = 0; p < m.params.size(); ++p)
                    if (m.params[p].memory)
                        s.env.known[static_cast<std::size_t>(m.paramVars[p])] = 0;
            }
            if (readAfterGap(impl.unit)) {
                ok = true;
                changed = attempt == 1;
                repeats.push_back({unitFirst, s.c.cur - 1, changed});
                if (impl.hasTail) {
                    beforeLast = attemptState;
                    beforeLastEnv.values.assign(saved.values.begin(), saved.values.end());
                    beforeLastEnv.known.assign(saved.known.begin(), saved.known.end());
                }
                break;
            }
            restore(attemptState, saved);
        }
        if (!ok)
            break;
        toggled |= changed;
    }
    // What follows the held part (an end frame) completes the press: without it, or with the
    // last repeat read as it, there is no match.
    std::optional<RepeatRec> ending;
    if (impl.hasTail) {
        const std::size_t tailFirst = s.c.cur + 1;
        if (readAfterGap(impl.tail)) {
            ending = RepeatRec{tailFirst, s.c.cur - 1, false};
        } else if (!repeats.empty()) {
            restore(beforeLast, beforeLastEnv);
            const std::size_t lastFirst = s.c.cur + 1;
            repeats.pop_back();
            if (readAfterGap(impl.tail))
                ending = RepeatRec{lastFirst, s.c.cur - 1, false};
        }
        if (!ending)
            return {};
        toggled = std::any_of(repeats.begin(), repeats.end(),
                              [](const RepeatRec& r) { return r.toggled; });
    }
    match.last = s.c.cur - 1;
    match.repeats = static_cast<int>(repeats.size());
    match.repeatForm = repeats.empty() ? RepeatForm::None
                       : toggled       ? RepeatForm::Toggled
                                       : impl.held;
    match.lagUs = s.lag;
    match.residualUs = s.residual;

    std::vector<Match> out;
    for (std::size_t p = 0; p < m.params.size(); ++p) {
        const auto var = static_cast<std::size_t>(m.paramVars[p]);
        int64_t value = first.values[var];
        if (first.known[var] == 0) {
            const auto v = Evaluate(m, m.paramDefaults[p], first);
            value = v.value_or(0);
        }
        match.params.push_back({m.params[p].name, value});
    }
    if (!o.describe) {
        out.push_back(std::move(match));
        return out;
    }

    // A duration's window is what it may be with every other duration as received: some lag
    // the others allow (the matcher's running intersection without this one) must lie within
    // its jitter. Its edges are the last values that still decode.
    const std::vector<Closure>& closures = s.closures;
    const double maxLag = o.maxLagUs;
    const auto lagOf = [&](const Closure& c) {
        return c.kind > 0 ? d[c.index] - c.nominal : c.nominal - d[c.index];
    };
    // The lags the others allow, before and after each duration.
    thread_local std::vector<std::pair<double, double>> before;
    before.assign(closures.size() + 1, {0.0, maxLag});
    for (std::size_t i = 0; i < closures.size(); ++i) {
        before[i + 1] = before[i];
        const Closure& c = closures[i];
        if (c.kind == 0)
            continue;
        const double lag = lagOf(c);
        const double jitter = Jitter(o, impl, c.nominal, c.kind > 0);
        before[i + 1].first = std::max(before[i].first, lag - jitter);
        before[i + 1].second = std::min(before[i].second, lag + jitter);
    }
    match.windows.assign(match.last - match.first + 1, Window{});
    std::pair<double, double> after{0.0, maxLag};
    for (std::size_t i = closures.size(); i-- > 0;) {
        const Closure& c = closures[i];
        if (c.index < match.first || c.index > match.last)
            continue;
        Window& w = match.windows[c.index - match.first];
        w.nominal = Clamp(c.nominal);
        if (c.kind == 0) {
            w.low = Clamp(GapLow(c.nominal));
            w.high = Clamp(GapHigh(c.nominal));
            continue;
        }
        const double lo = std::max(before[i].first, after.first);
        const double hi = std::min(before[i].second, after.second);
        // The values of this duration's sign at `nominal` that decode.
        const auto reach = [&](double nominal) {
            const double jitter = Jitter(o, impl, nominal, c.kind > 0);
            return c.kind > 0 ? std::pair{nominal + lo - jitter, nominal + hi + jitter}
                              : std::pair{nominal - hi - jitter, nominal - lo + jitter};
        };
        const auto [least, most] = reach(c.nominal);
        double low = std::ceil(least - 1e-6);
        double high = std::floor(most + 1e-6);
        if (c.spec >= 0) {
            // A rival bit duration of the same sign takes the value where it is nearer the
            // choice's lag and decodes as well.
            const double sign = c.kind;
            for (const std::vector<double>& symbol :
                 m.symbols[static_cast<std::size_t>(c.spec)].durations)
                for (const double us : symbol) {
                    const double rival = std::abs(us);
                    if ((us > 0) != (c.kind > 0) || std::abs(rival - c.nominal) < 0.5)
                        continue;
                    const auto [rivalLeast, rivalMost] = reach(rival);
                    const double middle = (c.nominal + rival) / 2 + sign * c.ref;
                    if (rival < c.nominal)
                        low = std::max(low, std::floor(std::min(middle, rivalMost + 1e-6)) + 1);
                    else
                        high = std::min(high, std::ceil(std::max(middle, rivalLeast - 1e-6)) - 1);
                }
        }
        // A reading a later check forced keeps its own value inside.
        low = std::min(low, static_cast<double>(d[c.index]));
        high = std::max(high, static_cast<double>(d[c.index]));
        w.low = static_cast<int32_t>(std::clamp(low, 1.0, 2147483647.0));
        w.high = static_cast<int32_t>(std::clamp(high, 1.0, 2147483647.0));
        const double lag = lagOf(c);
        const double jitter = Jitter(o, impl, c.nominal, c.kind > 0);
        after.first = std::max(after.first, lag - jitter);
        after.second = std::min(after.second, lag + jitter);
    }

    // Spans of the first frame: lead before the first field, bits, fields, trailer after.
    const std::size_t frameLast = !repeats.empty() ? repeats.front().first - 2
                                  : ending         ? ending->first - 2
                                                   : match.last;
    std::size_t firstField = frameLast + 1;
    std::size_t lastField = match.first;
    bool anyField = false;
    for (const SpanRec& r : s.spans)
        if (r.node >= 0 && r.first <= frameLast) {
            firstField = std::min(firstField, r.first);
            lastField = std::max(lastField, std::min(r.last, frameLast));
            anyField = true;
        }
    match.spans.reserve(s.spans.size() + repeats.size() + 2);
    if (anyField && firstField > match.first)
        match.spans.push_back({Span::Kind::Lead, "", match.first, firstField - 1});
    for (const SpanRec& r : s.spans)
        if (r.first <= frameLast) // symbols of spaces alone after the last mark lie in the gap
            match.spans.push_back({r.node >= 0 ? Span::Kind::Field : Span::Kind::Bit,
                                   Label(m, r, first), r.first, std::min(r.last, frameLast)});
    if (anyField && lastField < frameLast)
        match.spans.push_back({Span::Kind::Trailer, "", lastField + 1, frameLast});
    for (const RepeatRec& r : repeats) {
        std::string label = impl.held == RepeatForm::Ditto ? "ditto" : "repeat";
        if (r.toggled)
            label = "toggled";
        match.spans.push_back({Span::Kind::Repeat, label, r.first, r.last});
    }
    if (ending)
        match.spans.push_back({Span::Kind::Trailer, "end", ending->first, ending->last});
    out.push_back(std::move(match));
    return out;
}

} // namespace analysis::irp

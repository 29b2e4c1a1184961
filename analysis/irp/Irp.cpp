// Compiling, rendering and the parameters of IRP protocols. The stream is flattened into programs
// (Step lists): the whole signal for a render, and for decoding the first frame ("prefix") and one
// repeat unit, so both run the same steps.

#include "analysis/irp/Engine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace analysis::irp {
namespace detail {
namespace {

constexpr int kMaxEvalDepth = 1000;

uint64_t U(int64_t v) {
    return static_cast<uint64_t>(v);
}
int64_t S(uint64_t v) {
    return static_cast<int64_t>(v);
}

uint64_t Mask(int64_t width) {
    return width >= 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
}

uint64_t Reverse(uint64_t bits, int64_t width) {
    uint64_t out = 0;
    for (int64_t i = 0; i < width; ++i)
        out |= ((bits >> i) & 1) << (width - 1 - i);
    return out;
}

} // namespace

std::optional<int64_t> Evaluate(const Model& m, int node, const Env& env, int depth) {
    if (node < 0 || depth > kMaxEvalDepth)
        return std::nullopt;
    const Node& n = m.nodes[static_cast<std::size_t>(node)];
    const auto eval = [&](int child) { return Evaluate(m, child, env, depth + 1); };
    switch (n.op) {
    case Op::Num:
        return n.value;
    case Op::Var: {
        const Variable& v = m.variables[static_cast<std::size_t>(n.var)];
        const auto i = static_cast<std::size_t>(n.var);
        if (i < env.known.size() && env.known[i] == ~uint64_t{0})
            return env.values[i];
        if (v.definition >= 0 && (i >= env.known.size() || env.known[i] == 0))
            return eval(v.definition);
        return std::nullopt;
    }
    case Op::Neg:
    case Op::Not:
    case Op::BitNot:
    case Op::Count: {
        const auto a = eval(n.a);
        if (!a)
            return std::nullopt;
        if (n.op == Op::Neg)
            return S(0 - U(*a));
        if (n.op == Op::Not)
            return *a == 0 ? 1 : 0;
        if (n.op == Op::BitNot)
            return ~*a;
        return std::popcount(U(*a));
    }
    case Op::LAnd:
    case Op::LOr: {
        const auto a = eval(n.a);
        if (!a)
            return std::nullopt;
        if ((n.op == Op::LAnd) == (*a == 0))
            return *a;
        return eval(n.b);
    }
    case Op::Cond: {
        const auto a = eval(n.a);
        if (!a)
            return std::nullopt;
        return eval(*a != 0 ? n.b : n.c);
    }
    case Op::Field: {
        auto value = eval(n.a);
        if (!value)
            return std::nullopt;
        int64_t shift = 0;
        if (n.c >= 0) {
            const auto c = eval(n.c);
            if (!c || *c < 0 || *c > 63)
                return std::nullopt;
            shift = *c;
        }
        uint64_t bits = U(n.complement ? ~*value : *value) >> shift;
        if (n.b < 0)
            return S(bits);
        const auto w = eval(n.b);
        if (!w || *w < -64 || *w > 64)
            return std::nullopt;
        const int64_t width = *w < 0 ? -*w : *w;
        bits &= Mask(width);
        if (*w < 0)
            bits = Reverse(bits, width);
        return S(bits);
    }
    default:
        break;
    }
    const auto a = eval(n.a);
    if (!a)
        return std::nullopt;
    const auto b = eval(n.b);
    if (!b)
        return std::nullopt;
    const int64_t x = *a;
    const int64_t y = *b;
    switch (n.op) {
    case Op::Add:
        return S(U(x) + U(y));
    case Op::Sub:
        return S(U(x) - U(y));
    case Op::Mul:
        return S(U(x) * U(y));
    case Op::Div:
    case Op::Mod:
        if (y == 0 || (x == std::numeric_limits<int64_t>::min() && y == -1))
            return std::nullopt;
        return n.op == Op::Div ? x / y : x % y;
    case Op::Pow: {
        if (y < 0)
            return std::nullopt;
        uint64_t result = 1;
        uint64_t base = U(x);
        for (int64_t e = y; e > 0; e >>= 1) {
            if (e & 1)
                result *= base;
            base *= base;
        }
        return S(result);
    }
    case Op::And:
        return x & y;
    case Op::Or:
        return x | y;
    case Op::Xor:
        return x ^ y;
    case Op::Shl:
        if (y < 0 || y > 63)
            return std::nullopt;
        return S(U(x) << y);
    case Op::Shr:
        if (y < 0 || y > 63)
            return std::nullopt;
        return x >> y;
    case Op::Lt:
        return x < y;
    case Op::Le:
        return x <= y;
    case Op::Gt:
        return x > y;
    case Op::Ge:
        return x >= y;
    case Op::Eq:
        return x == y;
    case Op::Ne:
        return x != y;
    default:
        return std::nullopt;
    }
}

std::optional<FieldValue> FieldBits(const Model& m, int node, const Env& env) {
    const Node& n = m.nodes[static_cast<std::size_t>(node)];
    const auto width = Evaluate(m, n.b, env);
    if (!width || *width < -64 || *width > 64)
        return std::nullopt;
    const auto bits = Evaluate(m, node, env);
    if (!bits)
        return std::nullopt;
    return FieldValue{U(*bits), static_cast<int>(*width < 0 ? -*width : *width)};
}

namespace {

// Flattens streams into steps. `repeats` more instances of the repeating stream than its base.
class Flattener {
public:
    enum class Mode { Render, Prefix, Unit, Tail };
    Flattener(const Model& m, Mode mode, int repeats, bool* before)
        : m_(m), mode_(mode), repeats_(repeats), before_(before) {}

    std::optional<ParseError> Run(std::vector<Step>& out) {
        out_ = &out;
        if (mode_ == Mode::Unit) {
            if (m_.repeating < 0)
                return std::nullopt;
            Instance(m_.repeating, m_.repeatingBitspec, 1);
        } else {
            Instances(m_.top, m_.topBitspec, 0);
        }
        return error_;
    }

private:
    static constexpr std::size_t kMaxSteps = 200000;
    const Model& m_;
    Mode mode_;
    int repeats_;
    bool* before_;
    std::vector<Step>* out_ = nullptr;
    int starts_ = 0;
    bool stopped_ = false;
    bool emitted_ = false; // a duration before the repeating stream
    bool tail_ = false;    // Tail: past the repeating stream's held instances
    std::optional<ParseError> error_;

    bool Push(Step step) {
        if (error_ || stopped_)
            return false;
        if (mode_ == Mode::Tail && !tail_)
            return true; // before the held part ends: the decoder has read that already
        if (out_->size() >= kMaxSteps) {
            error_ = ParseError{0, "the signal is too long"};
            return false;
        }
        if (step.kind == Step::Kind::Duration || step.kind == Step::Kind::Extent)
            emitted_ = true;
        out_->push_back(step);
        return true;
    }

    void Instances(int stream, int bitspec, int pass) {
        const Stream& st = m_.streams[static_cast<std::size_t>(stream)];
        const int scope = st.bitspec >= 0 ? st.bitspec : bitspec;
        if (stream != m_.repeating) {
            const int n = st.repeat == Repeat::Count ? st.count : 1;
            for (int i = 0; i < n && !stopped_ && !error_; ++i)
                Instance(stream, scope, pass);
            return;
        }
        if (before_)
            *before_ = emitted_;
        int base = st.repeat == Repeat::Plus ? 1 : st.repeat == Repeat::CountPlus ? st.count : 0;
        // A key press sends something: a starred stream with nothing before it is sent once.
        if (base == 0 && (!emitted_ || m_.endFrame))
            base = 1;
        // An empty first alternative (`[][T=0][T=1]`) sends no first frame of its own: the press
        // starts with the repeated form.
        const int first = EmptyAlternative(stream, 0) ? 1 : 0;
        const int total = mode_ == Mode::Render ? base + repeats_ : base;
        if (mode_ != Mode::Tail)
            for (int i = 0; i < total && !stopped_ && !error_; ++i)
                Instance(stream, scope, i == 0 ? first : 1);
        tail_ = true;
        if ((mode_ == Mode::Render || mode_ == Mode::Tail) && m_.hasEnding &&
            !EmptyAlternative(stream, 2))
            Instance(stream, scope, 2);
        if (mode_ == Mode::Prefix)
            stopped_ = true;
    }

    // Whether the stream holds a variation whose alternative for `pass` is written and empty.
    bool EmptyAlternative(int stream, int pass) const {
        for (const Item& item : m_.streams[static_cast<std::size_t>(stream)].items) {
            const int alt = item.alternatives[static_cast<std::size_t>(pass)];
            if (item.kind == Item::Kind::Variation && alt >= 0 &&
                m_.streams[static_cast<std::size_t>(alt)].items.empty())
                return true;
        }
        return false;
    }

    void Instance(int stream, int scope, int pass) {
        Step start;
        start.kind = Step::Kind::Start;
        start.start = starts_++;
        if (!Push(start))
            return;
        Items(stream, scope, pass, start.start);
    }

    void Items(int stream, int scope, int pass, int start) {
        for (const Item& item : m_.streams[static_cast<std::size_t>(stream)].items) {
            if (stopped_ || error_)
                return;
            Step step;
            switch (item.kind) {
            case Item::Kind::Flash:
            case Item::Kind::Gap:
                step.kind = Step::Kind::Duration;
                step.sign = item.kind == Item::Kind::Flash ? 1 : -1;
                step.us = item.us;
                step.expr = item.expr;
                step.scale = item.scale;
                Push(step);
                break;
            case Item::Kind::Extent:
                step.kind = Step::Kind::Extent;
                step.us = item.us;
                step.expr = item.expr;
                step.scale = item.scale;
                step.start = start;
                Push(step);
                break;
            case Item::Kind::Field:
                step.kind = Step::Kind::Field;
                step.expr = item.expr;
                step.bitspec = scope;
                Push(step);
                break;
            case Item::Kind::Assign:
                step.kind = Step::Kind::Assign;
                step.expr = item.expr;
                step.var = item.var;
                Push(step);
                break;
            case Item::Kind::Stream:
                Instances(item.stream, scope, pass);
                break;
            case Item::Kind::Variation: {
                // The first alternative in the first frame, the second in repeats, the third in
                // the ending; a missing third is an empty one.
                const int alt = item.alternatives[static_cast<std::size_t>(std::min(pass, 2))];
                if (alt >= 0)
                    Items(alt, scope, pass, start);
                break;
            }
            }
        }
    }
};

// Which streams hold a variation with a third alternative, or any variation at all.
bool HasVariation(const Model& m, int stream, bool third, int depth = 0) {
    if (depth > 200)
        return false;
    for (const Item& item : m.streams[static_cast<std::size_t>(stream)].items) {
        if (item.kind == Item::Kind::Variation) {
            if (!third || item.alternatives[2] >= 0)
                return true;
            for (int alt : item.alternatives)
                if (alt >= 0 && HasVariation(m, alt, third, depth + 1))
                    return true;
        }
        if (item.kind == Item::Kind::Stream && HasVariation(m, item.stream, third, depth + 1))
            return true;
    }
    return false;
}

std::optional<ParseError> CheckNames(Model& m) {
    // A name no spec, definition or assignment gives is an error where specs are written;
    // without specs it is a parameter (any value).
    for (const Node& node : m.nodes) {
        if (node.op != Op::Var)
            continue;
        Variable& v = m.variables[static_cast<std::size_t>(node.var)];
        if (v.spec >= 0 || v.definition >= 0 || v.assigned)
            continue;
        if (!m.params.empty())
            return ParseError{node.position, "unknown name '" + v.name + "'"};
        v.spec = static_cast<int>(m.params.size());
        m.params.push_back({v.name, 0, std::numeric_limits<int64_t>::max(), "", false});
        m.paramDefaults.push_back(-1);
        m.paramVars.push_back(node.var);
    }
    // A definition may not lean on itself, directly or through others.
    const std::size_t n = m.variables.size();
    std::vector<int> state(n, 0); // 0 unvisited, 1 on the path, 2 done
    std::vector<std::pair<std::size_t, std::vector<int>>> stack;
    const auto refs = [&](int root) {
        std::vector<int> out;
        std::vector<int> todo{root};
        while (!todo.empty()) {
            const int i = todo.back();
            todo.pop_back();
            if (i < 0)
                continue;
            const Node& node = m.nodes[static_cast<std::size_t>(i)];
            if (node.op == Op::Var)
                out.push_back(node.var);
            todo.push_back(node.a);
            todo.push_back(node.b);
            todo.push_back(node.c);
        }
        return out;
    };
    for (std::size_t root = 0; root < n; ++root) {
        if (m.variables[root].definition < 0 || state[root] != 0)
            continue;
        stack.push_back({root, refs(m.variables[root].definition)});
        state[root] = 1;
        while (!stack.empty()) {
            auto& [var, next] = stack.back();
            if (next.empty()) {
                state[var] = 2;
                stack.pop_back();
                continue;
            }
            const auto child = static_cast<std::size_t>(next.back());
            next.pop_back();
            if (m.variables[child].definition < 0 || state[child] == 2)
                continue;
            if (state[child] == 1)
                return ParseError{
                    m.nodes[static_cast<std::size_t>(m.variables[child].definition)].position,
                    "definition of '" + m.variables[child].name + "' refers to itself"};
            state[child] = 1;
            stack.push_back({child, refs(m.variables[child].definition)});
        }
    }
    return std::nullopt;
}

std::optional<ParseError> CheckStreams(Model& m) {
    // The bit symbols in scope where each set of bit symbols is written: symbols made of bit
    // fields (`<0:2|2:2>`) are sent with those.
    std::vector<int> parents(m.bitspecs.size(), -1);
    // One stream repeats while the key is held; its position is where the decoder's unit starts.
    std::vector<std::pair<int, int>> todo{{m.top, m.topBitspec}}; // stream, bit symbols in scope
    while (!todo.empty()) {
        const auto [stream, scope0] = todo.back();
        todo.pop_back();
        const Stream& st = m.streams[static_cast<std::size_t>(stream)];
        const int scope = st.bitspec >= 0 ? st.bitspec : scope0;
        if (st.bitspec >= 0 && st.bitspec != scope0)
            parents[static_cast<std::size_t>(st.bitspec)] = scope0;
        if (st.repeat == Repeat::Star || st.repeat == Repeat::Plus ||
            st.repeat == Repeat::CountPlus) {
            if (m.repeating >= 0)
                return ParseError{st.position, "only one stream may repeat while the key is held"};
            m.repeating = stream;
            m.repeatingBitspec = scope;
        }
        for (const Item& item : st.items) {
            if (item.kind == Item::Kind::Field && scope < 0)
                return ParseError{item.position, "a bit field needs bit symbols"};
            if (item.kind == Item::Kind::Field) {
                const Node& f = m.nodes[static_cast<std::size_t>(item.expr)];
                if (f.b < 0)
                    return ParseError{item.position, "a bit field in a stream needs a width"};
                const auto width = Evaluate(m, f.b, Env{});
                if (width) {
                    const int64_t w = *width < 0 ? -*width : *width;
                    if (w > 64)
                        return ParseError{item.position, "a bit field is at most 64 bits wide"};
                }
            }
        }
        // Children in reverse, so they are visited in the order written.
        for (auto item = st.items.rbegin(); item != st.items.rend(); ++item) {
            if (item->kind == Item::Kind::Stream)
                todo.push_back({item->stream, scope});
            if (item->kind == Item::Kind::Variation)
                for (int alt : item->alternatives)
                    if (alt >= 0)
                        todo.push_back({alt, scope});
        }
    }
    // Bit symbols are plain durations; constant bit fields in a symbol are expanded with the bit
    // symbols in scope where it is written (outer ones first, as inner ones may use them).
    m.symbols.resize(m.bitspecs.size());
    std::vector<std::pair<int, std::size_t>> order; // nesting depth, bit symbols
    for (std::size_t b = 0; b < m.bitspecs.size(); ++b) {
        int depth = 0;
        for (int p = parents[b]; p >= 0 && depth <= 1000; p = parents[static_cast<std::size_t>(p)])
            ++depth;
        order.push_back({depth, b});
    }
    std::sort(order.begin(), order.end());
    for (const auto& [depth, b] : order) {
        m.symbols[b].bits = m.bitspecs[b].bitsPerSymbol;
        for (int s : m.bitspecs[b].symbols) {
            std::vector<double> durations;
            const auto add = [&](double us) {
                if (us == 0) // a zero length sends nothing; kept, it would stand for a sign
                    return;  // it never shows
                if (!durations.empty() && (durations.back() > 0) == (us > 0))
                    durations.back() += us;
                else
                    durations.push_back(us);
            };
            for (const Item& item : m.streams[static_cast<std::size_t>(s)].items) {
                if (item.kind == Item::Kind::Field && parents[b] >= 0) {
                    const Symbols& outer = m.symbols[static_cast<std::size_t>(parents[b])];
                    const auto f = FieldBits(m, item.expr, Env{});
                    if (!f || f->width % outer.bits != 0 || outer.durations.empty())
                        return ParseError{item.position,
                                          "a bit field in a bit symbol needs a fixed value that "
                                          "fills the outer bit symbols"};
                    for (int i = 0; i < f->width; i += outer.bits) {
                        std::size_t index = 0;
                        for (int j = 0; j < outer.bits; ++j) {
                            const int at = m.msb ? f->width - 1 - (i + j) : i + j;
                            index |= std::size_t{(f->bits >> at) & 1}
                                     << (m.msb ? outer.bits - 1 - j : j);
                        }
                        for (double d : outer.durations[index])
                            add(d);
                    }
                    continue;
                }
                if ((item.kind != Item::Kind::Flash && item.kind != Item::Kind::Gap) ||
                    item.expr >= 0)
                    return ParseError{item.position, "bit symbols hold only fixed durations"};
                add(item.kind == Item::Kind::Flash ? item.us : -item.us);
            }
            if (durations.size() > 12)
                return ParseError{m.streams[static_cast<std::size_t>(s)].position,
                                  "a bit symbol holds at most 12 durations"};
            if (durations.empty())
                return ParseError{m.streams[static_cast<std::size_t>(s)].position,
                                  "a bit symbol sends nothing"};
            m.symbols[b].durations.push_back(std::move(durations));
        }
    }
    for (std::size_t b = 0; b < m.bitspecs.size(); ++b) {
        int8_t first = 0;
        for (const auto& symbol : m.symbols[b].durations) {
            const int8_t sign = symbol.front() > 0 ? 1 : -1;
            first = first == 0 || first == sign ? sign : 2;
        }
        m.symbols[b].firstSign = first == 2 ? 0 : first;
        for (int sign : {1, -1}) {
            std::vector<double> lengths;
            const auto& symbols = m.symbols[b].durations;
            for (const auto& symbol : symbols)
                for (double d : symbol)
                    if ((d > 0) == (sign > 0))
                        lengths.push_back(std::abs(d));
            // Where one symbol ends as the next begins (bi-phase), the two halves merge: the
            // merged lengths are read too and must stay apart from the single ones.
            for (const auto& a : symbols)
                for (const auto& next : symbols)
                    if ((a.back() > 0) == (sign > 0) && (next.front() > 0) == (sign > 0))
                        lengths.push_back(std::abs(a.back() + next.front()));
            std::sort(lengths.begin(), lengths.end());
            const std::size_t k = sign > 0 ? 0 : 1;
            for (std::size_t i = 1; i < lengths.size(); ++i)
                if (lengths[i] - lengths[i - 1] > 1e-6) {
                    const double half = (lengths[i] - lengths[i - 1]) / 2;
                    m.symbols[b].halfStep = std::min(m.symbols[b].halfStep, half);
                    // Just short of half way: a duration exactly between two is neither.
                    m.capUs[k] = std::min(m.capUs[k], std::max(0.0, half - 1));
                }
            if (!lengths.empty())
                m.capBelowUs[k] = std::max(m.capBelowUs[k], 2 * lengths.back());
            lengths.erase(std::unique(lengths.begin(), lengths.end(),
                                      [](double a, double b) { return b - a <= 1e-6; }),
                          lengths.end());
            m.symbols[b].lengths[k] = std::move(lengths);
        }
    }
    m.hasEnding = m.repeating >= 0 && HasVariation(m, m.repeating, true);
    return std::nullopt;
}

} // namespace

std::optional<ParseError> Flatten(const Model& m, FlattenMode mode, int repeats,
                                  std::vector<Step>& out, bool* before) {
    const auto fm = mode == FlattenMode::Render   ? Flattener::Mode::Render
                    : mode == FlattenMode::Prefix ? Flattener::Mode::Prefix
                    : mode == FlattenMode::Unit   ? Flattener::Mode::Unit
                                                  : Flattener::Mode::Tail;
    return Flattener(m, fm, repeats, before).Run(out);
}

// Runs a program with every value known: signed durations in µs, merged, the last gap kept.
std::optional<std::vector<double>> Execute(const Model& m, const std::vector<Step>& program,
                                           Env& env, std::string* error) {
    std::vector<double> out;
    std::vector<double> starts;
    std::vector<uint8_t> pending; // field bits not yet sent, in sending order
    int pendingSpec = -1;
    double t = 0;
    const auto fail = [&](std::string why) -> std::optional<std::vector<double>> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    // Each duration is sent in whole microseconds, as a transmitter's timer does; extents count
    // what was sent.
    const auto emit = [&](double us) {
        us = std::round(us);
        if (us == 0)
            return;
        t += std::abs(us);
        if (!out.empty() && (out.back() > 0) == (us > 0))
            out.back() += us;
        else
            out.push_back(us);
    };
    for (const Step& step : program) {
        switch (step.kind) {
        case Step::Kind::Start:
            if (starts.size() <= static_cast<std::size_t>(step.start))
                starts.resize(static_cast<std::size_t>(step.start) + 1);
            starts[static_cast<std::size_t>(step.start)] = t;
            break;
        case Step::Kind::Duration:
        case Step::Kind::Extent: {
            double us = step.us;
            if (step.expr >= 0) {
                const auto v = Evaluate(m, step.expr, env);
                if (!v)
                    return fail("a duration's value is unknown");
                us = static_cast<double>(*v) * step.scale;
            }
            if (!(us >= 0) || us > 1e9)
                return fail("a duration is out of range");
            if (step.kind == Step::Kind::Duration) {
                emit(step.sign * us);
            } else {
                const double gap = us - (t - starts[static_cast<std::size_t>(step.start)]);
                if (gap > 0)
                    emit(-gap);
            }
            break;
        }
        case Step::Kind::Assign: {
            const auto v = Evaluate(m, step.expr, env);
            if (!v)
                return fail("an assigned value is unknown");
            env.values[static_cast<std::size_t>(step.var)] = *v;
            env.known[static_cast<std::size_t>(step.var)] = ~uint64_t{0};
            break;
        }
        case Step::Kind::Field: {
            const auto f = FieldBits(m, step.expr, env);
            if (!f)
                return fail("a bit field's value is unknown");
            if (!pending.empty() && step.bitspec != pendingSpec)
                return fail("bits left over before other bit symbols");
            pendingSpec = step.bitspec;
            for (int i = 0; i < f->width; ++i)
                pending.push_back(
                    static_cast<uint8_t>((f->bits >> (m.msb ? f->width - 1 - i : i)) & 1));
            const Symbols& sym = m.symbols[static_cast<std::size_t>(step.bitspec)];
            const auto k = static_cast<std::size_t>(sym.bits);
            std::size_t used = 0;
            for (; pending.size() - used >= k; used += k) {
                std::size_t index = 0;
                for (std::size_t j = 0; j < k; ++j)
                    index |= std::size_t{pending[used + j]} << (m.msb ? k - 1 - j : j);
                for (double d : sym.durations[index])
                    emit(d);
            }
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
            break;
        }
        }
        if (!pending.empty() && step.kind != Step::Kind::Field && step.kind != Step::Kind::Start &&
            step.kind != Step::Kind::Assign)
            return fail("bits left over: the fields do not fill the bit symbols");
        if (out.size() > 1000000)
            return fail("the signal is too long");
    }
    if (!pending.empty())
        return fail("bits left over: the fields do not fill the bit symbols");
    return out;
}

} // namespace detail

using namespace detail;

Protocol::Protocol(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Protocol::~Protocol() = default;

std::variant<std::shared_ptr<const Protocol>, ParseError> Protocol::Compile(std::string_view irp) {
    auto impl = std::make_unique<Impl>();
    Model& m = impl->model;
    if (auto error = Parse(irp, m))
        return *error;
    if (auto error = CheckNames(m))
        return *error;
    if (auto error = CheckStreams(m))
        return *error;
    if (m.repeating >= 0) {
        if (auto error = Flatten(m, FlattenMode::Tail, 0, impl->tail))
            return *error;
    }
    impl->hasTail = std::any_of(impl->tail.begin(), impl->tail.end(), [](const Step& step) {
        return step.kind == Step::Kind::Duration || step.kind == Step::Kind::Extent ||
               step.kind == Step::Kind::Field;
    });
    m.endFrame = impl->hasTail;
    bool before = false;
    if (auto error = Flatten(m, FlattenMode::Prefix, 0, impl->prefix, &before))
        return *error;
    if (auto error = Flatten(m, FlattenMode::Unit, 0, impl->unit))
        return *error;
    impl->held = RepeatForm::None;
    if (m.repeating >= 0) {
        // The frame again when the repeating stream is all that is sent.
        impl->held =
            !before && !HasVariation(m, m.repeating, false) ? RepeatForm::Frame : RepeatForm::Ditto;
    }
    Survey(*impl);
    return std::shared_ptr<const Protocol>(new Protocol(std::move(impl)));
}

const std::string& Protocol::Text() const {
    return impl_->model.text;
}
int Protocol::CarrierHz() const {
    return static_cast<int>(std::lround(impl_->model.carrierHz));
}
std::optional<int> Protocol::DutyCyclePercent() const {
    return impl_->model.duty;
}
double Protocol::UnitUs() const {
    return impl_->model.unitUs;
}
const std::vector<ParamSpec>& Protocol::Params() const {
    return impl_->model.params;
}
int64_t Protocol::LeadOutUs() const {
    return impl_->leadOutUs;
}
RepeatForm Protocol::HeldForm() const {
    return impl_->held;
}

std::optional<std::vector<Param>> Protocol::Impl::Complete(const std::vector<Param>& params,
                                                           std::string* error) const {
    const Model& m = model;
    Env env = EmptyEnv();
    const auto fail = [&](std::string why) -> std::optional<std::vector<Param>> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    const auto inRange = [](const ParamSpec& spec, int64_t v) {
        return v >= spec.min && v <= spec.max;
    };
    for (const Param& p : params) {
        const auto it = std::find_if(m.params.begin(), m.params.end(),
                                     [&](const ParamSpec& s) { return s.name == p.name; });
        if (it == m.params.end())
            return fail("unknown parameter " + p.name);
        if (!inRange(*it, p.value))
            return fail(p.name + "=" + std::to_string(p.value) + " is outside " +
                        std::to_string(it->min) + ".." + std::to_string(it->max));
        const auto var =
            static_cast<std::size_t>(m.paramVars[static_cast<std::size_t>(it - m.params.begin())]);
        env.values[var] = p.value;
        env.known[var] = ~uint64_t{0};
    }
    std::vector<Param> out;
    for (std::size_t i = 0; i < m.params.size(); ++i) {
        const auto var = static_cast<std::size_t>(m.paramVars[i]);
        if (env.known[var] != ~uint64_t{0}) {
            const auto v = Evaluate(m, m.paramDefaults[i], env);
            if (!v)
                return fail(m.params[i].name + " needs a value");
            if (!inRange(m.params[i], *v))
                return fail(m.params[i].name + "=" + std::to_string(*v) +
                            " (its default) is outside " + std::to_string(m.params[i].min) + ".." +
                            std::to_string(m.params[i].max));
            env.values[var] = *v;
            env.known[var] = ~uint64_t{0};
        }
        out.push_back({m.params[i].name, env.values[var]});
    }
    return out;
}

std::optional<std::vector<Param>> Protocol::Complete(const std::vector<Param>& params,
                                                     std::string* error) const {
    return impl_->Complete(params, error);
}

std::optional<std::vector<double>> Protocol::Impl::RenderSigned(const std::vector<Param>& params,
                                                                int repeats,
                                                                std::string* error) const {
    const Model& m = model;
    Env env = EmptyEnv();
    for (std::size_t i = 0; i < m.params.size() && i < params.size(); ++i) {
        const auto var = static_cast<std::size_t>(m.paramVars[i]);
        env.values[var] = params[i].value;
        env.known[var] = ~uint64_t{0};
    }
    std::vector<Step> program;
    if (auto e = Flatten(m, FlattenMode::Render, repeats, program)) {
        if (error)
            *error = e->message;
        return std::nullopt;
    }
    return Execute(m, program, env, error);
}

std::optional<Durations> Protocol::Render(const std::vector<Param>& params, int repeats,
                                          std::string* error) const {
    if (repeats < 0 || repeats > 10000) {
        if (error)
            *error = "repeats must lie in 0..10000";
        return std::nullopt;
    }
    const auto complete = Complete(params, error);
    if (!complete)
        return std::nullopt;
    const auto signal = impl_->RenderSigned(*complete, repeats, error);
    if (!signal)
        return std::nullopt;
    Durations out;
    out.reserve(signal->size());
    for (double d : *signal) {
        if (out.empty() && d < 0)
            continue; // a leading space cannot be seen
        const double rounded = std::round(std::abs(d));
        out.push_back(static_cast<int32_t>(std::clamp(rounded, 1.0, 2147483647.0)));
    }
    if (!out.empty() && out.size() % 2 == 0)
        out.pop_back(); // the last gap
    if (out.empty()) {
        if (error)
            *error = "the protocol sends nothing";
        return std::nullopt;
    }
    return out;
}

} // namespace analysis::irp

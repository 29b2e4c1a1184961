// The IRP parser: recursive descent over the text, building the model. Every failure is a
// ParseError at the offending offset; nesting is bounded so hostile text cannot exhaust the stack.

#include "analysis/irp/Model.h"

#include <cctype>
#include <cmath>
#include <limits>

namespace analysis::irp::detail {
namespace {

constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxNodes = 20000;

class Parser {
public:
    Parser(std::string_view text, Model& model) : s_(text), m_(model) {}

    std::optional<ParseError> Run() {
        if (s_.size() > 100000)
            return ParseError{0, "text too long"};
        if (!Protocol())
            return error_;
        return std::nullopt;
    }

private:
    std::string_view s_;
    Model& m_;
    std::size_t p_ = 0;
    int depth_ = 0;
    ParseError error_;
    bool failed_ = false;
    bool fieldColonBlocked_ = false;

    bool Fail(std::size_t at, std::string message) {
        if (!failed_) {
            error_ = {at, std::move(message)};
            failed_ = true;
        }
        return false;
    }

    void Skip() {
        while (p_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[p_])))
            ++p_;
    }
    char Peek() {
        Skip();
        return p_ < s_.size() ? s_[p_] : '\0';
    }
    char PeekAt(std::size_t offset) const {
        return p_ + offset < s_.size() ? s_[p_ + offset] : '\0';
    }
    bool Accept(char c) {
        if (Peek() != c)
            return false;
        ++p_;
        return true;
    }
    bool Expect(char c) {
        if (Accept(c))
            return true;
        return Fail(p_, std::string("expected '") + c + "'");
    }

    struct Deeper {
        Parser& parser;
        explicit Deeper(Parser& p) : parser(p) { ++parser.depth_; }
        ~Deeper() { --parser.depth_; }
        bool TooDeep() const { return parser.depth_ > kMaxDepth; }
    };

    static bool NameStart(char c) {
        return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
    }
    static bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

    std::optional<std::string> Name() {
        Skip();
        if (!NameStart(PeekAt(0))) {
            Fail(p_, "expected a name");
            return std::nullopt;
        }
        const std::size_t from = p_;
        while (NameChar(PeekAt(0)))
            ++p_;
        return std::string(s_.substr(from, p_ - from));
    }

    // An integer: decimal, 0x hex or 0b binary.
    std::optional<int64_t> Integer() {
        Skip();
        const std::size_t from = p_;
        int base = 10;
        if (PeekAt(0) == '0' && (PeekAt(1) == 'x' || PeekAt(1) == 'X')) {
            base = 16;
            p_ += 2;
        } else if (PeekAt(0) == '0' && (PeekAt(1) == 'b' || PeekAt(1) == 'B')) {
            base = 2;
            p_ += 2;
        }
        uint64_t value = 0;
        bool any = false;
        while (true) {
            const char c = PeekAt(0);
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
                digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
            if (digit < 0 || digit >= base)
                break;
            if (value > (std::numeric_limits<uint64_t>::max() - digit) / base) {
                Fail(from, "number too large");
                return std::nullopt;
            }
            value = value * base + digit;
            any = true;
            ++p_;
        }
        if (!any || value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            Fail(from, any ? "number too large" : "expected a number");
            return std::nullopt;
        }
        return static_cast<int64_t>(value);
    }

    // A decimal number with an optional fraction.
    std::optional<double> Decimal() {
        Skip();
        const std::size_t from = p_;
        double value = 0;
        bool any = false;
        while (std::isdigit(static_cast<unsigned char>(PeekAt(0)))) {
            value = value * 10 + (PeekAt(0) - '0');
            any = true;
            ++p_;
        }
        if (PeekAt(0) == '.' && std::isdigit(static_cast<unsigned char>(PeekAt(1)))) {
            ++p_;
            double scale = 0.1;
            while (std::isdigit(static_cast<unsigned char>(PeekAt(0)))) {
                value += (PeekAt(0) - '0') * scale;
                scale /= 10;
                any = true;
                ++p_;
            }
        }
        if (!any || !std::isfinite(value) || value > 1e12) {
            Fail(from, "expected a number");
            return std::nullopt;
        }
        return value;
    }

    int Add(Node node) {
        if (m_.nodes.size() >= kMaxNodes) {
            Fail(node.position, "expression too large");
            return -1;
        }
        m_.nodes.push_back(node);
        return static_cast<int>(m_.nodes.size() - 1);
    }

    int VariableOf(const std::string& name) {
        for (std::size_t i = 0; i < m_.variables.size(); ++i)
            if (m_.variables[i].name == name)
                return static_cast<int>(i);
        m_.variables.push_back({name});
        return static_cast<int>(m_.variables.size() - 1);
    }

    // ---- the general spec, `{38.4k,564,msb}`
    bool GeneralSpec() {
        if (!Expect('{'))
            return false;
        std::optional<double> unit;
        bool unitInPeriods = false;
        std::size_t unitAt = 0;
        if (Peek() != '}') {
            do {
                const char c = Peek();
                if (NameStart(c)) {
                    const std::size_t at = p_;
                    auto word = Name();
                    if (!word)
                        return false;
                    if (*word == "msb")
                        m_.msb = true;
                    else if (*word == "lsb")
                        m_.msb = false;
                    else
                        return Fail(at, "unknown word '" + *word + "' in the general spec");
                    continue;
                }
                const std::size_t at = p_;
                auto number = Decimal();
                if (!number)
                    return false;
                if (PeekAt(0) == 'k') {
                    ++p_;
                    m_.carrierHz = *number * 1000;
                } else if (PeekAt(0) == '%') {
                    ++p_;
                    if (*number <= 0 || *number >= 100)
                        return Fail(at, "duty cycle must lie between 0 and 100 %");
                    m_.duty = static_cast<int>(std::lround(*number));
                } else if (PeekAt(0) == 'p') {
                    ++p_;
                    unit = *number;
                    unitInPeriods = true;
                    unitAt = at;
                } else {
                    if (PeekAt(0) == 'u')
                        ++p_;
                    unit = *number;
                    unitInPeriods = false;
                }
            } while (Accept(','));
        }
        if (!Expect('}'))
            return false;
        if (unit) {
            if (unitInPeriods) {
                if (m_.carrierHz <= 0)
                    return Fail(unitAt, "a unit in periods needs a carrier");
                m_.unitUs = *unit * 1e6 / m_.carrierHz;
            } else {
                m_.unitUs = *unit;
            }
        }
        if (m_.unitUs <= 0)
            return Fail(unitAt, "the unit must be positive");
        return true;
    }

    // ---- bit specs, `<1,-1|1,-3>`
    int BitSpecAt() {
        const std::size_t at = p_;
        if (!Expect('<'))
            return -1;
        BitSpec spec;
        do {
            const int stream = NewStream(p_);
            if (Peek() != '|' && Peek() != '>') {
                if (!Items(stream, '|', '>'))
                    return -1;
            }
            spec.symbols.push_back(stream);
        } while (Accept('|'));
        if (!Expect('>'))
            return -1;
        const std::size_t n = spec.symbols.size();
        int bits = 0;
        while ((std::size_t{1} << bits) < n)
            ++bits;
        if (n < 2 || n > 16 || (std::size_t{1} << bits) != n) {
            Fail(at, "bit symbols must number 2, 4, 8 or 16");
            return -1;
        }
        spec.bitsPerSymbol = bits;
        m_.bitspecs.push_back(spec);
        return static_cast<int>(m_.bitspecs.size() - 1);
    }

    int NewStream(std::size_t at) {
        m_.streams.push_back({});
        m_.streams.back().position = at;
        return static_cast<int>(m_.streams.size() - 1);
    }

    // A stream's items up to (not including) one of the closing characters.
    bool Items(int stream, char close1, char close2) {
        while (true) {
            if (!ItemInto(stream))
                return false;
            if (Accept(','))
                continue;
            const char c = Peek();
            if (c == close1 || c == close2)
                return true;
            return Fail(p_, "expected ',' or the end of the stream");
        }
    }

    // `( items ) marker`
    int IrStream(int bitspec) {
        Deeper deeper(*this);
        if (deeper.TooDeep()) {
            Fail(p_, "nested too deeply");
            return -1;
        }
        const std::size_t at = p_;
        if (!Expect('('))
            return -1;
        const int stream = NewStream(at);
        m_.streams[stream].bitspec = bitspec;
        if (Peek() != ')' && !Items(stream, ')', ')'))
            return -1;
        if (!Expect(')'))
            return -1;
        // The repeat marker follows the bracket directly.
        Stream& st = m_.streams[stream];
        if (PeekAt(0) == '*') {
            ++p_;
            st.repeat = Repeat::Star;
        } else if (PeekAt(0) == '+') {
            ++p_;
            st.repeat = Repeat::Plus;
        } else if (std::isdigit(static_cast<unsigned char>(PeekAt(0)))) {
            const std::size_t countAt = p_;
            auto n = Integer();
            if (!n)
                return -1;
            if (*n > 64)
                return Fail(countAt, "repeat count above 64"), -1;
            m_.streams[stream].count = static_cast<int>(*n);
            m_.streams[stream].repeat = Repeat::Count;
            if (PeekAt(0) == '+') {
                ++p_;
                m_.streams[stream].repeat = Repeat::CountPlus;
            }
        }
        return stream;
    }

    bool AddItem(int stream, Item item) {
        m_.streams[stream].items.push_back(item);
        return true;
    }

    // A duration after its sign: a number or a name, then u/m/p or nothing (units).
    bool DurationInto(Item& item) {
        Skip();
        item.position = p_;
        if (NameStart(PeekAt(0))) {
            auto name = Name();
            if (!name)
                return false;
            item.expr = Add({Op::Var, false, 0, VariableOf(*name), -1, -1, -1, item.position});
            item.scale =
                m_.unitUs; // fixed up after the general spec is known (it is: parsed first)
            return item.expr >= 0;
        }
        auto number = Decimal();
        if (!number)
            return false;
        double us = *number * m_.unitUs;
        if (PeekAt(0) == 'u') {
            ++p_;
            us = *number;
        } else if (PeekAt(0) == 'm') {
            ++p_;
            us = *number * 1000;
        } else if (PeekAt(0) == 'p') {
            ++p_;
            if (m_.carrierHz <= 0)
                return Fail(item.position, "a duration in periods needs a carrier");
            us = *number * 1e6 / m_.carrierHz;
        }
        if (us > 1e9)
            return Fail(item.position, "duration too long");
        item.us = us;
        return true;
    }

    bool ItemInto(int stream) {
        Deeper deeper(*this);
        if (deeper.TooDeep())
            return Fail(p_, "nested too deeply");
        const char c = Peek();
        const std::size_t at = p_;
        Item item;
        item.position = at;
        if (c == '-') {
            ++p_;
            item.kind = Item::Kind::Gap;
            return DurationInto(item) && AddItem(stream, item);
        }
        if (c == '^') {
            ++p_;
            item.kind = Item::Kind::Extent;
            return DurationInto(item) && AddItem(stream, item);
        }
        if (c == '<') {
            const int spec = BitSpecAt();
            if (spec < 0)
                return false;
            if (Peek() != '(')
                return Fail(p_, "expected a stream after bit symbols");
            item.kind = Item::Kind::Stream;
            item.stream = IrStream(spec);
            return item.stream >= 0 && AddItem(stream, item);
        }
        if (c == '[') {
            item.kind = Item::Kind::Variation;
            int n = 0;
            while (Peek() == '[') {
                if (n == 3)
                    return Fail(p_, "a variation has at most three alternatives");
                ++p_;
                const int alt = NewStream(p_);
                if (Peek() != ']' && !Items(alt, ']', ']'))
                    return false;
                if (!Expect(']'))
                    return false;
                item.alternatives[n++] = alt;
            }
            if (n < 2)
                return Fail(at, "a variation needs at least two alternatives");
            return AddItem(stream, item);
        }
        if (c == '(') {
            // A bracketed expression followed by ':' is a bit field; anything else a stream.
            if (BracketIsField()) {
                item.kind = Item::Kind::Field;
                item.expr = FieldExpr();
                return item.expr >= 0 && AddItem(stream, item);
            }
            item.kind = Item::Kind::Stream;
            item.stream = IrStream(-1);
            return item.stream >= 0 && AddItem(stream, item);
        }
        if (c == '~') {
            item.kind = Item::Kind::Field;
            item.expr = FieldExpr();
            return item.expr >= 0 && AddItem(stream, item);
        }
        if (NameStart(c) || std::isdigit(static_cast<unsigned char>(c))) {
            // Look past the first token: ':' makes a field, '=' an assignment, else a duration.
            std::size_t q = p_;
            if (NameStart(c)) {
                while (q < s_.size() && NameChar(s_[q]))
                    ++q;
            } else {
                while (q < s_.size() &&
                       (std::isalnum(static_cast<unsigned char>(s_[q])) || s_[q] == '.'))
                    ++q;
            }
            while (q < s_.size() && std::isspace(static_cast<unsigned char>(s_[q])))
                ++q;
            const char next = q < s_.size() ? s_[q] : '\0';
            const char after = q + 1 < s_.size() ? s_[q + 1] : '\0';
            if (next == ':') {
                item.kind = Item::Kind::Field;
                item.expr = FieldExpr();
                return item.expr >= 0 && AddItem(stream, item);
            }
            if (next == '=' && after != '=' && NameStart(c)) {
                auto name = Name();
                if (!name)
                    return false;
                Expect('=');
                item.kind = Item::Kind::Assign;
                item.var = VariableOf(*name);
                m_.variables[item.var].assigned = true;
                item.expr = Expression();
                return item.expr >= 0 && AddItem(stream, item);
            }
            item.kind = Item::Kind::Flash;
            return DurationInto(item) && AddItem(stream, item);
        }
        if (c == '\0')
            return Fail(at, "unexpected end of text");
        return Fail(at, std::string("unexpected '") + c + "'");
    }

    // Whether the bracket at the current position closes before a ':'.
    bool BracketIsField() const {
        int level = 0;
        std::size_t q = p_;
        for (; q < s_.size(); ++q) {
            if (s_[q] == '(')
                ++level;
            else if (s_[q] == ')' && --level == 0)
                break;
        }
        if (q >= s_.size())
            return false;
        ++q;
        while (q < s_.size() && std::isspace(static_cast<unsigned char>(s_[q])))
            ++q;
        return q < s_.size() && s_[q] == ':';
    }

    // A bit field as a stream item: it must come out as a field node.
    int FieldExpr() {
        const std::size_t at = p_;
        const int node = Unary();
        if (node < 0)
            return -1;
        if (m_.nodes[node].op != Op::Field) {
            Fail(at, "expected a bit field");
            return -1;
        }
        return node;
    }

    // ---- expressions
    int Expression() {
        Deeper deeper(*this);
        if (deeper.TooDeep()) {
            Fail(p_, "nested too deeply");
            return -1;
        }
        return Conditional();
    }

    int Conditional() {
        const std::size_t at = p_;
        const int cond = Binary(0);
        if (cond < 0 || Peek() != '?')
            return cond;
        ++p_;
        // `a ? b : c`: the colon ends b, it does not make b a bit field.
        const bool blocked = fieldColonBlocked_;
        fieldColonBlocked_ = true;
        const int yes = Expression();
        fieldColonBlocked_ = blocked;
        if (yes < 0 || !Expect(':'))
            return -1;
        const int no = Expression();
        if (no < 0)
            return -1;
        return Add({Op::Cond, false, 0, -1, cond, yes, no, at});
    }

    // Binary operators by level, lowest first.
    static constexpr int kLevels = 10;

    // Binary operators by level, lowest first; `unless`: a longer operator it begins.
    struct OperatorText {
        int level;
        std::string_view text;
        Op op;
        std::string_view unless;
    };
    static constexpr OperatorText kOperators[] = {
        {0, "||", Op::LOr, ""},  {1, "&&", Op::LAnd, ""}, {2, "|", Op::Or, "||"},
        {3, "^", Op::Xor, ""},   {4, "&", Op::And, "&&"}, {5, "==", Op::Eq, ""},
        {5, "!=", Op::Ne, ""},   {6, "<=", Op::Le, ""},   {6, ">=", Op::Ge, ""},
        {6, "<", Op::Lt, "<<"},  {6, ">", Op::Gt, ">>"},  {7, "<<", Op::Shl, ""},
        {7, ">>", Op::Shr, ""},  {8, "+", Op::Add, ""},   {8, "-", Op::Sub, ""},
        {9, "*", Op::Mul, "**"}, {9, "/", Op::Div, ""},   {9, "%", Op::Mod, ""},
    };

    // Which operator of `level` starts at the current position.
    std::optional<Op> OperatorAt(int level) {
        Skip();
        const std::string_view rest = s_.substr(p_);
        for (const OperatorText& o : kOperators) {
            if (o.level != level || !rest.starts_with(o.text))
                continue;
            if (!o.unless.empty() && rest.starts_with(o.unless))
                continue;
            p_ += o.text.size();
            return o.op;
        }
        return std::nullopt;
    }

    int Binary(int level) {
        if (level == kLevels)
            return Power();
        const std::size_t at = p_;
        int left = Binary(level + 1);
        while (left >= 0) {
            auto op = OperatorAt(level);
            if (!op)
                break;
            const int right = Binary(level + 1);
            if (right < 0)
                return -1;
            left = Add({*op, false, 0, -1, left, right, -1, at});
        }
        return left;
    }

    int Power() {
        const std::size_t at = p_;
        const int base = Unary();
        if (base < 0)
            return -1;
        Skip();
        if (s_.substr(p_, 2) != "**")
            return base;
        p_ += 2;
        Deeper deeper(*this);
        if (deeper.TooDeep()) {
            Fail(p_, "nested too deeply");
            return -1;
        }
        const int exponent = Power();
        if (exponent < 0)
            return -1;
        return Add({Op::Pow, false, 0, -1, base, exponent, -1, at});
    }

    int Unary() {
        Deeper deeper(*this);
        if (deeper.TooDeep()) {
            Fail(p_, "nested too deeply");
            return -1;
        }
        const char c = Peek();
        const std::size_t at = p_;
        if (c == '-' || c == '!' || c == '#' || c == '~') {
            ++p_;
            const int operand = Unary();
            if (operand < 0)
                return -1;
            if (c == '~' && m_.nodes[operand].op == Op::Field && !m_.nodes[operand].complement) {
                // `~F:8`: the complement of the field, within its width.
                m_.nodes[operand].complement = true;
                m_.nodes[operand].position = at;
                return operand;
            }
            const Op op = c == '-'   ? Op::Neg
                          : c == '!' ? Op::Not
                          : c == '#' ? Op::Count
                                     : Op::BitNot;
            return Add({op, false, 0, -1, operand, -1, -1, at});
        }
        const int primary = Primary();
        if (primary < 0)
            return -1;
        Skip();
        if (PeekAt(0) != ':' || fieldColonBlocked_)
            return primary;
        ++p_;
        Node field{Op::Field, false, 0, -1, primary, -1, -1, at};
        if (PeekAt(0) == ':') {
            ++p_;
            field.c = Primary();
            if (field.c < 0)
                return -1;
            return Add(field);
        }
        if (Peek() == '-') {
            const std::size_t minus = p_;
            ++p_;
            const int width = Primary();
            if (width < 0)
                return -1;
            field.b = Add({Op::Neg, false, 0, -1, width, -1, -1, minus});
        } else {
            field.b = Primary();
        }
        if (field.b < 0)
            return -1;
        Skip();
        if (PeekAt(0) == ':' && PeekAt(1) != ':') {
            ++p_;
            field.c = Primary();
            if (field.c < 0)
                return -1;
        }
        return Add(field);
    }

    int Primary() {
        const char c = Peek();
        const std::size_t at = p_;
        if (c == '(') {
            ++p_;
            const bool blocked = fieldColonBlocked_;
            fieldColonBlocked_ = false;
            const int inner = Expression();
            fieldColonBlocked_ = blocked;
            if (inner < 0 || !Expect(')'))
                return -1;
            return inner;
        }
        if (NameStart(c)) {
            auto name = Name();
            if (!name)
                return -1;
            return Add({Op::Var, false, 0, VariableOf(*name), -1, -1, -1, at});
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            auto n = Integer();
            if (!n)
                return -1;
            return Add({Op::Num, false, *n, -1, -1, -1, -1, at});
        }
        if (c == '\0')
            Fail(at, "unexpected end of text");
        else
            Fail(at, std::string("unexpected '") + c + "' in an expression");
        return -1;
    }

    // ---- definitions `{A=...}` and parameter specs `[D:0..255=...]`
    bool Definitions() {
        if (!Expect('{'))
            return false;
        do {
            const std::size_t at = p_;
            auto name = Name();
            if (!name || !Expect('='))
                return false;
            const int var = VariableOf(*name);
            if (m_.variables[var].definition >= 0)
                return Fail(at, "'" + *name + "' is defined twice");
            const int value = Expression();
            if (value < 0)
                return false;
            m_.variables[var].definition = value;
        } while (Accept(','));
        return Expect('}');
    }

    bool ParamSpecs() {
        if (!Expect('['))
            return false;
        do {
            const std::size_t at = p_;
            auto name = Name();
            if (!name)
                return false;
            ParamSpec spec;
            spec.name = *name;
            if (Accept('@'))
                spec.memory = true;
            if (!Expect(':'))
                return false;
            auto min = Integer();
            if (!min)
                return false;
            Skip();
            if (s_.substr(p_, 2) != "..")
                return Fail(p_, "expected '..'");
            p_ += 2;
            auto max = Integer();
            if (!max)
                return false;
            if (*max < *min)
                return Fail(at, "the range of '" + *name + "' is empty");
            spec.min = *min;
            spec.max = *max;
            int def = -1;
            if (Accept('=')) {
                Skip();
                const std::size_t from = p_;
                def = Expression();
                if (def < 0)
                    return false;
                spec.defaultText = std::string(s_.substr(from, p_ - from));
                while (!spec.defaultText.empty() &&
                       std::isspace(static_cast<unsigned char>(spec.defaultText.back())))
                    spec.defaultText.pop_back();
            }
            const int var = VariableOf(*name);
            if (m_.variables[var].spec >= 0)
                return Fail(at, "parameter '" + *name + "' is listed twice");
            m_.variables[var].spec = static_cast<int>(m_.params.size());
            m_.params.push_back(spec);
            m_.paramDefaults.push_back(def);
            m_.paramVars.push_back(var);
        } while (Accept(','));
        return Expect(']');
    }

    bool Protocol() {
        if (!GeneralSpec())
            return false;
        if (Peek() == '<') {
            m_.topBitspec = BitSpecAt();
            if (m_.topBitspec < 0)
                return false;
        }
        if (Peek() != '(')
            return Fail(p_, "expected '(' to open the stream");
        // Several streams in a row are read as one stream holding them.
        const int top = NewStream(p_);
        m_.top = top;
        m_.streams[top].bitspec = m_.topBitspec;
        while (Peek() == '(') {
            Item item;
            item.position = p_;
            item.kind = Item::Kind::Stream;
            item.stream = IrStream(-1);
            if (item.stream < 0)
                return false;
            m_.streams[top].items.push_back(item);
        }
        while (Peek() == '{')
            if (!Definitions())
                return false;
        if (Peek() == '[' && !ParamSpecs())
            return false;
        while (Peek() == '{')
            if (!Definitions())
                return false;
        if (Peek() != '\0')
            return Fail(p_, std::string("unexpected '") + s_[p_] + "' after the protocol");
        return true;
    }
};

} // namespace

std::optional<ParseError> Parse(std::string_view text, Model& model) {
    model.text = std::string(text);
    Parser parser(text, model);
    return parser.Run();
}

} // namespace analysis::irp::detail

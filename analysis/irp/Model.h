#pragma once

// The compiled form of an IRP string (internal to analysis/irp): expression nodes in one pool,
// streams as item lists, and the flat programs the renderer and the decoder run.

#include "analysis/irp/Irp.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace analysis::irp::detail {

enum class Op : uint8_t {
    Num,
    Var,
    Neg,
    Not,
    BitNot,
    Count,
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    Pow,
    And,
    Or,
    Xor,
    Shl,
    Shr,
    Lt,
    Le,
    Gt,
    Ge,
    Eq,
    Ne,
    LAnd,
    LOr,
    Cond,
    // a = value, b = width (-1: unbounded, `X::m`), c = shift (-1: 0); `complement` for `~X:n`
    Field,
};

struct Node {
    Op op = Op::Num;
    bool complement = false;
    int64_t value = 0; // Num
    int var = -1;      // Var
    int a = -1, b = -1, c = -1;
    std::size_t position = 0;
};

// A name: a parameter, a definition or a variable assigned in the stream.
struct Variable {
    std::string name;
    int definition = -1; // node index of `{name=...}`
    int spec = -1;       // index into the parameter specs
    bool assigned = false;
};

struct Item {
    enum class Kind : uint8_t { Flash, Gap, Extent, Field, Assign, Stream, Variation };
    Kind kind = Kind::Flash;
    double us = 0;    // a duration's constant length
    int expr = -1;    // a duration given by a name (times `scale`), a field, an assigned value
    double scale = 0; // µs per unit of `expr`
    int var = -1;     // Assign
    int stream = -1;  // Stream
    std::array<int, 3> alternatives{-1, -1, -1}; // Variation: streams, -1 absent
    std::size_t position = 0;
};

enum class Repeat : uint8_t { Once, Star, Plus, Count, CountPlus };

struct Stream {
    std::vector<Item> items;
    int bitspec = -1; // own bit symbols, -1: the enclosing ones
    Repeat repeat = Repeat::Once;
    int count = 1;
    std::size_t position = 0;
};

struct BitSpec {
    std::vector<int> symbols; // streams
    int bitsPerSymbol = 1;
};

// One step of a flat program.
struct Step {
    enum class Kind : uint8_t { Duration, Extent, Start, Field, Assign };
    Kind kind = Kind::Duration;
    int8_t sign = 1;  // Duration: +1 mark, -1 space
    double us = 0;    // Duration, Extent (when expr < 0)
    int expr = -1;    // Duration/Extent given by a name; Field node; Assign value
    double scale = 0; // µs per unit of `expr`
    int var = -1;     // Assign
    int start = -1;   // Extent, Start: which stream start the extent counts from
    int bitspec = -1; // Field
};

// The bit symbols as plain duration lists (signed µs), as fields use them.
struct Symbols {
    std::vector<std::vector<double>> durations;
    int bits = 1;
    int8_t firstSign = 0; // +1 or -1 when every symbol starts with a mark or with a space
    // Half the least difference between two bit durations of one sign (infinite: no such pair).
    double halfStep = std::numeric_limits<double>::infinity();
    // Every length a bit duration of each sign can have (marks, then spaces), merged halves
    // included, ascending.
    std::vector<double> lengths[2];
};

struct Model {
    std::string text;
    std::vector<Node> nodes;
    std::vector<Variable> variables;
    std::vector<Stream> streams;
    std::vector<BitSpec> bitspecs;
    std::vector<Symbols> symbols; // per bitspec
    std::vector<ParamSpec> params;
    std::vector<int> paramDefaults; // node per spec, -1: none
    std::vector<int> paramVars;     // variable per spec
    int top = -1;                   // the outermost stream
    int topBitspec = -1;
    double carrierHz = 38000;
    std::optional<int> duty;
    double unitUs = 1;
    bool msb = false;
    int repeating = -1; // the stream with `*`, `+` or `n+`, -1 none
    int repeatingBitspec = -1;
    bool hasEnding = false;
    // Something is sent after the held part (an end frame): a press then sends the held part at
    // least once, as a start and an end frame around nothing would carry no key.
    bool endFrame = false;
    // Per sign (marks, spaces): half the smallest step between two bit durations of that sign,
    // applied to durations of that sign up to `capBelowUs` (twice the longest bit duration). Where
    // every symbol has the same mark, marks are not held: they tell no symbol from another.
    std::array<double, 2> capUs{1e18, 1e18};
    std::array<double, 2> capBelowUs{0, 0};
};

// Values of the variables while rendering or decoding: `known` holds the bits that are set.
struct Env {
    std::vector<int64_t> values;
    std::vector<uint64_t> known;
};

// Evaluates a node; nullopt when it needs an unknown bit or cannot be computed (division by
// zero, a shift out of range, a definition that refers to itself).
std::optional<int64_t> Evaluate(const Model& model, int node, const Env& env, int depth = 0);

// The parse; on success the model is complete apart from what Irp.cpp derives.
std::optional<ParseError> Parse(std::string_view text, Model& model);

} // namespace analysis::irp::detail

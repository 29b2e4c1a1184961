#pragma once

// The pieces of the engine shared by the renderer and the decoder (internal to analysis/irp).

#include "analysis/irp/Model.h"

namespace analysis::irp {
namespace detail {

struct FieldValue {
    uint64_t bits = 0;
    int width = 0;
};
// The bits a field sends (after complement, slice and reversal) and its width.
std::optional<FieldValue> FieldBits(const Model& m, int node, const Env& env);

enum class FlattenMode { Render, Prefix, Unit, Tail };
// Render: the whole signal with `repeats` repeats; Prefix: the first frame; Unit: one repeat;
// Tail: what follows the repeats (an ending frame, an end frame after the held part).
// `before` (Prefix): whether anything is sent before the repeating stream.
std::optional<ParseError> Flatten(const Model& m, FlattenMode mode, int repeats,
                                  std::vector<Step>& out, bool* before = nullptr);

std::optional<std::vector<double>> Execute(const Model& m, const std::vector<Step>& program,
                                           Env& env, std::string* error);

} // namespace detail

struct Protocol::Impl {
    detail::Model model;
    std::vector<detail::Step> prefix; // the first frame
    std::vector<detail::Step> unit;   // one repeat
    std::vector<detail::Step> tail;   // after the repeats
    bool hasTail = false;             // the tail sends something: a press is not complete without
    RepeatForm held = RepeatForm::None;
    int64_t leadOutUs = 0;
    // What the first mark and space of a frame can be, and its fewest durations (from renders
    // over many parameter values); `surveyed` false: no render succeeded, nothing is ruled out.
    bool surveyed = false;
    double firstMarkMin = 0, firstMarkMax = 0;
    double firstSpaceMin = 0, firstSpaceMax = 0;
    std::size_t minDurations = 0;
    // Every frame seen had minDurations durations and no two symbols can merge (each is marks
    // and spaces in turn, mark first, space last): a frame needs exactly that many.
    bool fixedLength = false;
    double longestSpaceUs = 0; // inside a frame, at nominal timing

    detail::Env EmptyEnv() const {
        return {std::vector<int64_t>(model.variables.size(), 0),
                std::vector<uint64_t>(model.variables.size(), 0)};
    }
    // See Protocol::Complete.
    std::optional<std::vector<Param>> Complete(const std::vector<Param>& params,
                                               std::string* error) const;
    // `params` complete and in spec order.
    std::optional<std::vector<double>> RenderSigned(const std::vector<Param>& params, int repeats,
                                                    std::string* error) const;
};

namespace detail {
// Fills the survey fields and the lead-out of a compiled protocol.
void Survey(Protocol::Impl& impl);
} // namespace detail

} // namespace analysis::irp

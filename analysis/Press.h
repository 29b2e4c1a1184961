#pragma once

// What the bi-phase and multi-level families share (internal to analysis/): the window of a
// duration that could be mistaken for a neighbouring length, the frames of one key press (the first
// frame and the repeats that follow it) and the decode built from them.

#include "analysis/Family.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace analysis::detail {

// A nominal duration and the nearest other lengths a reader could take it for at that place
// (0: none). Its window is the shared tolerance cut halfway to those neighbours, lag-shifted alike,
// so that two lengths a frame may hold at one place never share a captured value.
struct Nominal {
    int32_t us = 0;
    int32_t below = 0;
    int32_t above = 0;
};

Window WindowOf(const Tolerance& tolerance, bool mark, const Nominal& nominal);
bool Fits(const Tolerance& tolerance, bool mark, const Nominal& nominal, int32_t value);

// One frame as read at a start: its parameter values in the protocol's order, the index of its
// last duration (a mark) and the receiver's lag its durations were read with.
struct FrameRead {
    std::vector<int64_t> values;
    std::size_t last = 0;
    int32_t lag = 0;
};

// A protocol's nominal frames: the durations (first a mark, ending with a mark), the index of each
// frame's last mark and the spans of the first frame, indices relative to its start.
struct Layout {
    std::vector<Nominal> wave;
    std::vector<std::size_t> lasts;
    std::vector<Span> spans;
};

// The decode of a press: the first frame's parameters, the repeats and their form (a changed
// toggle makes them "toggled"), one window per duration from `layout` (the nominal durations of all
// the frames read; each frame's with the lag it was read with, the gaps with the signal's) and the
// first frame's spans followed by one span per repeat.
Candidate MakeCandidate(const ProtocolInfo& info, std::size_t toggle, Robustness robustness,
                        std::size_t at, const std::vector<FrameRead>& frames, const Layout& layout,
                        const Tolerance& tolerance);

// Whether two frames' values agree apart from the toggle's.
bool SameButToggle(const std::vector<int64_t>& a, const std::vector<int64_t>& b,
                   std::size_t toggle);

// The decode of `row` (a protocol of a family: its `info`, `toggle` index, `robustness` and the
// `longest` frame in durations) at `at`, unless that frame repeats the one before it: the first
// frame, then each frame after a gap that fits its nominal window and carries the same parameters,
// the toggle apart. `read(row, durations, at, tolerance)` gives the frame at a start; `lay(row,
// frames)` the nominal layout of frames of the given values. Whether `frame`, read at `at`, repeats
// a frame of the same press that ends just before it (the previous frame is sought among the starts
// `row.longest` durations back). The decode from that frame's start holds this one already; the
// engine looks inside every decode that is not robust, and reading the rest of a long press again
// at each of its frames would cost the square of it.
template <class Row, class ReadFrame, class LayFrames>
bool Repeats(const Row& row, std::span<const int32_t> durations, std::size_t at,
             const FrameRead& frame, const Tolerance& tolerance, ReadFrame read, LayFrames lay) {
    for (std::size_t back = 2; back <= row.longest + 1 && back <= at; back += 2) {
        const std::optional<FrameRead> previous = read(row, durations, at - back, tolerance);
        if (!previous || previous->last != at - 2)
            continue;
        if (!SameButToggle(previous->values, frame.values, row.toggle))
            return false;
        const std::array pair = {previous->values, frame.values};
        const Layout layout = lay(row, std::span<const std::vector<int64_t>>(pair));
        return Fits(tolerance, false, layout.wave[layout.lasts.front() + 1], durations[at - 1]);
    }
    return false;
}

template <class Row, class ReadFrame, class LayFrames>
std::optional<Candidate> ReadCandidate(const Row& row, std::span<const int32_t> durations,
                                       std::size_t at, const Tolerance& tolerance, ReadFrame read,
                                       LayFrames lay) {
    std::vector<FrameRead> frames;
    std::vector<std::vector<int64_t>> values;
    std::optional<FrameRead> frame = read(row, durations, at, tolerance);
    if (frame && Repeats(row, durations, at, *frame, tolerance, read, lay))
        return std::nullopt;
    for (; frame && (values.empty() || SameButToggle(values.back(), frame->values, row.toggle));) {
        values.push_back(frame->values);
        frames.push_back(std::move(*frame));
        const std::size_t next = frames.back().last + 2;
        frame = next < durations.size() ? read(row, durations, next, tolerance) : std::nullopt;
    }
    if (frames.empty())
        return std::nullopt;
    // A repeat follows a gap of its nominal length; the press ends before the first that does not.
    Layout layout = lay(row, std::span<const std::vector<int64_t>>(values));
    for (std::size_t i = 0; i + 1 < frames.size(); ++i)
        if (!Fits(tolerance, false, layout.wave[layout.lasts[i] + 1],
                  durations[frames[i].last + 1])) {
            frames.resize(i + 1);
            values.resize(i + 1);
            layout = lay(row, std::span<const std::vector<int64_t>>(values));
        }
    return MakeCandidate(row.info, row.toggle, row.robustness, at, frames, layout, tolerance);
}

// A parameter from 0 to `max`, required or with a default.
ParamInfo Required(std::string name, int64_t max);
ParamInfo Defaulted(std::string name, int64_t max, int64_t defaultValue);

// The nominal durations of `protocol`, one of `rows`, with `repeats` repeats, laid out by `lay`.
template <class Row, class LayFrames>
Durations RenderRow(const std::vector<Row>& rows, std::string_view protocol,
                    const std::vector<Param>& params, int repeats, LayFrames lay) {
    std::vector<int64_t> values;
    for (const Param& param : params)
        values.push_back(param.value);
    const std::vector<std::vector<int64_t>> frames(static_cast<std::size_t>(repeats) + 1, values);
    for (const Row& row : rows)
        if (row.info.name == protocol) {
            Durations out;
            for (const Nominal& nominal :
                 lay(row, std::span<const std::vector<int64_t>>(frames)).wave)
                out.push_back(nominal.us);
            return out;
        }
    return {};
}

// A family listing the protocols of the table `RowsOf()`: it decodes with `decode` and renders a
// row's frames as `LayOut` lays them out.
template <auto RowsOf, auto LayOut>
Family MakeFamily(decltype(Family::decode) decode) {
    Family family;
    for (const auto& row : RowsOf())
        family.protocols.push_back(row.info);
    family.decode = decode;
    family.render = [](std::string_view protocol, const std::vector<Param>& params, int repeats) {
        return RenderRow(RowsOf(), protocol, params, repeats, LayOut);
    };
    return family;
}

// The index of parameter `name` in `info`, or the number of parameters.
std::size_t IndexOf(const ProtocolInfo& info, std::string_view name);

} // namespace analysis::detail

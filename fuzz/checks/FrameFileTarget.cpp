#include "fuzz/checks/Drawing.h"
#include "fuzz/checks/FrameTargets.h"
#include "fuzz/checks/FuzzCheck.h"
#include "fuzz/checks/Recorder.h"
#include "fuzz/checks/Reference.h"

#include "frame/FrameCore.h"
#include "frame/FrameFile.h"

#include <algorithm>

namespace frame::fuzz {

namespace {

PulseFrame FrameOf(const LoadedFrame& loaded) {
    PulseFrame frame;
    std::copy(loaded.Durations.begin(), loaded.Durations.end(), frame.Durations.begin());
    frame.Count = static_cast<int32_t>(loaded.Durations.size());
    frame.Mode = loaded.Mode;
    return frame;
}

// The file this program writes: the mode and each duration as plain decimals, each line ended by
// CR LF, nothing else.
void CheckWrittenForm(std::string_view text, const PulseFrame& frame) {
    FUZZ_REQUIRE(text.ends_with("\r\n"), "a written file ends with CR LF");
    std::vector<std::string_view> lines = SplitFileLines(text);
    FUZZ_REQUIRE(lines.size() == 1 + static_cast<size_t>(frame.Count),
                 "a written file holds the mode and one line per pulse");
    size_t crlf = 0;
    for (size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2)) {
        ++crlf;
    }
    FUZZ_REQUIRE(crlf == lines.size(), "every written line ends with CR LF, and only there");
    FUZZ_REQUIRE(ReadCanonical(lines[0]) == frame.Mode, "the mode line");
    for (int32_t i = 0; i < frame.Count; ++i) {
        FUZZ_REQUIRE(ReadCanonical(lines[1 + static_cast<size_t>(i)]) ==
                         frame.Durations[static_cast<size_t>(i)],
                     "duration line " + std::to_string(i));
    }
}

// Loading takes the durations and the mode, shows the count and draws; the flags and the tail
// of the array beyond the new count stay as they were.
void CheckLoading(const LoadedFrame& loaded) {
    PulseFrame frame;
    for (size_t i = 0; i < frame.Durations.size(); ++i) {
        frame.Durations[i] = static_cast<int32_t>(1000 + i);
    }
    frame.Count = FrameCapacity;
    PulseFrame expected = frame;
    std::copy(loaded.Durations.begin(), loaded.Durations.end(), expected.Durations.begin());
    expected.Count = static_cast<int32_t>(loaded.Durations.size());
    expected.Mode = loaded.Mode;

    Recorder recorder;
    FrameCore core(frame, recorder, recorder, recorder);
    core.LoadFrame(loaded);

    FUZZ_REQUIRE(frame.Count == expected.Count && frame.Mode == expected.Mode &&
                     frame.Durations == expected.Durations,
                 "the loaded frame");
    FUZZ_REQUIRE(!core.FrameReceived() && !core.LinkConfirmed(), "loading leaves the flags");
    FUZZ_REQUIRE(recorder.commands.empty(), "loading sends nothing");
    FUZZ_REQUIRE(recorder.panelWrites.size() == 2 && recorder.panelWrites[0].first == 1 &&
                     recorder.panelWrites[0].second == std::to_string(expected.Count),
                 "loading shows the count in panel 1, then the view");
    FUZZ_REQUIRE(recorder.chartCalls.size() == 2 + 1 + 2 * static_cast<size_t>(expected.Count),
                 "loading draws once");
    CheckDrawing(recorder, frame);
}

bool SameLoaded(const std::optional<LoadedFrame>& a, const std::optional<LoadedFrame>& b) {
    if (!a || !b) {
        return a.has_value() == b.has_value();
    }
    return a->Mode == b->Mode && a->Durations == b->Durations;
}

} // namespace

void CheckFrameFile(std::string_view input) {
    const std::optional<LoadedFrame> parsed = ParseFrameFile(input);
    const std::optional<ReferenceFile> reference =
        ReadFrameFileReference(input, FrameFileSizeLimit, FrameCapacity);

    FUZZ_REQUIRE(parsed.has_value() == reference.has_value(),
                 parsed ? "a file that must be rejected was taken"
                        : "a file that must be taken was rejected");
    if (!parsed) {
        return;
    }
    FUZZ_REQUIRE(parsed->Mode == reference->mode, "the mode read");
    FUZZ_REQUIRE(parsed->Durations == reference->durations, "the durations read");
    FUZZ_REQUIRE(!parsed->Durations.empty() &&
                     parsed->Durations.size() <= static_cast<size_t>(FrameCapacity),
                 "an accepted file holds 1..301 durations");

    // Writing the frame back and reading it again changes nothing.
    const PulseFrame frame = FrameOf(*parsed);
    const std::string written = FrameFileText(frame);
    CheckWrittenForm(written, frame);
    const std::optional<LoadedFrame> again = ParseFrameFile(written);
    FUZZ_REQUIRE(SameLoaded(again, parsed), "a written frame reads back differently");
    FUZZ_REQUIRE(FrameFileText(FrameOf(*again)) == written, "writing is not stable");

    CheckLoading(*parsed);
}

} // namespace frame::fuzz

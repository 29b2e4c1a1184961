#include "fuzz/checks/Drawing.h"
#include "fuzz/checks/FrameTargets.h"
#include "fuzz/checks/FuzzCheck.h"
#include "fuzz/checks/Recorder.h"
#include "fuzz/checks/Reference.h"

#include "frame/FrameCore.h"

#include <algorithm>
#include <span>

namespace frame::fuzz {

namespace {

// A piece of the input made of this single byte is an event rather than a device line, so one
// input can interleave lines with connections, drops and user commands.
enum Event : char {
    Connected = 1,
    Disconnected = 2,
    TimeOut = 3,
    Invert = 4,
    EmitCaptured = 5,
    EmitFrame = 6,
    CommandSent = 7,
};

const std::string_view LinkTexts[] = {"próba połączenia", "<----> Połączony",
                                      "--> x <-- Rozłączony"};
constexpr std::string_view IdentPrefix = "<----> Połączony     ";

// What the main window must hold after every step, kept apart from the frame core.
struct Model {
    PulseFrame frame;
    bool frameReceived = false;
    bool linkConfirmed = false;
};

bool SameFrame(const PulseFrame& a, const PulseFrame& b) {
    return a.Count == b.Count && a.Mode == b.Mode && a.Durations == b.Durations;
}

void CheckPanelTexts(const Recorder& recorder) {
    for (const auto& [panel, text] : recorder.panelWrites) {
        switch (panel) {
        case 1: {
            const auto count = ReadCanonical(text);
            FUZZ_REQUIRE(count && *count >= 0 && *count <= FrameCapacity,
                         "panel 1 must show a count 0..301, not \"" + text + "\"");
            break;
        }
        case 3:
            FUZZ_REQUIRE(text == "ODBIORNIK" || text == "NADAJNIK", "panel 3: \"" + text + "\"");
            break;
        case 5:
            FUZZ_REQUIRE(std::find(std::begin(LinkTexts), std::end(LinkTexts), text) !=
                                 std::end(LinkTexts) ||
                             text.starts_with(IdentPrefix),
                         "panel 5: \"" + text + "\"");
            break;
        default:
            FUZZ_REQUIRE(false, "panel " + std::to_string(panel) + " is not the core's");
        }
    }
}

using PanelWrites = std::vector<std::pair<int, std::string>>;

void ExpectPanels(const Recorder& recorder, const PanelWrites& expected, const char* step) {
    FUZZ_REQUIRE(recorder.panelWrites == expected, std::string("panel writes of ") + step);
}

void TakeLine(FrameCore& core, Recorder& recorder, Model& model, std::string_view line) {
    const ReferenceLine reference = ReadDeviceLine(line, DeviceSignature);
    core.ZorComPort1RxString(line);

    FUZZ_REQUIRE(recorder.commands.empty(), "a received line sends nothing");
    if (reference.kind == ReferenceLine::Kind::Acknowledgement) {
        FUZZ_REQUIRE(recorder.chartCalls.empty(), "\"OK\" leaves the chart alone");
        PanelWrites expected;
        if (!model.linkConfirmed) {
            expected.emplace_back(5, "<----> Połączony");
        }
        ExpectPanels(recorder, expected, "\"OK\"");
        model.linkConfirmed = true;
        return;
    }

    PanelWrites expected;
    if (reference.identification) {
        expected.emplace_back(5, std::string(IdentPrefix) + reference.identText);
    }
    FUZZ_REQUIRE(!recorder.chartCalls.empty() &&
                     recorder.chartCalls.front() == Recorder::ChartCall::Clear,
                 "every line but \"OK\" clears the chart first");

    if (reference.kind == ReferenceLine::Kind::Other) {
        ExpectPanels(recorder, expected, "a line that is no frame");
        FUZZ_REQUIRE(recorder.chartCalls.size() == 1 && recorder.series.empty(),
                     "a line that is no frame only clears the chart");
        return;
    }

    // A longer line keeps its first FrameCapacity values; the tail of an earlier, longer frame
    // stays beyond Count.
    const size_t kept = std::min(reference.durations.size(), static_cast<size_t>(FrameCapacity));
    std::copy_n(reference.durations.begin(), kept, model.frame.Durations.begin());
    model.frame.Count = static_cast<int32_t>(kept);
    model.frameReceived = true;

    expected.emplace_back(1, std::to_string(kept));
    expected.emplace_back(3, model.frame.Mode != 0 ? "ODBIORNIK" : "NADAJNIK");
    ExpectPanels(recorder, expected, "a frame line");
    FUZZ_REQUIRE(recorder.chartCalls.size() == 1 + 2 + 1 + 2 * kept,
                 "a frame line clears, then draws once");
    CheckDrawing(recorder, model.frame);
}

void TakeEvent(FrameCore& core, Recorder& recorder, Model& model, Event event) {
    switch (event) {
    case Connected:
        core.ZorComPort1Connected();
        ExpectPanels(recorder, {{5, "próba połączenia"}}, "a connection");
        FUZZ_REQUIRE((recorder.commands == std::vector<std::string>{"AT\r", "ATI\r"}),
                     "a connection sends \"AT\\r\" then \"ATI\\r\"");
        break;
    case Disconnected:
        core.ZorComPort1Disconnected();
        ExpectPanels(recorder, {{5, "--> x <-- Rozłączony"}}, "a disconnection");
        model.linkConfirmed = false;
        break;
    case TimeOut:
        core.ZorComPort1ATTimeOut();
        ExpectPanels(recorder, {{5, "--> x <-- Rozłączony"}}, "a check time-out");
        break;
    case Invert:
        core.Zanegujwykres1Click();
        model.frame.Mode ^= 1;
        FUZZ_REQUIRE(recorder.panelWrites.size() == 1, "inverting writes panel 3 only");
        CheckDrawing(recorder, model.frame);
        break;
    case EmitCaptured: {
        const bool sent = core.EmitujKodExecute();
        FUZZ_REQUIRE(sent == (model.frame.Count > 0), "emitting the captured code needs pulses");
        FUZZ_REQUIRE(recorder.commands ==
                         (sent ? std::vector<std::string>{"ab1\r"} : std::vector<std::string>{}),
                     "emitting the captured code sends \"ab1\\r\" alone");
        break;
    }
    case EmitFrame: {
        core.EmitujWykresExecute();
        const ParsedEmission emission = ParseEmission(recorder.commands);
        FUZZ_REQUIRE(emission.error.empty(), "emission commands: " + emission.error);
        const auto pulses = std::span<const int32_t>(model.frame.Durations)
                                .first(static_cast<size_t>(model.frame.Count));
        FUZZ_REQUIRE(std::equal(emission.durations.begin(), emission.durations.end(),
                                pulses.begin(), pulses.end()),
                     "the emission commands carry the frame's durations");
        break;
    }
    case CommandSent:
        core.ZorComPort1SendStr("AT\r");
        break;
    }
    if (event != Invert) {
        FUZZ_REQUIRE(recorder.chartCalls.empty(), "only inverting touches the chart");
    }
    if (event != Connected && event != EmitCaptured && event != EmitFrame) {
        FUZZ_REQUIRE(recorder.commands.empty(), "this event sends nothing");
    }
}

} // namespace

void CheckDeviceLines(std::string_view input) {
    PulseFrame frame;
    Recorder recorder;
    FrameCore core(frame, recorder, recorder, recorder);
    Model model;

    while (!input.empty()) {
        const auto end = input.find('\n');
        std::string_view piece = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        if (piece.ends_with('\r')) {
            piece.remove_suffix(1);
        }

        recorder.Clear();
        if (piece.size() == 1 && piece[0] >= Connected && piece[0] <= CommandSent) {
            TakeEvent(core, recorder, model, static_cast<Event>(piece[0]));
        } else {
            TakeLine(core, recorder, model, piece);
        }

        CheckPanelTexts(recorder);
        FUZZ_REQUIRE(SameFrame(frame, model.frame),
                     "the frame differs from the model (count " + std::to_string(frame.Count) +
                         ", expected " + std::to_string(model.frame.Count) + ")");
        FUZZ_REQUIRE(&core.Frame() == &frame, "the core works on the caller's frame");
        FUZZ_REQUIRE(frame.Count >= 0 && frame.Count <= FrameCapacity, "Count out of 0..301");
        FUZZ_REQUIRE(core.FrameReceived() == model.frameReceived, "FrameReceived");
        FUZZ_REQUIRE(core.LinkConfirmed() == model.linkConfirmed, "LinkConfirmed");
    }
}

} // namespace frame::fuzz

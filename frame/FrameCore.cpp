#include "frame/FrameCore.h"

#include "frame/Emission.h"
#include "frame/Pulses.h"
#include "frame/TextFields.h"

#include <algorithm>
#include <string>
#include <utility>

namespace frame {

namespace {

constexpr double HighLevel = WaveHighLevel;
constexpr double LowLevel = WaveLowLevel;

} // namespace

FrameCore::FrameCore(PulseFrame& frame, StatusSink& status, ChartSink& chart, CommandSink& commands)
    : frame_(frame), status_(status), chart_(chart), commands_(commands) {}

void FrameCore::ZorComPort1RxString(std::string_view ABuf) {
    // Only the exact acknowledgement counts; "OK " or "ok" fall through and clear the chart.
    if (ABuf == DeviceAcknowledgement) {
        // Later acknowledgements (answers to the periodic check) must not hide the identification.
        if (!linkConfirmed_) {
            status_.SetPanelText(PanelLink, TextLinked);
        }
        linkConfirmed_ = true;
        return;
    }

    std::string_view line = ABuf;
    if (line.find(DeviceIdentMarker) != std::string_view::npos) {
        TakeField(line, ':');
        std::string text(TextLinkedIdent);
        text += line;
        status_.SetPanelText(PanelLink, text);
        // The text after the colon is still read below: it may itself be a frame line.
    }

    if (!held_) {
        chart_.ClearSeries();
    }
    if (TakeField(line, ',') != DeviceSignature) {
        return;
    }
    TakeFrameLine(line);
}

void FrameCore::TakeFrameLine(std::string_view fields) {
    frameReceived_ = true;
    line_.clear();
    // A longer line keeps its first FrameCapacity values; the rest is not even read.
    while (!fields.empty() && line_.size() < static_cast<size_t>(FrameCapacity)) {
        line_.push_back(DurationFromField(TakeField(fields, ',')));
    }
    const std::optional<SignalCarrier> carrier = std::exchange(incoming_, std::nullopt);
    if (held_) {
        Announce({FrameChange::DeviceFrame, line_, frame_.Mode, carrier, false, {}});
        return;
    }
    std::copy(line_.begin(), line_.end(), frame_.Durations.begin());
    frame_.Count = static_cast<int32_t>(line_.size());
    carrier_ = carrier;
    ShowPulseCount();
    DrawFrame(frame_.Mode);
    AnnounceCurrent(FrameChange::DeviceFrame);
}

void FrameCore::AddObserver(FrameObserver& observer) {
    observers_.push_back(&observer);
}

void FrameCore::RemoveObserver(FrameObserver& observer) {
    std::erase(observers_, &observer);
}

void FrameCore::Announce(const FrameEvent& event) {
    // By index: an observer may change the frame again (an echo shown while held), which
    // announces in turn, but none adds or removes observers while being told.
    for (size_t i = 0; i < observers_.size(); ++i) {
        observers_[i]->FrameChanged(event);
    }
}

void FrameCore::AnnounceCurrent(FrameChange why, std::string_view source) {
    Announce({why, Pulses(frame_), frame_.Mode, carrier_, true, source});
}

void FrameCore::ShowPulseCount() {
    status_.SetPanelText(PanelPulseCount, std::to_string(frame_.Count));
}

void FrameCore::ZorComPort1Connected() {
    status_.SetPanelText(PanelLink, TextConnecting);
    commands_.SendCommand(CheckCommand);
    commands_.SendCommand(IdentCommand);
}

void FrameCore::ZorComPort1Disconnected() {
    status_.SetPanelText(PanelLink, TextDisconnected);
    linkConfirmed_ = false;
}

void FrameCore::ZorComPort1ATTimeOut() {
    status_.SetPanelText(PanelLink, TextDisconnected);
}

void FrameCore::ZorComPort1SendStr(std::string_view /*AString*/) {}

void FrameCore::DrawFrame(int32_t Mode) {
    frame_.Mode = Mode;
    chart_.ClearSeries();
    chart_.SetBottomAxisAutomatic();

    // Modes other than 0 and 1 come only from hand-edited files; they start at (Mode XOR 1).
    double level = static_cast<double>(Mode ^ 1);
    if (level == 0.0) {
        level = LowLevel;
    }
    chart_.AddPoint(0.0, level, "");
    const double firstLevel = level;
    status_.SetPanelText(PanelMode, Mode != 0 ? TextReceiverView : TextTransmitterView);

    // The running time is summed in 64 bits: 301 values of at most 2^31 in magnitude cannot
    // overflow it, and every sum is exact as a double, so huge or negative durations from a
    // hand-edited file still give true times instead of wrapping around.
    int64_t x = 0;
    for (const int32_t d : Pulses(frame_)) {
        const int64_t start = x;
        x += d;
        chart_.AddPoint(static_cast<double>(start), level, ".");
        chart_.AddPoint(static_cast<double>(x), level, std::to_string(d));
        level = level == HighLevel ? LowLevel : HighLevel;
    }
    chart_.FrameDrawn(Pulses(frame_), firstLevel);
}

void FrameCore::Zanegujwykres1Click() {
    DrawFrame(frame_.Mode ^ 1);
    AnnounceCurrent(FrameChange::Inversion);
}

void FrameCore::LoadFrame(const LoadedFrame& loaded, FrameChange why, std::string_view source) {
    const size_t count = std::min(loaded.Durations.size(), static_cast<size_t>(FrameCapacity));
    std::copy_n(loaded.Durations.begin(), count, frame_.Durations.begin());
    frame_.Count = static_cast<int32_t>(count);
    carrier_ = loaded.Carrier;
    ShowPulseCount();
    DrawFrame(loaded.Mode);
    AnnounceCurrent(why, source);
}

bool FrameCore::EmitujKodExecute() {
    if (frame_.Count <= 0) {
        return false;
    }
    commands_.SendCommand(EmitCapturedCommand);
    return true;
}

void FrameCore::EmitujWykresExecute() {
    for (const std::string& command : FrameEmissionCommands(frame_)) {
        commands_.SendCommand(command);
    }
}

} // namespace frame

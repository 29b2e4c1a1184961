#include "ui/DeviceLink.h"

#include "frame/PulseFrame.h"
#include "frame/TextFields.h"
#include "serial/FlipperSource.h"
#include "serial/SerialLine.h"
#include "ui/SignalFiles.h"

#include <utility>

namespace ui {

namespace {

constexpr std::string_view SendPrefix = "AT+SND=";
constexpr std::string_view EmitCaptured = "ab1\r";
// Positions beyond a frame's capacity are not kept (the frame core never sends them).
constexpr int32_t MaxPosition = frame::FrameCapacity;

std::string DevicePath(const std::string& name) {
    return serial::TSerialLine::PortDevicePath(name);
}

} // namespace

DeviceLink::DeviceLink(serial::DeviceSourceFactory factory, Handlers handlers, QObject* parent)
    : QObject(parent), factory_(std::move(factory)), handlers_(std::move(handlers)) {
    if (!factory_) {
        factory_ = serial::MakeDeviceSource;
    }
}

DeviceLink::~DeviceLink() = default;

bool DeviceLink::Open(const std::string& name) {
    Close();
    const serial::DeviceKind kind = serial::DeviceKindOfPort(DevicePath(name));
    if (kind == serial::DeviceKind::AtDevice) {
        return false;
    }
    Start(kind, name);
    return source_ != nullptr;
}

void DeviceLink::OpenFlipper(const std::string& name) {
    Close();
    Start(serial::DeviceKind::Flipper, name);
}

void DeviceLink::Start(serial::DeviceKind kind, const std::string& name) {
    serial::DeviceSourceEvents events;
    events.OnConnected = [this](const std::string& ident) {
        ident_ = ident;
        handlers_.Connected(ident);
    };
    events.OnDisconnected = [this] { handlers_.Disconnected(); };
    events.OnFrame = [this](const serial::DeviceFrame& frame) { TakeFrame(frame); };
    events.OnHint = [this](const std::string& hint) {
        handlers_.Hint(QString::fromStdString(hint));
    };
    source_ = factory_(kind, DevicePath(name), std::move(events));
    if (source_) {
        source_->Start();
    }
}

void DeviceLink::Close() {
    source_.reset();
    gathered_.clear();
    ident_.clear();
}

bool DeviceLink::IsFlipperTalking(std::string_view line) const {
    return !source_ && serial::IsFlipperPromptLine(line);
}

void DeviceLink::TakeFrame(const serial::DeviceFrame& frame) {
    if (frame.Durations.size() > static_cast<std::size_t>(frame::FrameCapacity)) {
        handlers_.Hint(OverlongSignalText(
            QStringLiteral("Sygnał z urządzenia %1").arg(QString::fromStdString(ident_)),
            frame.Durations.size()));
        return;
    }
    lastFrame_ = frame.Durations;
    lastCarrier_ = frame.Carrier;
    std::string line(frame::DeviceSignature);
    for (const int32_t d : frame.Durations) {
        line += ',';
        line += std::to_string(d);
    }
    std::optional<frame::SignalCarrier> carrier;
    if (frame.Carrier) {
        carrier = frame::SignalCarrier{frame.Carrier->Hz, frame.Carrier->DutyCycle};
    }
    handlers_.FrameLine(line, carrier);
}

void DeviceLink::TakeCommand(std::string_view command) {
    if (command == EmitCaptured) {
        Emit(lastFrame_);
        return;
    }
    if (command.substr(0, SendPrefix.size()) != SendPrefix) {
        return; // the AT device's own commands mean nothing to the others
    }
    std::string_view fields = command.substr(SendPrefix.size());
    const int32_t position = frame::DurationFromField(frame::TakeField(fields, ','));
    const int32_t value = frame::DurationFromField(frame::TakeField(fields, '\r'));
    if (position == 0) {
        const auto count = static_cast<std::size_t>(std::max(value, 0));
        std::vector<int32_t> durations(gathered_.begin(),
                                       gathered_.begin() + std::min(count, gathered_.size()));
        gathered_.clear();
        Emit(durations);
    } else if (position > 0 && position <= MaxPosition) {
        if (gathered_.size() < static_cast<std::size_t>(position)) {
            gathered_.resize(static_cast<std::size_t>(position));
        }
        gathered_[static_cast<std::size_t>(position - 1)] = value;
    }
}

void DeviceLink::Emit(const std::vector<int32_t>& durations) {
    if (!source_) {
        return;
    }
    // A signal keeps the carrier its device measured; anything else goes on the default.
    const serial::DeviceCarrier carrier =
        lastCarrier_ && durations == lastFrame_ ? *lastCarrier_ : handlers_.DefaultCarrier();
    if (const auto refusal = source_->Emit(durations, carrier)) {
        handlers_.Refused(QString::fromStdString(*refusal));
    }
}

} // namespace ui

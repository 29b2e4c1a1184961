#pragma once

#include "frame/FrameEvents.h"
#include "serial/DeviceSource.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// The window's one place for the devices beside the AT device: it chooses the source by the port,
// hands the source's events to the window's own handlers (a frame as the equivalent frame line, so
// history, decode, hold and compare take it as they take the AT device's), and routes the frame
// core's emission commands to the source while one is active. Main thread only.
class DeviceLink final : public QObject {
public:
    struct Handlers {
        // A frame line as the AT device would send it, with the carrier the device measured.
        std::function<void(const std::string& line,
                           const std::optional<frame::SignalCarrier>& carrier)>
            FrameLine;
        std::function<void(const std::string& ident)> Connected;
        std::function<void()> Disconnected;
        // Something the user should know, shown beside the link panel.
        std::function<void(const QString& hint)> Hint;
        // An emission the device refused, and why.
        std::function<void(const QString& text)> Refused;
        // The carrier of the frame on the chart: its own where known, else the setting's.
        std::function<serial::DeviceCarrier()> DefaultCarrier;
    };

    // An empty factory means serial::MakeDeviceSource.
    DeviceLink(serial::DeviceSourceFactory factory, Handlers handlers, QObject* parent = nullptr);
    ~DeviceLink() override;

    // Starts the source for the port `name` (as the user gave it) when a device other than the AT
    // device is behind it; false for the AT device, which the caller's port component serves.
    bool Open(const std::string& name);
    void Close();
    bool Active() const { return source_ != nullptr; }

    // A line from the AT device's port. The Flipper's prompt there means the port is a Flipper's
    // whose USB ids were not known; returns true when so (the caller then hands the port over
    // with OpenFlipper, outside the port component's own event).
    bool IsFlipperTalking(std::string_view line) const;
    void OpenFlipper(const std::string& name);

    // One command of the frame core ("AT+SND=p,d\r", "AT+SND=0,n\r", "ab1\r") while a source is
    // active: the pulses are gathered and emitted as one signal.
    void TakeCommand(std::string_view command);

private:
    void Start(serial::DeviceKind kind, const std::string& name);
    void TakeFrame(const serial::DeviceFrame& frame);
    void Emit(const std::vector<int32_t>& durations);

    serial::DeviceSourceFactory factory_;
    Handlers handlers_;
    std::unique_ptr<serial::DeviceSource> source_;
    std::string ident_;
    std::vector<int32_t> gathered_;
    // The device's last frame, what "Emituj odebrany kod" sends, with its carrier where known.
    std::vector<int32_t> lastFrame_;
    std::optional<serial::DeviceCarrier> lastCarrier_;
};

} // namespace ui

#pragma once

// DeviceSource: one capture/emission device that does not speak the AT line protocol (a Flipper
// Zero's CLI, a Linux /dev/lirc receiver). Each such device is one small class that turns its own
// protocol into the events below, which the main window handles exactly as it handles the AT
// device's port component: a connection with an identification text for the link panel, a
// disconnection, a captured frame, a readable hint. The AT device keeps its own component
// (TZorComPort) and is never reached through this seam.
//
// Thread contract
// - Every member, every event and the destructor run on the thread that created the source (the
//   main thread of the Qt application). A source does its I/O there too, driven by the event loop
//   (typically a QSocketNotifier on its descriptor and QTimers), never blocking it for longer than
//   a non-blocking read or write takes. A source that wants a thread of its own must still deliver
//   every event on the creating thread.
// - Events are called from the event loop, never from inside Start(), Emit() or the destructor,
//   so a handler may call any member except destroying the source (use a queued deletion).
//
// Ownership
// - A source owns its descriptor through serial::UniqueFd and closes it in Stop() and in its
//   destructor; nothing else holds the descriptor. The events are copied in at construction.
//
// Implementations: MakeFlipperSource (serial/FlipperSource.cpp) for a Flipper Zero on its USB
// CLI; MakeLircSource for /dev/lirc* in mode2, which the lirc helper implements on this same seam
// (serial/LircSource.cpp). MakeDeviceSource (serial/DeviceSources.cpp) chooses among them.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace serial {

// The carrier of a signal as a device measured or needs it.
struct DeviceCarrier {
    int Hz = 38000;
    // 0..1; the share of each carrier period the LED is lit.
    double DutyCycle = 0.33;
};

// One captured frame: durations in µs, mark first, then alternating space and mark.
struct DeviceFrame {
    std::vector<int32_t> Durations;
    // Set when the device reports the carrier it saw (most receivers do not).
    std::optional<DeviceCarrier> Carrier;
};

struct DeviceSourceEvents {
    // The device answers; `ident` follows the link panel's fixed "connected" text (for instance
    // "Flipper Zero 1.0.1", "lirc0 — mceusb, 50 µs").
    std::function<void(const std::string& ident)> OnConnected;
    // The link ended: the device vanished, stopped answering, or could not be opened. Also sent
    // once after a failed Start(), after OnHint has told why.
    std::function<void()> OnDisconnected;
    std::function<void(const DeviceFrame& frame)> OnFrame;
    // Something the user should know or do, in Polish, readable as it stands ("zamknij aplikację
    // Infrared na Flipperze"). The link stays as it was.
    std::function<void(const std::string& hint)> OnHint;
};

class DeviceSource {
public:
    virtual ~DeviceSource() = default;

    // Opens the device and starts listening; the outcome comes as events.
    virtual void Start() = 0;
    // Closes the device at once; no event follows.
    virtual void Stop() = 0;
    // Between OnConnected and OnDisconnected.
    virtual bool Linked() const = 0;

    // Emits `durations` (µs, mark first) on `carrier`. Returns the reason in Polish when the
    // device cannot (no link, no transmitter, too many durations, a carrier it cannot make);
    // nothing is sent then. nullopt: the emission has been handed to the device.
    virtual std::optional<std::string> Emit(const std::vector<int32_t>& durations,
                                            const DeviceCarrier& carrier) = 0;
};

// A Flipper Zero on its USB CLI: MakeFlipperSource in serial/FlipperSource.h.
// A Linux IR device (/dev/lircN) in mode2 (serial/LircSource.cpp, by the lirc helper).
std::unique_ptr<DeviceSource> MakeLircSource(const std::string& path, DeviceSourceEvents events);

// What a port name says about the device behind it, from the name and the system's description
// of the port (USB ids from sysfs).
enum class DeviceKind { AtDevice, Flipper, Lirc };

DeviceKind DeviceKindOfPort(std::string_view port);

// The source for `port`, or nullptr when the port belongs to the AT device (the caller then uses
// its port component). One place decides; the window holds no device-specific branch.
std::unique_ptr<DeviceSource> MakeDeviceSource(DeviceKind kind, const std::string& port,
                                               DeviceSourceEvents events);

// How the window makes its sources; tests replace it (an empty one means MakeDeviceSource).
using DeviceSourceFactory = std::function<std::unique_ptr<DeviceSource>(
    DeviceKind kind, const std::string& port, DeviceSourceEvents events)>;

} // namespace serial

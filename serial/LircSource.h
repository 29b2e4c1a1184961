#pragma once

#include "serial/DeviceSource.h"
#include "serial/LircDevice.h"

#include <functional>
#include <memory>
#include <string>

namespace serial {

// A Linux IR receiver/transmitter (/dev/lircN) as a DeviceSource: frames in mode2, emission in
// pulse mode. Reads are driven by a notifier on the device; when the device sends no time-out
// sample, a silence of its frame gap ends the frame in progress. Emission writes the durations at
// once: the kernel returns when the device has sent them, so the event loop waits that long.

// Opens and sets up the device; on failure answers nullptr with the errno value and, where the
// device itself is unfit, the reason.
using LircOpener = std::function<std::unique_ptr<TLircDevice>(int& error, std::string& reason)>;

// The source on the device `open` gives; `devicePath` names it in the hints.
std::unique_ptr<DeviceSource> MakeLircSource(LircOpener open, std::string devicePath,
                                             DeviceSourceEvents events);

// "/dev/lirc0" for "lirc0"; a path is kept as it is.
std::string LircDevicePath(const std::string& port);

} // namespace serial

#include "serial/DeviceSource.h"

#include "serial/EnumComPorts.h"
#include "serial/FlipperSource.h"
#include "serial/LircPorts.h"

#include <filesystem>
#include <utility>

namespace serial {

namespace {

// The USB ids a Flipper Zero's CLI port reports.
constexpr std::string_view FlipperUsbIds = "0483:5740";

} // namespace

DeviceKind DeviceKindOfPort(std::string_view port) {
    if (IsLircPortName(port)) {
        return DeviceKind::Lirc;
    }
    if (DescribeComPort(port).UsbIds == FlipperUsbIds) {
        return DeviceKind::Flipper;
    }
    return DeviceKind::AtDevice;
}

std::unique_ptr<DeviceSource> MakeDeviceSource(DeviceKind kind, const std::string& port,
                                               DeviceSourceEvents events) {
    switch (kind) {
    case DeviceKind::Flipper:
        return MakeFlipperSource(port, std::move(events));
    case DeviceKind::Lirc:
        return MakeLircSource(port, std::move(events));
    case DeviceKind::AtDevice:
        break;
    }
    return nullptr;
}

} // namespace serial

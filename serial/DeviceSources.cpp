#include "serial/DeviceSource.h"

#include "serial/EnumComPorts.h"
#include "serial/FlipperSource.h"

#include <filesystem>
#include <utility>

namespace serial {

namespace {

// The USB ids a Flipper Zero's CLI port reports.
constexpr std::string_view FlipperUsbIds = "0483:5740";

} // namespace

DeviceKind DeviceKindOfPort(std::string_view port) {
    const std::string name = std::filesystem::path(port).filename().string();
    if (name.rfind("lirc", 0) == 0) {
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
        // LIRC HOOK: the lirc helper's source goes here:
        //     return MakeLircSource(port, std::move(events));
        return nullptr;
    case DeviceKind::AtDevice:
        break;
    }
    return nullptr;
}

} // namespace serial

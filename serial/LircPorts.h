#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace serial {

// Whether the port `name` ("lirc0", "/dev/lirc1") is a LIRC device rather than a serial port.
bool IsLircPortName(std::string_view name);

// The LIRC devices of the system's remote-control receivers and transmitters ("lirc0"; each opens
// under /dev), found as the lirc entries of the rc class, in number order. Nothing is opened;
// nothing is reported when the tree cannot be read.
std::vector<std::string> EnumLircPorts(const std::filesystem::path& rcClass = "/sys/class/rc");

// The name of the driver behind the LIRC device `name` ("mceusb"), from its rc device's uevent or
// its driver link; empty when neither can be read.
std::string LircDriverName(std::string_view name,
                           const std::filesystem::path& rcClass = "/sys/class/rc");

// How the program names the device to the user: "lirc0 — mceusb", or the bare name.
std::string LircPortLabel(std::string_view name,
                          const std::filesystem::path& rcClass = "/sys/class/rc");

} // namespace serial

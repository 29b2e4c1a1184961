#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace serial {

// Receives the one message of the port listing, "Problem with COM ports reg enumeration".
using TEnumMessageHook = std::function<void(std::string_view message)>;

// Replaces the receiver of the listing's message (thread-safe); an empty hook restores the
// default, which prints the message to standard error.
void SetEnumMessageHook(TEnumMessageHook hook);

// Replaces the contents of `List` with the kernel names of the serial ports the system knows
// ("ttyS0", "ttyUSB0"; the driver opens a name without "/" under /dev), sorted as text ignoring
// case (so ttyS10 comes before ttyS2), duplicates kept. A port is a tty class entry with a device
// behind it; 8250 ports whose UART type is 0 (no UART found) are left out. No port is opened.
//
// When `sysfsRoot` cannot be read at all the message goes to the hook and the list becomes
// empty. An entry that cannot be read ends the listing there, keeping what was found before it.
// On an exception (from the hook, or out of memory) the list keeps its earlier contents.
void EnumComPorts(std::vector<std::string>& List,
                  const std::filesystem::path& sysfsRoot = "/sys/class/tty");

// What the port list tells about a port besides its name.
struct TComPortDetails {
    // The USB device's manufacturer and product ("FTDI FT232R USB UART"), its vendor and product
    // ids when it names neither, "Flipper Zero" for that device's CLI port (whose product string
    // is the owner's name for it); empty for a port that is not on USB.
    std::string Description;
    // The name under `byIdDir` that links to the port; empty when there is none.
    std::string ById;
    // "vendor:product" in lower-case hex ("0483:5740"); empty for a port that is not on USB.
    std::string UsbIds;
};

// The details of the port `name` (a kernel name as EnumComPorts gives it, or a path ending in
// one). Whatever cannot be read is left empty; nothing is reported.
TComPortDetails DescribeComPort(std::string_view name,
                                const std::filesystem::path& sysfsRoot = "/sys/class/tty",
                                const std::filesystem::path& byIdDir = "/dev/serial/by-id");

} // namespace serial

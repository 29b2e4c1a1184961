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

// Replaces the contents of `List` with the device paths of the serial ports the system knows
// ("/dev/ttyS0", "/dev/ttyUSB0"), sorted as text ignoring case (so /dev/ttyS10 comes before
// /dev/ttyS2), duplicates kept. A port is a tty class entry with a device behind it; 8250 ports
// whose UART type is 0 (no UART found) are left out. No port is opened.
//
// When `sysfsRoot` cannot be read at all the message goes to the hook and the list becomes
// empty. An entry that cannot be read ends the listing there, keeping what was found before it.
// On an exception (from the hook, or out of memory) the list keeps its earlier contents.
void EnumComPorts(std::vector<std::string>& List,
                  const std::filesystem::path& sysfsRoot = "/sys/class/tty");

} // namespace serial

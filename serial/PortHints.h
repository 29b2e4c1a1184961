#pragma once

#include "serial/PortHolders.h"

#include <string>
#include <string_view>
#include <vector>

namespace serial {

// Why a port cannot be used, in Polish, as the window and the command-line tools say it.

// The cause for a port that failed with `error` (an errno value or a driver code, with the
// driver's text `desc`). `holders` name the programs that keep a busy port.
std::string PortErrorHint(std::string_view devicePath, int error, std::string_view desc,
                          const std::vector<TPortHolder>& holders);
// The same, with the holders of a busy port found under /proc.
std::string PortErrorHint(std::string_view devicePath, int error, std::string_view desc);
// The cause for a port that opened but whose device does not answer.
std::string DeviceSilentHint(std::string_view devicePath);

} // namespace serial

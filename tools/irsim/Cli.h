#pragma once

// The command line of the simulator program: its options and the commands typed on its
// standard input. Kept apart from main() so tests can drive both.

#include "tools/irsim/Simulator.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace irsim {

struct CliOptions {
    SimulatorOptions simulator;
    // Plays a Flipper Zero's command line instead of the AT device.
    bool flipper = false;
    bool exitOnEof = false;
    bool quiet = false;
};

struct ParsedArguments {
    std::optional<CliOptions> options; // set when the program should run
    bool help = false;                 // --help was given
    std::string error;                 // set when the arguments are wrong
};

// Reads the arguments after the program name.
ParsedArguments ParseArguments(const std::vector<std::string>& arguments);

std::string HelpText();

struct ConsoleResult {
    bool ok = true;
    bool quit = false;
    std::string message; // what to print, if anything
};

// Runs one line typed on standard input against the simulator. Blank lines and lines starting
// with '#' do nothing.
ConsoleResult RunConsoleCommand(Simulator& simulator, std::string_view line);

class FlipperSim;
// The same for the Flipper Zero personality.
ConsoleResult RunFlipperConsoleCommand(FlipperSim& flipper, std::string_view line);

// Reads a decimal or 0x-prefixed hexadecimal unsigned number.
std::optional<uint32_t> ParseNumber(std::string_view text);

} // namespace irsim

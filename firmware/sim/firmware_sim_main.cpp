// firmware-sim: the device's firmware in a simulated ATmega328P, its UART0 on a pseudo-terminal,
// with the demo remotes' frames played into the receiver pin every few seconds. The program opens
// the printed terminal (or the --link name) as it would a board.

#include "firmware/sim/LiveDevice.h"
#include "tools/irsim/Remotes.h"

#include <poll.h>

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr const char* Usage = R"(usage: firmware-sim [options]
  --link PATH       a symbolic link to the terminal, removed at the end
  --every MS        play a varied remote frame every MS milliseconds (default 3000, 0: none)
  --firmware ELF    the firmware to run (default: the one this build made)
  --quiet           print only the terminal's path
)";

void Print(FILE* to, std::string_view text) {
    std::fprintf(to, "%.*s\n", int(text.size()), text.data());
    std::fflush(to);
}

} // namespace

int main(int argc, char** argv) {
    std::string link;
    std::string elf = fwsim::FirmwareElfPath();
    int everyMs = 3000;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--link" && hasValue) {
            link = argv[++i];
        } else if (arg == "--firmware" && hasValue) {
            elf = argv[++i];
        } else if (arg == "--every" && hasValue) {
            const std::string_view value = argv[++i];
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), everyMs);
            if (error != std::errc() || end != value.data() + value.size() || everyMs < 0) {
                Print(stderr, "firmware-sim: --every needs milliseconds");
                return 2;
            }
        } else if (arg == "--quiet") {
            quiet = true;
        } else {
            std::fputs(Usage, arg == "--help" ? stdout : stderr);
            return arg == "--help" ? 0 : 2;
        }
    }

    // Before the simulation thread starts, so that it inherits the blocked signals.
    const int signals = irsim::EndingSignals();
    if (signals < 0) {
        Print(stderr, "firmware-sim: signalfd failed");
        return 1;
    }

    try {
        fwsim::LiveDevice device(elf);
        if (!link.empty())
            device.Link(link);
        Print(stdout, device.SlavePath());
        if (!quiet && !link.empty())
            Print(stdout, "-- linked at " + link);
        irsim::Receiver receiver(1, irsim::Jitter{});
        for (;;) {
            pollfd wait{signals, POLLIN, 0};
            if (::poll(&wait, 1, everyMs > 0 ? everyMs : -1) != 0)
                break;
            const irsim::RemoteCode code = receiver.RandomCode();
            device.Play(receiver.Capture(irsim::NominalFrame(code)));
            if (!quiet)
                Print(stdout, "-- playing " + std::string(irsim::RemoteName(code.remote)));
            if (device.ResetSeen()) {
                Print(stderr, "firmware-sim: the firmware restarted");
                return 1;
            }
        }
    } catch (const std::exception& error) {
        Print(stderr, std::string("firmware-sim: ") + error.what());
        return 1;
    }
    return 0;
}

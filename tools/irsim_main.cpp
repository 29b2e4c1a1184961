// irsim: the infra-red device simulator on a pseudo-terminal. See HelpText() for its use.

#include "tools/irsim/Cli.h"
#include "tools/irsim/FlipperSim.h"
#include "tools/irsim/Pty.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <functional>
#include <mutex>
#include <string>

namespace {

std::mutex printing;

void Print(std::FILE* stream, std::string_view text) {
    std::lock_guard lock(printing);
    std::fwrite(text.data(), 1, text.size(), stream);
    if (text.empty() || text.back() != '\n')
        std::fputc('\n', stream);
    std::fflush(stream);
}

// Runs until "quit", a signal, or (when asked) the end of standard input.
int Serve(const std::function<irsim::ConsoleResult(std::string_view)>& run, int signals,
          bool exitOnEof) {
    bool readInput = true;
    std::string pending;
    while (true) {
        std::array<pollfd, 2> fds{{{signals, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}}};
        if (::poll(fds.data(), readInput ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            Print(stderr, "irsim: poll failed");
            return 1;
        }
        if (fds[0].revents & POLLIN)
            return 0;
        if (!readInput || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        std::array<char, 4096> buffer{};
        const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (exitOnEof)
                return 0;
            readInput = false; // keep serving the terminal; a signal ends the program
            continue;
        }
        pending.append(buffer.data(), std::size_t(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            const auto result = run(line);
            if (!result.message.empty())
                Print(result.ok ? stdout : stderr, result.message);
            if (result.quit)
                return 0;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const auto parsed = irsim::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        Print(stdout, irsim::HelpText());
        return 0;
    }
    if (!parsed.options) {
        Print(stderr, "irsim: " + parsed.error + " (try --help)");
        return 2;
    }
    irsim::CliOptions options = *parsed.options;

    // Before the engine thread starts, so that it inherits the blocked signals.
    const int signals = irsim::EndingSignals();
    if (signals < 0) {
        Print(stderr, "irsim: signalfd failed");
        return 1;
    }

    if (!options.quiet)
        options.simulator.log = [](std::string_view text) { Print(stdout, text); };
    int status = 0;
    try {
        if (options.flipper) {
            irsim::FlipperSimOptions flipperOptions;
            flipperOptions.linkPath = options.simulator.linkPath;
            flipperOptions.seed = options.simulator.seed;
            flipperOptions.jitter = options.simulator.jitter;
            flipperOptions.every = options.simulator.every;
            flipperOptions.log = options.simulator.log;
            irsim::FlipperSim flipper(flipperOptions);
            Print(stdout, flipper.SlavePath());
            if (!options.quiet && !flipper.LinkPath().empty())
                Print(stdout, "-- Flipper Zero CLI linked at " + flipper.LinkPath());
            status = Serve(
                [&](std::string_view line) {
                    return irsim::RunFlipperConsoleCommand(flipper, line);
                },
                signals, options.exitOnEof);
        } else {
            irsim::Simulator simulator(options.simulator);
            Print(stdout, simulator.SlavePath());
            if (!options.quiet && !simulator.LinkPath().empty())
                Print(stdout, "-- linked at " + simulator.LinkPath());
            status = Serve(
                [&](std::string_view line) { return irsim::RunConsoleCommand(simulator, line); },
                signals, options.exitOnEof);
        }
    } catch (const std::exception& error) {
        Print(stderr, std::string("irsim: ") + error.what());
        status = 1;
    }
    ::close(signals);
    return status;
}

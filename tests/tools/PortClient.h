#pragma once

#include "serial/UniqueFd.h"
#include "tools/irsim/Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace irsim::test {

using Fd = serial::UniqueFd;
using namespace std::chrono_literals;

// Generous: the machine may be busy with other builds.
constexpr milliseconds Patience = 3000ms;

// The program's end of the line, as plainly as a program would hold it: the slave opened with
// O_NOCTTY, raw mode, non-blocking reads with poll.
class PortClient {
public:
    explicit PortClient(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios settings{};
        if (fd_ && ::tcgetattr(fd_.Get(), &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fd_.Get(), TCSANOW, &settings);
        }
    }

    bool Valid() const { return fd_.Valid(); }

    void Write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd_.Get(), bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(std::size_t(n));
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{fd_.Get(), POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else if (n == 0 || errno != EINTR) {
                return;
            }
        }
    }

    // Sends the command followed by CR and one more CR, as the program does.
    void Command(std::string_view text) { Write(std::string(text) + "\r\r"); }

    // The next CR LF terminated line without its end; nullopt when none comes in time.
    std::optional<std::string> ReadLine(milliseconds timeout = Patience) {
        if (!ReadUntil([&] { return buffer_.find("\r\n") != std::string::npos; }, timeout))
            return std::nullopt;
        const auto end = buffer_.find("\r\n");
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 2);
        return line;
    }

    // The next line, or "<nothing>" when none comes in time; for short assertions.
    std::string Next() { return ReadLine().value_or("<nothing>"); }

    // Everything that arrives until nothing more has come for `quiet`, at most `limit` in all.
    std::string ReadFor(milliseconds quiet, milliseconds limit = 5000ms) {
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline && !hungUp_ && ReadSome(quiet)) {
        }
        return std::exchange(buffer_, {});
    }

    // Reads until `count` bytes have come or the time-out passes.
    std::string ReadBytes(std::size_t count, milliseconds timeout = Patience) {
        ReadUntil([&] { return buffer_.size() >= count; }, timeout);
        std::string bytes = buffer_.substr(0, std::min(count, buffer_.size()));
        buffer_.erase(0, bytes.size());
        return bytes;
    }

    // Waits for a hang-up: poll reporting HUP/ERR or a read giving 0 or EIO.
    bool WaitHangUp(milliseconds timeout = Patience) {
        ReadUntil([&] { return hungUp_; }, timeout);
        return hungUp_;
    }

private:
    // One read after waiting up to `timeout`; false on time-out or hang-up.
    bool ReadSome(milliseconds timeout) {
        pollfd p{fd_.Get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, int(timeout.count()));
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN))
            hungUp_ = true;
        if (ready <= 0 || hungUp_)
            return false;
        std::array<char, 65536> chunk{};
        const ssize_t n = ::read(fd_.Get(), chunk.data(), chunk.size());
        if (n > 0) {
            buffer_.append(chunk.data(), std::size_t(n));
            return true;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            hungUp_ = true;
        return false;
    }

    // Reads until `done` holds, the line hangs up or the time-out passes; returns `done()`.
    template <class Done>
    bool ReadUntil(Done done, milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (!done()) {
            const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || hungUp_)
                return false;
            ReadSome(left);
        }
        return true;
    }

    Fd fd_;
    std::string buffer_;
    bool hungUp_ = false;
};

using ChangeOptions = std::function<void(SimulatorOptions&)>;

// The default options with `change` applied, for one-line set-ups.
inline SimulatorOptions Options(const ChangeOptions& change) {
    SimulatorOptions options;
    if (change)
        change(options);
    return options;
}

// A simulator with the program's end of its line open.
struct Rig {
    explicit Rig(const ChangeOptions& change = {})
        : simulator(Options(change)), port(simulator.SlavePath()) {}
    Simulator simulator;
    PortClient port;
};

} // namespace irsim::test

#include "PortClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace irsim::test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

PortClient::PortClient(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (!fd_) {
        error_ = errno;
        return;
    }
    termios settings{};
    if (::tcgetattr(fd_.Get(), &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(fd_.Get(), TCSANOW, &settings);
    }
}

void PortClient::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_.Get(), bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd_.Get(), POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return;
    }
}

bool PortClient::ReadSome(milliseconds timeout) {
    pollfd p{fd_.Get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, int(timeout.count()));
    if (ready <= 0)
        return false;
    std::array<char, 65536> chunk{};
    const ssize_t n = ::read(fd_.Get(), chunk.data(), chunk.size());
    if (n > 0) {
        buffer_.append(chunk.data(), std::size_t(n));
        return true;
    }
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
        hungUp_ = true;
    return false;
}

std::optional<std::string> PortClient::ReadLine(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        const auto end = buffer_.find("\r\n");
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 2);
            return line;
        }
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || hungUp_)
            return std::nullopt;
        ReadSome(left);
    }
}

std::string PortClient::ReadFor(milliseconds quiet, milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline && !hungUp_ && ReadSome(quiet)) {
    }
    return std::exchange(buffer_, {});
}

std::string PortClient::ReadBytes(std::size_t count, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (buffer_.size() < count && !hungUp_) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        ReadSome(left);
    }
    const std::size_t n = std::min(count, buffer_.size());
    std::string bytes = buffer_.substr(0, n);
    buffer_.erase(0, n);
    return bytes;
}

bool PortClient::WaitHangUp(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!hungUp_) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd_.Get(), POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) > 0 && (p.revents & (POLLHUP | POLLERR))) {
            hungUp_ = true;
            break;
        }
        ReadSome(milliseconds(0));
    }
    return true;
}

} // namespace irsim::test

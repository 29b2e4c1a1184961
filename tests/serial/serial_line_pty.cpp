#include "tests/serial/serial_line_pty.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace serial::testing {

PtyPair::PtyPair() {
    m_Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_Master < 0 || grantpt(m_Master) != 0 || unlockpt(m_Master) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    char name[PATH_MAX] = {};
    if (ptsname_r(m_Master, name, sizeof name) != 0) {
        throw std::runtime_error("no pseudo-terminal name");
    }
    m_SlavePath = name;
}

PtyPair::~PtyPair() {
    HangUp();
}

void PtyPair::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(m_Master, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            throw std::runtime_error("pty write failed");
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}

std::string PtyPair::Receive(std::size_t count, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    std::string out;
    while (out.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd fd{m_Master, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0 || (fd.revents & POLLIN) == 0) {
            break;
        }
        char buffer[4096];
        const ssize_t got = ::read(m_Master, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

void PtyPair::HangUp() {
    if (m_Master >= 0) {
        ::close(m_Master);
        m_Master = -1;
    }
}

} // namespace serial::testing

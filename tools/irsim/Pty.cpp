#include "tools/irsim/Pty.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace irsim {
namespace {

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

Pty::Pty() {
    master_ = serial::UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!master_)
        ThrowErrno("posix_openpt");
    if (::grantpt(master_.Get()) != 0)
        ThrowErrno("grantpt");
    if (::unlockpt(master_.Get()) != 0)
        ThrowErrno("unlockpt");
    std::array<char, 128> name{};
    if (const int error = ::ptsname_r(master_.Get(), name.data(), name.size()); error != 0)
        throw std::system_error(error, std::generic_category(), "ptsname_r");
    slavePath_ = name.data();

    slave_ =
        serial::UniqueFd(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!slave_)
        ThrowErrno("open pty slave");

    // Raw mode so CR and LF pass unchanged and nothing is echoed back to the device.
    termios settings{};
    if (::tcgetattr(slave_.Get(), &settings) != 0)
        ThrowErrno("tcgetattr");
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&settings, B38400);
    ::cfsetospeed(&settings, B38400);
    if (::tcsetattr(slave_.Get(), TCSANOW, &settings) != 0)
        ThrowErrno("tcsetattr");
}

Pty::~Pty() {
    Close();
}

void Pty::Link(const std::string& path) {
    RemoveLink();
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        // Only a link left by an earlier run may be replaced; anything else is the user's file.
        if (!S_ISLNK(existing.st_mode)) {
            errno = EEXIST;
            ThrowErrno("link path exists and is not a symbolic link");
        }
        if (::unlink(path.c_str()) != 0)
            ThrowErrno("unlink old link");
    }
    if (::symlink(slavePath_.c_str(), path.c_str()) != 0)
        ThrowErrno("symlink");
    linkPath_ = path;
}

void Pty::RemoveLink() {
    if (linkPath_.empty())
        return;
    // Remove it only while it still points at this terminal: another run may have taken it over.
    std::array<char, 256> target{};
    const ssize_t n = ::readlink(linkPath_.c_str(), target.data(), target.size() - 1);
    if (n >= 0 && std::string(target.data(), std::size_t(n)) == slavePath_)
        ::unlink(linkPath_.c_str());
    linkPath_.clear();
}

void Pty::Close() {
    RemoveLink();
    slave_.Reset();
    master_.Reset();
}

int EndingSignals() {
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGHUP);
    ::pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &ending, SFD_CLOEXEC);
}

} // namespace irsim

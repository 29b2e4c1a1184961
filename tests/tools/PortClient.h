#pragma once

#include "tools/irsim/Fd.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace irsim::test {

using irsim::Fd;

// The program's end of the line, as plainly as a program would hold it: the slave opened with
// O_NOCTTY, raw mode, non-blocking reads with poll.
class PortClient {
public:
    // Opens `path`; Valid() tells whether it worked (errno kept in Error()).
    explicit PortClient(const std::string& path);

    bool Valid() const { return fd_.Valid(); }
    int Error() const { return error_; }
    int Get() const { return fd_.Get(); }
    void Close() { fd_.Reset(); }

    void Write(std::string_view bytes);
    // Sends the command followed by CR and one more CR, as the program does.
    void Command(std::string_view text) { Write(std::string(text) + "\r\r"); }

    // The next CR LF terminated line without its end; nullopt when none comes in time.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    // Everything that arrives until nothing more has come for `quiet`, at most `limit` in all.
    std::string ReadFor(std::chrono::milliseconds quiet,
                        std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
    // Reads until `count` bytes have come or the time-out passes.
    std::string ReadBytes(std::size_t count, std::chrono::milliseconds timeout);

    // Waits for a hang-up: poll reporting HUP/ERR or a read giving 0 or EIO.
    bool WaitHangUp(std::chrono::milliseconds timeout);

private:
    // One read after waiting up to `timeout`; false on time-out or hang-up.
    bool ReadSome(std::chrono::milliseconds timeout);

    Fd fd_;
    int error_ = 0;
    std::string buffer_;
    bool hungUp_ = false;
};

} // namespace irsim::test

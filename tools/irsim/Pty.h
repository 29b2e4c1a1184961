#pragma once

#include "serial/UniqueFd.h"

#include <string>

namespace irsim {

// A pseudo-terminal pair in raw mode, as the device's end of a serial line.
//
// The master is the device side (non-blocking). The slave side is held open here for the pair's
// whole life: a program that closes and reopens the port then finds the same terminal, and the
// master never sees the hang-up (EIO, POLLHUP) a slave without openers would cause. Closing the
// pair is the device vanishing: the program's open slave then reports a hang-up.
//
// An optional symbolic link gives the slave a stable name; it is removed with the pair.
class Pty {
public:
    // Opens a new pair; throws std::system_error on failure.
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int Master() const { return master_.Get(); }
    const std::string& SlavePath() const { return slavePath_; }

    // Points `path` at the slave, replacing an existing link (never a regular file); throws
    // std::system_error on failure.
    void Link(const std::string& path);
    const std::string& LinkPath() const { return linkPath_; }

    // Closes both sides and removes the link.
    void Close();
    bool IsOpen() const { return master_.Valid(); }

private:
    void RemoveLink();

    serial::UniqueFd master_;
    serial::UniqueFd slave_;
    std::string slavePath_;
    std::string linkPath_;
};

// For a program serving a terminal: blocks SIGINT, SIGTERM and SIGHUP in the calling thread (and
// in the threads it starts afterwards) and returns a descriptor that becomes readable when one
// arrives, so that the end always runs the destructors that remove the link; -1 on failure.
// SIGPIPE is ignored: a reader of the program's output that goes away must not end it.
int EndingSignals();

} // namespace irsim

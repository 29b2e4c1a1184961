#pragma once

// The simulated device on a pseudo-terminal, in real time: a program opens the slave side as it
// would a USB serial adapter. A thread runs the simulation in short slices, carries bytes between
// the terminal and UART0, and never lets simulated time run ahead of the wall clock, so the
// program's own timers see the device as they would see a board.

#include "firmware/sim/SimDevice.h"
#include "tools/irsim/Pty.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fwsim {

class LiveDevice {
public:
    // Throws what SimDevice and irsim::Pty throw.
    explicit LiveDevice(const std::string& elfPath);
    ~LiveDevice();
    LiveDevice(const LiveDevice&) = delete;
    LiveDevice& operator=(const LiveDevice&) = delete;

    const std::string& SlavePath() const { return pty_.SlavePath(); }
    // A stable name for the slave (see irsim::Pty::Link).
    void Link(const std::string& path) { pty_.Link(path); }

    // The receiver reports `durations` soon (thread-safe).
    void Play(const std::vector<int32_t>& durations);
    // Whether the device is idle: nothing queued to play and no byte waiting either way.
    bool Idle() const;
    // Copies of what the simulation recorded so far.
    std::string ReceivedBytes() const;
    std::vector<SimDevice::Level> LedLevels() const;
    bool ResetSeen() const;
    uint64_t NowUs() const;

private:
    void Run();

    irsim::Pty pty_;
    SimDevice device_;
    mutable std::mutex mutex_;
    std::string received_;
    std::string toHost_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace fwsim

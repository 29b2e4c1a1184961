#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace serial::testing {

// A pseudo-terminal pair for driver tests: the driver opens SlavePath() like a serial port and
// the test plays the device on the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return m_SlavePath; }
    int MasterFd() const { return m_Master; }

    // Writes every byte to the master side (blocking until the pty has taken them).
    void Send(std::string_view bytes);
    // What the driver wrote, collected until `count` bytes came or `timeout` passed.
    std::string Receive(std::size_t count, std::chrono::milliseconds timeout);
    // The device vanishes: the master side is closed.
    void HangUp();

private:
    int m_Master = -1;
    std::string m_SlavePath;
};

} // namespace serial::testing

#pragma once

// A Flipper Zero's USB command line, played on a pseudo-terminal from the CLI's documented
// behaviour: a welcome banner and the prompt ">: ", the echo of what is typed, "info device",
// "ir rx raw" (a banner, then each capture as "RAW, N samples:" and a line of N durations with a
// trailing blank, until Ctrl+C), "ir tx RAW F:<carrier> DC:<duty %> <durations>" with its checks,
// and the "busy" answer while the Flipper's own Infrared application holds the hardware.
//
// Threads: every public member may be called from any thread. One engine thread of its own alone
// reads the terminal; every write to it happens under the one mutex.

#include "tools/irsim/Protocol.h"
#include "tools/irsim/Remotes.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace irsim {

struct FlipperSimOptions {
    std::string version = "1.0.1";
    // A symbolic link to the slave, kept until the simulator ends or hangs up.
    std::string linkPath;
    uint32_t seed = 1;
    Jitter jitter{};
    // A varied capture this often while the receiver runs; zero for none.
    std::chrono::milliseconds every{0};
    // The Infrared application holds the hardware: "ir" commands answer that it is busy.
    bool busy = false;
    // Receives one text per event (commands typed, captures sent); runs on the calling or the
    // engine thread, never under the mutex.
    std::function<void(std::string_view)> log;
};

// One accepted "ir tx RAW" command.
struct FlipperTransmission {
    int carrierHz = 0;
    int dutyPercent = 0;
    Durations durations;
};

class FlipperSim {
public:
    // Opens the terminal (and the link), writes the banner and the prompt, starts the engine.
    // Throws std::system_error when the terminal or the link cannot be made.
    explicit FlipperSim(FlipperSimOptions options = {});
    ~FlipperSim();
    FlipperSim(const FlipperSim&) = delete;
    FlipperSim& operator=(const FlipperSim&) = delete;

    std::string SlavePath() const;
    std::string LinkPath() const;

    // A capture as "ir rx raw" prints it; dropped (false) unless the receiver runs.
    bool Capture(const Durations& durations);
    bool CaptureRemote(const RemoteCode& code);
    bool CaptureRandom();
    // A line as the decoder prints it ("NEC, A:0x04, C:0x08"); false unless the receiver runs.
    bool PrintDecoded(std::string_view text);

    void SetBusy(bool busy);
    void SetPeriodic(std::chrono::milliseconds every);
    // The Flipper is unplugged: the terminal closes and the link goes.
    void HangUp();

    bool Receiving() const;
    // Every byte received, in order.
    std::string ReceivedBytes() const;
    std::vector<FlipperTransmission> Transmitted() const;

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};

// The response of the CLI to one typed line, without the prompt; exposed for tests. `busy` is the
// Infrared application's hold. Sets `startsReceiver` for "ir rx", fills `sent` for "ir tx RAW".
struct FlipperReply {
    std::string output;
    bool startsReceiver = false;
    std::optional<FlipperTransmission> sent;
};
FlipperReply RunFlipperCommand(std::string_view line, const std::string& version, bool busy);

// How "ir rx raw" prints a capture.
std::string FlipperCaptureText(const Durations& durations);

} // namespace irsim

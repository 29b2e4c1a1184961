#pragma once

// The infra-red receiver/transmitter device, played on a pseudo-terminal.
//
// A program opens SlavePath() (or the link) like any serial port. The simulator answers its
// commands, sends frame lines on request or periodically, and can misbehave on request (silence,
// garbage, split lines, an endless line, a flood, a hang-up).
//
// Threads: every public member may be called from any thread. The simulator runs one engine thread
// of its own, which alone touches the pseudo-terminal; the public calls only queue work for it and
// read what it recorded, under one mutex. Sends are written in the order they were queued, replies
// to commands in between as they arise. The log callback runs on the engine thread, never under
// the mutex; it must not block for long nor call the simulator.

#include "tools/irsim/Protocol.h"
#include "tools/irsim/Remotes.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace irsim {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Identifies one queued send; 0 is never used. Later sends have higher tickets.
using Ticket = uint64_t;

struct SimulatorOptions {
    // What the device is asked to emit comes back as a captured frame line.
    bool loopback = false;
    // Commands are recorded and executed but never answered.
    bool silent = false;
    // Commands must come as "$#" sum "@" command; others are answered with "ERROR".
    bool requireChecksum = false;
    // The bus address; when set, every command starts with an address byte and only those for
    // this address or for all (255) are executed. Broadcasts are executed but not answered, so that
    // devices sharing the bus do not talk at once. 13 (CR) cannot be used.
    std::optional<uint8_t> busAddress;
    // Text after "+ATI: " in the identification reply.
    std::string identification = "irsim IR transceiver 1.0";
    // Seeds the random codes and the receiver jitter: equal seeds give equal frames.
    uint32_t seed = 1;
    Jitter jitter{};
    // Random and periodic frames come from every remote, not only AllRemotes.
    bool everyRemote = false;
    // Sends a varied captured frame this often; zero for none.
    milliseconds every{0};
    // A symbolic link to the slave, kept until the simulator ends or hangs up.
    std::string linkPath;
    // Receives one text per event (commands received, lines sent); runs on the engine thread.
    std::function<void(std::string_view)> log;
};

// One command the device received.
struct ReceivedCommand {
    std::string raw;  // bytes as received (address byte and framing included), without the CR
    std::string text; // the command
    std::optional<uint8_t> address;
    bool framed = false;
    bool checksumOk = true;
    bool overlong = false;
    bool forThisDevice = true; // false: another bus address; ignored
    Clock::time_point at;
};

class Simulator {
public:
    // Opens the pseudo-terminal (and the link) and starts the engine. Throws std::system_error
    // when the terminal or the link cannot be made, std::invalid_argument for bus address 13.
    explicit Simulator(SimulatorOptions options = {});
    // Stops the engine, closes the terminal, removes the link.
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // The terminal's slave path ("/dev/pts/N"); empty after a hang-up until Replug().
    std::string SlavePath() const;
    // The link path given in the options, or empty.
    std::string LinkPath() const;

    // --- Sending. Each call queues and returns at once. -------------------------------------
    // `text` followed by CR LF.
    Ticket SendLine(std::string_view text);
    // The bytes exactly as given.
    Ticket SendRaw(std::string_view bytes);
    // A frame line with these durations; the device also keeps it as its last captured code.
    Ticket SendFrame(const Durations& durations);
    // A remote's frame as the receiver captures it (with jitter).
    Ticket SendRemote(const RemoteCode& code);
    // A random remote with a random code, as the periodic frames are.
    Ticket SendRandomFrame();
    // The bytes in `pieces` nearly equal parts with `pause` before each part after the first.
    Ticket SendSplit(std::string_view bytes, int pieces, milliseconds pause);
    // `count` random bytes (CR and LF among them).
    Ticket SendGarbage(std::size_t count);
    // A frame-like line of `bytes` bytes that never ends: no CR LF.
    Ticket SendLongLine(std::size_t bytes = std::size_t{1} << 20);
    // `count` frame lines of FloodFrame(0..count-1), as fast as the terminal takes them. Returns
    // the ticket of the last line; the line of index i has ticket Flood(...) - (count - 1 - i).
    // Returns 0 for count 0.
    Ticket Flood(std::size_t count);

    // --- Behaviour. ---------------------------------------------------------------------------
    void SetSilent(bool silent);
    void SetLoopback(bool loopback);
    // Splits every line sent from now on (replies too) into `pieces` parts `pause` apart;
    // pieces <= 1 turns it off.
    void SetSplitMode(int pieces, milliseconds pause);
    // Sends a random frame every `every` from now; zero stops.
    void SetPeriodic(milliseconds every);

    // The device vanishes: the terminal is closed (a program holding the slave sees a hang-up)
    // and the link removed. Queued sends are dropped. Returns once done.
    void HangUp();
    // The device comes back on a new terminal (a new slave path; the link, if any, points at it).
    // Throws std::system_error when the terminal cannot be made.
    void Replug();
    bool IsHungUp() const;

    // --- What happened. -----------------------------------------------------------------------
    // Every byte received, in order.
    std::string ReceivedBytes() const;
    // Every non-empty command received, in order.
    std::vector<ReceivedCommand> Commands() const;
    // Command texts only, in order.
    std::vector<std::string> CommandTexts() const;
    // Commands that were a CR alone.
    std::size_t EmptyCommands() const;
    // Every frame the device was asked to emit ("AT+SND=0,n" or "ab1"), in order.
    std::vector<Durations> Emitted() const;
    // What "ab1" would emit.
    std::optional<Durations> LastCaptured() const;
    // Forgets the received bytes, commands (empty ones too) and emissions.
    void ClearReceived();

    // --- Waiting; each returns false (or nullopt) when the time-out passes first. ------------
    bool WaitForBytes(std::size_t count, milliseconds timeout) const;
    bool WaitForCommands(std::size_t count, milliseconds timeout) const;
    // Waits for a command with exactly this text.
    bool WaitForCommand(std::string_view text, milliseconds timeout) const;
    bool WaitForEmitted(std::size_t count, milliseconds timeout) const;
    // The moment the last byte of that send was taken by the terminal; nullopt on time-out or when
    // the send was dropped by a hang-up.
    std::optional<Clock::time_point> WaitWritten(Ticket ticket, milliseconds timeout) const;
    // Waits until everything queued has been written.
    bool WaitIdle(milliseconds timeout) const;

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};

// The frame of index `index` that Flood() sends: FrameCapacity (301) durations of an NEC-like
// shape; the last pulse carries the index (560 + index % 1000) so a reader can follow the order.
Durations FloodFrame(std::size_t index);

} // namespace irsim

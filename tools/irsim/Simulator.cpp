#include "tools/irsim/Simulator.h"

#include "frame/PulseFrame.h"
#include "serial/UniqueFd.h"
#include "tools/irsim/Pty.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace irsim {
namespace {

// How many written-send times are kept for WaitWritten; older ones are forgotten.
constexpr std::size_t WrittenHistory = std::size_t{1} << 18;
// Bytes read from the terminal per wake-up, so a talkative program cannot starve the writer.
constexpr std::size_t ReadBudget = 64 * 1024;

std::string Printable(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127) {
            text += c;
        } else {
            static constexpr char Hex[] = "0123456789ABCDEF";
            text += "\\x";
            text += Hex[u >> 4];
            text += Hex[u & 15];
        }
    }
    return text;
}

} // namespace

Durations FloodFrame(std::size_t index) {
    Durations durations;
    durations.reserve(frame::FrameCapacity);
    durations.push_back(9000);
    durations.push_back(4500);
    while (durations.size() + 1 < std::size_t(frame::FrameCapacity)) {
        durations.push_back(560);
        durations.push_back((index >> (durations.size() / 2 % 32)) & 1 ? 1690 : 560);
    }
    durations.push_back(560 + int32_t(index % 1000));
    return durations;
}

// One queued send. A flood is a single chunk that makes its next line when the last is written.
struct Chunk {
    Ticket ticket = 0;
    std::string data;
    std::size_t offset = 0;
    milliseconds pauseBefore{0};
    std::optional<Clock::time_point> readyAt;
    bool completesTicket = true; // false for all but the last piece of a split line
    std::size_t floodRemaining = 0;
    std::size_t floodIndex = 0;
};

struct Simulator::Engine {
    explicit Engine(SimulatorOptions opts)
        : options(std::move(opts)),
          splitter({options.requireChecksum, options.busAddress.has_value()}),
          receiver(options.seed, options.jitter), silent(options.silent),
          loopback(options.loopback), every(options.every) {}

    // Everything below is guarded by `mutex`, except `pty`, which only the engine thread touches
    // after start, and `wake`, which is only written to.
    SimulatorOptions options;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::unique_ptr<Pty> pty;
    std::string slavePath;
    serial::UniqueFd wake;
    std::thread thread;

    bool stopping = false;
    bool hangUpRequested = false;
    bool replugRequested = false;
    std::exception_ptr replugError;
    bool hungUp = false;
    uint64_t hangUps = 0;
    uint64_t replugs = 0;

    CommandSplitter splitter;
    Receiver receiver;
    bool silent;
    bool loopback;
    int splitPieces = 0;
    milliseconds splitPause{0};
    milliseconds every;
    Clock::time_point nextPeriodic = Clock::now();

    std::deque<Chunk> queue;
    Ticket nextTicket = 1;
    Ticket writtenUpTo = 0; // every ticket up to this one is written or dropped
    std::map<Ticket, Clock::time_point> writtenAt;

    std::string received;
    std::size_t emptyCommandsCleared = 0; // empty commands counted before the last ClearReceived
    std::vector<ReceivedCommand> commands;
    std::vector<Durations> emitted;
    std::optional<Durations> lastCaptured;
    std::array<int32_t, MaxSendPosition> collected{};
    std::bitset<MaxSendPosition> collectedSet;

    std::vector<std::string> pendingLog;

    void Wake() const {
        const uint64_t one = 1;
        // A full counter already means a pending wake-up; nothing else can fail here.
        [[maybe_unused]] const auto n = ::write(wake.Get(), &one, sizeof one);
    }

    void Log(std::string text) {
        if (options.log)
            pendingLog.push_back(std::move(text));
    }

    // --- Queueing (mutex held) ------------------------------------------------------------------

    Ticket EnqueueLocked(std::string data, int pieces, milliseconds pause) {
        const Ticket ticket = nextTicket++;
        if (hungUp) {
            writtenUpTo = std::max(writtenUpTo, ticket);
            return ticket;
        }
        pieces = std::clamp<int>(pieces, 1, std::max<int>(1, int(data.size())));
        const std::size_t size = data.size();
        for (int i = 0; i < pieces; ++i) {
            const std::size_t begin = size * std::size_t(i) / std::size_t(pieces);
            const std::size_t end = size * std::size_t(i + 1) / std::size_t(pieces);
            Chunk chunk;
            chunk.ticket = ticket;
            chunk.data = pieces == 1 ? std::move(data) : data.substr(begin, end - begin);
            chunk.pauseBefore = i == 0 ? milliseconds{0} : pause;
            chunk.completesTicket = i == pieces - 1;
            queue.push_back(std::move(chunk));
        }
        Wake();
        return ticket;
    }

    Ticket EnqueueLineLocked(std::string line) {
        return EnqueueLocked(std::move(line), splitPieces, splitPause);
    }

    RemoteCode RandomCodeLocked() {
        return options.everyRemote ? receiver.RandomCodeOfAny() : receiver.RandomCode();
    }

    Ticket EnqueueCapturedLocked(Durations durations, std::string_view what) {
        Log("-> frame " + std::string(what) + " (" + std::to_string(durations.size()) +
            " durations)");
        std::string line = FrameLine(durations);
        lastCaptured = std::move(durations);
        return EnqueueLineLocked(std::move(line));
    }

    void ReplyLocked(std::string_view text) {
        Log("-> " + std::string(text));
        EnqueueLineLocked(Line(text));
    }

    // --- Commands (mutex held) ------------------------------------------------------------------

    void HandleBytesLocked(std::string_view bytes) {
        received.append(bytes);
        for (SplitCommand& split : splitter.Feed(bytes)) {
            ReceivedCommand command;
            command.raw = std::move(split.raw);
            command.text = std::move(split.text);
            command.address = split.address;
            command.framed = split.framed;
            command.checksumOk = split.checksumOk;
            command.overlong = split.overlong;
            command.at = Clock::now();
            const bool broadcast = command.address == BroadcastAddress;
            command.forThisDevice =
                !options.busAddress || broadcast || command.address == options.busAddress;
            Log("<- " + Printable(command.raw) + (command.forThisDevice ? "" : " (not ours)"));

            std::optional<std::string> reply;
            if (command.forThisDevice) {
                if (!command.checksumOk || command.overlong)
                    reply = "ERROR";
                else
                    reply = ExecuteLocked(ParseCommand(command.text));
            }
            commands.push_back(std::move(command));
            if (reply && !silent && !broadcast)
                ReplyLocked(*reply);
            if (reply && loopbackFrame) {
                EnqueueCapturedLocked(std::move(*loopbackFrame), "loop-back");
                loopbackFrame.reset();
            }
        }
        changed.notify_all();
    }

    // A frame the device just emitted and, with loop-back, will report as captured after its reply.
    std::optional<Durations> loopbackFrame;

    void EmitLocked(Durations frame) {
        emitted.push_back(frame);
        if (loopback && !frame.empty())
            loopbackFrame = std::move(frame);
    }

    std::string ExecuteLocked(const Command& command) {
        switch (command.kind) {
        case Command::Kind::Attention:
            return "OK";
        case Command::Kind::Identify:
            return "+ATI: " + options.identification;
        case Command::Kind::CollectPulse:
            collected[std::size_t(command.position - 1)] = command.value;
            collectedSet.set(std::size_t(command.position - 1));
            return "OK";
        case Command::Kind::Emit: {
            const auto count = std::size_t(command.value);
            // Every position up to the count must have come since the last emission; emitting
            // stale or never-sent pulses would put out a code nobody asked for.
            bool complete = true;
            for (std::size_t i = 0; i < count; ++i)
                complete = complete && collectedSet.test(i);
            collectedSet.reset();
            if (!complete)
                return "ERROR";
            EmitLocked(Durations(collected.begin(), collected.begin() + std::ptrdiff_t(count)));
            return "OK";
        }
        case Command::Kind::EmitCaptured:
            if (!lastCaptured)
                return "ERROR";
            EmitLocked(*lastCaptured);
            return "OK";
        case Command::Kind::Unknown:
            break;
        }
        return "ERROR";
    }

    // --- The engine thread ----------------------------------------------------------------------

    void DropQueueLocked() {
        for (const Chunk& chunk : queue)
            writtenUpTo = std::max(writtenUpTo, chunk.ticket + chunk.floodRemaining);
        queue.clear();
        writtenUpTo = std::max(writtenUpTo, nextTicket - 1);
    }

    void CloseTerminalLocked() {
        pty.reset();
        slavePath.clear();
        hungUp = true;
        ++hangUps;
        DropQueueLocked();
        Log("-- hung up");
        changed.notify_all();
    }

    void OpenTerminalLocked() {
        auto fresh = std::make_unique<Pty>();
        if (!options.linkPath.empty())
            fresh->Link(options.linkPath);
        pty = std::move(fresh);
        slavePath = pty->SlavePath();
        hungUp = false;
    }

    void RecordWrittenLocked(Ticket ticket, Clock::time_point at) {
        writtenAt.emplace(ticket, at);
        while (writtenAt.size() > WrittenHistory)
            writtenAt.erase(writtenAt.begin());
        writtenUpTo = std::max(writtenUpTo, ticket);
        changed.notify_all();
    }

    // Writes what the terminal takes now. Returns true when it must wait for room to write.
    bool WriteLocked(Clock::time_point now) {
        while (!queue.empty() && pty) {
            Chunk& chunk = queue.front();
            if (!chunk.readyAt)
                chunk.readyAt = now + chunk.pauseBefore;
            if (*chunk.readyAt > now)
                return false;
            const std::size_t left = chunk.data.size() - chunk.offset;
            if (left > 0) {
                const ssize_t n = ::write(pty->Master(), chunk.data.data() + chunk.offset, left);
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    if (errno == EAGAIN)
                        return true;
                    Log("-- write failed: " + std::string(std::strerror(errno)));
                    CloseTerminalLocked();
                    return false;
                }
                chunk.offset += std::size_t(n);
                if (chunk.offset < chunk.data.size())
                    return true;
            }
            now = Clock::now();
            if (chunk.completesTicket)
                RecordWrittenLocked(chunk.ticket, now);
            if (chunk.floodRemaining > 0) {
                --chunk.floodRemaining;
                ++chunk.ticket;
                chunk.data = FrameLine(FloodFrame(++chunk.floodIndex));
                chunk.offset = 0;
                continue;
            }
            queue.pop_front();
        }
        return false;
    }

    // Reads what the program wrote. Returns false when the terminal has gone.
    bool ReadLocked() {
        std::array<char, 4096> buffer{};
        std::size_t total = 0;
        while (pty && total < ReadBudget) {
            const ssize_t n = ::read(pty->Master(), buffer.data(), buffer.size());
            if (n > 0) {
                HandleBytesLocked(std::string_view(buffer.data(), std::size_t(n)));
                total += std::size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return true;
            return false; // EIO or end of file: nobody can reach this terminal any more
        }
        return true;
    }

    void FlushLog(std::unique_lock<std::mutex>& lock) {
        if (pendingLog.empty())
            return;
        std::vector<std::string> lines;
        lines.swap(pendingLog);
        lock.unlock();
        for (const std::string& line : lines)
            options.log(line);
        lock.lock();
    }

    void Run() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            if (hangUpRequested) {
                hangUpRequested = false;
                if (pty)
                    CloseTerminalLocked();
            }
            if (replugRequested) {
                replugRequested = false;
                try {
                    if (pty)
                        CloseTerminalLocked();
                    OpenTerminalLocked();
                    Log("-- plugged in at " + slavePath);
                } catch (...) {
                    replugError = std::current_exception();
                }
                ++replugs;
                changed.notify_all();
            }

            Clock::time_point now = Clock::now();
            if (every.count() > 0 && pty && now >= nextPeriodic) {
                const RemoteCode code = RandomCodeLocked();
                EnqueueCapturedLocked(receiver.Capture(NominalFrame(code)),
                                      RemoteName(code.remote));
                nextPeriodic = now + every;
            }
            const bool waitForRoom = WriteLocked(now);

            // Sleep until the next paused piece or periodic frame is due.
            std::optional<Clock::time_point> due;
            if (!queue.empty() && !waitForRoom && queue.front().readyAt)
                due = *queue.front().readyAt;
            if (every.count() > 0 && pty)
                due = due ? std::min(*due, nextPeriodic) : nextPeriodic;
            int timeoutMs = -1;
            if (due) {
                const auto left = std::chrono::ceil<milliseconds>(*due - Clock::now());
                timeoutMs = int(std::max<int64_t>(0, left.count()));
            }

            std::array<pollfd, 2> fds{};
            fds[0] = {wake.Get(), POLLIN, 0};
            nfds_t count = 1;
            if (pty) {
                fds[1] = {pty->Master(), short(POLLIN | (waitForRoom ? POLLOUT : 0)), 0};
                count = 2;
            }

            FlushLog(lock);
            lock.unlock();
            const int ready = ::poll(fds.data(), count, timeoutMs);
            lock.lock();
            if (ready < 0)
                continue; // EINTR: look again

            if (fds[0].revents & POLLIN) {
                uint64_t value = 0;
                [[maybe_unused]] const auto n = ::read(wake.Get(), &value, sizeof value);
            }
            if (count == 2 && pty && (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
                if (!ReadLocked() || (fds[1].revents & (POLLERR | POLLNVAL)))
                    CloseTerminalLocked();
            }
        }
        pty.reset();
        FlushLog(lock);
    }
};

Simulator::Simulator(SimulatorOptions options)
    : engine_(std::make_unique<Engine>(std::move(options))) {
    Engine& e = *engine_;
    if (e.options.busAddress == uint8_t('\r'))
        throw std::invalid_argument("bus address 13 cannot be told from an empty command");
    e.wake = serial::UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!e.wake)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    e.OpenTerminalLocked();
    if (e.every.count() > 0)
        e.nextPeriodic = Clock::now() + e.every;
    e.thread = std::thread([&e] { e.Run(); });
}

Simulator::~Simulator() {
    {
        std::lock_guard lock(engine_->mutex);
        engine_->stopping = true;
    }
    engine_->Wake();
    engine_->thread.join();
}

std::string Simulator::SlavePath() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->slavePath;
}

std::string Simulator::LinkPath() const {
    return engine_->options.linkPath;
}

Ticket Simulator::SendLine(std::string_view text) {
    std::lock_guard lock(engine_->mutex);
    engine_->Log("-> " + Printable(text));
    return engine_->EnqueueLineLocked(Line(text));
}

Ticket Simulator::SendRaw(std::string_view bytes) {
    std::lock_guard lock(engine_->mutex);
    engine_->Log("-> raw " + std::to_string(bytes.size()) + " bytes");
    return engine_->EnqueueLocked(std::string(bytes), 1, milliseconds{0});
}

Ticket Simulator::SendFrame(const Durations& durations) {
    std::lock_guard lock(engine_->mutex);
    return engine_->EnqueueCapturedLocked(durations, "raw");
}

Ticket Simulator::SendRemote(const RemoteCode& code) {
    std::lock_guard lock(engine_->mutex);
    return engine_->EnqueueCapturedLocked(engine_->receiver.Capture(NominalFrame(code)),
                                          RemoteName(code.remote));
}

Ticket Simulator::SendRandomFrame() {
    std::lock_guard lock(engine_->mutex);
    const RemoteCode code = engine_->RandomCodeLocked();
    return engine_->EnqueueCapturedLocked(engine_->receiver.Capture(NominalFrame(code)),
                                          RemoteName(code.remote));
}

Ticket Simulator::SendSplit(std::string_view bytes, int pieces, milliseconds pause) {
    std::lock_guard lock(engine_->mutex);
    engine_->Log("-> " + std::to_string(bytes.size()) + " bytes in " + std::to_string(pieces) +
                 " pieces");
    return engine_->EnqueueLocked(std::string(bytes), pieces, pause);
}

Ticket Simulator::SendGarbage(std::size_t count) {
    std::lock_guard lock(engine_->mutex);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string data(count, '\0');
    for (char& c : data)
        c = static_cast<char>(byte(engine_->receiver.Random()));
    engine_->Log("-> garbage " + std::to_string(count) + " bytes");
    return engine_->EnqueueLocked(std::move(data), 1, milliseconds{0});
}

Ticket Simulator::SendLongLine(std::size_t bytes) {
    std::string data(frame::DeviceSignature);
    while (data.size() < bytes)
        data += ",560,1690";
    data.resize(bytes);
    std::lock_guard lock(engine_->mutex);
    engine_->Log("-> line of " + std::to_string(bytes) + " bytes without an end");
    return engine_->EnqueueLocked(std::move(data), 1, milliseconds{0});
}

Ticket Simulator::Flood(std::size_t count) {
    if (count == 0)
        return 0;
    std::lock_guard lock(engine_->mutex);
    Engine& e = *engine_;
    e.Log("-> flood of " + std::to_string(count) + " frames");
    const Ticket first = e.nextTicket;
    e.nextTicket += count;
    const Ticket last = first + count - 1;
    if (e.hungUp) {
        e.writtenUpTo = std::max(e.writtenUpTo, last);
        return last;
    }
    Chunk chunk;
    chunk.ticket = first;
    chunk.data = FrameLine(FloodFrame(0));
    chunk.floodRemaining = count - 1;
    e.queue.push_back(std::move(chunk));
    e.Wake();
    return last;
}

void Simulator::SetSilent(bool silent) {
    std::lock_guard lock(engine_->mutex);
    engine_->silent = silent;
}

void Simulator::SetLoopback(bool loopback) {
    std::lock_guard lock(engine_->mutex);
    engine_->loopback = loopback;
}

void Simulator::SetSplitMode(int pieces, milliseconds pause) {
    std::lock_guard lock(engine_->mutex);
    engine_->splitPieces = pieces > 1 ? pieces : 0;
    engine_->splitPause = pause;
}

void Simulator::SetPeriodic(milliseconds every) {
    std::lock_guard lock(engine_->mutex);
    engine_->every = std::max(every, milliseconds{0});
    engine_->nextPeriodic = Clock::now() + every;
    engine_->Wake();
}

void Simulator::HangUp() {
    std::unique_lock lock(engine_->mutex);
    const uint64_t before = engine_->hangUps;
    if (engine_->hungUp)
        return;
    engine_->hangUpRequested = true;
    engine_->Wake();
    engine_->changed.wait(lock, [&] { return engine_->hangUps != before; });
}

void Simulator::Replug() {
    std::unique_lock lock(engine_->mutex);
    const uint64_t before = engine_->replugs;
    engine_->replugRequested = true;
    engine_->Wake();
    engine_->changed.wait(lock, [&] { return engine_->replugs != before; });
    if (auto error = std::exchange(engine_->replugError, nullptr))
        std::rethrow_exception(error);
}

bool Simulator::IsHungUp() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->hungUp;
}

std::string Simulator::ReceivedBytes() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->received;
}

std::vector<ReceivedCommand> Simulator::Commands() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->commands;
}

std::vector<std::string> Simulator::CommandTexts() const {
    std::lock_guard lock(engine_->mutex);
    std::vector<std::string> texts;
    for (const ReceivedCommand& command : engine_->commands)
        texts.push_back(command.text);
    return texts;
}

std::size_t Simulator::EmptyCommands() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->splitter.EmptyCommands() - engine_->emptyCommandsCleared;
}

std::vector<Durations> Simulator::Emitted() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->emitted;
}

std::optional<Durations> Simulator::LastCaptured() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->lastCaptured;
}

void Simulator::ClearReceived() {
    std::lock_guard lock(engine_->mutex);
    engine_->received.clear();
    engine_->emptyCommandsCleared = engine_->splitter.EmptyCommands();
    engine_->commands.clear();
    engine_->emitted.clear();
}

bool Simulator::WaitForBytes(std::size_t count, milliseconds timeout) const {
    std::unique_lock lock(engine_->mutex);
    return engine_->changed.wait_for(lock, timeout,
                                     [&] { return engine_->received.size() >= count; });
}

bool Simulator::WaitForCommands(std::size_t count, milliseconds timeout) const {
    std::unique_lock lock(engine_->mutex);
    return engine_->changed.wait_for(lock, timeout,
                                     [&] { return engine_->commands.size() >= count; });
}

bool Simulator::WaitForCommand(std::string_view text, milliseconds timeout) const {
    std::unique_lock lock(engine_->mutex);
    return engine_->changed.wait_for(lock, timeout, [&] {
        return std::any_of(engine_->commands.begin(), engine_->commands.end(),
                           [&](const ReceivedCommand& c) { return c.text == text; });
    });
}

bool Simulator::WaitForEmitted(std::size_t count, milliseconds timeout) const {
    std::unique_lock lock(engine_->mutex);
    return engine_->changed.wait_for(lock, timeout,
                                     [&] { return engine_->emitted.size() >= count; });
}

std::optional<Clock::time_point> Simulator::WaitWritten(Ticket ticket, milliseconds timeout) const {
    std::unique_lock lock(engine_->mutex);
    if (!engine_->changed.wait_for(lock, timeout, [&] { return engine_->writtenUpTo >= ticket; }))
        return std::nullopt;
    const auto it = engine_->writtenAt.find(ticket);
    if (it == engine_->writtenAt.end())
        return std::nullopt;
    return it->second;
}

bool Simulator::WaitIdle(milliseconds timeout) const {
    std::unique_lock lock(engine_->mutex);
    return engine_->changed.wait_for(lock, timeout, [&] { return engine_->queue.empty(); });
}

} // namespace irsim

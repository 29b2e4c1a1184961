#include "tools/irsim/FlipperSim.h"

#include "serial/UniqueFd.h"
#include "tools/irsim/Pty.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace irsim {

namespace {

using std::chrono::milliseconds;

constexpr std::string_view Prompt = "\r\n>: ";
constexpr char CtrlC = '\x03';
constexpr int MinCarrierHz = 10000;
constexpr int MaxCarrierHz = 56000;
constexpr std::size_t MaxTxDurations = 512;
constexpr std::string_view BusyText = "INFRARED is busy: the Infrared application holds it\r\n";
constexpr std::string_view TxUsage =
    "Usage: ir tx RAW F:<carrier 10000..56000> DC:<duty 0..100> <durations, at most 512>\r\n";

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "F:38000" -> 38000 when the prefix matches.
std::optional<int> Parameter(std::string_view word, std::string_view prefix) {
    if (word.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    return Number(word.substr(prefix.size()));
}

FlipperReply Transmit(const std::vector<std::string_view>& words, bool busy) {
    FlipperReply reply;
    if (words.size() < 6 || words[2] != "RAW") {
        reply.output = std::string(TxUsage);
        return reply;
    }
    const auto carrier = Parameter(words[3], "F:");
    const auto duty = Parameter(words[4], "DC:");
    if (!carrier || *carrier < MinCarrierHz || *carrier > MaxCarrierHz || !duty || *duty < 0 ||
        *duty > 100 || words.size() - 5 > MaxTxDurations) {
        reply.output = std::string(TxUsage);
        return reply;
    }
    FlipperTransmission sent{*carrier, *duty, {}};
    for (std::size_t i = 5; i < words.size(); ++i) {
        const auto d = Number(words[i]);
        if (!d || *d <= 0) {
            reply.output = "Bad duration " + std::string(words[i]) + "\r\n" + std::string(TxUsage);
            return reply;
        }
        sent.durations.push_back(*d);
    }
    if (busy) {
        reply.output = std::string(BusyText);
        return reply;
    }
    reply.sent = std::move(sent);
    return reply;
}

} // namespace

std::string FlipperCaptureText(const Durations& durations) {
    std::string text = "RAW, " + std::to_string(durations.size()) + " samples:\r\n";
    for (const int32_t d : durations)
        text += std::to_string(d) + " ";
    return text + "\r\n";
}

FlipperReply RunFlipperCommand(std::string_view line, const std::string& version, bool busy) {
    const auto words = Words(line);
    FlipperReply reply;
    if (words.empty())
        return reply;
    if (words[0] == "help" || words[0] == "?") {
        reply.output = "Commands:\r\nhelp  info  ir\r\n";
    } else if (words[0] == "info" && words.size() == 2 && words[1] == "device") {
        reply.output = "hardware_name          : irsim\r\n"
                       "firmware_version       : " +
                       version + "\r\nfirmware_origin_fork   : irsim\r\n";
    } else if (words[0] == "ir" && words.size() >= 2 && words[1] == "rx") {
        if (busy) {
            reply.output = std::string(BusyText);
        } else {
            reply.output = "Receiving INFRARED...\r\nPress Ctrl+C to abort\r\n";
            reply.startsReceiver = true;
        }
    } else if (words[0] == "ir" && words.size() >= 2 && words[1] == "tx") {
        reply = Transmit(words, busy);
    } else if (words[0] == "ir") {
        reply.output = "Usage: ir rx [raw] | ir tx ...\r\n";
    } else {
        reply.output = "`" + std::string(words[0]) + "` command not found\r\n";
    }
    return reply;
}

struct FlipperSim::Engine {
    FlipperSimOptions options;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    Pty pty;
    serial::UniqueFd wake;
    Receiver receiver;
    std::string line;     // typed since the last prompt
    std::string received; // every byte
    std::string out;      // waiting for the terminal
    std::vector<FlipperTransmission> transmitted;
    bool receiving = false;
    bool busy = false;
    bool stop = false;
    bool hangUp = false; // asked for; the engine closes the terminal itself
    milliseconds every{0};
    std::chrono::steady_clock::time_point nextCapture{};
    std::thread thread;

    explicit Engine(FlipperSimOptions o)
        : options(std::move(o)), receiver(options.seed, options.jitter) {
        busy = options.busy;
        every = options.every;
        wake = serial::UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!wake)
            throw std::system_error(errno, std::generic_category(), "eventfd");
        if (!options.linkPath.empty())
            pty.Link(options.linkPath);
        out = "\r\nFlipper Zero command line (irsim)\r\nFirmware version: " + options.version +
              "\r\nType `help` for the commands\r\n" + std::string(Prompt);
        Flush();
        nextCapture = std::chrono::steady_clock::now() + every;
        thread = std::thread([this] { Run(); });
    }

    ~Engine() {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        Wake();
        thread.join();
    }

    void Log(std::string_view text) {
        if (options.log)
            options.log(text);
    }

    void Wake() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake.Get(), &one, sizeof one);
    }

    // Under the mutex.
    void Flush() {
        while (!out.empty() && pty.IsOpen()) {
            const ssize_t n = ::write(pty.Master(), out.data(), out.size());
            if (n > 0) {
                out.erase(0, std::size_t(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                return; // full: the engine waits for room
            }
        }
    }

    // Under the mutex: one byte typed into the CLI.
    void Type(char c, std::vector<std::string>& logs) {
        if (receiving) {
            if (c == CtrlC) {
                receiving = false;
                out += Prompt;
                logs.push_back("receiver stopped");
            }
            return; // the receiver takes nothing else
        }
        if (c == CtrlC) {
            line.clear();
            out += Prompt;
        } else if (c == '\r') {
            out += "\r\n";
            FlipperReply reply = RunFlipperCommand(line, options.version, busy);
            if (!line.empty())
                logs.push_back("typed: " + line);
            line.clear();
            out += reply.output;
            if (reply.sent)
                transmitted.push_back(std::move(*reply.sent));
            if (reply.startsReceiver) {
                receiving = true;
                nextCapture = std::chrono::steady_clock::now() + every;
            } else {
                out += Prompt;
            }
        } else if (c == '\n') {
            // CR ends a line; a LF after it changes nothing
        } else if (c == '\b' || c == '\x7f') {
            if (!line.empty()) {
                line.pop_back();
                out += "\b \b";
            }
        } else {
            line += c;
            out += c;
        }
    }

    void Run() {
        std::unique_lock lock(mutex);
        while (!stop) {
            const bool open = pty.IsOpen();
            pollfd fds[2] = {
                {wake.Get(), POLLIN, 0},
                {open ? pty.Master() : -1, short(POLLIN | (out.empty() ? 0 : POLLOUT)), 0}};
            int timeout = -1;
            if (receiving && every.count() > 0) {
                const auto left = std::chrono::duration_cast<milliseconds>(
                    nextCapture - std::chrono::steady_clock::now());
                timeout = int(std::max<long long>(0, left.count()));
            }
            lock.unlock();
            ::poll(fds, 2, timeout);
            lock.lock();
            if (hangUp && pty.IsOpen()) {
                // Closed here, where the terminal is polled, so no call races the close.
                pty.Close();
                receiving = false;
                out.clear();
                changed.notify_all();
                continue;
            }
            if (fds[0].revents & POLLIN) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(wake.Get(), &count, sizeof count);
            }
            std::vector<std::string> logs;
            if (pty.IsOpen() && fds[1].fd >= 0 && (fds[1].revents & POLLIN)) {
                char buffer[4096];
                const ssize_t n = ::read(pty.Master(), buffer, sizeof buffer);
                for (ssize_t i = 0; i < n; ++i) {
                    received += buffer[i];
                    Type(buffer[i], logs);
                }
            }
            if (receiving && every.count() > 0 && std::chrono::steady_clock::now() >= nextCapture) {
                out += FlipperCaptureText(receiver.Capture(NominalFrame(receiver.RandomCode())));
                nextCapture = std::chrono::steady_clock::now() + every;
                logs.push_back("capture sent");
            }
            Flush();
            changed.notify_all();
            if (!logs.empty()) {
                lock.unlock();
                for (const std::string& text : logs)
                    Log(text);
                lock.lock();
            }
        }
    }

    bool Print(const std::string& text) {
        {
            std::lock_guard lock(mutex);
            if (!receiving || !pty.IsOpen() || hangUp)
                return false;
            out += text;
            Flush();
        }
        Wake();
        return true;
    }
};

FlipperSim::FlipperSim(FlipperSimOptions options)
    : engine_(std::make_unique<Engine>(std::move(options))) {}

FlipperSim::~FlipperSim() = default;

std::string FlipperSim::SlavePath() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->pty.IsOpen() ? engine_->pty.SlavePath() : std::string();
}

std::string FlipperSim::LinkPath() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->pty.LinkPath();
}

bool FlipperSim::Capture(const Durations& durations) {
    return engine_->Print(FlipperCaptureText(durations));
}

bool FlipperSim::CaptureRemote(const RemoteCode& code) {
    Durations captured;
    {
        std::lock_guard lock(engine_->mutex);
        captured = engine_->receiver.Capture(NominalFrame(code));
    }
    return Capture(captured);
}

bool FlipperSim::CaptureRandom() {
    Durations captured;
    {
        std::lock_guard lock(engine_->mutex);
        captured = engine_->receiver.Capture(NominalFrame(engine_->receiver.RandomCode()));
    }
    return Capture(captured);
}

bool FlipperSim::PrintDecoded(std::string_view text) {
    return engine_->Print(std::string(text) + "\r\n");
}

void FlipperSim::SetBusy(bool busy) {
    std::lock_guard lock(engine_->mutex);
    engine_->busy = busy;
}

void FlipperSim::SetPeriodic(std::chrono::milliseconds every) {
    {
        std::lock_guard lock(engine_->mutex);
        engine_->every = every;
        engine_->nextCapture = std::chrono::steady_clock::now() + every;
    }
    engine_->Wake();
}

void FlipperSim::HangUp() {
    {
        std::lock_guard lock(engine_->mutex);
        engine_->hangUp = true;
    }
    engine_->Wake();
    std::unique_lock lock(engine_->mutex);
    engine_->changed.wait(lock, [&] { return !engine_->pty.IsOpen(); });
}

bool FlipperSim::Receiving() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->receiving;
}

std::string FlipperSim::ReceivedBytes() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->received;
}

std::vector<FlipperTransmission> FlipperSim::Transmitted() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->transmitted;
}

} // namespace irsim

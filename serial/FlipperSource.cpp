#include "serial/FlipperSource.h"

#include "serial/UniqueFd.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace serial {

namespace {

constexpr std::string_view RawHeaderStart = "RAW, ";
constexpr std::string_view RawHeaderEnd = " samples:";
constexpr std::string_view VersionKey = "firmware_version";
constexpr std::string_view BusyMarker = "is busy";
constexpr std::string_view DeviceName = "Flipper Zero";
// A capture is at most 1024 durations of a few digits; anything far longer is not the CLI.
constexpr std::size_t MaxPendingBytes = 64 * 1024;

constexpr char CtrlC = '\x03';
constexpr std::string_view ReceiveCommand = "ir rx raw\r";
constexpr std::string_view InfoCommand = "info device\r";

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

template <class Number>
std::optional<Number> ParseDecimal(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// The durations of a capture: positive decimal numbers separated by blanks.
std::optional<std::vector<int32_t>> ParseDurations(std::string_view line) {
    std::vector<int32_t> durations;
    while (true) {
        line = Trimmed(line);
        if (line.empty()) {
            return durations;
        }
        const std::size_t end = line.find_first_of(" \t");
        const auto value = ParseDecimal<int32_t>(line.substr(0, end));
        if (!value || *value <= 0) {
            return std::nullopt;
        }
        durations.push_back(*value);
        line = end == std::string_view::npos ? std::string_view() : line.substr(end);
    }
}

} // namespace

std::vector<FlipperCliReader::Item> FlipperCliReader::Feed(std::string_view bytes) {
    std::vector<Item> items;
    pending_.append(bytes);
    std::size_t start = 0;
    while (true) {
        // A prompt stands at the start of a line and no line end follows it.
        if (pending_.compare(start, FlipperPrompt.size(), FlipperPrompt) == 0) {
            items.push_back({Item::Prompt, {}, {}});
            start += FlipperPrompt.size();
            continue;
        }
        const std::size_t end = pending_.find('\n', start);
        if (end == std::string::npos) {
            break;
        }
        TakeLine(std::string_view(pending_).substr(start, end - start), items);
        start = end + 1;
    }
    pending_.erase(0, start);
    if (pending_.size() > MaxPendingBytes) {
        pending_.clear();
    }
    return items;
}

void FlipperCliReader::TakeLine(std::string_view line, std::vector<Item>& items) {
    line = Trimmed(line);
    if (line.empty()) {
        return;
    }
    if (expectedSamples_) {
        const std::size_t expected = *expectedSamples_;
        expectedSamples_.reset();
        auto durations = ParseDurations(line);
        if (durations && durations->size() == expected) {
            items.push_back({Item::Frame, {}, std::move(*durations)});
            return;
        }
        // A damaged capture is shown for what it is: a line, not a frame.
    }
    if (line.substr(0, RawHeaderStart.size()) == RawHeaderStart &&
        line.size() > RawHeaderEnd.size() &&
        line.substr(line.size() - RawHeaderEnd.size()) == RawHeaderEnd) {
        const std::string_view count = line.substr(
            RawHeaderStart.size(), line.size() - RawHeaderStart.size() - RawHeaderEnd.size());
        if (const auto n = ParseDecimal<std::size_t>(count); n && *n > 0) {
            expectedSamples_ = *n;
            return;
        }
    }
    if (line.find(BusyMarker) != std::string_view::npos) {
        items.push_back({Item::Busy, std::string(line), {}});
        return;
    }
    if (line.substr(0, VersionKey.size()) == VersionKey) {
        std::string_view rest = Trimmed(line.substr(VersionKey.size()));
        if (!rest.empty() && rest.front() == ':') {
            items.push_back({Item::Version, std::string(Trimmed(rest.substr(1))), {}});
            return;
        }
    }
    items.push_back({Item::Line, std::string(line), {}});
}

FlipperTxCommand MakeFlipperTxCommand(const std::vector<int32_t>& durations,
                                      const DeviceCarrier& carrier) {
    if (durations.empty()) {
        return {{}, "Ramka jest pusta: Flipper Zero nie ma czego nadać."};
    }
    if (durations.size() > FlipperMaxTxDurations) {
        return {{},
                "Flipper Zero nadaje najwyżej " + std::to_string(FlipperMaxTxDurations) +
                    " czasów, a ramka ma ich " + std::to_string(durations.size()) + "."};
    }
    if (carrier.Hz < FlipperMinCarrierHz || carrier.Hz > FlipperMaxCarrierHz) {
        return {{},
                "Flipper Zero nadaje na nośnej od " + std::to_string(FlipperMinCarrierHz) + " do " +
                    std::to_string(FlipperMaxCarrierHz) + " Hz, a sygnał ma " +
                    std::to_string(carrier.Hz) + " Hz."};
    }
    const long duty = std::lround(carrier.DutyCycle * 100.0);
    if (!(carrier.DutyCycle > 0.0) || duty < 1 || duty > 100) {
        return {{}, "Wypełnienie nośnej musi leżeć między 1 a 100 %."};
    }
    std::string command =
        "ir tx RAW F:" + std::to_string(carrier.Hz) + " DC:" + std::to_string(duty);
    for (const int32_t d : durations) {
        if (d <= 0) {
            return {{},
                    "Flipper Zero nadaje tylko dodatnie czasy, a ramka ma czas " +
                        std::to_string(d) + " µs."};
        }
        command += ' ';
        command += std::to_string(d);
    }
    command += '\r';
    return {std::move(command), {}};
}

bool IsFlipperPromptLine(std::string_view line) {
    return line.substr(0, FlipperPrompt.size()) == FlipperPrompt;
}

namespace {

// The CLI conversation. Everything runs on the creating thread, driven by its event loop.
class FlipperSource final : public QObject, public DeviceSource {
public:
    FlipperSource(std::string port, DeviceSourceEvents events, FlipperTimings timings)
        : port_(std::move(port)), events_(std::move(events)), timings_(timings) {
        answerTimer_.setSingleShot(true);
        silenceTimer_.setSingleShot(true);
        retryTimer_.setSingleShot(true);
        connect(&answerTimer_, &QTimer::timeout, this, [this] { NoAnswer(); });
        connect(&silenceTimer_, &QTimer::timeout, this, [this] { CheckPresence(); });
        connect(&retryTimer_, &QTimer::timeout, this, [this] {
            if (state_ == State::Idle) {
                Resume();
            }
        });
    }

    ~FlipperSource() override { Close(); }

    void Start() override {
        Close();
        fd_.Reset(::open(port_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd_) {
            const std::string hint =
                "Nie można otworzyć portu " + port_ + ": " + std::strerror(errno) + ".";
            // Events never come from inside Start().
            QTimer::singleShot(0, this, [this, hint] {
                Notify(events_.OnHint, hint);
                Notify(events_.OnDisconnected);
            });
            return;
        }
        MakeRaw();
        reader_ = {};
        version_.clear();
        readNotifier_ = std::make_unique<QSocketNotifier>(fd_.Get(), QSocketNotifier::Read);
        connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] { ReadInput(); });
        writeNotifier_ = std::make_unique<QSocketNotifier>(fd_.Get(), QSocketNotifier::Write);
        writeNotifier_->setEnabled(false);
        connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] { Flush(); });
        // A receiver left running by an earlier session ends at Ctrl+C; the empty line then asks
        // for a prompt whatever the CLI was doing.
        state_ = State::Greeting;
        Send(std::string(1, CtrlC) + "\r");
        answerTimer_.start(timings_.answerMs);
    }

    void Stop() override { Close(); }

    bool Linked() const override { return linked_; }

    std::optional<std::string> Emit(const std::vector<int32_t>& durations,
                                    const DeviceCarrier& carrier) override {
        if (!linked_) {
            return std::string("Flipper Zero nie jest połączony.");
        }
        if (pendingTx_ || state_ == State::Transmitting) {
            return std::string("Flipper Zero jeszcze nadaje poprzedni sygnał.");
        }
        FlipperTxCommand tx = MakeFlipperTxCommand(durations, carrier);
        if (!tx.refusal.empty()) {
            return tx.refusal;
        }
        pendingTx_ = std::move(tx.command);
        if (state_ == State::Receiving) {
            StopReceiver(State::StoppingRx);
        } else if (state_ == State::Idle) {
            Resume();
        }
        // Otherwise a prompt is already awaited; the transmission follows it.
        return std::nullopt;
    }

private:
    enum class State {
        Closed,
        Greeting,     // waiting for the first prompt
        Info,         // "info device" running
        Receiving,    // "ir rx raw" running
        Idle,         // at the prompt, waiting to start the receiver again
        StoppingRx,   // Ctrl+C sent for a transmission
        Transmitting, // "ir tx" running
        ProbeStop,    // Ctrl+C sent after a long silence
        ProbeEmpty,   // empty line sent; its prompt proves the CLI is there
    };

    template <class Event, class... Args>
    void Notify(const Event& event, Args&&... args) {
        if (event) {
            event(std::forward<Args>(args)...);
        }
    }

    void MakeRaw() {
        termios tio{};
        if (::tcgetattr(fd_.Get(), &tio) == 0) {
            ::cfmakeraw(&tio);
            tio.c_cflag |= CLOCAL | CREAD;
            ::cfsetspeed(&tio, B115200);
            ::tcsetattr(fd_.Get(), TCSANOW, &tio);
        }
    }

    void Close() {
        answerTimer_.stop();
        silenceTimer_.stop();
        retryTimer_.stop();
        readNotifier_.reset();
        writeNotifier_.reset();
        fd_.Reset();
        out_.clear();
        pendingTx_.reset();
        linked_ = false;
        busyShown_ = false;
        state_ = State::Closed;
    }

    // The link ends: the port vanished or the CLI stopped answering.
    void Drop(const std::string& hint) {
        const bool wasOpen = state_ != State::Closed;
        Close();
        if (!wasOpen) {
            return;
        }
        if (!hint.empty()) {
            Notify(events_.OnHint, hint);
        }
        Notify(events_.OnDisconnected);
    }

    void NoAnswer() {
        Drop(linked_ ? "Flipper Zero przestał odpowiadać."
                     : "Na porcie " + port_ + " nie odpowiada wiersz poleceń Flippera Zero.");
    }

    void Send(std::string_view bytes) {
        out_.append(bytes);
        Flush();
    }

    // A command whose output ends at the next prompt; its echo comes first.
    void SendCommand(std::string_view command) {
        echo_ = std::string(Trimmed(command));
        linesSinceCommand_ = 0;
        Send(command);
    }

    void Flush() {
        while (!out_.empty() && fd_) {
            const ssize_t n = ::write(fd_.Get(), out_.data(), out_.size());
            if (n > 0) {
                out_.erase(0, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                writeNotifier_->setEnabled(true);
                return;
            }
            // The device has gone. Writes happen inside Start() and Emit() too, which must not
            // call the events: the link ends from the event loop.
            out_.clear();
            QTimer::singleShot(0, this, [this] { Drop({}); });
            return;
        }
        if (writeNotifier_) {
            writeNotifier_->setEnabled(false);
        }
    }

    void ReadInput() {
        char buffer[4096];
        while (fd_) {
            const ssize_t n = ::read(fd_.Get(), buffer, sizeof buffer);
            if (n > 0) {
                if (state_ == State::Receiving) {
                    silenceTimer_.start(timings_.silenceMs);
                }
                for (FlipperCliReader::Item& item :
                     reader_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)))) {
                    if (state_ == State::Closed) {
                        return; // a handler stopped the source
                    }
                    Take(item);
                }
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return;
            }
            // End of file or an error such as EIO: the device has gone.
            Drop({});
            return;
        }
    }

    void Take(FlipperCliReader::Item& item) {
        switch (item.kind) {
        case FlipperCliReader::Item::Prompt:
            OnPrompt();
            break;
        case FlipperCliReader::Item::Frame:
            busyShown_ = false;
            if (state_ == State::Receiving) {
                Notify(events_.OnFrame, DeviceFrame{std::move(item.durations), std::nullopt});
            }
            break;
        case FlipperCliReader::Item::Busy:
            ++linesSinceCommand_;
            if (!busyShown_) {
                busyShown_ = true;
                Notify(events_.OnHint, std::string(FlipperBusyHint));
            }
            break;
        case FlipperCliReader::Item::Version:
            ++linesSinceCommand_;
            version_ = item.text;
            break;
        case FlipperCliReader::Item::Line:
            ++linesSinceCommand_;
            // The transmitter answers only when it refuses; the user should read why.
            if (state_ == State::Transmitting && item.text != echo_) {
                Notify(events_.OnHint, "Flipper Zero: " + item.text);
            }
            break; // otherwise echo, banners, decoded captures
        }
    }

    void OnPrompt() {
        // A prompt before the command's echo belongs to what came before it (the empty line of
        // the greeting), not to the command.
        if ((state_ == State::Info || state_ == State::Transmitting) && linesSinceCommand_ == 0) {
            return;
        }
        switch (state_) {
        case State::Greeting:
            state_ = State::Info;
            SendCommand(InfoCommand);
            answerTimer_.start(timings_.answerMs);
            break;
        case State::Info: {
            linked_ = true;
            std::string ident(DeviceName);
            if (!version_.empty()) {
                ident += ' ' + version_;
            }
            Resume();
            Notify(events_.OnConnected, ident);
            break;
        }
        case State::Receiving:
            // The receiver ended without being asked (busy, or the Flipper's own reasons).
            state_ = State::Idle;
            silenceTimer_.stop();
            retryTimer_.start(timings_.busyRetryMs);
            break;
        case State::ProbeStop:
            state_ = State::ProbeEmpty;
            Send("\r");
            answerTimer_.start(timings_.answerMs);
            break;
        case State::StoppingRx:
        case State::Transmitting:
        case State::ProbeEmpty:
            Resume();
            break;
        case State::Idle:
        case State::Closed:
            break;
        }
    }

    // At the prompt: the waiting transmission if any, else the receiver.
    void Resume() {
        answerTimer_.stop();
        retryTimer_.stop();
        if (pendingTx_) {
            state_ = State::Transmitting;
            SendCommand(*pendingTx_);
            pendingTx_.reset();
            answerTimer_.start(timings_.answerMs);
            return;
        }
        state_ = State::Receiving;
        Send(ReceiveCommand);
        silenceTimer_.start(timings_.silenceMs);
    }

    void StopReceiver(State next) {
        silenceTimer_.stop();
        state_ = next;
        Send(std::string(1, CtrlC));
        answerTimer_.start(timings_.answerMs);
    }

    void CheckPresence() {
        if (state_ == State::Receiving) {
            StopReceiver(State::ProbeStop);
        }
    }

    std::string port_;
    DeviceSourceEvents events_;
    FlipperTimings timings_;
    UniqueFd fd_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer answerTimer_;
    QTimer silenceTimer_;
    QTimer retryTimer_;
    FlipperCliReader reader_;
    std::string out_;
    std::optional<std::string> pendingTx_;
    std::string version_;
    std::string echo_;
    int linesSinceCommand_ = 0;
    State state_ = State::Closed;
    bool linked_ = false;
    bool busyShown_ = false;
};

} // namespace

std::unique_ptr<DeviceSource> MakeFlipperSource(const std::string& port, DeviceSourceEvents events,
                                                FlipperTimings timings) {
    return std::make_unique<FlipperSource>(port, std::move(events), timings);
}

} // namespace serial

#include "serial/SerialLine.h"

#include "serial/SerialUtil.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <limits>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace serial {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(text[i]) != lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

// A whole decimal integer with an optional sign; false for anything else or an overflow.
bool ParseDecimal(std::string_view text, long long& value) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return false;
        }
    }
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && last == end &&
           value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

std::uint8_t ByteOr(int value, std::uint8_t outOfRange) {
    return value >= 0 && value <= 255 ? static_cast<std::uint8_t>(value) : outOfRange;
}

int NonNegative(int ms) {
    return std::max(ms, 0);
}

// N O E M S in either case; any other character means no parity.
std::uint8_t ParityCode(char letter) {
    switch (std::tolower(static_cast<unsigned char>(letter))) {
    case 'o':
        return pcOdd;
    case 'e':
        return pcEven;
    case 'm':
        return pcMark;
    case 's':
        return pcSpace;
    default:
        return pcNone;
    }
}

} // namespace

ESerialLineError::ESerialLineError(int code, const std::string& desc)
    : std::runtime_error("Communication error " + std::to_string(code) + ": " + desc), m_Code(code),
      m_Desc(desc) {}

TSerialLine::TSerialLine() {
    m_WakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_WakeFd < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    SetError(ErrOK);
}

TSerialLine::~TSerialLine() {
    m_RaiseExcept = false;
    try {
        ClosePort();
    } catch (...) {
        // A throwing status hook must not take the process down from a destructor; the port is
        // already closed when the hook runs.
    }
    ::close(m_WakeFd);
}

// ---- error bookkeeping ----

std::string TSerialLine::GetErrorDesc(int code) {
    const std::string_view own = SerialErrorText(code);
    if (!own.empty()) {
        return std::string(own);
    }
    return OsErrorText(code);
}

std::string_view TSerialLine::ErrorText(int code) {
    const std::string_view own = SerialErrorText(code);
    if (!own.empty()) {
        return own;
    }
    const auto [entry, added] = m_OsErrorTexts.try_emplace(code);
    if (added) {
        entry->second = OsErrorText(code);
    }
    return entry->second;
}

void TSerialLine::SetError(int code) {
    m_LastErrorCode = code;
    m_LastErrorText = ErrorText(code);
}

void TSerialLine::CheckOsResult(int osError) {
    SetError(osError);
}

void TSerialLine::RaiseIfError() const {
    if (m_RaiseExcept && m_LastErrorCode != ErrOK) {
        throw ESerialLineError(m_LastErrorCode, GetErrorDesc(m_LastErrorCode));
    }
}

int TSerialLine::LineErrorCode(std::uint32_t flags, int current) {
    int code = current;
    if ((flags & leFrame) != 0) {
        code = ErrFrame;
    }
    if ((flags & leOverrun) != 0) {
        code = ErrOverrun;
    }
    if ((flags & leRxOver) != 0) {
        code = ErrRxOver;
    }
    if ((flags & leRxParity) != 0) {
        code = ErrRxParity;
    }
    if ((flags & leTxFull) != 0) {
        code = ErrTxFull;
    }
    return code;
}

std::uint32_t TSerialLine::LineErrorFlags(const TLineCounters& before, const TLineCounters& after) {
    std::uint32_t flags = 0;
    if (after.Frame != before.Frame) {
        flags |= leFrame;
    }
    if (after.Overrun != before.Overrun) {
        flags |= leOverrun;
    }
    if (after.BufferOverrun != before.BufferOverrun) {
        flags |= leRxOver;
    }
    if (after.Parity != before.Parity) {
        flags |= leRxParity;
    }
    return flags;
}

// Only the code changes: the text keeps describing the transfer, as callers have always seen it.
void TSerialLine::DecodeLineErrors(std::uint32_t flags) {
    m_LastErrorCode = LineErrorCode(flags, m_LastErrorCode);
}

void TSerialLine::CheckLineErrors() {
    if (!m_LineCountersSupported) {
        return;
    }
    TLineCounters now;
    if (platform::ReadLineCounters(m_Fd, now) != 0) {
        return;
    }
    const std::uint32_t flags = LineErrorFlags(m_LineCounters, now);
    m_LineCounters = now;
    if (flags != 0) {
        DecodeLineErrors(flags);
    }
}

// The queue-size queries clear the port's error state without decoding it.
void TSerialLine::ClearLineErrors() {
    if (m_LineCountersSupported) {
        platform::ReadLineCounters(m_Fd, m_LineCounters);
    }
}

bool TSerialLine::DeviceUsable() {
    if (m_TestDSR && (ReadModemLines() & mlDSR) == 0) {
        return false;
    }
    if (m_TestCTS && (ReadModemLines() & mlCTS) == 0) {
        return false;
    }
    return true;
}

bool TSerialLine::PreCheckFails() {
    if (!m_PortOpen) {
        SetError(ErrPortNotOpen);
        RaiseIfError();
        return true;
    }
    if (!DeviceUsable()) {
        SetError(ErrNoDeviceAnswer);
        RaiseIfError();
        return true;
    }
    return false;
}

void TSerialLine::ReportStatus(TSerialStatusReason reason, std::string_view value) {
    if (m_OnStatus) {
        m_OnStatus(*this, reason, value);
    }
}

void TSerialLine::ReportCount(TSerialStatusReason reason, std::size_t count) {
    if (!m_OnStatus) {
        return;
    }
    char digits[24];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), count);
    (void)error; // 24 digits hold any size_t
    m_OnStatus(*this, reason, std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// ---- port names ----

int TSerialLine::ResolvePortNumber(std::string_view name) {
    long long value = 0;
    if (StartsWithNoCase(name, "COM")) {
        if (!ParseDecimal(name.substr(3), value) || value == std::numeric_limits<int>::min()) {
            value = 0;
        }
        return static_cast<int>(value - 1);
    }
    if (StartsWithNoCase(name, "/dev/ttyS")) {
        return ParseDecimal(name.substr(9), value) ? static_cast<int>(value) : -2;
    }
    return -1;
}

// "/dev/ttyS<n>" already names its device, and rewriting it would turn "/dev/ttys4" into another
// device on a case-sensitive file system, so only COM names are translated. A kernel name as the
// port list gives it ("ttyUSB0") lives under /dev; other COM names keep their old meaning.
std::string TSerialLine::PortDevicePath(std::string_view name) {
    const int number = ResolvePortNumber(name);
    if (StartsWithNoCase(name, "COM")) {
        return number >= 0 ? "/dev/ttyS" + std::to_string(number) : std::string(name);
    }
    if (!name.empty() && name.find('/') == std::string_view::npos) {
        return "/dev/" + std::string(name);
    }
    return std::string(name);
}

// ---- open, configure, close ----

void TSerialLine::OpenPort(const std::string& name) {
    if (m_PortOpen) {
        SetError(ErrAlreadyInUse);
        RaiseIfError();
        return;
    }
    m_LineBuffer.clear();
    m_SkippingLine = false;
    m_PortNumber = ResolvePortNumber(name);
    m_DevicePath = PortDevicePath(name);

    m_PortSeenQuiet = false;
    int fd = -1;
    CheckOsResult(platform::OpenExclusive(m_DevicePath, fd, m_SavedLine));
    RaiseIfError();
    if (m_LastErrorCode != ErrOK) {
        return;
    }
    m_Fd = fd;
    m_LineCountersSupported = platform::ReadLineCounters(m_Fd, m_LineCounters) == 0;

    SetError(ErrOK);
    if (DeviceUsable()) {
        m_PortOpen = true;
        SetRTS(true);
        SetDTR(true);
        PurgeBuffers();
    } else {
        SetError(ErrNoDeviceAnswer);
        platform::CloseExclusive(m_Fd, m_SavedLine);
        m_Fd = -1;
        m_PortNumber = -1;
    }
    RaiseIfError();
    ReportStatus(TSerialStatusReason::srConnect, m_DevicePath);
}

TLineSettings TSerialLine::BuildLineSettings(int baudRate, int dataBits, char parity, int stopBits,
                                             bool softwareFlow, bool hardwareFlow,
                                             int inputQueueSize) {
    TLineSettings s{};
    s.Length = TLineSettings::RecordLength;
    s.BaudRate = static_cast<std::uint32_t>(baudRate);
    // Out-of-range values become ones the port rejects rather than wrapping into valid ones.
    s.DataBits = ByteOr(dataBits, 0);
    s.StopBits = ByteOr(stopBits, 0xFF);
    s.Parity = ParityCode(parity);
    s.XonChar = 17;
    s.XoffChar = 19;
    const int limit = std::clamp(inputQueueSize / 4, 0, 0xFFFF);
    s.XonLimit = static_cast<std::uint16_t>(limit);
    s.XoffLimit = static_cast<std::uint16_t>(limit);

    s.Flags = lfBinary;
    if (softwareFlow) {
        s.Flags |= lfOutX | lfInX;
    }
    s.Flags |= hardwareFlow ? (lfOutxCtsFlow | lfRtsControlHandshake) : lfRtsControlEnable;
    s.Flags |= lfDtrControlEnable;
    if (s.Parity != pcNone) {
        s.Flags |= lfParity;
    }
    return s;
}

void TSerialLine::ConfigureLine(int baudRate, int dataBits, char parity, int stopBits,
                                bool softwareFlow, bool hardwareFlow) {
    WriteLineSettings(BuildLineSettings(baudRate, dataBits, parity, stopBits, softwareFlow,
                                        hardwareFlow, m_InputQueueSize));
}

void TSerialLine::WriteLineSettings(const TLineSettings& settings) {
    m_LineSettings = settings;
    SetError(ErrOK);
    CheckOsResult(platform::ApplyLineSettings(m_Fd, m_LineSettings));
    RaiseIfError();
}

void TSerialLine::ReadLineSettings() {
    SetError(ErrOK);
    int error = HangUpError();
    TLineSettings read{};
    if (error == 0) {
        error = platform::QueryLineSettings(m_Fd, read);
    }
    if (error == 0) {
        read.Length = TLineSettings::RecordLength;
        const int limit = std::clamp(m_InputQueueSize / 4, 0, 0xFFFF);
        read.XonLimit = static_cast<std::uint16_t>(limit);
        read.XoffLimit = static_cast<std::uint16_t>(limit);
        m_LineSettings = read;
    }
    CheckOsResult(error);
    RaiseIfError();
}

// Depending on the kernel, a pseudo-terminal whose master has gone may still answer termios
// queries, so the hang-up is taken from poll; bytes still readable are not declared lost. A wait
// that has just timed out on the port has polled it already: a hang-up shows in every poll, so
// the port had none then, and one coming after it ends the next wait at once and is caught by the
// check after that.
int TSerialLine::HangUpError() {
    if (m_Fd < 0) {
        return 0; // the query itself reports the closed descriptor
    }
    const bool polledJustNow =
        m_PortSeenQuiet && TicksBetween(m_PortQuietTick, MillisecondTick()) <= 1;
    m_PortSeenQuiet = false;
    if (polledJustNow) {
        return 0;
    }
    pollfd port{m_Fd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&port, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        return 0;
    }
    if ((port.revents & POLLNVAL) != 0) {
        return EBADF;
    }
    if ((port.revents & (POLLHUP | POLLERR)) != 0 && (port.revents & POLLIN) == 0) {
        return EIO;
    }
    return 0;
}

void TSerialLine::ClosePort() {
    if (m_Fd >= 0) {
        Purge();
        SetRTS(false);
        SetDTR(false);
        platform::CloseExclusive(m_Fd, m_SavedLine);
    }
    m_PortOpen = false;
    m_Fd = -1;
    m_PortNumber = -1;
    m_SkippingLine = false;
    m_PortSeenQuiet = false;
    SetError(ErrOK);
    ReportStatus(TSerialStatusReason::srClose, m_DevicePath);
}

void TSerialLine::Purge() {
    SetError(ErrOK);
    const int error = platform::Purge(m_Fd);
    if (error != 0) {
        CheckOsResult(error);
    }
    m_LineBuffer.clear();
    m_SkippingLine = false;
}

void TSerialLine::PurgeBuffers() {
    Purge();
    RaiseIfError();
}

// ---- queue sizes ----

int TSerialLine::BytesWaiting() {
    return QueueBytes(platform::InputQueueBytes);
}

int TSerialLine::BytesPending() {
    return QueueBytes(platform::OutputQueueBytes);
}

int TSerialLine::QueueBytes(int (*query)(int fd, int& count)) {
    int count = 0;
    const int error = query(m_Fd, count);
    CheckOsResult(error);
    if (error == 0) {
        ClearLineErrors();
    }
    RaiseIfError();
    return count;
}

// ---- waits ----

bool TSerialLine::TakeCancel() {
    std::uint64_t count = 0;
    while (::read(m_WakeFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
    return m_CancelRequested.exchange(false);
}

void TSerialLine::CancelWait() {
    m_CancelRequested.store(true);
    const std::uint64_t one = 1;
    while (::write(m_WakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

TSerialLine::TWaitOutcome TSerialLine::WaitFor(int fd, short events, int timeoutMs, int& osError) {
    osError = 0;
    const std::uint32_t start = MillisecondTick();
    const auto budget = static_cast<std::uint32_t>(NonNegative(timeoutMs));
    for (;;) {
        const std::uint32_t elapsed = TicksBetween(start, MillisecondTick());
        const int left = elapsed >= budget ? 0 : static_cast<int>(budget - elapsed);
        pollfd fds[2] = {{m_WakeFd, POLLIN, 0}, {fd, events, 0}};
        const nfds_t count = fd >= 0 ? 2 : 1;
        const int ready = ::poll(fds, count, left);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            osError = errno;
            return TWaitOutcome::Failed;
        }
        if ((fds[0].revents & POLLIN) != 0 && TakeCancel()) {
            return TWaitOutcome::Cancelled;
        }
        if (count == 2) {
            const short port = fds[1].revents;
            if ((port & POLLNVAL) != 0) {
                osError = EBADF;
                return TWaitOutcome::Failed;
            }
            if ((port & (POLLHUP | POLLERR)) != 0) {
                // A hung-up terminal reports itself readable too; only bytes really waiting
                // count as readable.
                int waiting = 0;
                const bool readable = (events & POLLIN) != 0 &&
                                      platform::InputQueueBytes(fd, waiting) == 0 && waiting > 0;
                return readable ? TWaitOutcome::Ready : TWaitOutcome::HungUp;
            }
            if ((port & events) != 0) {
                return TWaitOutcome::Ready;
            }
        }
        if (ready == 0) {
            // poll waited the whole time that was left.
            if (count == 2) {
                m_PortSeenQuiet = true;
                m_PortQuietTick = MillisecondTick();
            }
            return TWaitOutcome::TimedOut;
        }
        // A stale wake-up (a cancel already consumed) or an early return: wait for the rest.
    }
}

bool TSerialLine::WaitEvent(short events, int timeoutMs) {
    SetError(ErrOK);
    if (m_Fd < 0) {
        SetError(EBADF);
        return false;
    }
    int osError = 0;
    switch (WaitFor(m_Fd, events, timeoutMs, osError)) {
    case TWaitOutcome::Ready:
        return true;
    case TWaitOutcome::TimedOut:
    case TWaitOutcome::Cancelled:
        return false;
    case TWaitOutcome::HungUp:
        SetError(EIO);
        return false;
    case TWaitOutcome::Failed:
        SetError(osError);
        return false;
    }
    return false;
}

bool TSerialLine::WaitReadable(int timeoutMs) {
    // The poll answers at once when bytes are already waiting, so the queue is not asked first:
    // on a quiet port this runs every pass of the reader.
    const bool ready = WaitEvent(POLLIN, timeoutMs);
    if (ready) {
        ReportStatus(TSerialStatusReason::srCanRead, {});
    }
    return ready;
}

bool TSerialLine::WaitReadableOrBuffered(int timeoutMs) {
    if (!m_LineBuffer.empty()) {
        return true;
    }
    return WaitReadable(timeoutMs);
}

// There is no readiness event for an empty output queue, so the queue is looked at in short
// steps sized to what the line needs to send it.
bool TSerialLine::WaitWritable(int timeoutMs) {
    int pending = BytesPending();
    if (m_LastErrorCode != ErrOK) {
        return false;
    }
    const std::uint32_t start = MillisecondTick();
    const auto budget = static_cast<std::uint32_t>(NonNegative(timeoutMs));
    while (pending > 0) {
        const std::uint32_t elapsed = TicksBetween(start, MillisecondTick());
        if (elapsed >= budget) {
            SetError(ErrTimeout);
            return false;
        }
        const std::uint32_t baud = std::max<std::uint32_t>(m_LineSettings.BaudRate, 300);
        const auto drainMs = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(pending) * 10'000u / baud, 10));
        const int step = static_cast<int>(std::clamp<std::uint32_t>(drainMs, 1, budget - elapsed));
        int osError = 0;
        switch (WaitFor(m_Fd, 0, step, osError)) {
        case TWaitOutcome::Cancelled:
            SetError(ErrTimeout);
            return false;
        case TWaitOutcome::HungUp:
            SetError(EIO);
            return false;
        case TWaitOutcome::Failed:
            SetError(osError);
            return false;
        case TWaitOutcome::Ready:
        case TWaitOutcome::TimedOut:
            break;
        }
        pending = BytesPending();
        if (m_LastErrorCode != ErrOK) {
            return false;
        }
    }
    ReportStatus(TSerialStatusReason::srCanWrite, {});
    return true;
}

bool TSerialLine::Pause(int ms) {
    // Only the wake-up descriptor matters: a hang-up must not cut a pause short.
    int osError = 0;
    return WaitFor(-1, 0, ms, osError) != TWaitOutcome::Cancelled;
}

// ---- transfers ----

// Waits for the port to take or give bytes within what is left of a transfer's DeadlockTimeout,
// counted from `start`. The deadline is checked before waiting, so a port that signals ready but
// moves nothing cannot spin.
TSerialLine::TWaitOutcome TSerialLine::WaitWithinDeadline(short events, std::uint32_t start,
                                                          int& osError) {
    const auto budget = static_cast<std::uint32_t>(NonNegative(m_DeadlockTimeout));
    const std::uint32_t elapsed = TicksBetween(start, MillisecondTick());
    if (elapsed >= budget) {
        return TWaitOutcome::TimedOut;
    }
    return WaitFor(m_Fd, events, static_cast<int>(budget - elapsed), osError);
}

int TSerialLine::ReadBytes(std::span<char> buffer) {
    if (PreCheckFails()) {
        return 0;
    }
    SetError(ErrOK);
    std::size_t done = 0;
    const std::uint32_t start = MillisecondTick();
    while (done < buffer.size()) {
        const ssize_t got = ::read(m_Fd, buffer.data() + done, buffer.size() - done);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
            continue;
        }
        if (got == 0) {
            SetError(EIO); // end of file on a terminal: the device hung up
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            SetError(errno);
            break;
        }
        if (done > 0) {
            break; // deliver what had arrived; the caller asked only for what was waiting
        }
        int osError = 0;
        const TWaitOutcome outcome = WaitWithinDeadline(POLLIN, start, osError);
        if (outcome == TWaitOutcome::Ready) {
            continue;
        }
        SetError(outcome == TWaitOutcome::HungUp   ? EIO
                 : outcome == TWaitOutcome::Failed ? osError
                                                   : ErrTimeout);
        break;
    }
    CheckLineErrors();
    RaiseIfError();
    ReportCount(TSerialStatusReason::srReadCount, done);
    return static_cast<int>(done);
}

int TSerialLine::WriteBytes(std::span<const char> bytes) {
    if (PreCheckFails()) {
        return 0;
    }
    SetError(ErrOK);
    std::size_t done = 0;
    const std::uint32_t start = MillisecondTick();
    while (done < bytes.size()) {
        const ssize_t put = ::write(m_Fd, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno != EAGAIN) {
            SetError(errno);
            break;
        }
        int osError = 0;
        const TWaitOutcome outcome = WaitWithinDeadline(POLLOUT, start, osError);
        if (outcome == TWaitOutcome::Ready) {
            continue;
        }
        if (outcome == TWaitOutcome::HungUp || outcome == TWaitOutcome::Failed) {
            SetError(outcome == TWaitOutcome::HungUp ? EIO : osError);
            break;
        }
        // The rest of the text is abandoned; its head must not leave later as a stray fragment.
        platform::PurgeOutput(m_Fd);
        SetError(ErrTimeout);
        break;
    }
    CheckLineErrors();
    RaiseIfError();
    ReportCount(TSerialStatusReason::srWriteCount, done);
    return static_cast<int>(done);
}

void TSerialLine::SendText(std::string_view text) {
    WriteBytes(std::span(text.data(), text.size()));
}

std::string TSerialLine::ReceivePacket(int timeoutMs) {
    if (PreCheckFails()) {
        return {};
    }
    SetError(ErrOK);
    if (!m_LineBuffer.empty()) {
        return std::exchange(m_LineBuffer, {});
    }
    // Letting a burst finish arriving collects it in fewer, larger reads.
    sched_yield();
    int waiting = BytesWaiting();
    if (waiting == 0) {
        if (!WaitReadable(timeoutMs)) {
            // A failed wait keeps its own cause; only silence is a time-out.
            if (m_LastErrorCode == ErrOK) {
                SetError(ErrTimeout);
            }
            RaiseIfError();
            return {};
        }
        waiting = BytesWaiting();
        if (waiting == 0) {
            if (m_LastErrorCode == ErrOK) {
                SetError(ErrTimeout);
            }
            RaiseIfError();
            return {};
        }
    }
    std::string packet(static_cast<std::size_t>(waiting), '\0');
    packet.resize(static_cast<std::size_t>(ReadBytes(packet)));
    RaiseIfError();
    return packet;
}

// ---- lines ----

std::size_t TSerialLine::LineLimit() const {
    if (m_MaxLineLength > 0) {
        return std::min(static_cast<std::size_t>(m_MaxLineLength), LineBufferCap);
    }
    return LineBufferCap;
}

std::ptrdiff_t TSerialLine::FindTerminator(std::string& s, std::string_view terminator,
                                           bool convert, std::size_t& endLength) {
    if (!convert) {
        endLength = terminator.size();
        const std::size_t pos = s.find(terminator);
        return pos == std::string::npos ? -1 : static_cast<std::ptrdiff_t>(pos);
    }
    // A lone CR or LF ended the previous line: its partner is no line end of its own.
    if ((m_PendingCR && !s.empty() && s.front() == '\n') ||
        (m_PendingLF && !s.empty() && s.front() == '\r')) {
        s.erase(0, 1);
    }
    m_PendingCR = false;
    m_PendingLF = false;
    std::string_view lineEnd;
    const std::ptrdiff_t pos = FindLineEnd(s, lineEnd);
    endLength = lineEnd.size();
    if (lineEnd == "\r") {
        m_PendingCR = true;
    } else if (lineEnd == "\n") {
        m_PendingLF = true;
    }
    return pos;
}

std::string TSerialLine::ReceiveTerminated(int timeoutMs, std::string_view terminator) {
    if (PreCheckFails()) {
        return {};
    }
    SetError(ErrOK);
    if (terminator.empty()) {
        return {};
    }
    const bool convert = m_ConvertLineEnd && terminator == "\r\n";
    const std::size_t limit = LineLimit();
    // Bytes that may be the start of a line end split across two packets.
    const std::size_t endTail = terminator.size() - 1;
    std::string s;
    std::string line;
    std::size_t dropped = 0;
    for (;;) {
        const std::uint32_t t0 = MillisecondTick();
        s += ReceivePacket(timeoutMs);
        if (m_LastErrorCode != ErrOK) {
            break;
        }
        std::size_t endLength = 0;
        std::ptrdiff_t pos = s.empty() ? -1 : FindTerminator(s, terminator, convert, endLength);
        if (m_SkippingLine && pos >= 0) {
            s.erase(0, static_cast<std::size_t>(pos) + endLength);
            m_SkippingLine = false;
            pos = s.empty() ? -1 : FindTerminator(s, terminator, convert, endLength);
        }
        if (m_SkippingLine) {
            // Still inside the over-long line: drop what came, keep a possible split line end,
            // and report again after every further limit's worth so the caller is not held.
            const std::size_t keep = std::min(s.size(), endTail);
            dropped += s.size() - keep;
            s.erase(0, s.size() - keep);
            if (dropped > limit) {
                SetError(ErrMaxBuffer);
                break;
            }
        } else if (pos >= 0 && static_cast<std::size_t>(pos) <= limit) {
            line = s.substr(0, static_cast<std::size_t>(pos));
            s.erase(0, static_cast<std::size_t>(pos) + endLength);
            break;
        } else if (pos >= 0) {
            s.erase(0, static_cast<std::size_t>(pos) + endLength);
            SetError(ErrMaxBuffer);
            break;
        } else if (s.size() > limit + endTail) {
            // Without a line end the buffer would grow without bound: drop the over-long line
            // up to its end and resume with the next one.
            s.erase(0, s.size() - endTail);
            m_SkippingLine = true;
            SetError(ErrMaxBuffer);
            break;
        }
        // Data that keeps coming never lets a wait see a cancel, so look for one here too.
        if (m_CancelRequested.load() && TakeCancel()) {
            SetError(ErrTimeout);
            break;
        }
        if (!m_InterPacketTimeout) {
            timeoutMs -= static_cast<int>(TicksBetween(t0, MillisecondTick()));
            if (timeoutMs <= 0) {
                SetError(ErrTimeout);
                break;
            }
        }
    }
    m_LineBuffer = std::move(s);
    RaiseIfError();
    return line;
}

std::string TSerialLine::ReceiveLine(int timeoutMs) {
    std::string line = ReceiveTerminated(timeoutMs, "\r\n");
    return m_LastErrorCode == ErrOK ? line : std::string{};
}

bool TSerialLine::LineBuffered() const {
    if (m_SkippingLine || m_LineBuffer.empty()) {
        return false;
    }
    if (!m_ConvertLineEnd) {
        return m_LineBuffer.find("\r\n") != std::string::npos;
    }
    // The same reading as FindTerminator: the partner of a lone CR or LF that ended the previous
    // line is skipped, then any CR or LF ends a line.
    std::string_view rest = m_LineBuffer;
    if ((m_PendingCR && rest.front() == '\n') || (m_PendingLF && rest.front() == '\r')) {
        rest.remove_prefix(1);
    }
    return rest.find_first_of("\r\n") != std::string_view::npos;
}

// ---- modem lines ----

std::uint32_t TSerialLine::ReadModemLines() {
    SetError(ErrOK);
    std::uint32_t lines = 0;
    const int error = platform::ModemStatus(m_Fd, lines);
    if (error != 0) {
        lines = 0;
        CheckOsResult(error);
    }
    RaiseIfError();
    m_ModemLines = lines;
    return lines;
}

bool TSerialLine::ClearToSend() {
    return (ReadModemLines() & mlCTS) != 0;
}
bool TSerialLine::DataSetReady() {
    return (ReadModemLines() & mlDSR) != 0;
}
bool TSerialLine::RingIndicator() {
    return (ReadModemLines() & mlRing) != 0;
}
bool TSerialLine::CarrierDetect() {
    return (ReadModemLines() & mlDCD) != 0;
}

// The line may not exist (pseudo-terminals have none); that is no error of the caller's.
void TSerialLine::SetDTR(bool on) {
    platform::SetModemOutput(m_Fd, TModemOutput::DTR, on);
}
void TSerialLine::SetRTS(bool on) {
    platform::SetModemOutput(m_Fd, TModemOutput::RTS, on);
}

} // namespace serial

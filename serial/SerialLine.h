#pragma once

#include "serial/SerialDriver.h"
#include "serial/SerialErrors.h"
#include "serial/SerialPlatform.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

namespace serial {

// Raised by a failing operation when RaiseExcept is on (off in this program).
class ESerialLineError : public std::runtime_error {
public:
    ESerialLineError(int code, const std::string& desc);

    int Code() const { return m_Code; }
    const std::string& Desc() const { return m_Desc; }

private:
    int m_Code;
    std::string m_Desc;
};

// Line-error flags handed to DecodeLineErrors.
enum TLineErrorFlag : std::uint32_t {
    leRxOver = 0x0001,
    leOverrun = 0x0002,
    leRxParity = 0x0004,
    leFrame = 0x0008,
    leTxFull = 0x0100,
};

// One serial port of the system behind blocking calls: every operation returns when it is done or
// when its time-out (milliseconds) has run out, and leaves LastErrorCode/LastErrorText behind
// (codes in SerialErrors.h; OS error numbers pass through unchanged).
//
// Threads: one thread at a time uses an instance; CancelWait alone may come from any thread. Every
// wait polls the port together with an eventfd of the instance, so a cancel ends it at once.
//
// Port names: "COM<n>" opens /dev/ttyS<n-1>; a name without "/" (such as "ttyUSB0") opens
// under /dev; any other name is opened as given.
class TSerialLine final : public SerialDriver {
public:
    // A run of bytes without a line end longer than this is dropped (see ReceiveTerminated).
    static constexpr std::size_t LineBufferCap = 64 * 1024;

    // Throws std::system_error when the wake-up descriptor cannot be created.
    TSerialLine();
    // Closes the port (reporting srClose) without throwing.
    ~TSerialLine() override;
    TSerialLine(const TSerialLine&) = delete;
    TSerialLine& operator=(const TSerialLine&) = delete;

    void OpenPort(const std::string& name) override;
    void ConfigureLine(int baudRate, int dataBits, char parity, int stopBits, bool softwareFlow,
                       bool hardwareFlow) override;
    void ClosePort() override;
    void PurgeBuffers() override;

    bool WaitReadableOrBuffered(int timeoutMs) override;
    bool WaitReadable(int timeoutMs);
    // True once the output queue has drained; false with ErrTimeout when it does not drain in
    // time, so a caller never takes an unsent command for a sent one.
    bool WaitWritable(int timeoutMs) override;

    std::string ReceiveLine(int timeoutMs) override;
    // Looks only as far as the next line end, so it costs no more than taking that line. False
    // while the rest of an over-long line is being dropped: the next line end only ends that one.
    bool LineBuffered() const override;
    // The bytes up to `terminator`, which is removed with them. What follows stays in LineBuffer,
    // and so does everything received when no line completes (ErrTimeout), so nothing is lost.
    // With InterPacketTimeout the time-out restarts with every arriving packet. A line longer than
    // the limit (MaxLineLength, at most LineBufferCap) fails with ErrMaxBuffer and is dropped up to
    // its line end; reception resumes with the next line.
    std::string ReceiveTerminated(int timeoutMs, std::string_view terminator);
    // LineBuffer when it holds anything, else what the port has or receives within the time-out.
    std::string ReceivePacket(int timeoutMs);
    void SendText(std::string_view text) override;

    int ReadBytes(std::span<char> buffer);
    int WriteBytes(std::span<const char> bytes);
    int BytesWaiting();
    int BytesPending();

    void ReadLineSettings() override;
    void WriteLineSettings(const TLineSettings& settings);

    std::uint32_t ReadModemLines() override;
    bool ClearToSend() override;
    bool DataSetReady() override;
    bool CarrierDetect() override;
    bool RingIndicator() override;
    void SetDTR(bool on) override;
    void SetRTS(bool on) override;

    bool Pause(int ms) override;
    void CancelWait() override;

    bool PortOpen() const override { return m_PortOpen; }
    int LastErrorCode() const override { return m_LastErrorCode; }
    std::string LastErrorText() const override { return std::string(m_LastErrorText); }
    void SetOnStatus(TSerialStatusHook hook) override { m_OnStatus = std::move(hook); }

    // The port's descriptor, -1 while closed.
    int Handle() const { return m_Fd; }
    const std::string& DevicePath() const { return m_DevicePath; }
    int PortNumber() const { return m_PortNumber; }
    const std::string& LineBuffer() const { return m_LineBuffer; }
    const TLineSettings& LineSettings() const { return m_LineSettings; }
    std::uint32_t ModemLines() const { return m_ModemLines; }
    bool PendingCR() const { return m_PendingCR; }
    bool PendingLF() const { return m_PendingLF; }

    int InputQueueSize() const { return m_InputQueueSize; }
    void SetInputQueueSize(int size) { m_InputQueueSize = size; }
    bool RaiseExcept() const { return m_RaiseExcept; }
    void SetRaiseExcept(bool on) { m_RaiseExcept = on; }
    bool TestDSR() const { return m_TestDSR; }
    void SetTestDSR(bool on) { m_TestDSR = on; }
    bool TestCTS() const { return m_TestCTS; }
    void SetTestCTS(bool on) { m_TestCTS = on; }
    int MaxLineLength() const { return m_MaxLineLength; }
    void SetMaxLineLength(int length) { m_MaxLineLength = length; }
    int DeadlockTimeout() const { return m_DeadlockTimeout; }
    void SetDeadlockTimeout(int ms) { m_DeadlockTimeout = ms; }
    bool ConvertLineEnd() const { return m_ConvertLineEnd; }
    void SetConvertLineEnd(bool on) { m_ConvertLineEnd = on; }
    bool InterPacketTimeout() const { return m_InterPacketTimeout; }
    void SetInterPacketTimeout(bool on) { m_InterPacketTimeout = on; }

    // The text of a code: "OK", the driver's own text, or the system's text for an OS error.
    static std::string GetErrorDesc(int code);
    // Zero-based port number of "COM<n>" (n - 1) or "/dev/ttyS<n>" (n, -2 when n is no number);
    // -1 for every other name. Case is ignored.
    static int ResolvePortNumber(std::string_view name);
    // The path OpenPort opens for a port name.
    static std::string PortDevicePath(std::string_view name);
    // The record ConfigureLine writes. Parity letters N O E M S in either case; others mean none.
    static TLineSettings BuildLineSettings(int baudRate, int dataBits, char parity, int stopBits,
                                           bool softwareFlow, bool hardwareFlow,
                                           int inputQueueSize);
    // The code for a set of line-error flags: the last hit in the order frame, overrun, receive
    // overflow, parity, transmit full wins; `current` when no flag is set.
    static int LineErrorCode(std::uint32_t flags, int current);
    // Flags for the counters that grew from `before` to `after`.
    static std::uint32_t LineErrorFlags(const TLineCounters& before, const TLineCounters& after);

private:
    enum class TWaitOutcome { Ready, TimedOut, Cancelled, HungUp, Failed };

    void SetError(int code);
    // The text of `code`; an OS error's text is made once per instance and kept, since a port
    // without modem lines fails the same way on every pass of its reader.
    std::string_view ErrorText(int code);
    void CheckOsResult(int osError);
    void RaiseIfError() const;
    void DecodeLineErrors(std::uint32_t flags);
    void CheckLineErrors();
    void ClearLineErrors();
    bool PreCheckFails();
    bool DeviceUsable();
    void ReportStatus(TSerialStatusReason reason, std::string_view value);
    void ReportCount(TSerialStatusReason reason, std::size_t count);
    void Purge();
    // BytesWaiting and BytesPending: one of the port's queue sizes, through `query`.
    int QueueBytes(int (*query)(int fd, int& count));

    // Polls `fd` for `events` (none: hang-up only; fd -1: no port) and the wake-up descriptor
    // for up to `timeoutMs`, resuming after signals and stale wake-ups with the time that is left.
    TWaitOutcome WaitFor(int fd, short events, int timeoutMs, int& osError);
    TWaitOutcome WaitWithinDeadline(short events, std::uint32_t start, int& osError);
    bool WaitEvent(short events, int timeoutMs);
    bool TakeCancel();
    int HangUpError();
    // Position of the line end in `s` (-1 when none) and its length, with the optional CR/LF
    // conversion.
    std::ptrdiff_t FindTerminator(std::string& s, std::string_view terminator, bool convert,
                                  std::size_t& endLength);
    std::size_t LineLimit() const;

    int m_Fd = -1;
    platform::TSavedLine m_SavedLine;
    int m_WakeFd = -1;
    std::atomic<bool> m_CancelRequested{false};

    std::string m_DevicePath;
    int m_PortNumber = -1;
    bool m_PortOpen = false;
    int m_LastErrorCode = ErrOK;
    // Views a static text or an entry of m_OsErrorTexts (whose nodes never move).
    std::string_view m_LastErrorText = "OK";
    std::unordered_map<int, std::string> m_OsErrorTexts;
    // A wait on the port ended by its time-out at m_PortQuietTick: the port had not hung up then.
    bool m_PortSeenQuiet = false;
    std::uint32_t m_PortQuietTick = 0;
    std::string m_LineBuffer;
    // Set while the rest of an over-long line is being dropped.
    bool m_SkippingLine = false;
    TLineSettings m_LineSettings{};
    std::uint32_t m_ModemLines = 0;
    TSerialStatusHook m_OnStatus;
    bool m_PendingCR = false;
    bool m_PendingLF = false;

    bool m_LineCountersSupported = false;
    TLineCounters m_LineCounters{};

    int m_InputQueueSize = 4096;
    bool m_RaiseExcept = false;
    bool m_TestDSR = false;
    bool m_TestCTS = false;
    int m_MaxLineLength = 0;
    int m_DeadlockTimeout = 30000;
    bool m_ConvertLineEnd = false;
    bool m_InterPacketTimeout = true;
};

} // namespace serial

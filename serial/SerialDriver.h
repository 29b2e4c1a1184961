#pragma once

#include "serial/SerialPlatform.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace serial {

enum class TSerialStatusReason {
    srClose,
    srConnect,
    srCanRead,
    srCanWrite,
    srReadCount,
    srWriteCount,
    srWait,
};

class SerialDriver;

// Progress report of a driver; runs on the thread that called the reporting operation.
using TSerialStatusHook =
    std::function<void(SerialDriver& Sender, TSerialStatusReason Reason, std::string_view Value)>;

// The operations of a serial line driver that the port worker uses. TSerialLine is the real one;
// tests substitute failing or scripted drivers. An instance is used by one thread at a time, except
// CancelWait, which any thread may call.
//
// After each operation LastErrorCode()/LastErrorText() tell how it went (codes in SerialErrors.h).
class SerialDriver {
public:
    virtual ~SerialDriver() = default;

    virtual void OpenPort(const std::string& name) = 0;
    // parity: 'N', 'O', 'E', 'M' or 'S' (either case); stopBits: 0 one, 1 one and a half, 2 two.
    virtual void ConfigureLine(int baudRate, int dataBits, char parity, int stopBits,
                               bool softwareFlow, bool hardwareFlow) = 0;
    virtual void ClosePort() = 0;
    virtual void PurgeBuffers() = 0;

    virtual bool WaitReadableOrBuffered(int timeoutMs) = 0;
    virtual bool WaitWritable(int timeoutMs) = 0;
    // The next CR LF terminated line without its CR LF; empty with an error when none completes.
    virtual std::string ReceiveLine(int timeoutMs) = 0;
    // A complete CR LF line is already in the driver's buffer, so ReceiveLine returns it without
    // waiting for the port. A driver that cannot tell says false.
    virtual bool LineBuffered() const { return false; }
    virtual void SendText(std::string_view text) = 0;

    // Reads the port's current settings; fails once the device has gone away.
    virtual void ReadLineSettings() = 0;

    virtual bool ClearToSend() = 0;
    virtual bool DataSetReady() = 0;
    virtual bool CarrierDetect() = 0;
    virtual bool RingIndicator() = 0;
    // All four input lines at once, as TModemLine bits. A driver that reads them together from
    // the port says so by overriding this; the default asks for each line on its own.
    virtual std::uint32_t ReadModemLines() {
        return (ClearToSend() ? mlCTS : 0U) | (DataSetReady() ? mlDSR : 0U) |
               (CarrierDetect() ? mlDCD : 0U) | (RingIndicator() ? mlRing : 0U);
    }
    virtual void SetDTR(bool on) = 0;
    virtual void SetRTS(bool on) = 0;

    // A pause of `ms` milliseconds that CancelWait ends early. Returns false when cancelled.
    virtual bool Pause(int ms) = 0;
    // Thread-safe: ends the wait in progress (WaitReadable*, WaitWritable, ReceiveLine, Pause) at
    // once, or, when none is in progress, the next one.
    virtual void CancelWait() = 0;

    virtual bool PortOpen() const = 0;
    virtual int LastErrorCode() const = 0;
    virtual std::string LastErrorText() const = 0;
    virtual void SetOnStatus(TSerialStatusHook hook) = 0;
};

} // namespace serial

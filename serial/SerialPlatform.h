#pragma once

#include <cstdint>
#include <string>

// The line settings record and the terminal-device operations the line driver rests on. This
// header is free of kernel headers: only SerialPlatform.cpp includes <asm/termbits.h>, whose
// `struct termios` clashes with the C library's.
namespace serial {

// Flags word of TLineSettings.
enum TLineFlag : std::uint32_t {
    lfBinary = 0x0001,
    lfParity = 0x0002,           // parity checking
    lfOutxCtsFlow = 0x0004,      // output waits for CTS
    lfDtrControlEnable = 0x0010, // DTR on while open
    lfOutX = 0x0100,             // XON/XOFF on output
    lfInX = 0x0200,              // XON/XOFF on input
    lfRtsControlEnable = 0x1000, // RTS on while open
    lfRtsControlHandshake = 0x2000,
};

// Parity codes of TLineSettings::Parity.
enum TParityCode : std::uint8_t {
    pcNone = 0,
    pcOdd = 1,
    pcEven = 2,
    pcMark = 3,
    pcSpace = 4,
};

// Stop-bit codes of TLineSettings::StopBits.
enum TStopCode : std::uint8_t {
    scOne = 0,
    scOneAndHalf = 1,
    scTwo = 2,
};

// The port's line settings as one record, independent of the terminal interface underneath.
struct TLineSettings {
    static constexpr std::uint32_t RecordLength = 28;

    std::uint32_t Length = 0;
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t XonLimit = 0;
    std::uint16_t XoffLimit = 0;
    std::uint8_t DataBits = 0;
    std::uint8_t Parity = pcNone;
    std::uint8_t StopBits = scOne;
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EventChar = 0;

    friend bool operator==(const TLineSettings&, const TLineSettings&) = default;
};

// Running totals of receive errors kept by the UART driver.
struct TLineCounters {
    std::uint32_t Frame = 0;
    std::uint32_t Overrun = 0;
    std::uint32_t Parity = 0;
    std::uint32_t BufferOverrun = 0;
};

// Bits of the modem status word (the input lines).
enum TModemLine : std::uint32_t {
    mlCTS = 0x10,
    mlDSR = 0x20,
    mlRing = 0x40,
    mlDCD = 0x80,
};

enum class TModemOutput { DTR, RTS };

// Every operation answers 0 or an errno value (OpenExclusive also ErrAlreadyOwned) and leaves
// errno itself unspecified.
namespace platform {

// A port's line settings as they were before it was opened, put back when it is closed, so a
// port leaves this program as it came (a terminal left raw at 38400 is unusable to others).
struct TSavedLine {
    alignas(8) unsigned char Record[64]{};
    bool Saved = false;
};

// Opens a terminal device for exclusive use: non-blocking, not the controlling terminal, closed
// on exec, locked against other openers, its line settings kept in `saved`. Answers EBUSY when
// another holder has it locked, ENOTTY for a file that is not a terminal, and ErrAlreadyOwned for
// a terminal that is not a device port: this program's own terminal (under any name, /dev/tty
// included) or the system console. On failure `fd` is -1 and nothing stays open.
int OpenExclusive(const std::string& path, int& fd, TSavedLine& saved);
// Puts the saved line settings back, gives up the exclusive claim and closes the descriptor.
void CloseExclusive(int fd, const TSavedLine& saved);

// Writes the record to the port as raw 8-bit I/O (no echo, no signals, no line-end mapping),
// reads the settings back and answers EINVAL when the port did not take them.
int ApplyLineSettings(int fd, const TLineSettings& settings);
// Reads the port's settings. Length and the XON/XOFF limits are left 0 (the port has none).
int QueryLineSettings(int fd, TLineSettings& settings);

int InputQueueBytes(int fd, int& count);
int OutputQueueBytes(int fd, int& count);
// Discards both queues.
int Purge(int fd);
// Discards the output queue only (aborts a write).
int PurgeOutput(int fd);

int ModemStatus(int fd, std::uint32_t& lines);
int SetModemOutput(int fd, TModemOutput line, bool on);

int ReadLineCounters(int fd, TLineCounters& counters);

} // namespace platform
} // namespace serial

// The only source file that talks termios: <asm/termbits.h> gives termios2 (any baud rate through
// BOTHER) but clashes with <termios.h>, so nothing else may include either.
#include "serial/SerialPlatform.h"

#include "serial/SerialErrors.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace serial::platform {
namespace {

int ErrnoOf(int result) {
    return result == -1 ? errno : 0;
}

tcflag_t CharacterSize(std::uint8_t dataBits) {
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    case 8:
        return CS8;
    default:
        return 0;
    }
}

std::uint8_t DataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

tcflag_t ParityFlags(std::uint8_t parity) {
    switch (parity) {
    case pcOdd:
        return PARENB | PARODD;
    case pcEven:
        return PARENB;
    case pcMark:
        return PARENB | PARODD | CMSPAR;
    case pcSpace:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

std::uint8_t ParityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) {
        return pcNone;
    }
    if ((cflag & CMSPAR) != 0) {
        return (cflag & PARODD) != 0 ? pcMark : pcSpace;
    }
    return (cflag & PARODD) != 0 ? pcOdd : pcEven;
}

// A UART divides its clock, so the speed it reports back may differ a little from the one asked
// for; more than 3 % off garbles characters, which is not the speed asked for.
bool CloseEnough(std::uint32_t wanted, speed_t actual) {
    const auto difference =
        std::llabs(static_cast<long long>(wanted) - static_cast<long long>(actual));
    return difference * 100 <= static_cast<long long>(wanted) * 3;
}

// The device number of the terminal behind `fd` (for /dev/tty: the terminal it stands for).
bool TerminalDevice(int fd, dev_t& device) {
    unsigned int number = 0;
    if (ioctl(fd, TIOCGDEV, &number) != 0) {
        return false;
    }
    device = static_cast<dev_t>(number);
    return true;
}

// The terminal this program runs in (by any of its names) and the system console are no device
// ports: taking them would lock the user's shell and leave it raw. Device numbers decide, since
// one terminal has many names (/dev/tty, /dev/pts/N, a link, a bind mount).
bool IsOwnTerminal(int fd) {
    struct stat opened {};
    if (fstat(fd, &opened) != 0) {
        return false;
    }
    constexpr unsigned TtyAuxMajor = 5; // 5:0 is /dev/tty, 5:1 /dev/console
    if (major(opened.st_rdev) == TtyAuxMajor && minor(opened.st_rdev) <= 1) {
        return true;
    }
    const int own = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (own < 0) {
        return false; // no controlling terminal
    }
    dev_t ownDevice = 0;
    const bool known = TerminalDevice(own, ownDevice);
    ::close(own);
    return known && ownDevice == opened.st_rdev;
}

} // namespace

int OpenExclusive(const std::string& path, int& fd, TSavedLine& saved) {
    fd = -1;
    saved.Saved = false;
    const int candidate = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (candidate < 0) {
        return errno;
    }
    int error = 0;
    termios2 original{};
    if (ioctl(candidate, TCGETS2, &original) != 0) {
        // Anything but a terminal would take the bytes without a device behind it.
        error = errno == EINVAL ? ENOTTY : errno;
    } else if (IsOwnTerminal(candidate)) {
        error = ErrAlreadyOwned;
    } else if (flock(candidate, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    } else {
        // Keeps out non-root openers that do not take the lock; root passes it, the lock remains.
        ioctl(candidate, TIOCEXCL);
    }
    if (error != 0) {
        ::close(candidate);
        return error;
    }
    static_assert(sizeof original <= sizeof saved.Record);
    std::memcpy(saved.Record, &original, sizeof original);
    saved.Saved = true;
    fd = candidate;
    return 0;
}

void CloseExclusive(int fd, const TSavedLine& saved) {
    if (fd < 0) {
        return;
    }
    if (saved.Saved) {
        termios2 original{};
        std::memcpy(&original, saved.Record, sizeof original);
        // A port that has gone away cannot take them; there is nothing left to restore then.
        ioctl(fd, TCSETS2, &original);
    }
    ioctl(fd, TIOCNXCL);
    // The lock goes with the last descriptor of the open file; close is not retried on EINTR.
    ::close(fd);
}

int ApplyLineSettings(int fd, const TLineSettings& settings) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return errno;
    }
    const tcflag_t size = CharacterSize(settings.DataBits);
    // Speed 0 would hang the line up instead of setting a speed; the top half of the range is
    // a negative rate passed in.
    if (size == 0 || settings.BaudRate == 0 || settings.BaudRate > 0x7FFF'FFFFu ||
        settings.Parity > pcSpace || settings.StopBits > scTwo) {
        return EINVAL;
    }

    // Parity errors are counted by the UART driver; INPCK stays off so the byte itself still
    // arrives unchanged instead of being replaced by NUL.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON |
                     IXANY | IXOFF | INPCK | IMAXBEL);
    if ((settings.Flags & lfOutX) != 0) {
        tio.c_iflag |= IXON;
    }
    if ((settings.Flags & lfInX) != 0) {
        tio.c_iflag |= IXOFF;
    }
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | ECHOCTL | ECHOKE);

    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
    tio.c_cflag |= CREAD | CLOCAL | size | ParityFlags(settings.Parity) | BOTHER;
    if (settings.StopBits != scOne) {
        tio.c_cflag |= CSTOPB;
    }
    if ((settings.Flags & (lfOutxCtsFlow | lfRtsControlHandshake)) != 0) {
        tio.c_cflag |= CRTSCTS;
    }
    tio.c_ispeed = settings.BaudRate;
    tio.c_ospeed = settings.BaudRate;

    // Non-blocking reads: no data is EAGAIN, a read of 0 is a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = settings.XonChar;
    tio.c_cc[VSTOP] = settings.XoffChar;

    if (ioctl(fd, TCSETS2, &tio) != 0) {
        return errno;
    }

    // The kernel silently drops what a port cannot do (a pseudo-terminal forces CS8 and no
    // parity), so only the read-back tells whether the settings were taken.
    termios2 back{};
    if (ioctl(fd, TCGETS2, &back) != 0) {
        return errno;
    }
    constexpr tcflag_t checkedCflag = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    constexpr tcflag_t checkedIflag = IXON | IXOFF;
    if ((back.c_cflag & checkedCflag) != (tio.c_cflag & checkedCflag) ||
        (back.c_iflag & checkedIflag) != (tio.c_iflag & checkedIflag) ||
        !CloseEnough(settings.BaudRate, back.c_ospeed)) {
        return EINVAL;
    }
    return 0;
}

int QueryLineSettings(int fd, TLineSettings& settings) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return errno;
    }
    TLineSettings read{};
    read.BaudRate = tio.c_ospeed;
    read.DataBits = DataBitsOf(tio.c_cflag);
    read.Parity = ParityOf(tio.c_cflag);
    read.StopBits = (tio.c_cflag & CSTOPB) != 0 ? scTwo : scOne;
    read.Flags = lfBinary | lfDtrControlEnable;
    if (read.Parity != pcNone) {
        read.Flags |= lfParity;
    }
    if ((tio.c_iflag & IXON) != 0) {
        read.Flags |= lfOutX;
    }
    if ((tio.c_iflag & IXOFF) != 0) {
        read.Flags |= lfInX;
    }
    read.Flags |=
        (tio.c_cflag & CRTSCTS) != 0 ? (lfOutxCtsFlow | lfRtsControlHandshake) : lfRtsControlEnable;
    read.XonChar = tio.c_cc[VSTART];
    read.XoffChar = tio.c_cc[VSTOP];
    settings = read;
    return 0;
}

int InputQueueBytes(int fd, int& count) {
    count = 0;
    const int error = ErrnoOf(ioctl(fd, TIOCINQ, &count));
    if (error != 0) {
        count = 0;
    }
    return error;
}

int OutputQueueBytes(int fd, int& count) {
    count = 0;
    const int error = ErrnoOf(ioctl(fd, TIOCOUTQ, &count));
    if (error != 0) {
        count = 0;
    }
    return error;
}

int Purge(int fd) {
    return ErrnoOf(ioctl(fd, TCFLSH, TCIOFLUSH));
}

int PurgeOutput(int fd) {
    return ErrnoOf(ioctl(fd, TCFLSH, TCOFLUSH));
}

int ModemStatus(int fd, std::uint32_t& lines) {
    lines = 0;
    int bits = 0;
    if (ioctl(fd, TIOCMGET, &bits) != 0) {
        return errno;
    }
    if ((bits & TIOCM_CTS) != 0) {
        lines |= mlCTS;
    }
    if ((bits & TIOCM_DSR) != 0) {
        lines |= mlDSR;
    }
    if ((bits & TIOCM_RNG) != 0) {
        lines |= mlRing;
    }
    if ((bits & TIOCM_CAR) != 0) {
        lines |= mlDCD;
    }
    return 0;
}

int SetModemOutput(int fd, TModemOutput line, bool on) {
    const int bit = line == TModemOutput::DTR ? TIOCM_DTR : TIOCM_RTS;
    return ErrnoOf(ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit));
}

int ReadLineCounters(int fd, TLineCounters& counters) {
    serial_icounter_struct icount{};
    if (ioctl(fd, TIOCGICOUNT, &icount) != 0) {
        return errno;
    }
    counters.Frame = static_cast<std::uint32_t>(icount.frame);
    counters.Overrun = static_cast<std::uint32_t>(icount.overrun);
    counters.Parity = static_cast<std::uint32_t>(icount.parity);
    counters.BufferOverrun = static_cast<std::uint32_t>(icount.buf_overrun);
    return 0;
}

} // namespace serial::platform

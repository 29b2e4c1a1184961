// The driver against a pseudo-terminal: the test plays the device on the master side.
#include "serial/SerialLine.h"
#include "serial/SerialUtil.h"
#include "tests/serial/serial_line_pty.h"

#include <gmock/gmock.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace serial {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::Pair;
using testing::PtyPair;

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// Records every status report of a driver.
struct StatusLog {
    std::vector<std::pair<TSerialStatusReason, std::string>> reports;

    TSerialStatusHook Hook() {
        return [this](SerialDriver&, TSerialStatusReason reason, std::string_view value) {
            reports.emplace_back(reason, std::string(value));
        };
    }
    int Count(TSerialStatusReason reason) const {
        int n = 0;
        for (const auto& r : reports) {
            n += r.first == reason ? 1 : 0;
        }
        return n;
    }
};

class SerialLinePtyTest : public ::testing::Test {
protected:
    void SetUp() override { line.SetOnStatus(log.Hook()); }

    // Opens and configures the port as the program does.
    void Connect() {
        line.OpenPort(pty.SlavePath());
        ASSERT_EQ(line.LastErrorCode(), 0) << line.LastErrorText();
        line.ConfigureLine(38400, 8, 'N', 0, false, false);
        ASSERT_EQ(line.LastErrorCode(), 0) << line.LastErrorText();
        log.reports.clear();
    }

    // Waits until `count` bytes the device sent are waiting in the port, having crossed the
    // pseudo-terminal; the driver's own buffer is not touched.
    bool Arrived(int count) {
        const auto until = Clock::now() + 5s;
        while (line.BytesWaiting() < count) {
            if (Clock::now() > until) {
                return false;
            }
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    PtyPair pty;
    StatusLog log;
    TSerialLine line;
};

// ---- open and close ----

TEST_F(SerialLinePtyTest, OpenReportsConnectWithThePathOpened) {
    line.OpenPort(pty.SlavePath());
    EXPECT_EQ(line.LastErrorCode(), 0) << line.LastErrorText();
    EXPECT_TRUE(line.PortOpen());
    EXPECT_GE(line.Handle(), 0);
    EXPECT_EQ(line.DevicePath(), pty.SlavePath());
    EXPECT_EQ(line.PortNumber(), -1);
    EXPECT_THAT(log.reports, ElementsAre(Pair(TSerialStatusReason::srConnect, pty.SlavePath())));
}

TEST_F(SerialLinePtyTest, SecondOpenOfTheSameInstanceIsRefusedAndPortStaysOpen) {
    Connect();
    line.OpenPort(pty.SlavePath());
    EXPECT_EQ(line.LastErrorCode(), ErrAlreadyInUse);
    EXPECT_EQ(line.LastErrorText(), "Instance already in use");
    EXPECT_TRUE(line.PortOpen());
    EXPECT_TRUE(log.reports.empty());
    line.SendText("still");
    EXPECT_EQ(line.LastErrorCode(), 0);
}

TEST_F(SerialLinePtyTest, PortHeldByAnotherOpenerIsBusyAlsoThroughASymlink) {
    Connect();
    StatusLog otherLog; // outlives `other`, whose destruction reports to it
    TSerialLine other;
    other.SetOnStatus(otherLog.Hook());
    const int before = OpenDescriptors();
    other.OpenPort(pty.SlavePath());
    EXPECT_EQ(other.LastErrorCode(), EBUSY);
    EXPECT_EQ(other.LastErrorText(), "Device or resource busy");
    EXPECT_FALSE(other.PortOpen());
    EXPECT_TRUE(otherLog.reports.empty());

    const auto link = std::filesystem::temp_directory_path() /
                      ("dekoder-port-link-" + std::to_string(::getpid()));
    std::filesystem::remove(link);
    std::filesystem::create_symlink(pty.SlavePath(), link);
    other.OpenPort(link.string());
    EXPECT_EQ(other.LastErrorCode(), EBUSY);
    std::filesystem::remove(link);

    EXPECT_EQ(OpenDescriptors(), before) << "a refused open leaked its descriptor";

    line.ClosePort();
    other.OpenPort(pty.SlavePath());
    EXPECT_EQ(other.LastErrorCode(), 0) << "the claim must end with ClosePort";
}

TEST_F(SerialLinePtyTest, MissingPortFailsWithTheSystemError) {
    line.OpenPort("/dev/no-such-port-dekoder");
    EXPECT_EQ(line.LastErrorCode(), ENOENT);
    EXPECT_EQ(line.LastErrorText(), "No such file or directory");
    EXPECT_FALSE(line.PortOpen());
    EXPECT_TRUE(log.reports.empty());
}

TEST_F(SerialLinePtyTest, FileThatIsNoTerminalIsRefused) {
    const auto file = std::filesystem::temp_directory_path() /
                      ("dekoder-not-a-port-" + std::to_string(::getpid()));
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        std::fclose(f);
    }
    const int before = OpenDescriptors();
    line.OpenPort(file.string());
    EXPECT_EQ(line.LastErrorCode(), ENOTTY);
    EXPECT_FALSE(line.PortOpen());
    EXPECT_EQ(OpenDescriptors(), before);
    std::filesystem::remove(file);
}

// The terminal the program runs in, by any name, and the console are not device ports: taking one
// would lock the user's shell and leave it raw after the program ends.
TEST_F(SerialLinePtyTest, TheProgramsOwnTerminalAndTheConsoleAreRefused) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The pseudo-terminal becomes this process's controlling terminal.
        const int own = setsid() < 0 ? -1 : ::open(pty.SlavePath().c_str(), O_RDWR);
        if (own < 0 || ioctl(own, TIOCSCTTY, 0) != 0) {
            _exit(100);
        }
        int failed = 0;
        const std::string names[] = {"tty", "/dev/tty", pty.SlavePath(), "/dev/console"};
        for (std::size_t i = 0; i < std::size(names); ++i) {
            TSerialLine probe;
            probe.OpenPort(names[i]);
            const bool refused = i == 3
                                     ? !probe.PortOpen()
                                     : probe.LastErrorCode() == ErrAlreadyOwned &&
                                           probe.LastErrorText() == "Port owned by other process";
            failed |= refused ? 0 : 1 << i;
        }
        _exit(failed);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bit i: name i was taken";
}

// A port leaves the program with the line settings it came with, whichever way it is closed.
TEST_F(SerialLinePtyTest, ClosingGivesThePortItsOwnSettingsBack) {
    const int watcher = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(watcher, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(watcher, &before), 0);
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_oflag |= OPOST;
    cfsetspeed(&before, B9600);
    ASSERT_EQ(tcsetattr(watcher, TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(watcher, &before), 0);

    const auto same = [&](const char* how) {
        termios after{};
        ASSERT_EQ(tcgetattr(watcher, &after), 0);
        EXPECT_EQ(after.c_lflag, before.c_lflag) << how;
        EXPECT_EQ(after.c_iflag, before.c_iflag) << how;
        EXPECT_EQ(after.c_oflag, before.c_oflag) << how;
        EXPECT_EQ(after.c_cflag, before.c_cflag) << how;
        EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before)) << how;
    };
    Connect();
    line.ClosePort();
    same("ClosePort");
    {
        TSerialLine own;
        own.OpenPort(pty.SlavePath());
        own.ConfigureLine(38400, 8, 'N', 0, false, false);
        ASSERT_EQ(own.LastErrorCode(), 0) << own.LastErrorText();
    }
    same("destruction");
    ::close(watcher);
}

TEST_F(SerialLinePtyTest, DescriptorDoesNotReachAChildProgram) {
    Connect();
    const int flags = fcntl(line.Handle(), F_GETFD);
    EXPECT_NE(flags & FD_CLOEXEC, 0);

    const std::string probe = "test ! -e /proc/self/fd/" + std::to_string(line.Handle());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", probe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child saw the port";
}

TEST_F(SerialLinePtyTest, CloseOnAClosedInstanceStillReportsAndSucceeds) {
    line.ClosePort();
    EXPECT_EQ(line.LastErrorCode(), 0);
    EXPECT_EQ(line.LastErrorText(), "OK");
    EXPECT_THAT(log.reports, ElementsAre(Pair(TSerialStatusReason::srClose, "")));

    Connect();
    line.ClosePort();
    line.ClosePort();
    EXPECT_EQ(line.LastErrorCode(), 0);
    EXPECT_EQ(line.Handle(), -1);
    EXPECT_FALSE(line.PortOpen());
    EXPECT_EQ(log.Count(TSerialStatusReason::srClose), 2);
    EXPECT_EQ(log.reports.back().second, pty.SlavePath()) << "DevicePath keeps the last path";
}

TEST_F(SerialLinePtyTest, DestructionClosesAndReports) {
    StatusLog ownLog;
    {
        TSerialLine own;
        own.SetOnStatus(ownLog.Hook());
        own.OpenPort(pty.SlavePath());
        ASSERT_TRUE(own.PortOpen());
    }
    EXPECT_EQ(ownLog.reports.back().first, TSerialStatusReason::srClose);
    TSerialLine again;
    again.OpenPort(pty.SlavePath());
    EXPECT_EQ(again.LastErrorCode(), 0);
}

TEST_F(SerialLinePtyTest, OperationsOnAClosedPort) {
    char buffer[4];
    EXPECT_EQ(line.ReadBytes(buffer), 0);
    EXPECT_EQ(line.LastErrorCode(), ErrPortNotOpen);
    line.SendText("AT\r");
    EXPECT_EQ(line.LastErrorCode(), ErrPortNotOpen);
    EXPECT_EQ(line.LastErrorText(), "Instance not yet connected");
    EXPECT_EQ(line.ReceiveLine(10), "");
    EXPECT_EQ(line.LastErrorCode(), ErrPortNotOpen);

    // These reach the system with no descriptor and pass its error on.
    line.PurgeBuffers();
    EXPECT_EQ(line.LastErrorCode(), EBADF);
    line.ReadLineSettings();
    EXPECT_EQ(line.LastErrorCode(), EBADF);
    line.ConfigureLine(38400, 8, 'N', 0, false, false);
    EXPECT_EQ(line.LastErrorCode(), EBADF);
    EXPECT_FALSE(line.ClearToSend());
    EXPECT_EQ(line.LastErrorCode(), EBADF);
    EXPECT_FALSE(line.WaitReadable(10));
    EXPECT_EQ(line.LastErrorCode(), EBADF);
    EXPECT_FALSE(line.WaitWritable(10));
    EXPECT_EQ(line.LastErrorCode(), EBADF);
}

TEST_F(SerialLinePtyTest, RaiseExceptTurnsFailuresIntoExceptions) {
    line.SetRaiseExcept(true);
    try {
        line.OpenPort("/dev/no-such-port-dekoder");
        FAIL() << "no exception";
    } catch (const ESerialLineError& e) {
        EXPECT_EQ(e.Code(), ENOENT);
        EXPECT_STREQ(e.what(), "Communication error 2: No such file or directory");
    }
    EXPECT_NO_THROW(line.ClosePort());
}

// ---- line settings and modem lines ----

TEST_F(SerialLinePtyTest, SettingsWrittenAreReadBack) {
    Connect();
    const TLineSettings written = line.LineSettings();
    EXPECT_EQ(written.Flags, 0x1011u);
    line.ReadLineSettings();
    EXPECT_EQ(line.LastErrorCode(), 0) << line.LastErrorText();
    EXPECT_EQ(line.LineSettings(), written);

    line.ConfigureLine(115200, 8, 'n', 2, true, true);
    EXPECT_EQ(line.LastErrorCode(), 0) << line.LastErrorText();
    line.ReadLineSettings();
    EXPECT_EQ(line.LineSettings().BaudRate, 115200u);
    EXPECT_EQ(line.LineSettings().StopBits, 2);
    EXPECT_EQ(line.LineSettings().Flags, 0x2315u);
}

TEST_F(SerialLinePtyTest, AnyBaudRateIsTaken) {
    Connect();
    line.ConfigureLine(31250, 8, 'N', 0, false, false);
    EXPECT_EQ(line.LastErrorCode(), 0) << line.LastErrorText();
    line.ReadLineSettings();
    EXPECT_EQ(line.LineSettings().BaudRate, 31250u);
}

TEST_F(SerialLinePtyTest, SettingsThePortCannotTakeAreAnError) {
    Connect();
    // A pseudo-terminal always runs 8 bits without parity.
    line.ConfigureLine(38400, 8, 'E', 0, false, false);
    EXPECT_EQ(line.LastErrorCode(), EINVAL);
    line.ConfigureLine(38400, 7, 'N', 0, false, false);
    EXPECT_EQ(line.LastErrorCode(), EINVAL);
    line.ConfigureLine(0, 8, 'N', 0, false, false);
    EXPECT_EQ(line.LastErrorCode(), EINVAL);
    line.ConfigureLine(-9600, 8, 'N', 0, false, false);
    EXPECT_EQ(line.LastErrorCode(), EINVAL);
    line.ConfigureLine(38400, 9, 'N', 0, false, false);
    EXPECT_EQ(line.LastErrorCode(), EINVAL);
    line.ConfigureLine(38400, 8, 'N', 3, false, false);
    EXPECT_EQ(line.LastErrorCode(), EINVAL);
}

TEST_F(SerialLinePtyTest, ModemLinesOfAPseudoTerminalReportTheSystemError) {
    Connect();
    EXPECT_FALSE(line.ClearToSend());
    EXPECT_EQ(line.LastErrorCode(), ENOTTY);
    EXPECT_FALSE(line.DataSetReady());
    EXPECT_FALSE(line.CarrierDetect());
    EXPECT_FALSE(line.RingIndicator());
    EXPECT_EQ(line.ModemLines(), 0u);
    line.ReadLineSettings();
    EXPECT_EQ(line.LastErrorCode(), 0) << "the presence probe clears it";
    line.SetDTR(false);
    line.SetRTS(true);
    EXPECT_EQ(line.LastErrorCode(), 0) << "line outputs set no error";
}

TEST_F(SerialLinePtyTest, DsrTestRefusesIoWithoutTheLine) {
    Connect();
    line.SetTestDSR(true);
    line.SendText("AT\r");
    EXPECT_EQ(line.LastErrorCode(), ErrNoDeviceAnswer);
    EXPECT_EQ(line.LastErrorText(), "No device answer detected");
}

// ---- transfer ----

TEST_F(SerialLinePtyTest, AllByteValuesPassBothWaysUnchanged) {
    Connect();
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    line.SendText(all);
    EXPECT_EQ(line.LastErrorCode(), 0);
    EXPECT_EQ(pty.Receive(all.size(), 2s), all);
    EXPECT_THAT(log.reports, ElementsAre(Pair(TSerialStatusReason::srWriteCount, "256")));

    pty.Send(all);
    std::string got;
    for (int i = 0; i < 50 && got.size() < all.size(); ++i) {
        got += line.ReceivePacket(200);
    }
    EXPECT_EQ(got, all);
}

TEST_F(SerialLinePtyTest, SendTextAddsNothing) {
    Connect();
    line.SendText("AT\r\r");
    EXPECT_EQ(pty.Receive(100, 200ms), "AT\r\r");
}

TEST_F(SerialLinePtyTest, WriteThatCannotCompleteTimesOutAfterDeadlockTimeout) {
    Connect();
    line.SetDeadlockTimeout(100);
    const std::string big(1 << 20, 'x'); // more than the pseudo-terminal holds; nobody reads
    const auto start = Clock::now();
    line.SendText(big);
    EXPECT_EQ(line.LastErrorCode(), ErrTimeout);
    EXPECT_GE(MsSince(start), 90);
    EXPECT_LT(MsSince(start), 2000);
    ASSERT_EQ(log.reports.size(), 1u);
    EXPECT_LT(std::stoul(log.reports[0].second), big.size());
}

TEST_F(SerialLinePtyTest, WaitWritableOnAnEmptyQueue) {
    Connect();
    EXPECT_TRUE(line.WaitWritable(100));
    EXPECT_EQ(line.LastErrorCode(), 0);
    EXPECT_THAT(log.reports, ElementsAre(Pair(TSerialStatusReason::srCanWrite, "")));
}

// ---- lines ----

TEST_F(SerialLinePtyTest, LineInThreePiecesWithGapsBelowTheTimeOutComesWhole) {
    Connect();
    auto device = std::async(std::launch::async, [this] {
        pty.Send("$IR,9000,");
        std::this_thread::sleep_for(150ms);
        pty.Send("4500,560");
        std::this_thread::sleep_for(150ms);
        pty.Send(",560\r\n");
    });
    EXPECT_EQ(line.ReceiveLine(200), "$IR,9000,4500,560,560");
    EXPECT_EQ(line.LastErrorCode(), 0);
    device.get();
}

TEST_F(SerialLinePtyTest, WithoutInterPacketTimeoutTheTimeOutIsATotal) {
    Connect();
    line.SetInterPacketTimeout(false);
    auto device = std::async(std::launch::async, [this] {
        pty.Send("ab");
        std::this_thread::sleep_for(150ms);
        pty.Send("cd");
        std::this_thread::sleep_for(150ms);
        pty.Send("\r\n");
    });
    EXPECT_EQ(line.ReceiveLine(200), "");
    EXPECT_EQ(line.LastErrorCode(), ErrTimeout);
    device.get();
    EXPECT_EQ(line.ReceiveLine(200), "abcd");
}

TEST_F(SerialLinePtyTest, TwoLinesInOneReadComeOutOneByOne) {
    Connect();
    pty.Send("OK\r\n+ATI: IR\r\n");
    ASSERT_TRUE(Arrived(14));
    EXPECT_EQ(line.ReceiveLine(200), "OK");
    EXPECT_EQ(line.LineBuffer(), "+ATI: IR\r\n");
    EXPECT_EQ(log.Count(TSerialStatusReason::srReadCount), 1);

    log.reports.clear();
    EXPECT_TRUE(line.WaitReadableOrBuffered(2));
    EXPECT_EQ(line.ReceiveLine(200), "+ATI: IR");
    EXPECT_TRUE(log.reports.empty()) << "neither a wait report nor an OS read";
    EXPECT_EQ(line.LineBuffer(), "");
}

TEST_F(SerialLinePtyTest, LineBufferedTellsWhetherTheNextLineNeedsNoRead) {
    EXPECT_FALSE(line.LineBuffered());
    Connect();
    pty.Send("a\r\nb\r\nc");
    ASSERT_TRUE(Arrived(7));
    EXPECT_FALSE(line.LineBuffered()) << "bytes still in the port are not buffered yet";
    EXPECT_EQ(line.ReceiveLine(200), "a");
    EXPECT_TRUE(line.LineBuffered());
    log.reports.clear();
    EXPECT_EQ(line.ReceiveLine(200), "b");
    EXPECT_EQ(log.Count(TSerialStatusReason::srReadCount), 0);
    EXPECT_FALSE(line.LineBuffered()) << "only a partial line is left";
    EXPECT_EQ(line.LineBuffer(), "c");

    line.SetConvertLineEnd(true);
    pty.Send("\rd\ne");
    ASSERT_TRUE(Arrived(4));
    EXPECT_EQ(line.ReceiveLine(200), "c");
    EXPECT_TRUE(line.LineBuffered()) << "a lone LF ends a line when line ends are converted";
    EXPECT_EQ(line.ReceiveLine(200), "d");
    EXPECT_FALSE(line.LineBuffered());

    line.PurgeBuffers();
    EXPECT_FALSE(line.LineBuffered());
}

TEST_F(SerialLinePtyTest, PartialLineTimesOutAndCompletesLater) {
    Connect();
    pty.Send("$IR,100");
    EXPECT_EQ(line.ReceiveLine(100), "");
    EXPECT_EQ(line.LastErrorCode(), ErrTimeout);
    EXPECT_EQ(line.LastErrorText(), "Timeout during operation");
    EXPECT_EQ(line.LineBuffer(), "$IR,100");

    pty.Send(",200\r\n");
    EXPECT_EQ(line.ReceiveLine(200), "$IR,100,200");
    EXPECT_EQ(line.LastErrorCode(), 0);
}

TEST_F(SerialLinePtyTest, LfAloneDoesNotEndALine) {
    Connect();
    pty.Send("one\ntwo\r");
    EXPECT_EQ(line.ReceiveLine(100), "");
    EXPECT_EQ(line.LastErrorCode(), ErrTimeout);
    pty.Send("\n");
    EXPECT_EQ(line.ReceiveLine(200), "one\ntwo");
}

TEST_F(SerialLinePtyTest, EmptyLineIsReturnedAsEmptyWithSuccess) {
    Connect();
    pty.Send("\r\nOK\r\n");
    EXPECT_EQ(line.ReceiveLine(200), "");
    EXPECT_EQ(line.LastErrorCode(), 0);
    EXPECT_EQ(line.ReceiveLine(200), "OK");
}

TEST_F(SerialLinePtyTest, ConvertLineEndAcceptsEveryLineEnd) {
    Connect();
    line.SetConvertLineEnd(true);
    pty.Send("a\rb\nc\n\rd\r\n");
    ASSERT_TRUE(Arrived(10));
    EXPECT_EQ(line.ReceiveLine(100), "a");
    EXPECT_TRUE(line.PendingCR());
    EXPECT_EQ(line.ReceiveLine(100), "b");
    EXPECT_EQ(line.ReceiveLine(100), "c");
    EXPECT_EQ(line.ReceiveLine(100), "d");

    pty.Send("e\r");
    EXPECT_EQ(line.ReceiveLine(100), "e");
    pty.Send("\nf\r\n");
    EXPECT_EQ(line.ReceiveLine(100), "f") << "the LF completing a lone CR is no empty line";
}

TEST_F(SerialLinePtyTest, ReceiveWithoutDataWaitsQuietly) {
    Connect();
    const double cpuBefore = ThreadCpuMs();
    const auto start = Clock::now();
    EXPECT_EQ(line.ReceiveLine(200), "");
    const long long wall = MsSince(start);
    const double cpu = ThreadCpuMs() - cpuBefore;
    EXPECT_EQ(line.LastErrorCode(), ErrTimeout);
    EXPECT_GE(wall, 195);
    EXPECT_LT(wall, 2000);
    EXPECT_LT(cpu, 20.0) << "the wait must sleep, not spin";
}

TEST_F(SerialLinePtyTest, WaitReadableReportsAndShortWaitsReturnSoon) {
    Connect();
    const auto start = Clock::now();
    EXPECT_FALSE(line.WaitReadableOrBuffered(2));
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(line.LastErrorCode(), 0);
    pty.Send("x");
    EXPECT_TRUE(line.WaitReadable(500));
    EXPECT_THAT(log.reports, ElementsAre(Pair(TSerialStatusReason::srCanRead, "")));
    EXPECT_EQ(line.BytesWaiting(), 1);
    EXPECT_EQ(line.BytesPending(), 0);
}

TEST_F(SerialLinePtyTest, PurgeDiscardsQueuedAndBufferedBytes) {
    Connect();
    pty.Send("half\r\nline");
    ASSERT_TRUE(Arrived(10));
    EXPECT_EQ(line.ReceiveLine(100), "half");
    pty.Send("more");
    ASSERT_TRUE(Arrived(4));
    line.PurgeBuffers();
    EXPECT_EQ(line.LastErrorCode(), 0);
    EXPECT_EQ(line.LineBuffer(), "");
    EXPECT_EQ(line.BytesWaiting(), 0);
    pty.Send("OK\r\n");
    EXPECT_EQ(line.ReceiveLine(200), "OK");
}

TEST_F(SerialLinePtyTest, OverlongRunIsDroppedAndReceptionResumesAtTheNextLine) {
    Connect();
    const std::string junk(TSerialLine::LineBufferCap + 5000, 'j');
    auto device = std::async(std::launch::async, [&] { pty.Send(junk + "tail\r\nnext\r\n"); });
    std::vector<int> codes;
    std::string got;
    for (int i = 0; i < 200 && got.empty(); ++i) {
        got = line.ReceiveLine(300);
        codes.push_back(line.LastErrorCode());
        EXPECT_LE(line.LineBuffer().size(), TSerialLine::LineBufferCap + 1);
    }
    device.get();
    EXPECT_EQ(got, "next") << ::testing::PrintToString(codes);
    EXPECT_THAT(codes, ::testing::Contains(ErrMaxBuffer));
    EXPECT_THAT(codes, ::testing::Not(::testing::Contains(ErrTimeout)));
}

TEST_F(SerialLinePtyTest, MaxLineLengthDropsOnlyTheLongLine) {
    Connect();
    line.SetMaxLineLength(8);
    pty.Send("short\r\nmuch too long\r\nok\r\n");
    ASSERT_TRUE(Arrived(26));
    EXPECT_EQ(line.ReceiveLine(100), "short");
    EXPECT_EQ(line.ReceiveLine(100), "");
    EXPECT_EQ(line.LastErrorCode(), ErrMaxBuffer);
    EXPECT_EQ(line.ReceiveLine(100), "ok");
}

// ---- hang-up and cancel ----

TEST_F(SerialLinePtyTest, HangUpIsSeenAtOnceAndEveryLaterCallFailsWithEio) {
    Connect();
    line.ReadLineSettings();
    ASSERT_EQ(line.LastErrorCode(), 0);

    auto device = std::async(std::launch::async, [this] {
        std::this_thread::sleep_for(100ms);
        pty.HangUp();
        return Clock::now();
    });
    EXPECT_EQ(line.ReceiveLine(2000), "");
    const auto seen = Clock::now();
    const auto hungUp = device.get();
    // Long before the receive's own 2 s time-out, however busy the machine.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(seen - hungUp).count(), 1000);
    EXPECT_EQ(line.LastErrorCode(), EIO);
    EXPECT_EQ(line.LastErrorText(), "Input/output error");

    line.ReadLineSettings();
    EXPECT_EQ(line.LastErrorCode(), EIO);
    EXPECT_FALSE(line.WaitReadableOrBuffered(2));
    EXPECT_EQ(line.LastErrorCode(), EIO);
    EXPECT_EQ(line.ReceiveLine(200), "");
    EXPECT_EQ(line.LastErrorCode(), EIO);
    line.SendText("AT\r");
    EXPECT_EQ(line.LastErrorCode(), EIO);
    line.ReadLineSettings();
    EXPECT_EQ(line.LastErrorCode(), EIO);
    EXPECT_TRUE(line.PortOpen()) << "the driver does not close by itself";
}

// The reader's idle pass: a short wait for input, then the presence probe.
TEST_F(SerialLinePtyTest, HangUpRightAfterAQuietWaitIsFoundByTheNextPass) {
    Connect();
    EXPECT_FALSE(line.WaitReadableOrBuffered(2));
    pty.HangUp();
    line.ReadLineSettings();
    if (line.LastErrorCode() == 0) {
        // The probe may lean on the wait's look at the port a moment ago; the next pass must not.
        const auto start = Clock::now();
        EXPECT_FALSE(line.WaitReadableOrBuffered(2));
        EXPECT_LT(MsSince(start), 1000);
        line.ReadLineSettings();
    }
    EXPECT_EQ(line.LastErrorCode(), EIO);
}

TEST_F(SerialLinePtyTest, HangUpAfterAWaitIsFoundByALaterProbeAtOnce) {
    Connect();
    EXPECT_FALSE(line.WaitReadableOrBuffered(2));
    std::this_thread::sleep_for(10ms);
    pty.HangUp();
    line.ReadLineSettings();
    EXPECT_EQ(line.LastErrorCode(), EIO);
}

TEST_F(SerialLinePtyTest, RepeatedSystemErrorsKeepTheirTextsBesideOtherCodes) {
    Connect();
    const std::string notATerminal = OsErrorText(ENOTTY);
    for (int pass = 0; pass < 3; ++pass) {
        line.ClearToSend();
        EXPECT_EQ(line.LastErrorCode(), ENOTTY);
        EXPECT_EQ(line.LastErrorText(), notATerminal);
        line.ReadLineSettings();
        EXPECT_EQ(line.LastErrorText(), "OK");
    }
    line.ClosePort();
    line.ReadLineSettings();
    EXPECT_EQ(line.LastErrorCode(), EBADF);
    EXPECT_EQ(line.LastErrorText(), OsErrorText(EBADF));
    line.SendText("AT\r");
    EXPECT_EQ(line.LastErrorText(), "Instance not yet connected");
    line.ClearToSend();
    EXPECT_EQ(line.LastErrorText(), OsErrorText(EBADF));
    Connect();
    line.ClearToSend();
    EXPECT_EQ(line.LastErrorText(), notATerminal);
}

TEST_F(SerialLinePtyTest, CancelFromAnotherThreadWakesAWaitAtOnce) {
    Connect();
    auto canceller = std::async(std::launch::async, [this] {
        std::this_thread::sleep_for(50ms);
        line.CancelWait();
    });
    const auto start = Clock::now();
    EXPECT_FALSE(line.WaitReadable(5000));
    EXPECT_LT(MsSince(start), 1000);
    canceller.get();

    // One-shot: the cancel was used up, the next wait runs its time.
    const auto again = Clock::now();
    EXPECT_FALSE(line.WaitReadable(50));
    EXPECT_GE(MsSince(again), 45);
}

TEST_F(SerialLinePtyTest, CancelBeforeAWaitEndsTheNextWait) {
    Connect();
    line.CancelWait();
    const auto start = Clock::now();
    EXPECT_EQ(line.ReceiveLine(5000), "");
    EXPECT_EQ(line.LastErrorCode(), ErrTimeout);
    EXPECT_LT(MsSince(start), 1000);
}

TEST_F(SerialLinePtyTest, CancelEndsAReceiveThatKeepsGettingData) {
    Connect();
    std::atomic<bool> stop{false};
    auto device = std::async(std::launch::async, [&] {
        while (!stop) {
            pty.Send("noise without a line end ");
            std::this_thread::sleep_for(1ms);
        }
    });
    auto canceller = std::async(std::launch::async, [this] {
        std::this_thread::sleep_for(50ms);
        line.CancelWait();
    });
    const auto start = Clock::now();
    line.ReceiveLine(200);
    EXPECT_LT(MsSince(start), 1000);
    stop = true;
    device.get();
    canceller.get();
}

TEST(SerialLinePauseTest, PauseRunsItsTimeWhenClosedAndEndsEarlyOnCancel) {
    TSerialLine line;
    auto start = Clock::now();
    EXPECT_TRUE(line.Pause(30));
    EXPECT_GE(MsSince(start), 29);

    auto canceller = std::async(std::launch::async, [&line] {
        std::this_thread::sleep_for(30ms);
        line.CancelWait();
    });
    start = Clock::now();
    EXPECT_FALSE(line.Pause(5000));
    EXPECT_LT(MsSince(start), 1000);
    canceller.get();
}

} // namespace
} // namespace serial

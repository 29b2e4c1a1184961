// The pure parts of the driver: port names, the line settings record, line-error decoding and
// error texts. No port is opened.
#include "serial/SerialLine.h"

#include <gmock/gmock.h>

#include <cerrno>
#include <ostream>

namespace serial {
namespace {

struct PortNameCase {
    const char* name;
    int number;
    const char* path;
};

void PrintTo(const PortNameCase& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class PortNameTest : public ::testing::TestWithParam<PortNameCase> {};

TEST_P(PortNameTest, ResolvesNumberAndPath) {
    const PortNameCase c = GetParam();
    EXPECT_EQ(TSerialLine::ResolvePortNumber(c.name), c.number);
    EXPECT_EQ(TSerialLine::PortDevicePath(c.name), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortNameTest,
    ::testing::Values(PortNameCase{"COM1", 0, "/dev/ttyS0"}, PortNameCase{"COM3", 2, "/dev/ttyS2"},
                      PortNameCase{"COM12", 11, "/dev/ttyS11"},
                      PortNameCase{"com4", 3, "/dev/ttyS3"},
                      // no number after COM: nothing to translate
                      PortNameCase{"COM", -1, "COM"}, PortNameCase{"COMX", -1, "COMX"},
                      PortNameCase{"COM0", -1, "COM0"}, PortNameCase{"COM-2", -3, "COM-2"},
                      PortNameCase{"/dev/ttyS4", 4, "/dev/ttyS4"},
                      PortNameCase{"/DEV/TTYS0", 0, "/DEV/TTYS0"},
                      PortNameCase{"/dev/ttys4", 4, "/dev/ttys4"},
                      PortNameCase{"/dev/ttySAC0", -2, "/dev/ttySAC0"},
                      PortNameCase{"/dev/ttyUSB0", -1, "/dev/ttyUSB0"},
                      PortNameCase{"/dev/pts/7", -1, "/dev/pts/7"},
                      PortNameCase{"COM99999999999", -1, "COM99999999999"},
                      PortNameCase{"COM-2147483648", -1, "COM-2147483648"}));

// Kernel names, as the port list gives them, live under /dev.
INSTANTIATE_TEST_SUITE_P(KernelNames, PortNameTest,
                         ::testing::Values(PortNameCase{"ttyUSB0", -1, "/dev/ttyUSB0"},
                                           PortNameCase{"ttyS0", -1, "/dev/ttyS0"},
                                           PortNameCase{"serial/by-id/x", -1, "serial/by-id/x"},
                                           PortNameCase{"", -1, ""}));

TEST(LineSettingsTest, EightNoneOneAt38400) {
    const TLineSettings s = TSerialLine::BuildLineSettings(38400, 8, 'N', 0, false, false, 4096);
    EXPECT_EQ(s.Length, 28u);
    EXPECT_EQ(s.BaudRate, 38400u);
    EXPECT_EQ(s.Flags, 0x1011u);
    EXPECT_EQ(s.XonLimit, 1024);
    EXPECT_EQ(s.XoffLimit, 1024);
    EXPECT_EQ(s.DataBits, 8);
    EXPECT_EQ(s.Parity, 0);
    EXPECT_EQ(s.StopBits, 0);
    EXPECT_EQ(s.XonChar, 17);
    EXPECT_EQ(s.XoffChar, 19);
    EXPECT_EQ(s.ErrorChar, 0);
    EXPECT_EQ(s.EofChar, 0);
    EXPECT_EQ(s.EventChar, 0);
}

struct FlagsCase {
    char parity;
    bool softwareFlow;
    bool hardwareFlow;
    std::uint8_t parityCode;
    std::uint32_t flags;
};

void PrintTo(const FlagsCase& c, std::ostream* os) {
    *os << "parity " << c.parity << (c.softwareFlow ? " soft" : "")
        << (c.hardwareFlow ? " hard" : "");
}

class LineFlagsTest : public ::testing::TestWithParam<FlagsCase> {};

TEST_P(LineFlagsTest, BuildsParityCodeAndFlagsWord) {
    const FlagsCase c = GetParam();
    const TLineSettings s =
        TSerialLine::BuildLineSettings(9600, 8, c.parity, 2, c.softwareFlow, c.hardwareFlow, 4096);
    EXPECT_EQ(s.Parity, c.parityCode);
    EXPECT_EQ(s.Flags, c.flags);
    EXPECT_EQ(s.StopBits, 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineFlagsTest,
                         ::testing::Values(FlagsCase{'E', false, false, 2, 0x1013},
                                           FlagsCase{'e', false, false, 2, 0x1013},
                                           FlagsCase{'N', true, true, 0, 0x2315},
                                           FlagsCase{'o', false, false, 1, 0x1013},
                                           FlagsCase{'M', false, false, 3, 0x1013},
                                           FlagsCase{'s', false, false, 4, 0x1013},
                                           FlagsCase{'x', false, false, 0, 0x1011},
                                           FlagsCase{'N', true, false, 0, 0x1311},
                                           FlagsCase{'N', false, true, 0, 0x2015}));

TEST(LineSettingsTest, LimitsFollowTheQueueSize) {
    EXPECT_EQ(TSerialLine::BuildLineSettings(9600, 8, 'N', 0, false, false, 1000).XonLimit, 250);
    EXPECT_EQ(TSerialLine::BuildLineSettings(9600, 8, 'N', 0, false, false, 1 << 20).XoffLimit,
              0xFFFF);
}

TEST(LineSettingsTest, OutOfRangeValuesDoNotWrapIntoValidOnes) {
    // 264 would wrap to 8 data bits in a byte; it must stay something the port refuses.
    EXPECT_NE(TSerialLine::BuildLineSettings(9600, 264, 'N', 0, false, false, 4096).DataBits, 8);
    EXPECT_GT(TSerialLine::BuildLineSettings(9600, 8, 'N', -254, false, false, 4096).StopBits, 2);
}

struct LineErrorCase {
    std::uint32_t flags;
    int code;
};

void PrintTo(const LineErrorCase& c, std::ostream* os) {
    *os << "flags 0x" << std::hex << c.flags;
}

class LineErrorTest : public ::testing::TestWithParam<LineErrorCase> {};

TEST_P(LineErrorTest, LastFlagInOrderWins) {
    const LineErrorCase c = GetParam();
    EXPECT_EQ(TSerialLine::LineErrorCode(c.flags, 0), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineErrorTest,
    ::testing::Values(LineErrorCase{0, 0}, LineErrorCase{leFrame, ErrFrame},
                      LineErrorCase{leOverrun, ErrOverrun}, LineErrorCase{leRxOver, ErrRxOver},
                      LineErrorCase{leRxParity, ErrRxParity}, LineErrorCase{leTxFull, ErrTxFull},
                      LineErrorCase{leFrame | leRxParity, ErrRxParity},
                      LineErrorCase{leFrame | leOverrun, ErrOverrun},
                      LineErrorCase{leRxParity | leTxFull | leFrame, ErrTxFull}));

TEST(LineErrorTest, NoFlagKeepsTheTransferCode) {
    EXPECT_EQ(TSerialLine::LineErrorCode(0, ErrTimeout), ErrTimeout);
}

TEST(LineErrorTest, CountersThatGrewBecomeFlags) {
    const TLineCounters before{1, 2, 3, 4};
    EXPECT_EQ(TSerialLine::LineErrorFlags(before, before), 0u);
    EXPECT_EQ(TSerialLine::LineErrorFlags(before, TLineCounters{2, 2, 4, 4}), leFrame | leRxParity);
    EXPECT_EQ(TSerialLine::LineErrorFlags(before, TLineCounters{1, 3, 3, 5}), leOverrun | leRxOver);
    // a counter that wrapped still changed
    EXPECT_EQ(TSerialLine::LineErrorFlags(TLineCounters{0xFFFF'FFFFu, 0, 0, 0},
                                          TLineCounters{0, 0, 0, 0}),
              leFrame);
}

TEST(GetErrorDescTest, OwnCodesOsCodesAndSuccess) {
    EXPECT_EQ(TSerialLine::GetErrorDesc(0), "OK");
    EXPECT_EQ(TSerialLine::GetErrorDesc(ErrAlreadyInUse), "Instance already in use");
    EXPECT_EQ(TSerialLine::GetErrorDesc(ErrTimeout), "Timeout during operation");
    EXPECT_EQ(TSerialLine::GetErrorDesc(ErrTxFull), "Tranceive Queue is full");
    EXPECT_EQ(TSerialLine::GetErrorDesc(ENOENT), "No such file or directory");
    EXPECT_EQ(TSerialLine::GetErrorDesc(EBUSY), "Device or resource busy");
}

TEST(ESerialLineErrorTest, CarriesCodeAndText) {
    const ESerialLineError e(9997, "Timeout during operation");
    EXPECT_STREQ(e.what(), "Communication error 9997: Timeout during operation");
    EXPECT_EQ(e.Code(), 9997);
    EXPECT_EQ(e.Desc(), "Timeout during operation");
}

TEST(TSerialLineTest, StartsClosedWithSuccess) {
    TSerialLine line;
    EXPECT_FALSE(line.PortOpen());
    EXPECT_EQ(line.Handle(), -1);
    EXPECT_EQ(line.PortNumber(), -1);
    EXPECT_EQ(line.LastErrorCode(), 0);
    EXPECT_EQ(line.LastErrorText(), "OK");
    EXPECT_EQ(line.InputQueueSize(), 4096);
    EXPECT_EQ(line.DeadlockTimeout(), 30000);
    EXPECT_TRUE(line.InterPacketTimeout());
    EXPECT_FALSE(line.RaiseExcept());
    EXPECT_EQ(line.LineSettings(), TLineSettings{});
}

} // namespace
} // namespace serial

// Faults on the line, end to end: the device vanishing in the middle of a frame, garbage bytes and
// a line that never ends. The real window, port component and line driver run against the
// simulated device; after each fault "Zastosuj" brings the link back and frames flow again.

#include "tests/faults/FaultTestSupport.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace faulttest {
namespace {

using ::testing::HasSubstr;

const irsim::Durations FirstFrame{9000, 4500, 560, 1690, 560, 560};
const irsim::Durations SecondFrame{8950, 4480, 575, 1675};
const irsim::Durations ThirdFrame{2400, 600, 1200, 600, 600};

bool Written(formtest::Device& device, irsim::Ticket ticket) {
    return device->WaitWritten(ticket, 0ms).has_value();
}

// ---- The device vanishes in the middle of a frame -----------------------------------------------

struct VanishCase {
    const char* name;
    // Starts sending part of a frame line and returns once the hang-up may come.
    std::function<void(formtest::Device&, LinkedWindow&)> startPartialFrame;
    // Whole flood frames may arrive before the hang-up; nothing else may.
    bool flood = false;
};

void PrintTo(const VanishCase& c, std::ostream* os) {
    *os << c.name;
}

class FaultVanishingDevice : public ::testing::TestWithParam<VanishCase> {};

TEST_P(FaultVanishingDevice, PartialFrameIsNotDeliveredAndTheLinkEndsInOrder) {
    formtest::Device device;
    LinkedWindow window(device);
    ASSERT_TRUE(window.WaitLinkText(Identified())) << window.LinkText().toStdString();
    ASSERT_TRUE(window.SendFrameAndWaitDrawn(FirstFrame));
    const std::size_t linesBefore = window.Log().lines.size();
    const int disconnectionsBefore = window.Log().disconnections;

    GetParam().startPartialFrame(device, window);
    if (HasFatalFailure()) {
        return;
    }
    device->HangUp();
    ASSERT_TRUE(WaitUntil([&] { return !window.Port().HasWorker(); }, 8000))
        << "the worker did not end after the hang-up";
    // The end is told twice: the drop, then the inactive component.
    ASSERT_TRUE(WaitUntil([&] { return window.Log().disconnections - disconnectionsBefore >= 2; }));

    const std::vector<std::string> after(window.Log().lines.begin() +
                                             static_cast<std::ptrdiff_t>(linesBefore),
                                         window.Log().lines.end());
    if (GetParam().flood) {
        ASSERT_FALSE(after.empty());
        for (std::size_t i = 0; i < after.size(); ++i) {
            ASSERT_EQ(after[i], FrameText(irsim::FloodFrame(i))) << "line " << i;
        }
        EXPECT_TRUE(window.Shows(irsim::FloodFrame(after.size() - 1)));
    } else {
        EXPECT_TRUE(after.empty()) << "a partial line was delivered: " << after.front();
        EXPECT_TRUE(window.Shows(FirstFrame)) << "the frame changed";
    }
    ASSERT_EQ(window.Log().errors.size(), 1u);
    EXPECT_EQ(window.Log().errors[0].code, EIO) << window.Log().errors[0].text;
    EXPECT_THAT(window->LastComErrorText().toStdString(), HasSubstr(std::to_string(EIO)));
    // An orderly end with the port open: disconnected, inactive, disconnected once more.
    EXPECT_EQ(window.Log().disconnections - disconnectionsBefore, 2);
    EXPECT_FALSE(window.Port().Active());
    EXPECT_FALSE(window.Port().Connected());
    EXPECT_EQ(window.LinkText(), Disconnected());
    EXPECT_EQ(window.Panel(frame::PanelMode), Utf8(frame::TextReceiverView));

    // "Zastosuj" while the device is still gone: the open fails, the attempt ends, and the status
    // bar does not stay on "próba połączenia".
    window.PressApply();
    EXPECT_EQ(window.LinkText(), Connecting());
    ASSERT_TRUE(WaitUntil([&] { return !window.Port().HasWorker(); }, 8000));
    ASSERT_TRUE(WaitUntil([&] { return window.LinkText() == Disconnected(); }));
    ASSERT_GE(window.Log().errors.size(), 2u);
    EXPECT_EQ(window.Log().errors[1].code, ENOENT) << window.Log().errors[1].text;
    EXPECT_EQ(window.LinkText(), Disconnected());
    EXPECT_FALSE(window.Port().Active());
    const std::size_t errorsWhileGone = window.Log().errors.size();

    device->Replug();
    window.ReconnectWithApply(SecondFrame);
    EXPECT_EQ(window.Log().errors.size(), errorsWhileGone) << window.Log().errors.back().text;
}

INSTANTIATE_TEST_SUITE_P(
    Fault, FaultVanishingDevice,
    ::testing::Values(
        // The half line waits in the driver's buffer while the worker goes on polling.
        VanishCase{"HalfLineBuffered",
                   [](formtest::Device& device, LinkedWindow& window) {
                       const std::string line = FrameText(SecondFrame);
                       const std::string half = line.substr(0, line.size() / 2);
                       device->SendRaw(half);
                       // A receive has timed out with the half line left in the buffer.
                       ASSERT_TRUE(
                           WaitUntil([&] { return window.Driver().lastBuffer == half.size(); }));
                   }},
        // The worker is inside a receive, waiting for the rest of the line.
        VanishCase{"InsideAReceive",
                   [](formtest::Device& device, LinkedWindow&) {
                       device->SendSplit(irsim::FrameLine(SecondFrame), 10, 100ms);
                       Pump(250);
                   }},
        // Lines are coming as fast as the terminal takes them; the last one is cut off.
        VanishCase{"DuringAFlood",
                   [](formtest::Device& device, LinkedWindow& window) {
                       const std::size_t before = window.Log().lines.size();
                       device->Flood(20000);
                       ASSERT_TRUE(
                           WaitUntil([&] { return window.Log().lines.size() >= before + 20; }));
                   },
                   true}),
    [](const ::testing::TestParamInfo<VanishCase>& info) { return info.param.name; });

// ---- Garbage bytes ------------------------------------------------------------------------------

// Lines that are no frame: control bytes, bytes that are no text at all, and texts that come close
// to the signature without being it.
std::vector<std::string> GarbageLines() {
    const std::string signature(frame::DeviceSignature);
    std::string upper = signature;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return {
        std::string("\0\0\xff\xfe", 4),
        "abc\rdef\nghi",
        "\r",
        "\n",
        std::string(3000, '\xff'),
        signature.substr(0, signature.size() - 1) + ",560",
        upper + ",560",
        signature + std::string(1, '\0') + ",560",
        "\t" + signature + ",560",
        "x" + signature + ",560,1690",
        signature + ";560,1690",
        "," + signature + ",560",
        signature.substr(0, 10),
        "OK ",
        "ok",
    };
}

TEST(FaultGarbage, LinesThatAreNoFrameClearTheChartButKeepTheFrame) {
    formtest::Device device;
    LinkedWindow window(device);
    ASSERT_TRUE(window.WaitLinkText(Identified())) << window.LinkText().toStdString();
    ASSERT_TRUE(window.SendFrameAndWaitDrawn(FirstFrame));
    const QString modeText = window.Panel(frame::PanelMode);
    window.Log().lines.clear();

    const std::vector<std::string> garbage = GarbageLines();
    std::string bytes;
    for (const std::string& line : garbage) {
        bytes += line + "\r\n";
    }
    bytes += "\r\n\r\n"; // empty lines are never delivered
    // A last line marks the end: whatever came before it has been delivered.
    const std::string last = "end of garbage";
    device->SendRaw(bytes + last + "\r\n");
    ASSERT_TRUE(WaitUntil(
        [&] { return !window.Log().lines.empty() && window.Log().lines.back() == last; }));
    window.Log().lines.pop_back();
    EXPECT_EQ(window.Log().lines, garbage);
    EXPECT_TRUE(window.Form().Chart1()->Points().empty()) << "the chart was not cleared";
    const frame::PulseFrame& frame = window->PulseFrame();
    EXPECT_EQ(frame.Count, static_cast<int32_t>(FirstFrame.size()));
    EXPECT_TRUE(std::equal(FirstFrame.begin(), FirstFrame.end(), frame.Durations.begin()));
    EXPECT_EQ(window.Panel(frame::PanelPulseCount), QString::number(FirstFrame.size()));
    EXPECT_EQ(window.Panel(frame::PanelMode), modeText);
    EXPECT_EQ(window.LinkText(), Identified());
    EXPECT_TRUE(window->Core().LinkConfirmed());

    // Random bytes, CR and LF among them, then a line end and a known last line.
    device->SendGarbage(20000);
    device->SendRaw("\r\nzzz\r\n");
    ASSERT_TRUE(WaitUntil(
        [&] { return !window.Log().lines.empty() && window.Log().lines.back() == "zzz"; }, 8000));
    for (const std::string& line : window.Log().lines) {
        EXPECT_FALSE(line.empty()) << "an empty line was delivered";
    }
    EXPECT_TRUE(window.Form().Chart1()->Points().empty());
    EXPECT_EQ(window->PulseFrame().Count, static_cast<int32_t>(FirstFrame.size()));

    // An identification reply that is no text is shown as well as it goes.
    device->SendRaw(std::string("+ATI: \xff\xfe\0zz\r\n", 13));
    ASSERT_TRUE(WaitUntil([&] { return window.LinkText() != Identified(); }));
    EXPECT_TRUE(window.LinkText().startsWith(Utf8(frame::TextLinkedIdent)))
        << window.LinkText().toStdString();

    EXPECT_TRUE(window.Log().errors.empty()) << window.Log().errors[0].text;
    EXPECT_TRUE(window.Port().WorkerLinkOpen());
    ASSERT_TRUE(window.SendFrameAndWaitDrawn(SecondFrame)) << "no frame after the garbage";
    EXPECT_EQ(window.Panel(frame::PanelMode), modeText);

    window.ReconnectWithApply(ThirdFrame);
}

TEST(FaultGarbage, UnreadableNumbersInAFrameBecomeZero) {
    formtest::Device device;
    LinkedWindow window(device);
    ASSERT_TRUE(window.WaitLinkText(Identified())) << window.LinkText().toStdString();
    ASSERT_TRUE(window.SendFrameAndWaitDrawn(FirstFrame));

    device->SendLine(std::string(frame::DeviceSignature) +
                     ",99999999999999999999,-99999999999999999999,abc,,$7FFFFFFF,x10," +
                     std::string("\xff\0\xfe", 3) + ", -5 ,+7");
    const irsim::Durations expected{0, 0, 0, 0, INT32_MAX, 16, 0, -5, 7};
    ASSERT_TRUE(WaitUntil([&] { return window.Shows(expected); }))
        << "count " << window->PulseFrame().Count;
    EXPECT_TRUE(window.Log().errors.empty()) << window.Log().errors[0].text;
    ASSERT_TRUE(window.SendFrameAndWaitDrawn(SecondFrame));
}

// ---- A line that never ends ---------------------------------------------------------------------

TEST(FaultLongLine, MebibyteWithoutLineEndIsDroppedAndMemoryStaysBounded) {
    formtest::Device device;
    LinkedWindow window(device);
    ASSERT_TRUE(window.WaitLinkText(Identified())) << window.LinkText().toStdString();
    ASSERT_TRUE(window.SendFrameAndWaitDrawn(FirstFrame));
    window.Log().lines.clear();

    const std::size_t before = ResidentBytes();
    std::size_t peak = before;
    const auto sample = [&] { peak = std::max(peak, ResidentBytes()); };
    const irsim::Ticket ticket = device->SendLongLine(std::size_t{1} << 20);
    ASSERT_TRUE(WaitUntil(
        [&] {
            sample();
            return Written(device, ticket);
        },
        20000));
    // Still inside the over-long line: nothing delivered, the frame shown as it was (a piece
    // delivered later shows below).
    sample();
    EXPECT_TRUE(window.Log().lines.empty());
    EXPECT_TRUE(window.Shows(FirstFrame));

    device->SendRaw("\r\n");
    device->SendFrame(SecondFrame);
    ASSERT_TRUE(WaitUntil(
        [&] {
            sample();
            return window.Shows(SecondFrame);
        },
        8000))
        << "the frame after the over-long line was not drawn";
    EXPECT_EQ(window.Log().lines, std::vector<std::string>{FrameText(SecondFrame)})
        << "a piece of the over-long line was delivered";

    const DriverRecord& driver = window.Driver();
    EXPECT_GE(driver.overlongRuns.load(), 1) << "no ErrMaxBuffer for the over-long line";
    EXPECT_LE(driver.longestBuffer.load(), serial::TSerialLine::LineBufferCap + 1);
    EXPECT_LT(driver.longestLine.load(), std::size_t{2000});
    EXPECT_TRUE(window.Log().errors.empty()) << window.Log().errors[0].text;
    EXPECT_EQ(window.LinkText(), Identified());

    const std::size_t growth = peak > before ? peak - before : 0;
    RecordProperty("rss_growth_kib", std::to_string(growth / 1024));
    std::printf("[ resident ] before %zu KiB, peak %zu KiB, growth %zu KiB\n", before / 1024,
                peak / 1024, growth / 1024);
    if (!Sanitized) {
        EXPECT_LT(growth, std::size_t{16} << 20);
    }

    window.ReconnectWithApply(ThirdFrame);
}

// ---- Frames too large for the frame or for the driver ------------------------------------------

TEST(FaultOversizedFrame, SurplusPulsesAreDroppedAndExtremeDurationsDrawn) {
    formtest::Device device;
    LinkedWindow window(device);
    ASSERT_TRUE(window.WaitLinkText(Identified())) << window.LinkText().toStdString();

    // Far more pulses than a frame holds, on a line the driver still takes (about 40 KiB).
    irsim::Durations many(10000);
    for (std::size_t i = 0; i < many.size(); ++i) {
        many[i] = static_cast<int32_t>(100 + i);
    }
    const irsim::Durations kept(many.begin(), many.begin() + frame::FrameCapacity);
    ASSERT_TRUE(window.SendFrameAndWaitDrawn(FirstFrame));
    device->SendFrame(many);
    ASSERT_TRUE(WaitUntil([&] { return window.Shows(kept); }))
        << "count " << window->PulseFrame().Count;
    EXPECT_EQ(window.Log().lines.back(), FrameText(many));

    // Durations at the ends of the 32-bit range: the running time must neither wrap nor trap.
    const irsim::Durations extreme{INT32_MAX, INT32_MAX, INT32_MIN, 0, -1};
    ASSERT_TRUE(window.SendFrameAndWaitDrawn(extreme));
    double latest = 0;
    for (const auto& point : window.Form().Chart1()->Points()) {
        latest = std::max(latest, point.X);
    }
    EXPECT_DOUBLE_EQ(latest, 2.0 * INT32_MAX);

    // A frame line longer than the driver's line buffer is dropped whole; the next one is drawn.
    irsim::Durations huge(20000, 1690);
    const std::size_t linesBefore = window.Log().lines.size();
    device->SendFrame(huge);
    ASSERT_TRUE(window.SendFrameAndWaitDrawn(ThirdFrame));
    EXPECT_EQ(window.Log().lines.size(), linesBefore + 1)
        << "a piece of the long frame came through";
    EXPECT_GE(window.Driver().overlongRuns.load(), 1);
    EXPECT_TRUE(window.Log().errors.empty()) << window.Log().errors[0].text;
    EXPECT_EQ(window.LinkText(), Identified());
}

} // namespace
} // namespace faulttest

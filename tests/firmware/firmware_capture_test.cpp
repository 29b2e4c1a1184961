// Frames played into the simulated receiver pin come out as frame lines, every duration within
// 1 us of what the receiver showed.

#include "tests/firmware/FirmwareTestSupport.h"
#include "tools/irsim/Remotes.h"

#include <gmock/gmock.h>

#include <numeric>

namespace fwtest {
namespace {

using irsim::Durations;
using irsim::NominalFrame;
using irsim::Remote;
using irsim::RemoteCode;

class FirmwareCaptureTest : public FirmwareTest {
protected:
    // Time for a frame to end and its line to be written.
    static uint64_t LineBudgetUs(const Durations& frame) {
        return uint64_t(std::accumulate(frame.begin(), frame.end(), int64_t(0))) + 70000 +
               (40 + 7 * frame.size()) * ByteUs;
    }
    void ExpectLines(const std::vector<Durations>& lines) {
        for (const Durations& want : lines) {
            const auto got = NextFrame(LineBudgetUs(want) + 500000);
            ASSERT_TRUE(got);
            EXPECT_TRUE(DurationsNear(*got, want, 1));
        }
    }
};

Durations Alternating(int count, int base) {
    Durations frame;
    for (int i = 0; i < count; ++i)
        frame.push_back(base + (i % 2 ? 300 : 0) + i % 17);
    return frame;
}

// `frame` with a glitch of `us` at `offset` into duration `index`.
Durations WithGlitch(Durations frame, std::size_t index, int offset, int us) {
    const int rest = frame[index] - offset - us;
    frame[index] = offset;
    frame.insert(frame.begin() + std::ptrdiff_t(index) + 1, {us, rest});
    return frame;
}

TEST_F(FirmwareCaptureTest, FramesOfCommonRemotesComeAsLines) {
    irsim::Receiver receiver(7, irsim::Jitter{});
    const Durations nec = NominalFrame({Remote::Nec, 0x04, 0x08});
    struct Row {
        const char* name;
        Durations played;
    } rows[] = {
        {"NEC", nec},
        {"NEC through a receiver", receiver.Capture(nec)},
        {"RC5", NominalFrame({Remote::Rc5, 5, 35, true})},
        {"RC6", NominalFrame({Remote::Rc6, 0x21, 0x5C})},
        {"Sony 12", NominalFrame({Remote::Sirc12, 1, 21})},
        {"Sharp, both halves in one line", NominalFrame({Remote::Sharp, 1, 2})},
        {"301 durations", Alternating(301, 400)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        device->Play(row.played);
        ExpectLines({row.played});
    }
}

TEST_F(FirmwareCaptureTest, FramesBackToBackComeAsOneLineEach) {
    const Durations nec = NominalFrame({Remote::Nec, 0x10, 0x20});
    const Durations repeat = NominalFrame({Remote::NecRepeat});
    device->Play(nec);
    device->Play(repeat, 66000);
    device->Play(repeat, 96000);
    device->Play(nec, 66000);
    ExpectLines({nec, repeat, repeat, nec});
    EXPECT_THAT(Exchange("AT+DROP?\r", 2), ::testing::ElementsAre("+DROP: 0", "OK"));
}

TEST_F(FirmwareCaptureTest, ShortGlitchesMergeWithThePulsesAroundThem) {
    const Durations nec = NominalFrame({Remote::Nec, 0x04, 0x08});
    const Durations played =
        WithGlitch(WithGlitch(WithGlitch(nec, 0, 4000, 2), 3, 200, 2), 8, 100, 2);
    device->Play(played);
    ExpectLines({nec});
    // A glitch alone is no frame.
    device->Play({2});
    device->Play(nec, 70000);
    ExpectLines({nec});
}

TEST_F(FirmwareCaptureTest, ALongFrameIsCutAt301DurationsAndGoesOnWithTheNextMark) {
    const Durations played = Alternating(307, 500);
    device->Play(played);
    ExpectLines({Durations(played.begin(), played.begin() + 301),
                 Durations(played.begin() + 302, played.end())});
}

TEST_F(FirmwareCaptureTest, FramesWaitWhileALineIsWrittenAndTheNewestIsDroppedWhenNoRoomIsLeft) {
    const Durations longFrame = Alternating(301, 600);
    const Durations repeat = NominalFrame({Remote::NecRepeat});
    const Durations nec = NominalFrame({Remote::Nec, 1, 2});
    device->Play(longFrame);
    device->Play(repeat, 70000); // fits beside the long frame: waits for its line
    device->Play(nec, 70000);    // does not fit while the long line is written: dropped
    ExpectLines({longFrame, repeat});
    EXPECT_THAT(Exchange("AT+DROP?\r", 2), ::testing::ElementsAre("+DROP: 1", "OK"));
}

TEST_F(FirmwareCaptureTest, AFloodOfCommandsDuringACaptureLosesNeitherFrameNorReply) {
    const Durations nec = NominalFrame({Remote::Nec, 0x04, 0x08});
    device->Play(nec, 100);
    std::string flood;
    for (int i = 0; i < 12; ++i)
        flood += "AT\r\r";
    device->Send(flood);
    std::vector<std::string> lines;
    device->RunUntil(
        [&] {
            for (auto& line : device->TakeLines())
                lines.push_back(std::move(line));
            return lines.size() >= 13;
        },
        LineBudgetUs(nec) + flood.size() * ByteUs + 200000);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "OK"), 12);
    const auto frameLine = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind(frame::DeviceSignature, 0) == 0;
    });
    ASSERT_NE(frameLine, lines.end());
    const auto got = irsim::ParseDurationList(
        std::string_view(*frameLine).substr(frame::DeviceSignature.size() + 1));
    ASSERT_TRUE(got);
    EXPECT_TRUE(DurationsNear(*got, nec, 1));
}

} // namespace
} // namespace fwtest

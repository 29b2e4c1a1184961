// What the firmware sends out on PD3 (OC2B, the IR LED): the envelope rebuilt from the pin's
// transitions matches the request, and the carrier has the right frequency and duty.

#include "tests/firmware/FirmwareTestSupport.h"
#include "tools/irsim/Remotes.h"

#include <gmock/gmock.h>

#include <numeric>

namespace fwtest {
namespace {

using irsim::Durations;

// Two microseconds and a carrier period at 38 kHz (rounded up).
constexpr int EnvelopeTolerance = 2 + 27;

class FirmwareEmissionTest : public FirmwareTest {
protected:
    void Collect(const Durations& durations) {
        for (std::size_t i = 0; i < durations.size(); ++i) {
            const std::string command =
                "AT+SND=" + std::to_string(i + 1) + "," + std::to_string(durations[i]) + "\r\r";
            ASSERT_THAT(Exchange(command, 1), ::testing::ElementsAre("OK")) << command;
        }
    }
    // Runs until the emission of `durations` must be over; the levels it left on the pin.
    std::vector<fwsim::SimDevice::Level> Emitted(const Durations& durations) {
        int64_t total = 0;
        for (const int32_t d : durations)
            total += std::max(d, 0);
        device->RunUs(uint64_t(total) + 2000);
        auto levels = device->LedLevels();
        device->ClearLedLevels();
        return levels;
    }
};

TEST_F(FirmwareEmissionTest, SendsWhatTheProgramCollectedOnA38kHzCarrier) {
    const Durations nec = irsim::NominalFrame({irsim::Remote::Nec, 0x04, 0x08});
    struct Row {
        const char* name;
        Durations sent;
        Durations envelope;
    } rows[] = {
        {"NEC", nec, nec},
        {"a space longer than 16 bits",
         {560, 100000, 560, 250000, 900},
         {560, 100000, 560, 250000, 900}},
        {"zero and negative durations take no time",
         {560, 0, 560, -5, 560, 600, 560},
         {1680, 600, 560}},
        {"a final space only keeps the device busy", {560, 560, 560, 20000}, {560, 560, 560}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Collect(row.sent);
        device->ClearLedLevels();
        ASSERT_THAT(Exchange("AT+SND=0," + std::to_string(row.sent.size()) + "\r\r", 1),
                    ::testing::ElementsAre("OK"));
        const auto levels = Emitted(row.sent);
        EXPECT_TRUE(DurationsNear(fwsim::Envelope(levels), row.envelope, EnvelopeTolerance));
        const fwsim::CarrierMeasure carrier = fwsim::MeasureCarrier(levels);
        EXPECT_NEAR(carrier.hz, 38000, 380);
        EXPECT_GE(carrier.duty, 0.25);
        EXPECT_LE(carrier.duty, 0.505); // toggled: exactly half, give or take simavr's timer steps
        // At rest the LED is dark.
        ASSERT_FALSE(levels.empty());
        EXPECT_FALSE(levels.back().high);
    }
}

TEST_F(FirmwareEmissionTest, ReEmitsTheLastCapturedFrame) {
    irsim::Receiver receiver(3, irsim::Jitter{});
    const Durations played = receiver.Capture(irsim::NominalFrame({irsim::Remote::Rc6, 3, 77}));
    device->Play(played);
    const auto captured = NextFrame(500000);
    ASSERT_TRUE(captured);
    device->ClearLedLevels();
    ASSERT_THAT(Exchange("ab1\r\r", 1), ::testing::ElementsAre("OK"));
    EXPECT_TRUE(DurationsNear(fwsim::Envelope(Emitted(*captured)), *captured, EnvelopeTolerance));
    // Again, as often as asked.
    ASSERT_THAT(Exchange("ab1\r\r", 1), ::testing::ElementsAre("OK"));
    EXPECT_TRUE(DurationsNear(fwsim::Envelope(Emitted(*captured)), *captured, EnvelopeTolerance));
}

TEST_F(FirmwareEmissionTest, KeepsAnsweringDuringALongEmissionButLeavesItsSetAlone) {
    Collect({560, 400000, 560});
    ASSERT_THAT(Exchange("AT+SND=0,3\r\r", 1), ::testing::ElementsAre("OK"));
    EXPECT_THAT(Exchange("AT\r\r", 1), ::testing::ElementsAre("OK"));
    EXPECT_THAT(Exchange("AT+SND=1,900\r\r", 1), ::testing::ElementsAre("ERROR"));
    EXPECT_THAT(Exchange("ab1\r\r", 1), ::testing::ElementsAre("ERROR"));
    const auto levels = Emitted({400000});
    EXPECT_TRUE(DurationsNear(fwsim::Envelope(levels), {560, 400000, 560}, EnvelopeTolerance));
    EXPECT_THAT(Exchange("AT+SND=1,900\r\r", 1), ::testing::ElementsAre("OK"));
}

} // namespace
} // namespace fwtest

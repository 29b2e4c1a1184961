#include "LircTestSupport.h"

#include "serial/LircDevice.h"

#include <gmock/gmock.h>

#include <cerrno>

namespace serial {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Kind = TLircSampleKind;
using Event = TLircEvent;

uint32_t S(Kind kind, uint32_t value) {
    return LircSample(kind, value);
}

// Adds reading to the shared socket-pair device.
struct DeviceOnSocket : TLircOnSocket {
    using TLircOnSocket::TLircOnSocket;
    std::vector<Event> Read() {
        std::vector<Event> events;
        EXPECT_EQ(device->ReadAvailable(events), 0);
        return events;
    }
};

Event Frame(std::vector<int32_t> durations, std::optional<uint32_t> carrier = std::nullopt) {
    return Event::FrameOf(std::move(durations), carrier);
}

struct ReceiveCase {
    const char* name;
    std::vector<uint32_t> samples;
    std::vector<Event> expected;
};

void PrintTo(const ReceiveCase& c, std::ostream* os) {
    *os << c.name;
}

class LircReceive : public ::testing::TestWithParam<ReceiveCase> {};

TEST_P(LircReceive, SamplesBecomeFrames) {
    DeviceOnSocket d;
    d.Send(GetParam().samples);
    EXPECT_THAT(d.Read(), ElementsAreArray(GetParam().expected));
}

// Reads ending inside a sample give the same frames, wherever the stream is cut.
TEST_P(LircReceive, ReadsCutAnywhere) {
    const std::vector<std::byte> bytes = DeviceOnSocket::Bytes(GetParam().samples);
    for (size_t cut = 1; cut < bytes.size(); cut += 3) {
        DeviceOnSocket d;
        std::vector<Event> events;
        d.SendBytes({bytes.begin(), bytes.begin() + cut});
        ASSERT_EQ(d.device->ReadAvailable(events), 0);
        d.SendBytes({bytes.begin() + cut, bytes.end()});
        ASSERT_EQ(d.device->ReadAvailable(events), 0);
        EXPECT_THAT(events, ElementsAreArray(GetParam().expected)) << "cut at " << cut;
    }
}

std::vector<uint32_t> LongFrame(size_t marks) {
    std::vector<uint32_t> samples;
    for (size_t i = 0; i < marks; ++i) {
        samples.push_back(S(Kind::Pulse, 500));
        samples.push_back(S(Kind::Space, 500));
    }
    samples.push_back(S(Kind::Timeout, 100000));
    return samples;
}

INSTANTIATE_TEST_SUITE_P(
    Lirc, LircReceive,
    ::testing::Values(
        ReceiveCase{"LeadingSpaceAndTimeout",
                    {S(Kind::Space, 16777215), S(Kind::Pulse, 9000), S(Kind::Space, 4500),
                     S(Kind::Pulse, 560), S(Kind::Timeout, 100000)},
                    {Frame({9000, 4500, 560})}},
        ReceiveCase{"LongSpaceEndsFrameWithoutIt",
                    {S(Kind::Pulse, 900), S(Kind::Space, 800), S(Kind::Pulse, 900),
                     S(Kind::Space, 120000), S(Kind::Pulse, 1800), S(Kind::Timeout, 1)},
                    {Frame({900, 800, 900}), Frame({1800})}},
        ReceiveCase{"SplitSamplesJoin",
                    {S(Kind::Pulse, 300), S(Kind::Pulse, 260), S(Kind::Space, 500),
                     S(Kind::Space, 60), S(Kind::Pulse, 560), S(Kind::Space, 3000),
                     S(Kind::Timeout, 1)},
                    {Frame({560, 560, 560})}},
        ReceiveCase{"MeasuredCarrier",
                    {S(Kind::Pulse, 2400), S(Kind::Space, 600), S(Kind::Pulse, 1200),
                     S(Kind::Frequency, 40000), S(Kind::Timeout, 1), S(Kind::Pulse, 600),
                     S(Kind::Timeout, 1)},
                    {Frame({2400, 600, 1200}, 40000), Frame({600})}},
        ReceiveCase{"OverflowDropsTheFrame",
                    {S(Kind::Pulse, 560), S(Kind::Space, 560), S(Kind::Overflow, 0),
                     S(Kind::Pulse, 560), S(Kind::Overflow, 0), S(Kind::Timeout, 1),
                     S(Kind::Pulse, 700), S(Kind::Timeout, 1)},
                    {Event::Of(Event::TKind::Overflow), Frame({700})}},
        ReceiveCase{"FullFrameKept", LongFrame(151), {Frame(std::vector<int32_t>(301, 500))}},
        ReceiveCase{
            "OverLongFrameRefused", LongFrame(152), {Event::Of(Event::TKind::TooLong, 303)}},
        ReceiveCase{"OnlySilence", {S(Kind::Space, 5000), S(Kind::Timeout, 1)}, {}}),
    [](const auto& info) { return info.param.name; });

TEST(LircDevice, SilenceEndsTheFrameInProgress) {
    DeviceOnSocket d;
    d.Send({S(Kind::Pulse, 560), S(Kind::Space, 1690), S(Kind::Pulse, 560), S(Kind::Space, 560)});
    EXPECT_THAT(d.Read(), IsEmpty());
    EXPECT_TRUE(d.device->InFrame());
    std::vector<Event> events;
    d.device->EndFrame(events);
    EXPECT_THAT(events, ElementsAre(Frame({560, 1690, 560})));
}

TEST(LircDevice, VanishedDeviceIsReported) {
    DeviceOnSocket d;
    d.kernel.Reset();
    std::vector<Event> events;
    EXPECT_EQ(d.device->ReadAvailable(events), ENODEV);
}

TEST(LircDevice, SetupAsksForMode2AndTheTimeout) {
    struct Case {
        TLircFeatures features;
        std::map<TLircQuery, uint32_t> answers;
        std::vector<std::pair<TLircSetting, uint32_t>> settings;
        uint32_t gapUs;
        std::string linkText;
    };
    const TLircFeatures noTimeout{.ReceiveMode2 = true};
    const std::vector<Case> cases{
        {FullLircFeatures(),
         {{TLircQuery::ReceiveResolution, 50}},
         {{TLircSetting::ReceiveMode2, 0},
          {TLircSetting::ReceiveTimeout, 100000},
          {TLircSetting::ReceiveTimeoutReports, 1}},
         100000,
         "lirc0 — mceusb, 50 µs"},
        {FullLircFeatures(),
         {{TLircQuery::MaxTimeout, 65000}},
         {{TLircSetting::ReceiveMode2, 0},
          {TLircSetting::ReceiveTimeout, 65000},
          {TLircSetting::ReceiveTimeoutReports, 1}},
         65000,
         "lirc0 — mceusb"},
        {noTimeout,
         {},
         {{TLircSetting::ReceiveMode2, 0}, {TLircSetting::ReceiveTimeoutReports, 1}},
         TLircDevice::FrameGapUs,
         "lirc0 — mceusb"},
        {TLircFeatures{.SendPulse = true}, {}, {}, TLircDevice::FrameGapUs, "lirc0 — mceusb"},
    };
    for (const Case& c : cases) {
        DeviceOnSocket d(c.features, c.answers);
        EXPECT_EQ(d.setupResult, 0);
        EXPECT_EQ(d.log.Settings, c.settings);
        EXPECT_EQ(d.device->GapUs(), c.gapUs);
        EXPECT_EQ(d.device->LinkText(), c.linkText);
    }
}

TEST(LircDevice, DeviceThatGivesNoDurationsIsRefused) {
    DeviceOnSocket d(TLircFeatures{});
    EXPECT_EQ(d.setupResult, ENOTTY);
    EXPECT_THAT(d.reason, HasSubstr("lirc0 — mceusb"));
}

TEST(LircDevice, EmissionSetsTheCarrierThenWritesAnOddCount) {
    struct Case {
        TLircFeatures features;
        std::vector<int32_t> durations;
        std::vector<std::pair<TLircSetting, uint32_t>> settings;
        std::vector<uint32_t> written;
    };
    const std::vector<Case> cases{
        {FullLircFeatures(),
         {9000, -4500, 560, 40000},
         {{TLircSetting::SendPulse, 0},
          {TLircSetting::SendCarrier, 36000},
          {TLircSetting::SendDutyCycle, 50}},
         {9000, 4500, 560}},
        {TLircFeatures{.SendPulse = true, .SetSendCarrier = true},
         {889, 889, 1778},
         {{TLircSetting::SendPulse, 0}, {TLircSetting::SendCarrier, 36000}},
         {889, 889, 1778}},
    };
    for (const Case& c : cases) {
        DeviceOnSocket d(c.features, {});
        d.log.Settings.clear();
        EXPECT_EQ(d.device->Emit(c.durations, 36000, 0.5), "");
        EXPECT_EQ(d.log.Settings, c.settings);
        EXPECT_EQ(d.Written(), c.written);
    }
}

TEST(LircDevice, ReceiverWithoutSendWritesNothing) {
    DeviceOnSocket d(TLircFeatures{.ReceiveMode2 = true});
    d.log.Settings.clear();
    EXPECT_THAT(d.device->Emit(std::vector<int32_t>{9000, 4500, 560}, 38000, 0.33),
                HasSubstr("nie nadaje"));
    EXPECT_THAT(d.log.Settings, IsEmpty());
    EXPECT_THAT(d.Written(), IsEmpty());
}

} // namespace
} // namespace serial

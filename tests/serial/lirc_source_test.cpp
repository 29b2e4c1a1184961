#include "LircTestSupport.h"

#include "ZorComTestSupport.h"
#include "serial/LircSource.h"

#include <gmock/gmock.h>

namespace serial {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Kind = TLircSampleKind;

// A source on a socket-pair device that records its events as short texts.
struct SourceOnSocket {
    explicit SourceOnSocket(TLircFeatures features = FullLircFeatures()) : lirc(features) {
        DeviceSourceEvents events;
        events.OnConnected = [this](const std::string& ident) {
            log.push_back("Connected " + ident);
        };
        events.OnDisconnected = [this] { log.push_back("Disconnected"); };
        events.OnHint = [this](const std::string& hint) { log.push_back("Hint " + hint); };
        events.OnFrame = [this](const DeviceFrame& frame) { frames.push_back(frame); };
        source = MakeLircSource([this](int&, std::string&) { return std::move(lirc.device); },
                                "/dev/lirc0", std::move(events));
        source->Start();
        EXPECT_THAT(log, IsEmpty()) << "no event from inside Start()";
        EXPECT_TRUE(zortest::WaitUntil([&] { return !log.empty(); }));
    }

    TLircOnSocket lirc;
    std::vector<std::string> log;
    std::vector<DeviceFrame> frames;
    std::unique_ptr<DeviceSource> source;
};

TEST(LircSource, FramesArriveWithTheirCarrier) {
    SourceOnSocket s;
    EXPECT_THAT(s.log, ElementsAre("Connected lirc0 — mceusb, 50 µs"));
    s.lirc.Send({LircSample(Kind::Pulse, 9000), LircSample(Kind::Space, 4500),
                 LircSample(Kind::Pulse, 560), LircSample(Kind::Timeout, 100000),
                 LircSample(Kind::Pulse, 2400), LircSample(Kind::Frequency, 40000),
                 LircSample(Kind::Timeout, 100000)});
    ASSERT_TRUE(zortest::WaitUntil([&] { return s.frames.size() == 2; }));
    EXPECT_THAT(s.frames[0].Durations, ElementsAre(9000, 4500, 560));
    EXPECT_FALSE(s.frames[0].Carrier);
    ASSERT_TRUE(s.frames[1].Carrier);
    EXPECT_EQ(s.frames[1].Carrier->Hz, 40000);
}

// A receiver that sends no time-out sample: the silence itself ends the frame.
TEST(LircSource, SilenceEndsTheFrame) {
    SourceOnSocket s;
    s.lirc.Send({LircSample(Kind::Pulse, 889), LircSample(Kind::Space, 889),
                 LircSample(Kind::Pulse, 1778), LircSample(Kind::Space, 889)});
    ASSERT_TRUE(zortest::WaitUntil([&] { return s.frames.size() == 1; }));
    EXPECT_THAT(s.frames[0].Durations, ElementsAre(889, 889, 1778));
}

TEST(LircSource, OverflowGivesAHintAndNoFrame) {
    SourceOnSocket s;
    s.lirc.Send({LircSample(Kind::Pulse, 560), LircSample(Kind::Overflow, 0),
                 LircSample(Kind::Timeout, 1)});
    ASSERT_TRUE(zortest::WaitUntil([&] { return s.log.size() == 2; }));
    EXPECT_THAT(s.log[1], HasSubstr("Naciśnij przycisk pilota jeszcze raz"));
    EXPECT_THAT(s.frames, IsEmpty());
}

TEST(LircSource, EmitsOnTheFramesCarrier) {
    SourceOnSocket s;
    s.lirc.log.Settings.clear();
    EXPECT_EQ(s.source->Emit({9000, 4500, 560, 40000}, {.Hz = 36000, .DutyCycle = 0.5}),
              std::nullopt);
    EXPECT_THAT(s.lirc.Written(), ElementsAre(9000, 4500, 560));
    EXPECT_THAT(s.lirc.log.Settings, ElementsAre(std::pair{TLircSetting::SendPulse, 0u},
                                                 std::pair{TLircSetting::SendCarrier, 36000u},
                                                 std::pair{TLircSetting::SendDutyCycle, 50u}));
}

TEST(LircSource, ReceiverOnlyRefusesEmission) {
    SourceOnSocket s(TLircFeatures{.ReceiveMode2 = true});
    const auto refusal = s.source->Emit({560, 560, 560}, {});
    ASSERT_TRUE(refusal);
    EXPECT_THAT(*refusal, HasSubstr("nie nadaje"));
    EXPECT_THAT(s.lirc.Written(), IsEmpty());
}

TEST(LircSource, VanishedDeviceEndsTheLink) {
    SourceOnSocket s;
    s.lirc.kernel.Reset();
    ASSERT_TRUE(zortest::WaitUntil([&] { return s.log.size() == 2; }));
    EXPECT_EQ(s.log[1], "Disconnected");
    EXPECT_FALSE(s.source->Linked());
    EXPECT_TRUE(s.source->Emit({560}, {}));
}

TEST(LircSource, DeviceThatCannotOpenSaysWhy) {
    std::vector<std::string> log;
    DeviceSourceEvents events;
    events.OnDisconnected = [&] { log.push_back("Disconnected"); };
    events.OnHint = [&](const std::string& hint) { log.push_back(hint); };
    auto source = MakeLircSource(
        [](int& error, std::string&) {
            error = EACCES;
            return std::unique_ptr<TLircDevice>();
        },
        "/dev/lirc0", std::move(events));
    source->Start();
    ASSERT_TRUE(zortest::WaitUntil([&] { return log.size() == 2; }));
    EXPECT_THAT(log[0], HasSubstr("grupy video (sudo adduser $USER video)"));
    EXPECT_EQ(log[1], "Disconnected");
}

} // namespace
} // namespace serial

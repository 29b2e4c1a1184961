#include "frame/FrameCore.h"

#include "Recorders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace frame {
namespace {

using testing::ChartPoint;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string S(DeviceSignature);

class FrameCoreTest : public ::testing::Test {
protected:
    void Receive(const std::string& line) { core.ZorComPort1RxString(line); }

    std::vector<int32_t> ValidDurations() const {
        return {frame.Durations.begin(), frame.Durations.begin() + frame.Count};
    }

    void SetFrame(std::initializer_list<int32_t> durations, int32_t mode) {
        std::copy(durations.begin(), durations.end(), frame.Durations.begin());
        frame.Count = static_cast<int32_t>(durations.size());
        frame.Mode = mode;
    }

    PulseFrame frame;
    testing::RecordingStatus status;
    testing::RecordingChart chart;
    testing::RecordingCommands commands;
    FrameCore core{frame, status, chart, commands};
};

// --- Device lines ---------------------------------------------------------------------------

TEST_F(FrameCoreTest, AcknowledgementTwiceSetsLinkTextOnceAndLeavesChartAlone) {
    Receive("OK");
    Receive("OK");
    EXPECT_TRUE(core.LinkConfirmed());
    EXPECT_EQ(status.WritesTo(PanelLink), 1);
    EXPECT_EQ(status.panels[PanelLink], TextLinked);
    EXPECT_EQ(chart.clears, 0);
}

TEST_F(FrameCoreTest, IdentificationStaysWhenMoreAcknowledgementsFollow) {
    Receive("OK");
    Receive("+ATI: IR 1.0");
    Receive("OK");
    Receive("OK");
    EXPECT_EQ(status.panels[PanelLink], "<----> Połączony     IR 1.0");
}

TEST_F(FrameCoreTest, NearAcknowledgementsOnlyClearTheChart) {
    SetFrame({9000, 4500}, ModeReceiver);
    for (const char* line : {"OK ", "ok", " OK"}) {
        Receive(line);
    }
    EXPECT_EQ(chart.clears, 3);
    EXPECT_TRUE(status.writes.empty());
    EXPECT_FALSE(core.LinkConfirmed());
    EXPECT_FALSE(core.FrameReceived());
    EXPECT_EQ(ValidDurations(), (std::vector<int32_t>{9000, 4500}));
}

TEST_F(FrameCoreTest, IdentificationShowsTextAfterFirstColonAndKeepsFrame) {
    SetFrame({9000, 4500}, ModeReceiver);
    Receive("+ATI: IR 1.0");
    EXPECT_EQ(status.panels[PanelLink], "<----> Połączony     IR 1.0");
    EXPECT_EQ(chart.clears, 1);
    EXPECT_TRUE(chart.points.empty());
    EXPECT_EQ(ValidDurations(), (std::vector<int32_t>{9000, 4500}));
    EXPECT_FALSE(core.LinkConfirmed());
    EXPECT_FALSE(core.FrameReceived());
    EXPECT_EQ(status.WritesTo(PanelPulseCount), 0);
}

TEST_F(FrameCoreTest, IdentificationCarryingAFrameIsReadAsFrameToo) {
    Receive("dev +ATI:  " + S + ",9000,4500");
    EXPECT_EQ(status.panels[PanelLink], "<----> Połączony     " + S + ",9000,4500");
    EXPECT_TRUE(core.FrameReceived());
    EXPECT_EQ(ValidDurations(), (std::vector<int32_t>{9000, 4500}));
    EXPECT_EQ(status.panels[PanelPulseCount], "2");
}

TEST_F(FrameCoreTest, FrameLineReadsEveryFieldAndDrawsIt) {
    Receive(S + ",560, 1690 ,,abc,-5");
    EXPECT_TRUE(core.FrameReceived());
    EXPECT_EQ(ValidDurations(), (std::vector<int32_t>{560, 1690, 0, 0, -5}));
    EXPECT_EQ(status.panels[PanelPulseCount], "5");
    EXPECT_EQ(status.panels[PanelMode], TextReceiverView);
    EXPECT_EQ(chart.points.size(), 11u);
}

TEST_F(FrameCoreTest, FieldsUseTheDurationConversion) {
    Receive(S + ",$230,+560,x10,0x10,-$10,\t7,99999999999");
    EXPECT_EQ(ValidDurations(), (std::vector<int32_t>{0x230, 560, 16, 16, -16, 0, 0}));
}

TEST_F(FrameCoreTest, SignatureIsTrimmedButCaseSensitive) {
    Receive("  " + S + " ,9000");
    EXPECT_TRUE(core.FrameReceived());
    EXPECT_EQ(ValidDurations(), (std::vector<int32_t>{9000}));

    std::string upper = S;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    Receive(upper + ",1,2,3");
    EXPECT_EQ(ValidDurations(), (std::vector<int32_t>{9000}));
    EXPECT_EQ(status.panels[PanelPulseCount], "1");
    EXPECT_TRUE(chart.points.empty()) << "a refused line leaves the chart cleared";
}

TEST_F(FrameCoreTest, SignatureWithTabIsNotTheSignature) {
    Receive("\t" + S + ",9000");
    EXPECT_FALSE(core.FrameReceived());
}

TEST_F(FrameCoreTest, SignatureAloneOrWithCommaIsAnEmptyFrame) {
    for (const std::string& line : {S, S + ",", S + " ,   "}) {
        SCOPED_TRACE(line);
        SetFrame({9000}, ModeReceiver);
        Receive(line);
        EXPECT_TRUE(core.FrameReceived());
        EXPECT_EQ(frame.Count, 0);
        EXPECT_EQ(status.panels[PanelPulseCount], "0");
        EXPECT_THAT(chart.points, ElementsAre(ChartPoint{0, 0.1, ""}));
    }
}

TEST_F(FrameCoreTest, ShorterFrameKeepsLongerTailBeyondCount) {
    Receive(S + ",1,2,3,4");
    Receive(S + ",9,8");
    EXPECT_EQ(frame.Count, 2);
    EXPECT_EQ(frame.Durations[0], 9);
    EXPECT_EQ(frame.Durations[1], 8);
    EXPECT_EQ(frame.Durations[2], 3);
    EXPECT_EQ(frame.Durations[3], 4);
    EXPECT_EQ(chart.points.size(), 5u) << "only the valid pulses are drawn";
}

TEST_F(FrameCoreTest, LongLineKeepsTheFirstCapacityValues) {
    std::string line = S;
    for (int i = 1; i <= FrameCapacity + 50; ++i) {
        line += "," + std::to_string(i);
    }
    Receive(line);
    EXPECT_EQ(frame.Count, FrameCapacity);
    EXPECT_EQ(frame.Durations.back(), FrameCapacity);
    EXPECT_EQ(status.panels[PanelPulseCount], "301");
    EXPECT_EQ(chart.points.size(), 1u + 2u * FrameCapacity);
}

TEST_F(FrameCoreTest, OtherLinesClearChartAndChangeNothingElse) {
    SetFrame({9000}, ModeTransmitter);
    Receive("ERROR");
    Receive("http://other.example,1,2");
    EXPECT_EQ(chart.clears, 2);
    EXPECT_TRUE(status.writes.empty());
    EXPECT_FALSE(core.FrameReceived());
    EXPECT_EQ(frame.Mode, ModeTransmitter);
}

TEST_F(FrameCoreTest, FrameFromDeviceKeepsTheCurrentMode) {
    core.Zanegujwykres1Click();
    ASSERT_EQ(frame.Mode, ModeTransmitter);
    Receive(S + ",560");
    EXPECT_EQ(frame.Mode, ModeTransmitter);
    EXPECT_EQ(status.panels[PanelMode], TextTransmitterView);
    EXPECT_EQ(chart.points.front().y, 1.0);
}

// --- Link events --------------------------------------------------------------------------

TEST_F(FrameCoreTest, ConnectionShowsAttemptAndAsksForAcknowledgementThenIdentity) {
    core.ZorComPort1Connected();
    EXPECT_EQ(status.panels[PanelLink], TextConnecting);
    EXPECT_THAT(commands.sent, ElementsAre("AT\r", "ATI\r"));
}

TEST_F(FrameCoreTest, DisconnectionForgetsTheAcknowledgement) {
    Receive("OK");
    core.ZorComPort1Disconnected();
    EXPECT_EQ(status.panels[PanelLink], TextDisconnected);
    EXPECT_FALSE(core.LinkConfirmed());
    Receive("OK");
    EXPECT_EQ(status.panels[PanelLink], TextLinked);
}

TEST_F(FrameCoreTest, CheckTimeOutShowsDisconnectionButKeepsTheAcknowledgement) {
    Receive("OK");
    core.ZorComPort1ATTimeOut();
    EXPECT_EQ(status.panels[PanelLink], TextDisconnected);
    EXPECT_TRUE(core.LinkConfirmed());
    Receive("OK");
    EXPECT_EQ(status.panels[PanelLink], TextDisconnected);
}

// --- Drawing ------------------------------------------------------------------------------

TEST_F(FrameCoreTest, TransmitterViewExample) {
    SetFrame({9000, 4500, 560}, ModeReceiver);
    core.DrawFrame(ModeTransmitter);
    EXPECT_EQ(frame.Mode, ModeTransmitter);
    EXPECT_THAT(chart.points,
                ElementsAre(ChartPoint{0, 1.0, ""}, ChartPoint{0, 1.0, "."},
                            ChartPoint{9000, 1.0, "9000"}, ChartPoint{9000, 0.1, "."},
                            ChartPoint{13500, 0.1, "4500"}, ChartPoint{13500, 1.0, "."},
                            ChartPoint{14060, 1.0, "560"}));
    EXPECT_EQ(status.panels[PanelMode], TextTransmitterView);
    EXPECT_THAT(chart.events, ::testing::IsSupersetOf({"clear", "axis"}));
    EXPECT_EQ(chart.events[0], "clear");
    EXPECT_EQ(chart.events[1], "axis");
}

TEST_F(FrameCoreTest, DrawingLeavesThePulseCountPanelToTheCaller) {
    SetFrame({1, 2}, ModeReceiver);
    core.DrawFrame(ModeReceiver);
    EXPECT_EQ(status.WritesTo(PanelPulseCount), 0);
    EXPECT_EQ(status.WritesTo(PanelMode), 1);
}

TEST_F(FrameCoreTest, OnePulseInReceiverView) {
    SetFrame({560}, ModeReceiver);
    core.DrawFrame(ModeReceiver);
    EXPECT_THAT(chart.points, ElementsAre(ChartPoint{0, 0.1, ""}, ChartPoint{0, 0.1, "."},
                                          ChartPoint{560, 0.1, "560"}));
    EXPECT_EQ(status.panels[PanelMode], TextReceiverView);
}

TEST_F(FrameCoreTest, EmptyFrameDrawsOnlyTheStartingPoint) {
    core.DrawFrame(ModeTransmitter);
    EXPECT_THAT(chart.points, ElementsAre(ChartPoint{0, 1.0, ""}));
    EXPECT_EQ(status.panels[PanelMode], TextTransmitterView);
}

TEST_F(FrameCoreTest, OddModeFromAFileStartsAtItsOwnLevel) {
    SetFrame({10, 20, 30}, ModeReceiver);
    core.DrawFrame(5);
    EXPECT_THAT(chart.points, ElementsAre(ChartPoint{0, 4.0, ""}, ChartPoint{0, 4.0, "."},
                                          ChartPoint{10, 4.0, "10"}, ChartPoint{10, 1.0, "."},
                                          ChartPoint{30, 1.0, "20"}, ChartPoint{30, 0.1, "."},
                                          ChartPoint{60, 0.1, "30"}));
    EXPECT_EQ(status.panels[PanelMode], TextReceiverView);

    core.Zanegujwykres1Click();
    EXPECT_EQ(frame.Mode, 4);
    EXPECT_EQ(chart.points.front().y, 5.0);
}

TEST_F(FrameCoreTest, InvertingTwiceGivesTheFirstDrawingBack) {
    SetFrame({9000, 4500, 560}, ModeReceiver);
    core.DrawFrame(ModeReceiver);
    const auto first = chart.points;

    core.Zanegujwykres1Click();
    EXPECT_EQ(frame.Mode, ModeTransmitter);
    EXPECT_EQ(status.panels[PanelMode], TextTransmitterView);
    ASSERT_EQ(chart.points.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(chart.points[i].x, first[i].x);
        EXPECT_EQ(chart.points[i].label, first[i].label);
        EXPECT_NE(chart.points[i].y, first[i].y) << "every level is exchanged";
    }

    core.Zanegujwykres1Click();
    EXPECT_EQ(frame.Mode, ModeReceiver);
    EXPECT_EQ(status.panels[PanelMode], TextReceiverView);
    EXPECT_EQ(chart.points, first);
    EXPECT_EQ(frame.Count, 3);
}

TEST_F(FrameCoreTest, ZeroDurationGivesAnEdgeAtTheSameTime) {
    SetFrame({100, 0, 50}, ModeTransmitter);
    core.DrawFrame(ModeTransmitter);
    EXPECT_THAT(chart.points, ElementsAre(ChartPoint{0, 1.0, ""}, ChartPoint{0, 1.0, "."},
                                          ChartPoint{100, 1.0, "100"}, ChartPoint{100, 0.1, "."},
                                          ChartPoint{100, 0.1, "0"}, ChartPoint{100, 1.0, "."},
                                          ChartPoint{150, 1.0, "50"}));
}

TEST_F(FrameCoreTest, NegativeDurationGoesBackInTime) {
    SetFrame({100, -30, 10}, ModeReceiver);
    core.DrawFrame(ModeReceiver);
    EXPECT_THAT(chart.points, ElementsAre(ChartPoint{0, 0.1, ""}, ChartPoint{0, 0.1, "."},
                                          ChartPoint{100, 0.1, "100"}, ChartPoint{100, 1.0, "."},
                                          ChartPoint{70, 1.0, "-30"}, ChartPoint{70, 0.1, "."},
                                          ChartPoint{80, 0.1, "10"}));
}

TEST_F(FrameCoreTest, HugeDurationsGiveTrueTimesWithoutWrapping) {
    SetFrame({INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MIN}, ModeReceiver);
    core.DrawFrame(ModeReceiver);
    ASSERT_EQ(chart.points.size(), 11u);
    EXPECT_EQ(chart.points[4].x, 4294967294.0);
    EXPECT_EQ(chart.points[5].x, 4294967294.0);
    EXPECT_EQ(chart.points[6].x, 4294967294.0 - 2147483648.0);
    EXPECT_EQ(chart.points[10].x, 4294967294.0 - 3 * 2147483648.0);
    EXPECT_EQ(chart.points[10].label, "-2147483648");
}

TEST_F(FrameCoreTest, ExtremeModesDoNotMisbehave) {
    core.DrawFrame(INT32_MIN);
    EXPECT_EQ(chart.points.front().y, static_cast<double>(INT32_MIN ^ 1));
    core.DrawFrame(-1);
    EXPECT_EQ(chart.points.front().y, -2.0);
    EXPECT_EQ(status.panels[PanelMode], TextReceiverView);
}

TEST_F(FrameCoreTest, OutOfRangeCountNeverReadsPastTheArray) {
    frame.Count = FrameCapacity + 100;
    core.DrawFrame(ModeReceiver);
    EXPECT_EQ(chart.points.size(), 1u + 2u * FrameCapacity);
    frame.Count = -7;
    core.DrawFrame(ModeReceiver);
    EXPECT_EQ(chart.points.size(), 1u);
}

// --- Loading ------------------------------------------------------------------------------

TEST_F(FrameCoreTest, LoadedFrameReplacesTheFrameAndDrawsInItsMode) {
    Receive(S + ",1,2,3,4,5");
    core.LoadFrame(LoadedFrame{ModeTransmitter, {9000, 4500}});
    EXPECT_EQ(ValidDurations(), (std::vector<int32_t>{9000, 4500}));
    EXPECT_EQ(frame.Mode, ModeTransmitter);
    EXPECT_EQ(status.panels[PanelPulseCount], "2");
    EXPECT_EQ(status.panels[PanelMode], TextTransmitterView);
    EXPECT_EQ(chart.points.size(), 5u);
}

TEST_F(FrameCoreTest, LoadedFrameLeavesTheFlagsAlone) {
    core.LoadFrame(LoadedFrame{ModeReceiver, {9000}});
    EXPECT_FALSE(core.FrameReceived());
    EXPECT_FALSE(core.LinkConfirmed());
}

TEST_F(FrameCoreTest, LoadedFrameNeverTakesMoreThanCapacity) {
    core.LoadFrame(LoadedFrame{ModeReceiver, std::vector<int32_t>(FrameCapacity + 5, 7)});
    EXPECT_EQ(frame.Count, FrameCapacity);
}

// --- Emission through the core -------------------------------------------------------------

TEST_F(FrameCoreTest, EmittingTheCapturedCodeNeedsAPulse) {
    EXPECT_FALSE(core.EmitujKodExecute());
    EXPECT_TRUE(commands.sent.empty());
    Receive(S);
    EXPECT_TRUE(core.FrameReceived());
    EXPECT_FALSE(core.EmitujKodExecute()) << "a frame of no pulses sends nothing";

    Receive(S + ",560");
    EXPECT_TRUE(core.EmitujKodExecute());
    EXPECT_THAT(commands.sent, ElementsAre("ab1\r"));
}

TEST_F(FrameCoreTest, EmittingTheChartSendsEveryPulseThenTheCount) {
    Receive(S + ",9000,4500,560");
    core.EmitujWykresExecute();
    EXPECT_THAT(commands.sent, ElementsAre("AT+SND=1,9000\r", "AT+SND=2,4500\r", "AT+SND=3,560\r",
                                           "AT+SND=0,3\r"));
}

} // namespace
} // namespace frame

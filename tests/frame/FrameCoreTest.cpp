#include "frame/FrameCore.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace frame {
namespace {

using ::testing::ElementsAre;

const std::string S(DeviceSignature);

struct Point {
    double x = 0;
    double y = 0;
    std::string label;
    friend bool operator==(const Point&, const Point&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Point& p) {
        return out << "(" << p.x << ", " << p.y << ", \"" << p.label << "\")";
    }
};

// Stands in for the window: records the panels, the chart calls in order and the commands sent.
class Recorder : public StatusSink, public ChartSink, public CommandSink {
public:
    void SetPanelText(int index, std::string_view text) override {
        panels[index] = text;
        ++writes[index];
    }
    void ClearSeries() override {
        points.clear();
        calls.push_back("clear");
    }
    void AddPoint(double x, double y, std::string_view label) override {
        points.push_back({x, y, std::string(label)});
        calls.push_back("point");
    }
    void SetBottomAxisAutomatic() override { calls.push_back("axis"); }
    void SendCommand(std::string_view command) override { sent.emplace_back(command); }

    long Clears() const { return std::count(calls.begin(), calls.end(), "clear"); }

    std::map<int, std::string> panels;
    std::map<int, int> writes;
    std::vector<std::string> calls;
    std::vector<Point> points;
    std::vector<std::string> sent;
};

class FrameCoreTest : public ::testing::Test {
protected:
    void Receive(const std::string& line) { core.ZorComPort1RxString(line); }

    std::vector<int32_t> Valid() const {
        return {frame.Durations.begin(), frame.Durations.begin() + frame.Count};
    }

    void SetFrame(const std::vector<int32_t>& durations, int32_t mode) {
        std::copy(durations.begin(), durations.end(), frame.Durations.begin());
        frame.Count = static_cast<int32_t>(durations.size());
        frame.Mode = mode;
    }

    PulseFrame frame;
    Recorder rec;
    FrameCore core{frame, rec, rec, rec};
};

// --- Device lines ---------------------------------------------------------------------------

TEST_F(FrameCoreTest, AcknowledgementSetsTheLinkTextOnceAndKeepsTheIdentification) {
    Receive("OK");
    Receive("OK");
    EXPECT_TRUE(core.LinkConfirmed());
    EXPECT_EQ(rec.writes[PanelLink], 1);
    EXPECT_EQ(rec.panels[PanelLink], TextLinked);
    EXPECT_EQ(rec.Clears(), 0);

    Receive("+ATI: IR 1.0");
    Receive("OK");
    EXPECT_EQ(rec.panels[PanelLink], "<----> Połączony     IR 1.0");
}

TEST_F(FrameCoreTest, AnyOtherLineOnlyClearsTheChart) {
    SetFrame({9000, 4500}, ModeTransmitter);
    std::string upper = S;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    const std::vector<std::string> lines{
        "OK ", "ok", " OK", "ERROR", "http://other.example,1,2", "\t" + S + ",9000", upper + ",1"};
    for (const std::string& line : lines) {
        Receive(line);
    }
    EXPECT_EQ(rec.Clears(), static_cast<long>(lines.size()));
    EXPECT_TRUE(rec.panels.empty());
    EXPECT_FALSE(core.LinkConfirmed());
    EXPECT_FALSE(core.FrameReceived());
    EXPECT_EQ(Valid(), (std::vector<int32_t>{9000, 4500}));
    EXPECT_EQ(frame.Mode, ModeTransmitter);
}

TEST_F(FrameCoreTest, IdentificationShowsTheTextAfterTheColonAndMayCarryAFrame) {
    SetFrame({9000, 4500}, ModeReceiver);
    Receive("+ATI: IR 1.0");
    EXPECT_EQ(rec.panels[PanelLink], "<----> Połączony     IR 1.0");
    EXPECT_EQ(rec.Clears(), 1);
    EXPECT_TRUE(rec.points.empty());
    EXPECT_EQ(Valid(), (std::vector<int32_t>{9000, 4500}));
    EXPECT_FALSE(core.LinkConfirmed());
    EXPECT_FALSE(core.FrameReceived());
    EXPECT_EQ(rec.writes[PanelPulseCount], 0);

    Receive("dev +ATI:  " + S + ",560,1690");
    EXPECT_EQ(rec.panels[PanelLink], "<----> Połączony     " + S + ",560,1690");
    EXPECT_TRUE(core.FrameReceived());
    EXPECT_EQ(Valid(), (std::vector<int32_t>{560, 1690}));
    EXPECT_EQ(rec.panels[PanelPulseCount], "2");
}

TEST_F(FrameCoreTest, FrameLineReadsEveryFieldAndDrawsIt) {
    Receive(S + ",560, 1690 ,,abc,-5");
    EXPECT_TRUE(core.FrameReceived());
    EXPECT_EQ(Valid(), (std::vector<int32_t>{560, 1690, 0, 0, -5}));
    EXPECT_EQ(rec.panels[PanelPulseCount], "5");
    EXPECT_EQ(rec.panels[PanelMode], TextReceiverView);
    EXPECT_EQ(rec.points.size(), 11u);

    // Blanks around the signature are allowed; fields take the duration conversion.
    Receive("  " + S + " ,$230,+560,x10,0x10,-$10,\t7,99999999999");
    EXPECT_EQ(Valid(), (std::vector<int32_t>{0x230, 560, 16, 16, -16, 0, 0}));
}

TEST_F(FrameCoreTest, SignatureAloneOrWithCommaIsAnEmptyFrame) {
    for (const std::string& line : {S, S + ",", S + " ,   "}) {
        SCOPED_TRACE(line);
        SetFrame({9000}, ModeReceiver);
        Receive(line);
        EXPECT_TRUE(core.FrameReceived());
        EXPECT_EQ(frame.Count, 0);
        EXPECT_EQ(rec.panels[PanelPulseCount], "0");
        EXPECT_THAT(rec.points, ElementsAre(Point{0, 0.1, ""}));
    }
}

TEST_F(FrameCoreTest, ShorterFrameKeepsTheLongerTailBeyondCount) {
    Receive(S + ",1,2,3,4");
    Receive(S + ",9,8");
    EXPECT_EQ(frame.Count, 2);
    EXPECT_THAT(std::vector<int32_t>(frame.Durations.begin(), frame.Durations.begin() + 4),
                ElementsAre(9, 8, 3, 4));
    EXPECT_EQ(rec.points.size(), 5u) << "only the valid pulses are drawn";
}

TEST_F(FrameCoreTest, LongLineKeepsTheFirstCapacityValues) {
    std::string line = S;
    for (int i = 1; i <= FrameCapacity + 50; ++i) {
        line += "," + std::to_string(i);
    }
    Receive(line);
    EXPECT_EQ(frame.Count, FrameCapacity);
    EXPECT_EQ(frame.Durations.back(), FrameCapacity);
    EXPECT_EQ(rec.panels[PanelPulseCount], "301");
    EXPECT_EQ(rec.points.size(), 1u + 2u * FrameCapacity);
}

TEST_F(FrameCoreTest, FrameFromDeviceKeepsTheCurrentMode) {
    core.Zanegujwykres1Click();
    Receive(S + ",560");
    EXPECT_EQ(frame.Mode, ModeTransmitter);
    EXPECT_EQ(rec.panels[PanelMode], TextTransmitterView);
    EXPECT_EQ(rec.points.front().y, 1.0);
}

// --- Link events --------------------------------------------------------------------------

TEST_F(FrameCoreTest, LinkEventsAndOnlyADisconnectionForgetsTheAcknowledgement) {
    core.ZorComPort1Connected();
    EXPECT_EQ(rec.panels[PanelLink], TextConnecting);
    EXPECT_THAT(rec.sent, ElementsAre("AT\r", "ATI\r"));

    // A check time-out shows the drop but the acknowledgement stands, so "OK" changes nothing.
    Receive("OK");
    core.ZorComPort1ATTimeOut();
    EXPECT_EQ(rec.panels[PanelLink], TextDisconnected);
    EXPECT_TRUE(core.LinkConfirmed());
    Receive("OK");
    EXPECT_EQ(rec.panels[PanelLink], TextDisconnected);

    core.ZorComPort1Disconnected();
    EXPECT_EQ(rec.panels[PanelLink], TextDisconnected);
    EXPECT_FALSE(core.LinkConfirmed());
    Receive("OK");
    EXPECT_EQ(rec.panels[PanelLink], TextLinked);
}

// --- Drawing ------------------------------------------------------------------------------

struct DrawCase {
    const char* name;
    std::vector<int32_t> durations;
    int32_t mode;
    std::string_view view;
    std::vector<Point> points;
};

void PrintTo(const DrawCase& c, std::ostream* out) {
    *out << c.name;
}

class FrameDrawTest : public FrameCoreTest, public ::testing::WithParamInterface<DrawCase> {};

TEST_P(FrameDrawTest, DrawsTwoPointsPerPulseFromTheModesLevel) {
    const DrawCase& c = GetParam();
    SetFrame(c.durations, ModeReceiver);
    core.DrawFrame(c.mode);
    EXPECT_EQ(frame.Mode, c.mode);
    EXPECT_EQ(rec.points, c.points);
    EXPECT_EQ(rec.panels[PanelMode], c.view);
    // Panel 1 is the callers' business; the axis is reset before any point.
    EXPECT_EQ(rec.writes[PanelPulseCount], 0);
    EXPECT_THAT(std::vector<std::string>(rec.calls.begin(), rec.calls.begin() + 3),
                ElementsAre("clear", "axis", "point"));
}

const std::string_view Rx = TextReceiverView;
const std::string_view Tx = TextTransmitterView;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, FrameDrawTest, ::testing::Values(
    DrawCase{"Transmitter", {9000, 4500, 560}, ModeTransmitter, Tx,
             {{0, 1.0, ""}, {0, 1.0, "."}, {9000, 1.0, "9000"}, {9000, 0.1, "."},
              {13500, 0.1, "4500"}, {13500, 1.0, "."}, {14060, 1.0, "560"}}},
    DrawCase{"OnePulse", {560}, ModeReceiver, Rx, {{0, 0.1, ""}, {0, 0.1, "."}, {560, 0.1, "560"}}},
    DrawCase{"Empty", {}, ModeTransmitter, Tx, {{0, 1.0, ""}}},
    DrawCase{"ZeroDuration", {100, 0, 50}, ModeTransmitter, Tx,
             {{0, 1.0, ""}, {0, 1.0, "."}, {100, 1.0, "100"}, {100, 0.1, "."}, {100, 0.1, "0"},
              {100, 1.0, "."}, {150, 1.0, "50"}}},
    DrawCase{"NegativeGoesBack", {100, -30, 10}, ModeReceiver, Rx,
             {{0, 0.1, ""}, {0, 0.1, "."}, {100, 0.1, "100"}, {100, 1.0, "."}, {70, 1.0, "-30"},
              {70, 0.1, "."}, {80, 0.1, "10"}}},
    DrawCase{"OddModeFromAFile", {10, 20, 30}, 5, Rx,
             {{0, 4.0, ""}, {0, 4.0, "."}, {10, 4.0, "10"}, {10, 1.0, "."}, {30, 1.0, "20"},
              {30, 0.1, "."}, {60, 0.1, "30"}}},
    DrawCase{"MinusOne", {}, -1, Rx, {{0, -2.0, ""}}},
    DrawCase{"Lowest", {}, INT32_MIN, Rx, {{0, static_cast<double>(INT32_MIN ^ 1), ""}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(FrameCoreTest, InvertingExchangesTheLevelsAndTwiceGivesTheFirstDrawingBack) {
    SetFrame({9000, 4500, 560}, ModeReceiver);
    core.DrawFrame(ModeReceiver);
    const auto first = rec.points;

    core.Zanegujwykres1Click();
    EXPECT_EQ(frame.Mode, ModeTransmitter);
    EXPECT_EQ(rec.panels[PanelMode], TextTransmitterView);
    ASSERT_EQ(rec.points.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(rec.points[i].x, first[i].x);
        EXPECT_EQ(rec.points[i].label, first[i].label);
        EXPECT_NE(rec.points[i].y, first[i].y) << "every level is exchanged";
    }

    core.Zanegujwykres1Click();
    EXPECT_EQ(frame.Mode, ModeReceiver);
    EXPECT_EQ(rec.panels[PanelMode], TextReceiverView);
    EXPECT_EQ(rec.points, first);

    core.DrawFrame(5);
    core.Zanegujwykres1Click();
    EXPECT_EQ(frame.Mode, 4);
    EXPECT_EQ(rec.points.front().y, 5.0);
}

TEST_F(FrameCoreTest, ExtremeDurationsAndCountsNeitherWrapNorReadPastTheArray) {
    SetFrame({INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MIN}, ModeReceiver);
    core.DrawFrame(ModeReceiver);
    ASSERT_EQ(rec.points.size(), 11u);
    EXPECT_EQ(rec.points[5].x, 4294967294.0);
    EXPECT_EQ(rec.points[6].x, 4294967294.0 - 2147483648.0);
    EXPECT_EQ(rec.points[10].x, 4294967294.0 - 3 * 2147483648.0);
    EXPECT_EQ(rec.points[10].label, "-2147483648");

    frame.Count = FrameCapacity + 100;
    core.DrawFrame(ModeReceiver);
    EXPECT_EQ(rec.points.size(), 1u + 2u * FrameCapacity);
    frame.Count = -7;
    core.DrawFrame(ModeReceiver);
    EXPECT_EQ(rec.points.size(), 1u);
}

// --- Loading and emission -------------------------------------------------------------------

TEST_F(FrameCoreTest, LoadedFrameReplacesTheFrameButNotTheFlags) {
    core.LoadFrame(LoadedFrame{ModeTransmitter, {9000, 4500}});
    EXPECT_EQ(Valid(), (std::vector<int32_t>{9000, 4500}));
    EXPECT_EQ(frame.Mode, ModeTransmitter);
    EXPECT_EQ(rec.panels[PanelPulseCount], "2");
    EXPECT_EQ(rec.panels[PanelMode], TextTransmitterView);
    EXPECT_EQ(rec.points.size(), 5u);
    EXPECT_FALSE(core.FrameReceived());
    EXPECT_FALSE(core.LinkConfirmed());

    core.LoadFrame(LoadedFrame{ModeReceiver, std::vector<int32_t>(FrameCapacity + 5, 7)});
    EXPECT_EQ(frame.Count, FrameCapacity);
}

TEST_F(FrameCoreTest, EmissionSendsTheCapturedCodeOnlyWithAPulseAndTheChartPulseByPulse) {
    EXPECT_FALSE(core.EmitujKodExecute());
    Receive(S);
    EXPECT_TRUE(core.FrameReceived());
    EXPECT_FALSE(core.EmitujKodExecute()) << "a frame of no pulses sends nothing";
    EXPECT_TRUE(rec.sent.empty());

    Receive(S + ",9000,4500");
    EXPECT_TRUE(core.EmitujKodExecute());
    core.EmitujWykresExecute();
    EXPECT_THAT(rec.sent,
                ElementsAre("ab1\r", "AT+SND=1,9000\r", "AT+SND=2,4500\r", "AT+SND=0,2\r"));
}

// --- Announcements and hold -------------------------------------------------------------------

// What an observer was told, in order.
struct Told {
    FrameChange why;
    std::vector<int32_t> durations;
    int32_t mode;
    std::optional<SignalCarrier> carrier;
    bool shown;
    std::string source;
    friend bool operator==(const Told&, const Told&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Told& t) {
        out << "{why " << static_cast<int>(t.why) << ", " << t.durations.size()
            << " durations, mode " << t.mode << ", shown " << t.shown << ", carrier ";
        if (t.carrier)
            out << t.carrier->hz << "/" << t.carrier->dutyCycle;
        return out << ", \"" << t.source << "\"}";
    }
};

class Listener : public FrameObserver {
public:
    void FrameChanged(const FrameEvent& e) override {
        told.push_back({e.why,
                        {e.durations.begin(), e.durations.end()},
                        e.mode,
                        e.carrier,
                        e.shown,
                        std::string(e.source)});
    }
    std::vector<Told> told;
};

// One step of a scenario: something done to the core, then what the observer is told (nothing
// for a line that is no frame) and the frame shown afterwards.
struct Step {
    const char* what;
    std::function<void(FrameCore&)> act;
    std::optional<Told> told;
    std::vector<int32_t> shownAfter;
};

TEST_F(FrameCoreTest, EveryFrameIsAnnouncedOnceWithItsReasonAndHoldKeepsTheViewOnly) {
    const SignalCarrier flipper{36000, 0.5};
    const Step steps[] = {
        {"device frame",
         [](FrameCore& c) { c.ZorComPort1RxString(S + ",900,450"); },
         Told{FrameChange::DeviceFrame, {900, 450}, ModeReceiver, {}, true, ""},
         {900, 450}},
        {"a line that is no frame",
         [](FrameCore& c) { c.ZorComPort1RxString("OK"); },
         {},
         {900, 450}},
        {"a measured carrier goes with the next frame line only",
         [&](FrameCore& c) {
             c.SetIncomingCarrier(flipper);
             c.ZorComPort1RxString("noise");
             c.ZorComPort1RxString(S + ",100");
         },
         Told{FrameChange::DeviceFrame, {100}, ModeReceiver, flipper, true, ""},
         {100}},
        {"inversion",
         [](FrameCore& c) { c.Zanegujwykres1Click(); },
         Told{FrameChange::Inversion, {100}, ModeTransmitter, flipper, true, ""},
         {100}},
        {"file",
         [](FrameCore& c) {
             c.LoadFrame({ModeReceiver, {5, 6}}, FrameChange::Load, "/f.txt");
         },
         Told{FrameChange::Load, {5, 6}, ModeReceiver, {}, true, "/f.txt"},
         {5, 6}},
        {"held: the frame is told but not shown",
         [](FrameCore& c) {
             c.SetHeld(true);
             c.ZorComPort1RxString(S + ",7,8,9");
         },
         Told{FrameChange::DeviceFrame, {7, 8, 9}, ModeReceiver, {}, false, ""},
         {5, 6}},
        {"held: a choice of the user's is shown",
         [&](FrameCore& c) {
             c.LoadFrame({ModeReceiver, {1, 2}, flipper}, FrameChange::HistoryChoice);
         },
         Told{FrameChange::HistoryChoice, {1, 2}, ModeReceiver, flipper, true, ""},
         {1, 2}},
        {"let go: frames replace each other again",
         [](FrameCore& c) {
             c.SetHeld(false);
             c.ZorComPort1RxString(S + ",3");
         },
         Told{FrameChange::DeviceFrame, {3}, ModeReceiver, {}, true, ""},
         {3}},
    };
    Listener listener;
    core.AddObserver(listener);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        listener.told.clear();
        const size_t pointsBefore = rec.points.size();
        step.act(core);
        if (step.told) {
            EXPECT_THAT(listener.told, ElementsAre(*step.told));
        } else {
            EXPECT_TRUE(listener.told.empty());
        }
        EXPECT_EQ(Valid(), step.shownAfter);
        if (step.told && !step.told->shown) {
            EXPECT_EQ(rec.points.size(), pointsBefore) << "a held view is not redrawn";
            EXPECT_EQ(rec.panels[PanelPulseCount], std::to_string(step.shownAfter.size()));
        }
    }
    EXPECT_TRUE(core.FrameReceived());
    core.RemoveObserver(listener);
    listener.told.clear();
    Receive(S + ",1");
    EXPECT_TRUE(listener.told.empty());
}

} // namespace
} // namespace frame

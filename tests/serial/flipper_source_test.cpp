// The Flipper Zero source: its reading of the CLI's output, its transmit command, and the whole
// conversation against the simulator's Flipper personality on a pseudo-terminal.

#include "serial/FlipperSource.h"
#include "tests/serial/ZorComTestSupport.h"
#include "tools/irsim/FlipperSim.h"
#include "tools/irsim/Pty.h"

#include <gmock/gmock.h>

namespace {

using serial::FlipperCliReader;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using zortest::WaitUntil;

// The items as one text: "P" prompt, "F(d,d)" frame, "L:text" line, "B" busy, "V:text" version.
std::string Summary(const std::vector<FlipperCliReader::Item>& items) {
    std::string text;
    for (const auto& item : items) {
        if (!text.empty())
            text += ' ';
        switch (item.kind) {
        case FlipperCliReader::Item::Prompt:
            text += "P";
            break;
        case FlipperCliReader::Item::Frame: {
            text += "F(";
            for (std::size_t i = 0; i < item.durations.size(); ++i)
                text += (i ? "," : "") + std::to_string(item.durations[i]);
            text += ")";
            break;
        }
        case FlipperCliReader::Item::Line:
            text += "L:" + item.text;
            break;
        case FlipperCliReader::Item::Busy:
            text += "B";
            break;
        case FlipperCliReader::Item::Version:
            text += "V:" + item.text;
            break;
        }
    }
    return text;
}

TEST(FlipperCliReaderTest, ReadsCapturesAndNothingElseAsFrames) {
    const struct {
        const char* output;
        const char* items;
    } cases[] = {
        {"\r\nWelcome\r\nFirmware version: 1.0.1\r\n\r\n>: ",
         "L:Welcome L:Firmware version: 1.0.1 P"},
        {">: ir rx raw\r\nReceiving INFRARED...\r\n", "P L:ir rx raw L:Receiving INFRARED..."},
        {"RAW, 3 samples:\r\n9000 4500 560 \r\n", "F(9000,4500,560)"},
        // decoded captures are the Flipper's reading, not durations
        {"NEC, A:0x04, C:0x08\r\n", "L:NEC, A:0x04, C:0x08"},
        // a damaged capture is no frame
        {"RAW, 3 samples:\r\n9000 4500 \r\n", "L:9000 4500"},
        {"RAW, 2 samples:\r\n9000 -4500 \r\n", "L:9000 -4500"},
        {"RAW, 1 samples:\r\n99999999999 \r\n", "L:99999999999"},
        {"INFRARED is busy\r\n\r\n>: ", "B P"},
        {"firmware_version       : 1.0.1\r\n", "V:1.0.1"},
        // the receiver's output after Ctrl+C: the prompt alone
        {"\r\n>: \r\n>: ", "P P"},
    };
    for (const auto& c : cases) {
        FlipperCliReader whole;
        EXPECT_EQ(Summary(whole.Feed(c.output)), c.items) << c.output;
        // The port may give the output in any pieces.
        FlipperCliReader bytes;
        std::vector<FlipperCliReader::Item> items;
        for (const char ch : std::string_view(c.output)) {
            for (auto& item : bytes.Feed(std::string_view(&ch, 1)))
                items.push_back(std::move(item));
        }
        EXPECT_EQ(Summary(items), c.items) << c.output;
    }
}

TEST(FlipperTxCommandTest, BuildsTheCommandOrSaysWhyNot) {
    const std::vector<int32_t> nec{9000, 4500, 560};
    const struct {
        std::vector<int32_t> durations;
        serial::DeviceCarrier carrier;
        const char* command;
        const char* refusal;
    } cases[] = {
        {nec, {38000, 0.33}, "ir tx RAW F:38000 DC:33 9000 4500 560\r", ""},
        {nec, {36000, 0.5}, "ir tx RAW F:36000 DC:50 9000 4500 560\r", ""},
        {nec, {56001, 0.33}, "", "od 10000 do 56000 Hz, a sygnał ma 56001 Hz"},
        {nec, {9999, 0.33}, "", "a sygnał ma 9999 Hz"},
        {nec, {38000, 0.0}, "", "Wypełnienie"},
        {{9000, 0, 560}, {38000, 0.33}, "", "czas 0 µs"},
        {{}, {38000, 0.33}, "", "pusta"},
        {std::vector<int32_t>(513, 500),
         {38000, 0.33},
         "",
         "najwyżej 512 czasów, a ramka ma ich 513"},
    };
    for (const auto& c : cases) {
        const serial::FlipperTxCommand tx = serial::MakeFlipperTxCommand(c.durations, c.carrier);
        EXPECT_EQ(tx.command, c.command);
        if (*c.refusal)
            EXPECT_THAT(tx.refusal, HasSubstr(c.refusal));
        else
            EXPECT_THAT(tx.refusal, IsEmpty());
    }
}

TEST(FlipperPromptTest, APromptStartsTheLine) {
    EXPECT_TRUE(serial::IsFlipperPromptLine(">: AT"));
    EXPECT_FALSE(serial::IsFlipperPromptLine("OK"));
    EXPECT_FALSE(serial::IsFlipperPromptLine(" >: AT"));
}

// The source against the simulated Flipper.
class FlipperSourceTest : public ::testing::Test {
protected:
    void Start(serial::FlipperTimings timings = {500, 60000, 50}) {
        source = serial::MakeFlipperSource(
            sim.SlavePath(),
            {[this](const std::string& ident) { connected.push_back(ident); },
             [this] { ++disconnected; },
             [this](const serial::DeviceFrame& frame) { frames.push_back(frame.Durations); },
             [this](const std::string& hint) { hints.push_back(hint); }},
            timings);
        source->Start();
    }
    void StartLinked(serial::FlipperTimings timings = {500, 60000, 50}) {
        Start(timings);
        ASSERT_TRUE(WaitUntil([&] { return !connected.empty(); }));
        ASSERT_TRUE(WaitUntil([&] { return sim.Receiving(); }));
    }

    irsim::FlipperSim sim;
    std::unique_ptr<serial::DeviceSource> source;
    std::vector<std::string> connected;
    int disconnected = 0;
    std::vector<std::vector<int32_t>> frames;
    std::vector<std::string> hints;
};

TEST_F(FlipperSourceTest, ConnectsWithTheVersionAndTakesRawCapturesOnly) {
    StartLinked();
    EXPECT_THAT(connected, ElementsAre("Flipper Zero 1.0.1"));
    EXPECT_TRUE(source->Linked());
    EXPECT_THAT(sim.ReceivedBytes(), HasSubstr("info device\rir rx raw\r"));

    ASSERT_TRUE(sim.PrintDecoded("NEC, A:0x04, C:0x08"));
    ASSERT_TRUE(sim.Capture({9000, 4500, 560}));
    ASSERT_TRUE(WaitUntil([&] { return !frames.empty(); }));
    EXPECT_THAT(frames, ElementsAre(ElementsAre(9000, 4500, 560)));
    EXPECT_THAT(hints, IsEmpty());
    EXPECT_EQ(disconnected, 0);
}

TEST_F(FlipperSourceTest, BusyInfraredAppGivesTheHintAndTheReceiverStartsWhenFree) {
    sim.SetBusy(true);
    Start();
    ASSERT_TRUE(WaitUntil([&] { return !hints.empty(); }));
    EXPECT_THAT(hints, ElementsAre(serial::FlipperBusyHint));
    EXPECT_FALSE(sim.Receiving());
    sim.SetBusy(false);
    EXPECT_TRUE(WaitUntil([&] { return sim.Receiving(); }));
    EXPECT_EQ(hints.size(), 1u); // said once, not at every retry
}

TEST_F(FlipperSourceTest, EmitsBetweenStoppingAndRestartingTheReceiver) {
    StartLinked();
    const std::string before = sim.ReceivedBytes();
    EXPECT_EQ(source->Emit({9000, 4500, 560}, {36000, 0.5}), std::nullopt);
    ASSERT_TRUE(WaitUntil([&] { return sim.Transmitted().size() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return sim.Receiving(); }));
    EXPECT_TRUE(WaitUntil([&] {
        return sim.ReceivedBytes().find("ir tx RAW F:36000 DC:50 9000 4500 560\rir rx raw\r") !=
               std::string::npos;
    }));
    EXPECT_EQ(sim.ReceivedBytes().substr(before.size()),
              "\x03ir tx RAW F:36000 DC:50 9000 4500 560\rir rx raw\r");
    const auto sent = sim.Transmitted();
    EXPECT_EQ(sent[0].carrierHz, 36000);
    EXPECT_EQ(sent[0].dutyPercent, 50);
    EXPECT_THAT(sent[0].durations, ElementsAre(9000, 4500, 560));

    // What the Flipper cannot make is refused before anything is sent.
    EXPECT_THAT(source->Emit({9000, 4500, 560}, {60000, 0.33}).value_or(""), HasSubstr("56000"));
}

TEST_F(FlipperSourceTest, SilenceIsCheckedWithAnEmptyLineAndTheLinkStays) {
    StartLinked({500, 100, 50});
    EXPECT_TRUE(WaitUntil([&] {
        return sim.ReceivedBytes().find("ir rx raw\r\x03\rir rx raw\r") != std::string::npos;
    }));
    EXPECT_EQ(disconnected, 0);
    EXPECT_TRUE(source->Linked());
}

TEST_F(FlipperSourceTest, AVanishedFlipperEndsTheLink) {
    StartLinked();
    sim.HangUp();
    ASSERT_TRUE(WaitUntil([&] { return disconnected == 1; }));
    EXPECT_FALSE(source->Linked());
    EXPECT_TRUE(source->Emit({9000, 4500, 560}, {}).has_value());
}

TEST(FlipperSourceSilentTest, APortWithoutTheCliEndsTheAttemptWithAHint) {
    irsim::Pty pty; // nothing answers on it
    std::vector<std::string> hints;
    int disconnected = 0;
    auto source = serial::MakeFlipperSource(
        pty.SlavePath(),
        {{}, [&] { ++disconnected; }, {}, [&](const std::string& hint) { hints.push_back(hint); }},
        {100, 60000, 50});
    source->Start();
    ASSERT_TRUE(WaitUntil([&] { return disconnected == 1; }));
    EXPECT_THAT(hints, ElementsAre(HasSubstr("nie odpowiada")));
}

TEST(FlipperSourceSilentTest, APortThatCannotBeOpenedSaysWhy) {
    std::vector<std::string> hints;
    int disconnected = 0;
    auto source = serial::MakeFlipperSource(
        "/nonexistent/ttyACM9",
        {{}, [&] { ++disconnected; }, {}, [&](const std::string& hint) { hints.push_back(hint); }});
    source->Start();
    EXPECT_EQ(disconnected, 0); // never from inside Start()
    ASSERT_TRUE(WaitUntil([&] { return disconnected == 1; }));
    EXPECT_THAT(hints, ElementsAre(HasSubstr("/nonexistent/ttyACM9")));
}

} // namespace

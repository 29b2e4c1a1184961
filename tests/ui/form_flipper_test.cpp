// A Flipper Zero in the main window, played by the simulator's Flipper personality on a
// pseudo-terminal whose USB ids are unknown, so the window finds it by its prompt.

#include "tests/ui/FormTestSupport.h"

#include "analysis/Analysis.h"
#include "tools/irsim/FlipperSim.h"
#include "ui/DecodeMenu.h"
#include "ui/DecodeOverlay.h"
#include "ui/DeviceLink.h"
#include "ui/FrameHistory.h"
#include "ui/FrameWorkbench.h"

#include <QLabel>

#include <gmock/gmock.h>

namespace {

using formtest::Current;
using formtest::MessageBoxRecorder;
using formtest::U;
using formtest::WaitUntil;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

class FlipperWindow : public ::testing::Test {
protected:
    FlipperWindow() : flipper(Options(folder)) {}

    static irsim::FlipperSimOptions Options(const QTemporaryDir& folder) {
        irsim::FlipperSimOptions options;
        options.jitter = irsim::Jitter{0, 0};
        options.linkPath = folder.filePath(QStringLiteral("ttyACM")).toStdString();
        return options;
    }

    void SetUp() override {
        formtest::SavePort(QString::fromStdString(flipper.LinkPath()));
        window = formtest::MakeWindow();
        ASSERT_TRUE(WaitUntil([&] {
            return window->PanelText(frame::PanelLink) ==
                   QStringLiteral("<----> Połączony     Flipper Zero 1.0.1");
        }));
        ASSERT_TRUE(WaitUntil([&] { return flipper.Receiving(); }));
    }

    const ui::FrameHistory& History() const { return window->Workbench()->History(); }

    QString Hint() const {
        const auto* line = window.Find<QLabel>("PortHint");
        return line->isVisibleTo(window.form.get()) ? line->text() : QString();
    }

    QTemporaryDir folder;
    irsim::FlipperSim flipper;
    formtest::Window window;
};

TEST_F(FlipperWindow, CapturesArriveDecodedAndEnterTheHistory) {
    window->DecodeItems()->Dekodujprotok1->setChecked(true);
    const auto nec = analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 0);
    ASSERT_TRUE(nec);
    ASSERT_TRUE(flipper.PrintDecoded("NEC, A:0x04, C:0x08"));
    ASSERT_TRUE(flipper.Capture(*nec));
    ASSERT_TRUE(WaitUntil([&] { return History().Size() == 1; }));
    EXPECT_EQ(Current(*window.form), *nec);
    EXPECT_EQ(window->PanelText(frame::PanelPulseCount), QString::number(nec->size()));
    EXPECT_TRUE(window->Core().FrameReceived());
    ASSERT_FALSE(window->Decoder()->Layout().Summary.empty());
    EXPECT_THAT(window->Decoder()->Layout().Summary.front().Text, HasSubstr("NEC"));
}

TEST_F(FlipperWindow, EmissionGoesToTheFlipperWithTheCarrierSetting) {
    const std::vector<int32_t> frame{9000, 4500, 560, 560, 560};
    ASSERT_TRUE(flipper.Capture(frame));
    ASSERT_TRUE(WaitUntil([&] { return History().Size() == 1; }));

    window->EmitujWykres()->trigger();
    ASSERT_TRUE(WaitUntil([&] { return flipper.Transmitted().size() == 1; }));
    window->EmitujKod()->trigger();
    ASSERT_TRUE(WaitUntil([&] { return flipper.Transmitted().size() == 2; }));
    for (const irsim::FlipperTransmission& sent : flipper.Transmitted()) {
        EXPECT_EQ(sent.carrierHz, 38000);
        EXPECT_EQ(sent.dutyPercent, 33);
        EXPECT_THAT(sent.durations, ElementsAreArray(frame));
    }
    EXPECT_THAT(flipper.ReceivedBytes(),
                HasSubstr("\x03ir tx RAW F:38000 DC:33 9000 4500 560 560 560\r"));
    EXPECT_EQ(flipper.ReceivedBytes().find("AT+SND"), std::string::npos);
    EXPECT_TRUE(WaitUntil([&] { return flipper.Receiving(); }));

    // A frame the Flipper cannot send is refused with the reason; nothing goes out.
    MessageBoxRecorder boxes;
    window->ZorComPort1RxString(nullptr, formtest::FrameLine("9000,-4500,560"));
    window->EmitujWykres()->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_THAT(boxes.boxes[0].text.toStdString(), HasSubstr("-4500"));
    EXPECT_EQ(flipper.Transmitted().size(), 2u);
}

TEST_F(FlipperWindow, AnOverlongCaptureIsRefusedAndNothingChanges) {
    const std::vector<int32_t> first{9000, 4500, 560};
    ASSERT_TRUE(flipper.Capture(first));
    ASSERT_TRUE(WaitUntil([&] { return History().Size() == 1; }));
    ASSERT_TRUE(flipper.Capture(std::vector<int32_t>(frame::FrameCapacity + 1, 600)));
    ASSERT_TRUE(WaitUntil([&] { return !Hint().isEmpty(); }));
    EXPECT_EQ(Hint(),
              ui::OverlongSignalText(QStringLiteral("Sygnał z urządzenia Flipper Zero 1.0.1"),
                                     frame::FrameCapacity + 1));
    EXPECT_EQ(History().Size(), 1);
    EXPECT_EQ(Current(*window.form), first);
}

TEST_F(FlipperWindow, BusyInfraredAppIsNamedInTheHint) {
    ASSERT_TRUE(flipper.Capture({9000, 4500, 560}));
    ASSERT_TRUE(WaitUntil([&] { return History().Size() == 1; }));
    // The Flipper's own application takes the hardware; the emission meets it.
    flipper.SetBusy(true);
    window->EmitujWykres()->trigger();
    ASSERT_TRUE(WaitUntil([&] { return Hint().contains(QStringLiteral("aplikację Infrared")); }));
    flipper.SetBusy(false);
    EXPECT_TRUE(WaitUntil([&] { return flipper.Receiving(); }));
}

TEST_F(FlipperWindow, AVanishedFlipperEndsTheLinkAndTheWindowGoesOn) {
    flipper.HangUp();
    ASSERT_TRUE(WaitUntil([&] {
        return window->PanelText(frame::PanelLink) ==
               QString::fromUtf8(frame::TextDisconnected.data(),
                                 static_cast<qsizetype>(frame::TextDisconnected.size()));
    }));
    EXPECT_FALSE(window->Core().LinkConfirmed());
    // Still usable: a frame from a file or a line is taken and drawn.
    window->ZorComPort1RxString(nullptr, formtest::FrameLine("9000,4500,560"));
    EXPECT_EQ(Current(*window.form), (std::vector<int32_t>{9000, 4500, 560}));
    MessageBoxRecorder boxes;
    window->EmitujWykres()->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_THAT(boxes.boxes[0].text.toStdString(), HasSubstr("nie jest połączony"));
}

} // namespace

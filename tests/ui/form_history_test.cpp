// The frame history, holding the view, comparing frames and the file formats of other IR tools, in
// the main window against the simulated device.

#include "tests/ui/FormTestSupport.h"

#include "analysis/Analysis.h"
#include "ui/ChartView.h"
#include "ui/FrameHistory.h"
#include "ui/FrameWorkbench.h"

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>

namespace {

using analysis::formats::Format;
using formtest::Current;
using formtest::MessageBoxRecorder;
using formtest::WaitUntil;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

std::vector<int32_t> Nec(int64_t device, int64_t function, int repeats = 0) {
    const auto rendered = analysis::Render("NEC1", {{"D", device}, {"F", function}}, repeats);
    return rendered ? *rendered : std::vector<int32_t>{};
}

class History : public ::testing::Test {
protected:
    explicit History(bool loopback = true) : device(loopback) {}
    void SetUp() override {
        formtest::SavePort(device.Link());
        window = formtest::MakeWindow();
        // The identification reply clears the chart as any line that is no frame: wait for it.
        ASSERT_TRUE(WaitUntil([&] {
            return window->PanelText(5).startsWith(QString::fromUtf8(frame::TextLinkedIdent));
        }));
    }
    ui::FrameWorkbench& Bench() const { return *window->Workbench(); }
    const ui::FrameHistory& Entries() const { return Bench().History(); }
    // Sends a frame and waits until the history has taken it.
    void Send(const std::vector<int32_t>& durations, int expectedEntries) {
        device->SendFrame(durations);
        ASSERT_TRUE(WaitUntil([&] { return Entries().Size() == expectedEntries; }));
    }

    formtest::Device device;
    formtest::Window window;
};

TEST_F(History, HoldKeepsTheViewWhileFramesStillGoIntoTheHistory) {
    const std::vector<int32_t> first{9000, 4500, 560};
    const std::vector<int32_t> second{2400, 600, 1200, 600, 600};
    const std::vector<int32_t> third{889, 889, 1778};
    Send(first, 1);
    EXPECT_EQ(Current(*window.form), first);

    Bench().HoldItem()->trigger();
    Send(second, 2);
    device->SendLine("garbage that is no frame");
    Send(third, 3);
    EXPECT_EQ(Current(*window.form), first);
    EXPECT_EQ(window->PanelText(1), QStringLiteral("3"));
    EXPECT_FALSE(window->Chart1()->Points().empty()) << "a line that is no frame clears nothing";
    EXPECT_TRUE(window->Core().FrameReceived());

    // Choosing an entry shows it even while held; letting go, frames replace each other again.
    Bench().ChooseEntry(1);
    EXPECT_EQ(Current(*window.form), second);
    EXPECT_EQ(window->PanelText(1), QStringLiteral("5"));
    Bench().HoldItem()->trigger();
    Send(first, 4);
    EXPECT_EQ(Current(*window.form), first);
}

TEST_F(History, RepeatCodesJoinTheirFrameAndTheOldestEntriesGo) {
    const std::vector<int32_t> frame = Nec(4, 8);
    const std::vector<int32_t> withDitto = Nec(4, 8, 1);
    ASSERT_FALSE(frame.empty());
    const std::vector<int32_t> ditto(withDitto.begin() + static_cast<long>(frame.size()) + 1,
                                     withDitto.end());
    Send(frame, 1);
    for (int i = 0; i < 3; ++i)
        device->SendFrame(ditto);
    ASSERT_TRUE(WaitUntil([&] { return Entries().Entry(0).repeats == 3; }));
    EXPECT_EQ(ui::FrameHistory::SummaryText(Entries().Entry(0)),
              QStringLiteral("NEC1 D=4 S=251 F=8 ×3"));
    Send(Nec(4, 9), 2);

    ui::FrameHistory capped;
    for (int i = 0; i < ui::FrameHistory::Capacity + 5; ++i)
        capped.AddLoaded({i + 1}, 1, QString::number(i));
    EXPECT_EQ(capped.Size(), ui::FrameHistory::Capacity);
    EXPECT_EQ(capped.Entry(0).name, QStringLiteral("5"));
}

TEST_F(History, ComparisonFlagsWhatDiffersBeyondTheTolerance) {
    Send({9000, 4500, 560, 560, 560}, 1);
    Bench().CompareWithEntry(0);
    Send({9000, 4500, 1690, 560, 600}, 2);
    EXPECT_THAT(Bench().CompareSummary().toStdString(),
                HasSubstr("Porównanie: 5 czasów, 1 różnych, największa różnica 1130 µs"));
    Bench().CompareOffItem()->trigger();
    EXPECT_TRUE(Bench().CompareSummary().isEmpty());
}

TEST_F(History, EmitAndCompareShowsWhatTheTransmitterSent) {
    Send({9000, 4500, 560, 1690, 560}, 1);
    Bench().EmitCompareItem()->trigger();
    EXPECT_TRUE(Bench().AwaitingEcho());
    ASSERT_TRUE(WaitUntil([&] { return !Bench().AwaitingEcho(); }));
    EXPECT_THAT(Bench().CompareSummary().toStdString(), HasSubstr("5 czasów, 0 różnych"));
    EXPECT_EQ(Entries().Size(), 2);
}

class HistoryWithoutLoopBack : public History {
protected:
    HistoryWithoutLoopBack() : History(false) {}
};

TEST_F(HistoryWithoutLoopBack, EmitAndCompareTimesOutWithAMessage) {
    MessageBoxRecorder boxes;
    Send({9000, 4500, 560}, 1);
    Bench().EmitCompareItem()->trigger();
    ASSERT_TRUE(
        WaitUntil([&] { return !boxes.boxes.empty(); }, ui::FrameWorkbench::EchoTimeoutMs + 5000));
    EXPECT_THAT(boxes.boxes[0].text.toStdString(), HasSubstr("nie odesłało"));
    EXPECT_TRUE(Bench().CompareSummary().isEmpty());
}

TEST_F(History, EveryFormatRoundTripsThroughItsFileAndBadFilesChangeNothing) {
    QTemporaryDir folder;
    const std::vector<int32_t> frame = Nec(4, 8);
    Send(frame, 1);
    for (const Format format : {Format::Flipper, Format::Pronto, Format::Lirc}) {
        SCOPED_TRACE(static_cast<int>(format));
        const QString path = folder.filePath(QStringLiteral("out%1").arg(static_cast<int>(format)));
        Bench().Export(format, path);
        device->SendFrame({100, 200, 300});
        ASSERT_TRUE(WaitUntil([&] { return window->PulseFrame().Count == 3; }));
        Bench().Import(format, path);
        const std::vector<int32_t> back = Current(*window.form);
        ASSERT_EQ(back.size(), frame.size());
        for (size_t i = 0; i < frame.size(); ++i)
            EXPECT_NEAR(back[i], frame[i], format == Format::Pronto ? 30 : 0) << i;
    }

    // The named collection goes into one Flipper file and comes back with its names.
    ui::FrameHistory& history = Bench().History();
    ASSERT_TRUE(history.setData(history.index(0, ui::FrameHistory::ColumnName),
                                QStringLiteral("Power"), Qt::EditRole));
    const int saved = history.Size();
    const QString collection = folder.filePath(QStringLiteral("remote.ir"));
    Bench().SaveHistory(collection);
    Bench().LoadHistory(collection);
    ASSERT_EQ(history.Size(), 2 * saved);
    EXPECT_EQ(history.Entry(saved).name, QStringLiteral("Power"));
    EXPECT_EQ(history.Entry(saved).durations, frame);

    MessageBoxRecorder boxes;
    const int entries = Entries().Size();
    const auto before = Current(*window.form);
    const QString longFile = folder.filePath(QStringLiteral("long.mode2"));
    QFile file(longFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 303; ++i)
        file.write(i % 2 ? "space 600\n" : "pulse 600\n");
    file.close();
    const QString badFile = folder.filePath(QStringLiteral("bad.ir"));
    QFile bad(badFile);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("Filetype: IR signals file\nVersion: 1\n#\nname: Power\ntype: raw\nfrequency: x\n"
              "duty_cycle: 0.33\ndata: 900 450 900\n");
    bad.close();
    Bench().Import(Format::Mode2, longFile);
    Bench().Import(Format::Flipper, badFile);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_THAT(boxes.boxes[0].text.toStdString(), HasSubstr("303"));
    EXPECT_THAT(boxes.boxes[1].text.toStdString(), HasSubstr("line 6"));
    EXPECT_EQ(Current(*window.form), before);
    EXPECT_EQ(Entries().Size(), entries);
}

} // namespace

// The frame history, holding the view, comparing frames and the file formats of other IR tools, in
// the main window against the simulated device.

#include "tests/ui/FormTestSupport.h"

#include "analysis/Analysis.h"
#include "ui/ChartView.h"
#include "ui/FrameComparison.h"
#include "ui/FrameHistory.h"
#include "ui/FrameWorkbench.h"
#include "ui/HistoryKeeper.h"
#include "ui/ImportExport.h"
#include "ui/ViewHold.h"

#include "ui/HistoryPanel.h"

#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <gmock/gmock.h>

#include <functional>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using analysis::formats::Format;
using formtest::Current;
using formtest::FrameLine;
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
    const ui::FrameHistory& Entries() const { return Bench().History().Entries(); }
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

    Bench().Hold().Item()->trigger();
    Send(second, 2);
    device->SendLine("garbage that is no frame");
    Send(third, 3);
    EXPECT_EQ(Current(*window.form), first);
    EXPECT_EQ(window->PanelText(1), QStringLiteral("3"));
    EXPECT_FALSE(window->Chart1()->Points().empty()) << "a line that is no frame clears nothing";
    EXPECT_TRUE(window->Core().FrameReceived());

    // Choosing an entry shows it even while held; letting go, frames replace each other again.
    Bench().History().Choose(1);
    EXPECT_EQ(Current(*window.form), second);
    EXPECT_EQ(window->PanelText(1), QStringLiteral("5"));
    Bench().Hold().Item()->trigger();
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
    Bench().Comparison().SetReference(Entries().Entry(0).durations);
    Send({9000, 4500, 1690, 560, 600}, 2);
    EXPECT_THAT(Bench().Comparison().Summary().toStdString(),
                HasSubstr("Porównanie: 5 czasów, 1 różnych, największa różnica 1130 µs"));
    Bench().Comparison().OffItem()->trigger();
    EXPECT_TRUE(Bench().Comparison().Summary().isEmpty());
}

TEST_F(History, EmitAndCompareShowsWhatTheTransmitterSent) {
    Send({9000, 4500, 560, 1690, 560}, 1);
    Bench().Comparison().EmitItem()->trigger();
    EXPECT_TRUE(Bench().Comparison().AwaitingEcho());
    ASSERT_TRUE(WaitUntil([&] { return !Bench().Comparison().AwaitingEcho(); }));
    EXPECT_THAT(Bench().Comparison().Summary().toStdString(), HasSubstr("5 czasów, 0 różnych"));
    EXPECT_EQ(Entries().Size(), 2);
}

class HistoryWithoutLoopBack : public History {
protected:
    HistoryWithoutLoopBack() : History(false) {}
};

TEST_F(HistoryWithoutLoopBack, EmitAndCompareTimesOutWithAMessage) {
    MessageBoxRecorder boxes;
    Send({9000, 4500, 560}, 1);
    Bench().Comparison().EmitItem()->trigger();
    ASSERT_TRUE(
        WaitUntil([&] { return !boxes.boxes.empty(); }, ui::FrameComparison::EchoTimeoutMs + 5000));
    EXPECT_THAT(boxes.boxes[0].text.toStdString(), HasSubstr("nie odesłało"));
    EXPECT_TRUE(Bench().Comparison().Summary().isEmpty());
}

TEST_F(History, EveryFormatRoundTripsThroughItsFileAndBadFilesChangeNothing) {
    QTemporaryDir folder;
    const std::vector<int32_t> frame = Nec(4, 8);
    Send(frame, 1);
    for (const Format format : {Format::Flipper, Format::Pronto, Format::Lirc}) {
        SCOPED_TRACE(static_cast<int>(format));
        const QString path = folder.filePath(QStringLiteral("out%1").arg(static_cast<int>(format)));
        Bench().Files().Export(format, path);
        device->SendFrame({100, 200, 300});
        ASSERT_TRUE(WaitUntil([&] { return window->PulseFrame().Count == 3; }));
        Bench().Files().Import(format, path);
        const std::vector<int32_t> back = Current(*window.form);
        ASSERT_EQ(back.size(), frame.size());
        for (size_t i = 0; i < frame.size(); ++i)
            EXPECT_NEAR(back[i], frame[i], format == Format::Pronto ? 30 : 0) << i;
    }

    // The named collection goes into one Flipper file and comes back with its names.
    ui::FrameHistory& history = Bench().History().Entries();
    ASSERT_TRUE(history.setData(history.index(0, ui::FrameHistory::ColumnName),
                                QStringLiteral("Power"), Qt::EditRole));
    const int saved = history.Size();
    const QString collection = folder.filePath(QStringLiteral("remote.ir"));
    Bench().History().Save(collection);
    Bench().History().Load(collection);
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
    Bench().Files().Import(Format::Mode2, longFile);
    Bench().Files().Import(Format::Flipper, badFile);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_THAT(boxes.boxes[0].text.toStdString(), HasSubstr("303"));
    EXPECT_THAT(boxes.boxes[1].text.toStdString(), HasSubstr("line 6"));
    EXPECT_EQ(Current(*window.form), before);
    EXPECT_EQ(Entries().Size(), entries);
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

ui::FrameWorkbench& BenchOf(const formtest::Window& window) {
    return *window->Workbench();
}

// A signal's carrier and duty cycle go with it through the history and out again, whichever way
// it came in; only a frame without one is written with the configured carrier.
TEST(HistoryFiles, EachSignalKeepsItsCarrierAndDutyCycle) {
    QTemporaryDir folder;
    const QString remote = folder.filePath(QStringLiteral("remote.ir"));
    Put(remote, "Filetype: IR signals file\nVersion: 1\n#\nname: Odd\ntype: raw\n"
                "frequency: 36000\nduty_cycle: 0.500000\ndata: 900 450 900 1300 500\n");
    auto window = formtest::MakeWindow();
    const QString kept = QStringLiteral("frequency: 36000\nduty_cycle: 0.500000");
    const QString fallback = QStringLiteral("frequency: 38000\nduty_cycle: 0.330000");

    // The panel's "Wczytaj…" then "Zapisz…".
    const QString saved = folder.filePath(QStringLiteral("saved.ir"));
    window.dialogs->answers = {remote, saved};
    window.Find<QPushButton>("HistoryLoad")->click();
    window.Find<QPushButton>("HistorySave")->click();
    EXPECT_THAT(Contents(saved).toStdString(), HasSubstr(kept.toStdString()));

    // Imported, exported as the current frame, chosen again from the history.
    const QString exported = folder.filePath(QStringLiteral("exported.ir"));
    BenchOf(window).Files().Import(Format::Flipper, remote);
    BenchOf(window).Files().Export(Format::Flipper, exported);
    EXPECT_THAT(Contents(exported).toStdString(), HasSubstr(kept.toStdString()));
    window->ZorComPort1RxString(nullptr, FrameLine("900,450,900,1300,500"));
    BenchOf(window).Files().Export(Format::Flipper, exported);
    EXPECT_THAT(Contents(exported).toStdString(), HasSubstr(fallback.toStdString()));
    BenchOf(window).History().Choose(0);
    BenchOf(window).Files().Export(Format::Flipper, exported);
    EXPECT_THAT(Contents(exported).toStdString(), HasSubstr(kept.toStdString()));
}

// A pipe without a writer or a terminal chosen in a file dialog would block the window forever
// in its open or its first read: each is refused with a message at once.
TEST(HistoryFiles, APipeOrADeviceIsRefusedWithAMessageAndNothingWaitsForIt) {
    QTemporaryDir folder;
    const QString pipe = folder.filePath(QStringLiteral("signals.ir"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString terminal = QString::fromLocal8Bit(::ptsname(master));

    auto window = formtest::MakeWindow();
    window->ZorComPort1RxString(nullptr, FrameLine("900,450,900"));
    ui::FrameWorkbench& bench = BenchOf(window);
    const auto reference = [&](const QString& path) {
        window.dialogs->answers = {path};
        bench.Comparison().FileItem()->trigger();
    };
    struct Case {
        const char* what;
        std::function<void()> act;
        const char* message;
    };
    const Case cases[] = {
        {"import of a pipe", [&] { bench.Files().Import(Format::Flipper, pipe); },
         "nie jest zwykłym plikiem"},
        {"import of a terminal", [&] { bench.Files().Import(Format::Mode2, terminal); },
         "nie jest zwykłym plikiem"},
        {"history of a pipe", [&] { bench.History().Load(pipe); }, "nie jest zwykłym plikiem"},
        {"reference from a pipe", [&] { reference(pipe); }, "nie jest zwykłym plikiem"},
        {"reference from a terminal", [&] { reference(terminal); }, "nie jest plikiem ramki"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MessageBoxRecorder boxes;
        c.act();
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_THAT(boxes.boxes[0].text.toStdString(), HasSubstr(c.message));
    }
    EXPECT_EQ(Current(*window.form), (std::vector<int32_t>{900, 450, 900}));
    EXPECT_EQ(bench.History().Entries().Size(), 1);
    EXPECT_TRUE(bench.Comparison().Summary().isEmpty());
    ::close(master);
}

TEST(HistoryPanelKeys, ArrowsInAnEmptyPanelChooseNothing) {
    auto window = formtest::MakeWindow();
    ui::HistoryPanel& panel = *BenchOf(window).History().Panel();
    int chosen = 0;
    QObject::connect(&panel, &ui::HistoryPanel::EntryChosen, [&] { ++chosen; });
    for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Down})
        QTest::keyClick(panel.Table(), key);
    EXPECT_EQ(chosen, 0);
    window->ZorComPort1RxString(nullptr, FrameLine("900,450,900"));
    QTest::keyClick(panel.Table(), Qt::Key_Down);
    EXPECT_EQ(chosen, 1);
}

// Only a change the user makes is remembered: starting with the panel left open rewrites nothing.
TEST(HistoryPanelSetting, StartingWithThePanelOpenWritesNothing) {
    settings::WriteRegString(QStringLiteral("HistoryPanel"), QStringLiteral("1"),
                             settings::AppKeyPath);
    const QByteArray file = QFile::encodeName(settings::RegistryFilePath());
    struct stat before {};
    ASSERT_EQ(::stat(file.constData(), &before), 0);
    auto window = formtest::MakeWindow();
    ASSERT_TRUE(window.Show());
    formtest::Pump();
    ui::HistoryKeeper& history = BenchOf(window).History();
    EXPECT_TRUE(history.Panel()->isVisible());
    EXPECT_TRUE(history.Item()->isChecked());
    struct stat after {};
    ASSERT_EQ(::stat(file.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the settings file was rewritten";

    history.Item()->trigger();
    EXPECT_EQ(formtest::StoredString(QStringLiteral("HistoryPanel")), QStringLiteral("0"));
}

} // namespace

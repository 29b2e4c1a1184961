// The frame commands of the main window's popup menu: emission to the device, frame files with
// their remembered folders, the chart caption and the BMP export.

#include "tests/ui/FormTestSupport.h"

#include "frame/FrameCore.h"
#include "ui/ChartView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QtEndian>

#include <gmock/gmock.h>

#include <ostream>

#include <algorithm>
#include <cstdlib>

namespace {

using formtest::FrameLine;
using formtest::MakeWindow;
using formtest::MessageBoxRecorder;
using formtest::WaitUntil;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

enum Item { EmissionStrip = 0, SaveBitmap = 4, SaveFrame = 6, LoadFrame = 7 };

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// ---- Emission -----------------------------------------------------------------------------------

class Emission : public ::testing::Test {
protected:
    void SetUp() override {
        formtest::SavePort(device.Link());
        window = MakeWindow();
        ASSERT_TRUE(WaitUntil([&] { return window->Core().LinkConfirmed(); }));
        ASSERT_TRUE(WaitUntil([&] { return device->CommandTexts().size() >= 2; }));
        device->ClearReceived();
    }

    // The link's worker needs the event loop to hand its commands over, so wait while pumping it.
    bool WaitForCommand(const std::string& text) {
        return WaitUntil([&] {
            const auto texts = device->CommandTexts();
            return std::find(texts.begin(), texts.end(), text) != texts.end();
        });
    }

    formtest::Device device;
    formtest::Window window;
};

TEST_F(Emission, FrameFromTheChartReachesTheDeviceInOrder) {
    window->EmitujWykresExecute(); // an empty frame: only the closing command
    ASSERT_TRUE(WaitForCommand("AT+SND=0,0"));
    EXPECT_THAT(device->CommandTexts(), ElementsAre("AT+SND=0,0"));
    device->ClearReceived();

    device->SendFrame({9000, 4500, 560});
    ASSERT_TRUE(WaitUntil([&] { return window->PulseFrame().Count == 3; }));
    window->EmitujWykres()->trigger();
    ASSERT_TRUE(WaitForCommand("AT+SND=0,3"));
    // Nothing else went out, and every command leaves with its own CR and the one more the link
    // adds.
    EXPECT_EQ(device->ReceivedBytes(),
              "AT+SND=1,9000\r\rAT+SND=2,4500\r\rAT+SND=3,560\r\rAT+SND=0,3\r\r");
    // Loop-back: the device captures what it emitted and sends it back as a frame.
    ASSERT_TRUE(WaitUntil([&] { return device->Emitted().size() == 1; }));
    EXPECT_THAT(device->Emitted()[0], ElementsAre(9000, 4500, 560));
}

TEST_F(Emission, CapturedCodeIsEnabledOnlyOnceTheDeviceSentAFrameAndNeedsAPulse) {
    MessageBoxRecorder boxes;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("frame.txt"));
    WriteAll(path, "1\r\n9000\r\n4500\r\n");
    window.dialogs->answers.push_back(path);
    window.Item(LoadFrame)->trigger();
    ASSERT_EQ(window->PulseFrame().Count, 2);
    EXPECT_FALSE(window->EmitujKod()->isEnabled());
    EXPECT_TRUE(window->EmitujWykres()->isEnabled());

    // A frame line without pulses enables it; using it then only complains.
    device->SendLine(FrameLine(""));
    ASSERT_TRUE(WaitUntil([&] { return window->Core().FrameReceived(); }));
    EXPECT_TRUE(window->EmitujKod()->isEnabled());
    window->EmitujKod()->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Brak ramki danych do emisji!   ");
    EXPECT_EQ(boxes.boxes[0].caption, QString::fromUtf8(" BŁĄD !"));
    EXPECT_EQ(boxes.boxes[0].flags, settings::MB_ICONERROR);

    // Loading again keeps it enabled for good.
    window.dialogs->answers.push_back(path);
    window->Wczytajramk1Click();
    emit window->PopupMenu1()->aboutToShow();
    EXPECT_TRUE(window->EmitujKod()->isEnabled());
    window->EmitujKod()->trigger();
    ASSERT_TRUE(WaitForCommand("ab1"));
    EXPECT_EQ(device->ReceivedBytes(), "ab1\r\r") << "nothing went out for the empty frame";
}

TEST(EmissionStrip, MenuItemShowsAndHidesTheStripWithBothButtons) {
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    // A loaded frame enables the item, but not the captured code's emission.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("frame.txt"));
    WriteAll(path, "1\r\n560\r\n");
    window.dialogs->answers.push_back(path);
    window.Item(LoadFrame)->trigger();
    QWidget* strip = window.Find("pnlEmisja");
    window.Item(EmissionStrip)->trigger();
    EXPECT_TRUE(window.Item(EmissionStrip)->isChecked());
    EXPECT_TRUE(strip->isVisible());
    EXPECT_FALSE(window->EmitujKod()->isEnabled());
    EXPECT_FALSE(window.Find("btnEmituj")->isEnabled());
    EXPECT_FALSE(window.Find<QAbstractButton>("btnEmituj")->icon().isNull());
    EXPECT_TRUE(window.Find("btnEmituWykres")->isEnabled());
    window.Item(EmissionStrip)->trigger();
    EXPECT_FALSE(strip->isVisible());
}

// ---- Frame files --------------------------------------------------------------------------------

class FrameFiles : public ::testing::Test {
protected:
    QString PathOf(const char* name) const { return folder.filePath(QString::fromLatin1(name)); }

    QTemporaryDir folder;
    formtest::Window window = MakeWindow();
    MessageBoxRecorder boxes;
};

TEST_F(FrameFiles, SaveAndLoadRoundTripByteForByte) {
    window->ZorComPort1RxString(nullptr, FrameLine("9000,4500,-5,560"));
    window->Zanegujwykres1Click(); // transmitter view
    const QString path = PathOf("frame.txt");
    WriteAll(path, "an older, longer file that is replaced without a question");
    window.dialogs->answers.push_back(path);
    window.Item(SaveFrame)->trigger();
    EXPECT_EQ(ReadAll(path), QByteArray("0\r\n9000\r\n4500\r\n-5\r\n560\r\n"));
    ASSERT_EQ(window.dialogs->calls.size(), 1u);
    EXPECT_TRUE(window.dialogs->calls[0].save);
    EXPECT_EQ(window.dialogs->calls[0].request.filterDescription, "Text Files (*.TXT)");
    EXPECT_EQ(window.dialogs->calls[0].request.filterPattern, "*.txt");

    auto other = MakeWindow();
    other.dialogs->answers.push_back(path);
    other.Item(LoadFrame)->trigger();
    EXPECT_EQ(other->PulseFrame().Count, 4);
    EXPECT_EQ(other->PulseFrame().Mode, 0);
    EXPECT_EQ(other->PanelText(frame::PanelPulseCount), "4");
    EXPECT_EQ(other->PanelText(frame::PanelMode), "NADAJNIK");
    EXPECT_EQ(other->Chart1()->Title(), path);
    EXPECT_EQ(other->Chart1()->Points().size(), 9u);
    EXPECT_FALSE(other->Core().FrameReceived());

    const QString again = PathOf("again.txt");
    other.dialogs->answers.push_back(again);
    other->Zapiszramk1Click();
    EXPECT_EQ(ReadAll(again), ReadAll(path));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(FrameFiles, RejectedFileLeavesEverythingAsItWas) {
    window->ZorComPort1RxString(nullptr, FrameLine("9000,4500"));
    window->Chart1()->SetTitle(QStringLiteral("mine"));
    const auto pointsBefore = window->Chart1()->Points().size();
    const QString path = PathOf("bad.txt");
    WriteAll(path, "1\r\n560\r\n-5\r\n");
    window.dialogs->answers.push_back(path);
    window->Wczytajramk1Click();
    EXPECT_EQ(window->PulseFrame().Count, 2);
    EXPECT_EQ(window->PulseFrame().Durations[0], 9000);
    EXPECT_EQ(window->PanelText(frame::PanelPulseCount), "2");
    EXPECT_EQ(window->Chart1()->Points().size(), pointsBefore);
    EXPECT_EQ(window->Chart1()->Title(), "mine");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(FrameFiles, CancelledDialogsDoNothing) {
    window->ZorComPort1RxString(nullptr, FrameLine("9000"));
    window->Zapiszramk1Click();
    window->Wczytajramk1Click();
    EXPECT_EQ(window.dialogs->calls.size(), 2u);
    EXPECT_EQ(formtest::StoredString(QStringLiteral("SaveInitDir")), "<missing>");
    EXPECT_EQ(formtest::StoredString(QStringLiteral("OpenInitDir")), "<missing>");
    EXPECT_EQ(window->PulseFrame().Count, 1);
}

TEST_F(FrameFiles, SavingAnEmptyFrameOrItsPictureComplainsWithoutADialog) {
    window->Zapiszramk1Click();
    window->ZapisdoplikuBMP1Click();
    ASSERT_EQ(boxes.boxes.size(), 2u);
    for (const auto& box : boxes.boxes) {
        EXPECT_EQ(box.text, "Brak ramki danych do zapisu!   ");
        EXPECT_EQ(box.caption, QString::fromUtf8(" BŁĄD !"));
    }
    EXPECT_TRUE(window.dialogs->calls.empty());
}

TEST_F(FrameFiles, UncreatableTargetsRaiseTheMessageAfterTheFolderWasRemembered) {
    window->ZorComPort1RxString(nullptr, FrameLine("9000"));
    const QString path = PathOf("missing/frame.txt");
    window.dialogs->answers.push_back(path);
    EXPECT_THROW(window->Zapiszramk1Click(), frame::FileError);
    window.dialogs->answers.push_back(PathOf("missing/chart.bmp"));
    EXPECT_THROW(window->ZapisdoplikuBMP1Click(), frame::FileError);
    EXPECT_EQ(formtest::StoredString(QStringLiteral("SaveInitDir")), QDir::homePath());
    EXPECT_EQ(formtest::StoredString(QStringLiteral("BmpInitDir")), QDir::homePath());

    // Through the menu the message reaches the application's error box.
    window.dialogs->answers.push_back(path);
    window.Item(SaveFrame)->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_THAT(boxes.boxes[0].text.toStdString(),
                HasSubstr("Cannot create file \"" + path.toStdString() + "\". "));
}

// The desktop's dialogs, answered by typing a name without a suffix: saving adds the default one,
// opening takes the name as it is.
TEST(DesktopFileDialogs, TypedNameGetsTheSuffixOnlyWhenSaving) {
    QTemporaryDir folder;
    const ui::FileDialogs::Request request{folder.path(), QStringLiteral("Text Files (*.TXT)"),
                                           QStringLiteral("*.txt"), QStringLiteral("txt")};
    for (const auto& [save, expected] : {std::pair{true, "noext.txt"}, std::pair{false, "noext"}}) {
        QTimer typist;
        QObject::connect(&typist, &QTimer::timeout, [&typist] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                return;
            }
            typist.stop();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!name) {
                dialog->reject();
                return;
            }
            name->setText(QStringLiteral("noext"));
            static_cast<QDialog*>(dialog)->accept(); // as the dialog's own button does
        });
        typist.start(10);
        ui::QtFileDialogs dialogs;
        const QString chosen = save ? dialogs.GetSaveFileName(nullptr, request)
                                    : dialogs.GetOpenFileName(nullptr, request);
        EXPECT_EQ(chosen, folder.filePath(QString::fromLatin1(expected))) << save;
    }
}

// ---- Remembered folders -------------------------------------------------------------------------

struct FolderCase {
    const char* name;
    const char* stored; // nullptr: nothing stored
    QString expected;   // the dialog's initial folder, written back after confirming
};

void PrintTo(const FolderCase& c, std::ostream* out) {
    *out << c.name;
}

class RememberedFolders : public ::testing::TestWithParam<FolderCase> {};

TEST_P(RememberedFolders, DialogsOpenInTheStoredFolderAndWriteItBack) {
    const FolderCase& c = GetParam();
    const QString expected = c.expected.isEmpty() ? QDir::homePath() : c.expected;
    const QStringList values{"SaveInitDir", "OpenInitDir", "BmpInitDir"};
    for (const QString& value : values) {
        if (c.stored != nullptr) {
            settings::WriteRegString(value, QString::fromLatin1(c.stored), settings::AppKeyPath);
        }
    }
    QTemporaryDir folder;
    QDir(folder.path()).mkdir(QStringLiteral("sub"));
    const QString framePath = folder.filePath(QStringLiteral("sub/f.txt"));
    auto window = MakeWindow();
    window->ZorComPort1RxString(nullptr, FrameLine("9000,560"));
    window.dialogs->answers = {framePath, framePath, folder.filePath(QStringLiteral("sub/c.bmp"))};
    window->Zapiszramk1Click();
    window->Wczytajramk1Click();
    window->ZapisdoplikuBMP1Click();
    ASSERT_EQ(window.dialogs->calls.size(), 3u);
    for (const auto& call : window.dialogs->calls) {
        EXPECT_EQ(call.request.initialFolder, expected);
    }
    // The folder the dialog was opened with, not the chosen file's.
    for (const QString& value : values) {
        EXPECT_EQ(formtest::StoredString(value), expected) << value.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RememberedFolders,
    ::testing::Values(FolderCase{"NothingStored", nullptr, QString()},
                      FolderCase{"TrailingSlash", "/srv/frames/", "/srv/frames"},
                      FolderCase{"NoTrailingSlash", "/srv/frames", "/srv/frames"},
                      FolderCase{"OnlyOneSlashDropped", "/srv/frames//", "/srv/frames/"},
                      FolderCase{"Root", "/", "/"}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

// ---- Caption and BMP export ---------------------------------------------------------------------

TEST(ChartCaption, EnterTakesTheCaptionIntoTheTitle) {
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    QWidget* strip = window.Find("pnOpis");
    auto* edit = window.Find<QLineEdit>("Edit1");
    EXPECT_EQ(window->Chart1()->Title(), "Dekoder - wykres");

    const int chartHeight = window->Chart1()->height();
    window->Wasnyopis1Click();
    EXPECT_TRUE(strip->isVisible());
    EXPECT_TRUE(WaitUntil([&] { return window->Chart1()->height() == chartHeight - 32; }))
        << window->Chart1()->height();
    EXPECT_TRUE(WaitUntil([&] { return edit->hasFocus(); }));
    edit->insert(QString::fromUtf8("Pilot TV łazienka"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_FALSE(strip->isVisible());
    EXPECT_EQ(window->Chart1()->Title(), QString::fromUtf8("Pilot TV łazienka"));
    EXPECT_TRUE(window->Chart1()->hasFocus()) << "the focus is not back on the chart";

    // Opening again shows the same text.
    window->Wasnyopis1Click();
    EXPECT_EQ(edit->text(), QString::fromUtf8("Pilot TV łazienka"));
}

TEST(ChartCaption, CaptionAndLoadedPathReplaceEachOther) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("f.txt"));
    WriteAll(path, "1\r\n560\r\n");
    auto window = MakeWindow();
    auto* edit = window.Find<QLineEdit>("Edit1");
    edit->setText(QStringLiteral("caption"));
    window->BitBtn1Click();
    EXPECT_EQ(window->Chart1()->Title(), "caption");
    window.dialogs->answers.push_back(path);
    window->Wczytajramk1Click();
    EXPECT_EQ(window->Chart1()->Title(), path);
    window->BitBtn1Click();
    EXPECT_EQ(window->Chart1()->Title(), "caption");
    // A device frame leaves the title alone.
    window->ZorComPort1RxString(nullptr, FrameLine("9000"));
    EXPECT_EQ(window->Chart1()->Title(), "caption");
    edit->clear();
    window->BitBtn1Click();
    EXPECT_EQ(window->Chart1()->Title(), "");
}

TEST(BitmapExport, PictureHasTheChartsSizeAndAValidHeaderWithAndWithoutTitle) {
    QTemporaryDir folder;
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    window->ZorComPort1RxString(nullptr, FrameLine("9000,4500,560,560"));
    window.Find<QAbstractButton>("CheckBox1")->click();
    window.Find<QAbstractButton>("CheckBox2")->click();
    const QString path = folder.filePath(QStringLiteral("chart.bmp"));
    WriteAll(path, "an older file of that name");
    for (const bool withTitle : {true, false}) {
        SCOPED_TRACE(withTitle ? "with title" : "without title");
        if (!withTitle) {
            window->BitBtn1Click(); // empty caption: no title line
        }
        window.dialogs->answers.push_back(path);
        window.Item(SaveBitmap)->trigger();
        const auto& request = window.dialogs->calls.back().request;
        EXPECT_EQ(request.filterDescription, "Bitmaps (*.bmp)");
        EXPECT_EQ(request.filterPattern, "*.bmp");

        const QByteArray bytes = ReadAll(path);
        ASSERT_TRUE(bytes.size() > 54 && bytes.startsWith("BM"));
        EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 2), quint32(bytes.size()));
        QImage picture;
        ASSERT_TRUE(picture.load(path, "BMP"));
        EXPECT_EQ(picture.size(), window->Chart1()->size());
    }
}

} // namespace

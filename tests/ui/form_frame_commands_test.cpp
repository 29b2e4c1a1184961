// The frame commands of the main window's popup menu: emission to the device, frame files with
// their remembered folders, the chart caption and the BMP export.

#include "tests/ui/FormTestSupport.h"

#include "frame/FrameCore.h"
#include "ui/ChartView.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdlib>

#include <unistd.h>

namespace {

using formtest::Device;
using formtest::FrameLine;
using formtest::MakeWindow;
using formtest::MessageBoxRecorder;
using formtest::WaitUntil;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Popup items by their place in the menu.
enum Item {
    EmissionStrip = 0,
    OwnCaption = 2,
    SaveBitmap = 4,
    SaveFrame = 6,
    LoadFrame = 7,
    Invert = 9,
    CTable = 11,
};

QAction* MenuItem(const formtest::Window& window, Item item) {
    return window->PopupMenu1()->actions()[item];
}

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

    Device device;
    formtest::Window window;
};

TEST_F(Emission, FrameFromTheChartReachesTheDeviceInOrder) {
    device->SendFrame({9000, 4500, 560});
    ASSERT_TRUE(WaitUntil([&] { return window->PulseFrame().Count == 3; }));
    window->EmitujWykres()->trigger();
    ASSERT_TRUE(WaitForCommand("AT+SND=0,3"));
    EXPECT_THAT(device->CommandTexts(),
                ElementsAre("AT+SND=1,9000", "AT+SND=2,4500", "AT+SND=3,560", "AT+SND=0,3"));
    // Every command leaves with its own CR and the one more the link adds.
    EXPECT_EQ(device->ReceivedBytes(),
              "AT+SND=1,9000\r\rAT+SND=2,4500\r\rAT+SND=3,560\r\rAT+SND=0,3\r\r");
    // Loop-back: the device captures what it emitted and sends it back as a frame.
    ASSERT_TRUE(WaitUntil([&] { return device->Emitted().size() == 1; }));
    EXPECT_THAT(device->Emitted()[0], ElementsAre(9000, 4500, 560));
    EXPECT_TRUE(WaitUntil([&] { return window->Core().FrameReceived(); }));
    EXPECT_EQ(window->PulseFrame().Count, 3);
}

TEST_F(Emission, EmptyFrameSendsOnlyTheClosingCommand) {
    window->EmitujWykresExecute();
    ASSERT_TRUE(WaitForCommand("AT+SND=0,0"));
    formtest::Pump(200);
    EXPECT_THAT(device->CommandTexts(), ElementsAre("AT+SND=0,0"));
}

TEST_F(Emission, CapturedCodeIsEnabledOnlyOnceTheDeviceSentAFrame) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("frame.txt"));
    WriteAll(path, "1\r\n9000\r\n4500\r\n");
    window.dialogs->answers.push_back(path);
    MenuItem(window, LoadFrame)->trigger();
    ASSERT_EQ(window->PulseFrame().Count, 2);
    EXPECT_FALSE(window->EmitujKod()->isEnabled());
    EXPECT_TRUE(window->EmitujWykres()->isEnabled());

    device->SendFrame({560, 560});
    ASSERT_TRUE(WaitUntil([&] { return window->Core().FrameReceived(); }));
    EXPECT_TRUE(window->EmitujKod()->isEnabled());

    // Loading again keeps it enabled for good.
    window.dialogs->answers.push_back(path);
    window->Wczytajramk1Click();
    emit window->PopupMenu1()->aboutToShow();
    EXPECT_TRUE(window->EmitujKod()->isEnabled());

    window->EmitujKod()->trigger();
    ASSERT_TRUE(WaitForCommand("ab1"));
    EXPECT_EQ(device->ReceivedBytes(), "ab1\r\r");
}

TEST_F(Emission, FrameWithoutPulsesEnablesCapturedCodeWhichThenOnlyComplains) {
    MessageBoxRecorder boxes;
    device->SendLine(FrameLine(""));
    ASSERT_TRUE(WaitUntil([&] { return window->Core().FrameReceived(); }));
    EXPECT_TRUE(window->EmitujKod()->isEnabled());
    window->EmitujKod()->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Brak ramki danych do emisji!   ");
    EXPECT_EQ(boxes.boxes[0].caption, QString::fromUtf8(" BŁĄD !"));
    EXPECT_EQ(boxes.boxes[0].flags, settings::MB_ICONERROR);
    formtest::Pump(300);
    EXPECT_TRUE(device->CommandTexts().empty());
}

TEST(EmissionStrip, MenuItemShowsAndHidesTheStripWithBothButtons) {
    auto window = MakeWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.form.get()));
    QWidget* strip = window->findChild<QWidget*>(QStringLiteral("pnlEmisja"));
    MenuItem(window, EmissionStrip)->trigger();
    EXPECT_TRUE(MenuItem(window, EmissionStrip)->isChecked());
    EXPECT_TRUE(strip->isVisible());
    EXPECT_FALSE(window->EmitujKod()->isEnabled());
    const auto* button = window->findChild<QAbstractButton*>(QStringLiteral("btnEmituj"));
    EXPECT_FALSE(button->isEnabled());
    EXPECT_FALSE(button->icon().isNull());
    EXPECT_TRUE(window->findChild<QAbstractButton*>(QStringLiteral("btnEmituWykres"))->isEnabled());
    MenuItem(window, EmissionStrip)->trigger();
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
    window.dialogs->answers.push_back(path);
    MenuItem(window, SaveFrame)->trigger();
    EXPECT_EQ(ReadAll(path), QByteArray("0\r\n9000\r\n4500\r\n-5\r\n560\r\n"));
    ASSERT_EQ(window.dialogs->calls.size(), 1u);
    EXPECT_TRUE(window.dialogs->calls[0].save);
    EXPECT_EQ(window.dialogs->calls[0].request.filterDescription, "Text Files (*.TXT)");
    EXPECT_EQ(window.dialogs->calls[0].request.filterPattern, "*.txt");

    auto other = MakeWindow();
    other.dialogs->answers.push_back(path);
    other->PopupMenu1()->actions()[LoadFrame]->trigger();
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

TEST_F(FrameFiles, SavingAnEmptyFrameComplainsWithoutADialog) {
    window->Zapiszramk1Click();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Brak ramki danych do zapisu!   ");
    EXPECT_EQ(boxes.boxes[0].caption, QString::fromUtf8(" BŁĄD !"));
    EXPECT_TRUE(window.dialogs->calls.empty());
}

TEST_F(FrameFiles, UncreatableTargetRaisesTheMessage) {
    window->ZorComPort1RxString(nullptr, FrameLine("9000"));
    const QString blocker = PathOf("plain-file");
    WriteAll(blocker, "x");
    const QString path = blocker + QStringLiteral("/frame.txt");
    window.dialogs->answers.push_back(path);
    EXPECT_THROW(window->Zapiszramk1Click(), frame::FileError);

    // Through the menu the message reaches the application's error box.
    window.dialogs->answers.push_back(path);
    MenuItem(window, SaveFrame)->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_THAT(boxes.boxes[0].text.toStdString(),
                HasSubstr("Cannot create file \"" + path.toStdString() + "\". "));
    // The folder was remembered before the write failed.
    EXPECT_EQ(formtest::StoredString(QStringLiteral("SaveInitDir")), QDir::homePath());
}

TEST_F(FrameFiles, UnwritableFolderKeepsTheOldFileIntact) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "folder permissions do not bind root";
    }
    window->ZorComPort1RxString(nullptr, FrameLine("9000"));
    const QString path = PathOf("kept.txt");
    WriteAll(path, "1\r\n560\r\n");
    ASSERT_TRUE(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    window.dialogs->answers.push_back(path);
    EXPECT_THROW(window->Zapiszramk1Click(), frame::FileError);
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ReadAll(path), QByteArray("1\r\n560\r\n"));
}

// ---- Remembered folders -------------------------------------------------------------------------

struct FolderCase {
    const char* name;
    const char* stored; // nullptr: nothing stored
    QString expected;   // the dialog's initial folder, written back after confirming
};

class RememberedFolders : public ::testing::TestWithParam<FolderCase> {};

TEST_P(RememberedFolders, DialogsOpenInTheStoredFolderAndWriteItBack) {
    const FolderCase& c = GetParam();
    const QString expected = c.expected.isEmpty() ? QDir::homePath() : c.expected;
    for (const char* value : {"SaveInitDir", "OpenInitDir", "BmpInitDir"}) {
        if (c.stored != nullptr) {
            settings::WriteRegString(QString::fromLatin1(value), QString::fromLatin1(c.stored),
                                     settings::AppKeyPath);
        }
    }
    QTemporaryDir folder;
    auto window = MakeWindow();
    window->ZorComPort1RxString(nullptr, FrameLine("9000,560"));
    const QString framePath = folder.filePath(QStringLiteral("sub/f.txt"));
    QDir(folder.path()).mkdir(QStringLiteral("sub"));
    window.dialogs->answers = {framePath, framePath, folder.filePath(QStringLiteral("sub/c.bmp"))};
    window->Zapiszramk1Click();
    window->Wczytajramk1Click();
    window->ZapisdoplikuBMP1Click();
    ASSERT_EQ(window.dialogs->calls.size(), 3u);
    for (const auto& call : window.dialogs->calls) {
        EXPECT_EQ(call.request.initialFolder, expected);
    }
    // The folder the dialog was opened with, not the chosen file's.
    for (const char* value : {"SaveInitDir", "OpenInitDir", "BmpInitDir"}) {
        EXPECT_EQ(formtest::StoredString(QString::fromLatin1(value)), expected) << value;
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
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.form.get()));
    QWidget* strip = window->findChild<QWidget*>(QStringLiteral("pnOpis"));
    auto* edit = window->findChild<QLineEdit*>(QStringLiteral("Edit1"));
    EXPECT_EQ(window->Chart1()->Title(), "Dekoder - wykres");

    const int chartHeight = window->Chart1()->height();
    window->Wasnyopis1Click();
    formtest::Pump();
    EXPECT_TRUE(strip->isVisible());
    EXPECT_EQ(window->Chart1()->height(), chartHeight - 32);
    EXPECT_TRUE(WaitUntil([&] { return edit->hasFocus(); }, 1000));
    edit->insert(QString::fromUtf8("Pilot TV łazienka"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_FALSE(strip->isVisible());
    EXPECT_EQ(window->Chart1()->Title(), QString::fromUtf8("Pilot TV łazienka"));

    // Opening again shows the same text.
    window->Wasnyopis1Click();
    EXPECT_EQ(edit->text(), QString::fromUtf8("Pilot TV łazienka"));
}

TEST(ChartCaption, CaptionAndLoadedPathReplaceEachOther) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("f.txt"));
    WriteAll(path, "1\r\n560\r\n");
    auto window = MakeWindow();
    auto* edit = window->findChild<QLineEdit*>(QStringLiteral("Edit1"));
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

struct BmpHeader {
    QByteArray bytes;
    bool Valid() const { return bytes.size() > 54 && bytes.startsWith("BM"); }
    quint32 U32(int at) const {
        return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 |
               quint32(quint8(bytes[at + 2])) << 16 | quint32(quint8(bytes[at + 3])) << 24;
    }
    qint32 Width() const { return qint32(U32(18)); }
    qint32 Height() const { return qint32(U32(22)); }
    quint32 FileSize() const { return U32(2); }
};

class BitmapExport : public ::testing::TestWithParam<bool> {};

TEST_P(BitmapExport, PictureHasTheChartsSizeAndAValidHeader) {
    const bool withTitle = GetParam();
    QTemporaryDir folder;
    auto window = MakeWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.form.get()));
    window->ZorComPort1RxString(nullptr, FrameLine("9000,4500,560,560"));
    window->findChild<QAbstractButton*>(QStringLiteral("CheckBox1"))->click();
    window->findChild<QAbstractButton*>(QStringLiteral("CheckBox2"))->click();
    if (!withTitle) {
        window->BitBtn1Click(); // empty caption: no title line
    }
    const QString path = folder.filePath(QStringLiteral("chart.bmp"));
    WriteAll(path, "an older file of that name");
    window.dialogs->answers.push_back(path);
    window->PopupMenu1()->actions()[SaveBitmap]->trigger();
    ASSERT_EQ(window.dialogs->calls.size(), 1u);
    EXPECT_EQ(window.dialogs->calls[0].request.filterDescription, "Bitmaps (*.bmp)");
    EXPECT_EQ(window.dialogs->calls[0].request.filterPattern, "*.bmp");

    const BmpHeader bmp{ReadAll(path)};
    ASSERT_TRUE(bmp.Valid());
    EXPECT_EQ(bmp.FileSize(), quint32(bmp.bytes.size()));
    EXPECT_EQ(bmp.Width(), window->Chart1()->width());
    EXPECT_EQ(std::abs(bmp.Height()), window->Chart1()->height());
    QImage picture;
    ASSERT_TRUE(picture.load(path, "BMP"));
    EXPECT_EQ(picture.size(), window->Chart1()->size());
}

INSTANTIATE_TEST_SUITE_P(Title, BitmapExport, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WithTitle" : "WithoutTitle");
                         });

TEST(BitmapExportErrors, EmptyFrameComplainsWithoutADialog) {
    MessageBoxRecorder boxes;
    auto window = MakeWindow();
    window->ZapisdoplikuBMP1Click();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Brak ramki danych do zapisu!   ");
    EXPECT_TRUE(window.dialogs->calls.empty());
}

TEST(BitmapExportErrors, UncreatableFileRaisesTheMessage) {
    QTemporaryDir folder;
    auto window = MakeWindow();
    window->ZorComPort1RxString(nullptr, FrameLine("9000"));
    window.dialogs->answers.push_back(folder.filePath(QStringLiteral("missing/chart.bmp")));
    EXPECT_THROW(window->ZapisdoplikuBMP1Click(), frame::FileError);
    EXPECT_EQ(formtest::StoredString(QStringLiteral("BmpInitDir")), QDir::homePath());
}

} // namespace

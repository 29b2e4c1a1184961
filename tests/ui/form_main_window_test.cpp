// The main window: its designed controls, start-up, the port selection, the device link shown in
// the status bar, frames drawn as they arrive, the chart switches, the popup menu and the web
// label.

#include "tests/ui/FormTestSupport.h"

#include "frame/FrameCore.h"
#include "ui/ChartView.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QEnterEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include <gmock/gmock.h>

namespace {

using formtest::FrameLine;
using formtest::MakeWindow;
using formtest::WaitUntil;
using ::testing::ElementsAre;

template <class T>
T* Control(const ui::TForm1& form, const char* name) {
    return form.findChild<T*>(QString::fromLatin1(name));
}

// ---- Designed controls -------------------------------------------------------------------------

TEST(MainWindowDesign, WindowCaptionSizeAndMinimum) {
    auto window = MakeWindow();
    EXPECT_EQ(window->windowTitle(), "Dekoder IR");
    EXPECT_EQ(window->objectName(), "Form1");
    EXPECT_EQ(window->size(), QSize(811, 312));
    EXPECT_EQ(window->minimumSize(), QSize(811, 312));
    EXPECT_EQ(window->font().family(), "Tahoma");
}

struct ControlText {
    const char* name;
    const char* text;
};

TEST(MainWindowDesign, ControlsCarryTheirNamesAndTexts) {
    auto window = MakeWindow();
    for (const ControlText& c : {
             ControlText{"Label1", "Graficzny dekoder pilotów"},
             ControlText{"Label4", "Strona projektu:"},
             ControlText{"lbCon", "brak połączenia"},
             ControlText{"Label2", "Wprowadź opis wykresu:"},
         }) {
        const QLabel* label = Control<QLabel>(*window, c.name);
        ASSERT_NE(label, nullptr) << c.name;
        EXPECT_EQ(label->text(), QString::fromUtf8(c.text)) << c.name;
    }
    for (const ControlText& c : {
             ControlText{"BitBtn4", "Zastosuj"},
             ControlText{"CheckBox1", "Etykiety"},
             ControlText{"CheckBox2", "Widok 3D"},
             ControlText{"BitBtn1", "OK"},
             ControlText{"btnEmituj", "Emituj odebrany kod"},
             ControlText{"btnEmituWykres", "Emituj ramkę z wykresu"},
         }) {
        const QAbstractButton* button = Control<QAbstractButton>(*window, c.name);
        ASSERT_NE(button, nullptr) << c.name;
        EXPECT_EQ(button->text(), QString::fromUtf8(c.text)) << c.name;
    }
    EXPECT_EQ(Control<QGroupBox>(*window, "GroupBox2")->title(), " Port komunikacyjny ");
    for (const char* name : {"Panel1", "pnOpis", "pnlEmisja"}) {
        EXPECT_NE(Control<QFrame>(*window, name), nullptr) << name;
    }
    for (const char* name : {"Image1", "Image2", "lbWeb", "Edit1", "ComboBox1", "Chart1"}) {
        EXPECT_NE(Control<QWidget>(*window, name), nullptr) << name;
    }
    EXPECT_NE(Control<QStatusBar>(*window, "StatusBar1"), nullptr);
}

TEST(MainWindowDesign, StripsAndPictureSizes) {
    auto window = MakeWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.form.get()));
    EXPECT_EQ(Control<QFrame>(*window, "Panel1")->height(), 57);
    EXPECT_EQ(Control<QWidget>(*window, "Image1")->size(), QSize(100, 36));
    EXPECT_EQ(Control<QWidget>(*window, "Image2")->geometry(), QRect(16, 9, 32, 32));
    EXPECT_EQ(Control<QWidget>(*window, "Label1")->pos(), QPoint(64, 11));
    EXPECT_EQ(Control<QWidget>(*window, "lbWeb")->pos(), QPoint(157, 40));
    EXPECT_EQ(Control<QWidget>(*window, "GroupBox2")->geometry(), QRect(414, 2, 199, 48));
    EXPECT_EQ(Control<QWidget>(*window, "ComboBox1")->width(), 81);
    EXPECT_EQ(Control<QWidget>(*window, "Edit1")->width(), 433);
    EXPECT_TRUE(Control<QComboBox>(*window, "ComboBox1")->isEditable());
    EXPECT_FALSE(Control<QWidget>(*window, "pnOpis")->isVisible());
    EXPECT_FALSE(Control<QWidget>(*window, "pnlEmisja")->isVisible());
    EXPECT_FALSE(Control<QWidget>(*window, "lbCon")->isVisible());
    EXPECT_FALSE(Control<QCheckBox>(*window, "CheckBox1")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(*window, "CheckBox2")->isChecked());
    EXPECT_EQ(Control<QCheckBox>(*window, "CheckBox1")->layoutDirection(), Qt::RightToLeft);
}

TEST(MainWindowDesign, RightAnchoredControlsFollowTheRightEdge) {
    auto window = MakeWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.form.get()));
    const QWidget* logo = Control<QWidget>(*window, "Image1");
    const QWidget* labels = Control<QWidget>(*window, "CheckBox1");
    const int logoGap = window->width() - logo->x();
    const int labelsGap = window->width() - labels->x();
    window->resize(1000, 400);
    formtest::Pump();
    EXPECT_EQ(window->width() - logo->x(), logoGap);
    EXPECT_EQ(window->width() - labels->x(), labelsGap);
}

TEST(MainWindowDesign, StatusBarPanelsStartWithTheirTexts) {
    auto window = MakeWindow();
    const std::vector<QString> expected{
        QString::fromUtf8("Ilość impulsów: "), "0", "Status: ", "-", "AVR  ",
        QString::fromUtf8("próba połączenia")};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(window->PanelText(i), expected[static_cast<size_t>(i)]) << "panel " << i;
    }
    const QLabel* count = Control<QLabel>(*window, "StatusPanel1");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->width(), 40);
    EXPECT_EQ(count->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(Control<QLabel>(*window, "StatusPanel0")->width(), 100);
    EXPECT_EQ(Control<QLabel>(*window, "StatusPanel3")->width(), 120);
}

TEST(MainWindowDesign, PopupMenuItemsInOrder) {
    auto window = MakeWindow();
    QStringList names;
    QStringList texts;
    for (const QAction* item : window->PopupMenu1()->actions()) {
        names << item->objectName();
        texts << (item->isSeparator() ? QStringLiteral("-") : item->text());
    }
    EXPECT_EQ(names, QStringList({"Emisjaodebranychkodw1", "N2", "Wasnyopis1", "N1",
                                  "ZapisdoplikuBMP1", "N4", "Zapiszramk1", "Wczytajramk1", "N3",
                                  "Zanegujwykres1", "N5", "GenerujtablicC1"}));
    EXPECT_EQ(
        texts,
        QStringList({QString::fromUtf8("Emisja odebranych kodów"), "-",
                     QString::fromUtf8("Własny opis"), "-", "Zapis do pliku graficznego *.BMP", "-",
                     QString::fromUtf8("Zapisz ramkę"), QString::fromUtf8("Wczytaj ramkę"), "-",
                     "Zaneguj wykres", "-", QString::fromUtf8("Generuj tablicę C")}));
    const QList<QAction*> items = window->PopupMenu1()->actions();
    EXPECT_TRUE(items[0]->isCheckable());
    EXPECT_FALSE(items[0]->isChecked());
    EXPECT_TRUE(items[0]->icon().isNull());
    EXPECT_FALSE(items[2]->icon().isNull());
    EXPECT_TRUE(items[11]->icon().isNull());
    EXPECT_EQ(window->Chart1()->PopupMenu(), window->PopupMenu1());
}

// ---- Start-up and the port -------------------------------------------------------------------

TEST(MainWindowStartUp, WithNoSavedPortShowsCom1AndTriesIt) {
    auto window = MakeWindow();
    EXPECT_EQ(Control<QComboBox>(*window, "ComboBox1")->currentText(), "COM1");
    EXPECT_EQ(window->ZorComPort1()->ComPort(), "COM1");
    EXPECT_TRUE(window->ZorComPort1()->Active());
    EXPECT_TRUE(window->ZorComPort1()->Connected());
    EXPECT_EQ(window->ZorComPort1()->BaudRate(), "38400");
    EXPECT_EQ(window->ZorComPort1()->DataBits(), "8");
    EXPECT_EQ(window->ZorComPort1()->CheckCmd(), "AT");
    EXPECT_TRUE(window->ZorComPort1()->EnableCheckTimer());
    EXPECT_EQ(window->PanelText(frame::PanelLink), QString::fromUtf8("próba połączenia"));
}

TEST(MainWindowStartUp, MissingPortIsReportedInThePanelTooltip) {
    formtest::SavePort(QStringLiteral("/nonexistent/ttyIR0"));
    auto window = MakeWindow();
    // Follow every error the window is told of, in order. The worker started by the window's
    // creation reports through the event loop, so nothing is missed.
    std::vector<int> errors;
    serial::TZorComPort& port = *window->ZorComPort1();
    port.OnComError = [&, form = window.form.get()](QObject* sender, int error,
                                                    const std::string& desc) {
        errors.push_back(error);
        form->ZorComPort1ComError(sender, error, desc);
    };
    ASSERT_TRUE(WaitUntil([&] { return !errors.empty(); }));
    formtest::Pump(200);
    EXPECT_EQ(errors.front(), ENOENT) << ::testing::PrintToString(errors);
    const QLabel* linkPanel = Control<QLabel>(*window, "StatusPanel5");
    EXPECT_EQ(linkPanel->toolTip(), window->LastComErrorText());
    EXPECT_FALSE(linkPanel->toolTip().isEmpty());
}

TEST(MainWindowStartUp, PermissionErrorTellsAboutTheDialoutGroup) {
    auto window = MakeWindow();
    window->ZorComPort1ComError(window->ZorComPort1(), EACCES, "Permission denied");
    EXPECT_THAT(window->LastComErrorText().toStdString(), ::testing::HasSubstr("dialout"));
    EXPECT_THAT(window->LastComErrorText().toStdString(),
                ::testing::HasSubstr("Permission denied"));
    window->ZorComPort1ComError(window->ZorComPort1(), 9997, "Timeout during operation");
    EXPECT_THAT(window->LastComErrorText().toStdString(),
                ::testing::Not(::testing::HasSubstr("dialout")));
    // The panel's own text is left to the link handlers.
    EXPECT_EQ(window->PanelText(frame::PanelLink), QString::fromUtf8("próba połączenia"));
}

TEST(MainWindowPort, ApplyingATypedPortAppliesAndSavesIt) {
    auto window = MakeWindow();
    auto* box = Control<QComboBox>(*window, "ComboBox1");
    box->setEditText(QStringLiteral("/dev/ttyNOTHERE"));
    window->SetPanelText(frame::PanelLink, "x");
    Control<QAbstractButton>(*window, "BitBtn4")->click();
    EXPECT_EQ(window->ZorComPort1()->ComPort(), "/dev/ttyNOTHERE");
    EXPECT_TRUE(window->ZorComPort1()->Active());
    EXPECT_TRUE(window->ZorComPort1()->Connected());
    EXPECT_EQ(formtest::StoredString(QStringLiteral("Port komunikacyjny")), "/dev/ttyNOTHERE");
    EXPECT_EQ(window->PanelText(frame::PanelLink), QString::fromUtf8("próba połączenia"));

    // The next start shows it.
    window.form.reset();
    auto next = MakeWindow();
    EXPECT_EQ(Control<QComboBox>(*next, "ComboBox1")->currentText(), "/dev/ttyNOTHERE");
}

TEST(MainWindowPort, AnEmptyPortIsAppliedButNotSaved) {
    formtest::SavePort(QStringLiteral("/dev/ttySAVED"));
    auto window = MakeWindow();
    Control<QComboBox>(*window, "ComboBox1")->setEditText(QString());
    window->BitBtn4Click();
    EXPECT_EQ(window->ZorComPort1()->ComPort(), "");
    EXPECT_EQ(formtest::StoredString(QStringLiteral("Port komunikacyjny")), "/dev/ttySAVED");
}

// ---- The device link and frames, against the simulated device ----------------------------------

TEST(MainWindowDevice, LinkTextsFollowTheDevice) {
    formtest::Device device;
    device->SetSilent(true);
    formtest::SavePort(device.Link());
    auto window = MakeWindow();
    EXPECT_EQ(window->PanelText(frame::PanelLink), QString::fromUtf8("próba połączenia"));
    // On connecting the window asks for an acknowledgement and the identification.
    ASSERT_TRUE(WaitUntil([&] { return device->CommandTexts().size() >= 2; }));
    EXPECT_THAT(device->CommandTexts(), ElementsAre("AT", "ATI"));
    EXPECT_EQ(window->PanelText(frame::PanelLink), QString::fromUtf8("próba połączenia"));

    device->SendLine("OK");
    ASSERT_TRUE(WaitUntil([&] { return window->Core().LinkConfirmed(); }));
    EXPECT_EQ(window->PanelText(frame::PanelLink), QString::fromUtf8("<----> Połączony"));

    device->SendLine("+ATI: irsim IR transceiver 1.0");
    ASSERT_TRUE(WaitUntil([&] {
        return window->PanelText(frame::PanelLink) ==
               QString::fromUtf8("<----> Połączony     irsim IR transceiver 1.0");
    }));
}

TEST(MainWindowDevice, AnsweringDeviceReachesTheIdentification) {
    formtest::Device device;
    formtest::SavePort(device.Link());
    auto window = MakeWindow();
    EXPECT_TRUE(WaitUntil([&] {
        return window->PanelText(frame::PanelLink) ==
               QString::fromUtf8("<----> Połączony     irsim IR transceiver 1.0");
    }));
}

TEST(MainWindowDevice, AFrameIsDrawnInvertedAndSwitched) {
    formtest::Device device;
    formtest::SavePort(device.Link());
    auto window = MakeWindow();
    ASSERT_TRUE(WaitUntil([&] { return window->Core().LinkConfirmed(); }));
    device->SendFrame({9000, 4500, 560});
    ASSERT_TRUE(WaitUntil([&] { return window->PulseFrame().Count == 3; }));
    EXPECT_EQ(window->PanelText(frame::PanelPulseCount), "3");
    EXPECT_EQ(window->PanelText(frame::PanelMode), "ODBIORNIK");
    const auto& points = window->Chart1()->Points();
    ASSERT_EQ(points.size(), 7u);
    EXPECT_DOUBLE_EQ(points[0].Y, 0.1);
    EXPECT_DOUBLE_EQ(points[2].X, 9000);
    EXPECT_EQ(points[2].Label, "9000");
    EXPECT_DOUBLE_EQ(points[6].X, 14060);
    EXPECT_TRUE(window->Core().FrameReceived());

    window->PopupMenu1()->actions()[9]->trigger(); // "Zaneguj wykres"
    EXPECT_EQ(window->PanelText(frame::PanelMode), "NADAJNIK");
    EXPECT_DOUBLE_EQ(window->Chart1()->Points()[0].Y, 1.0);
    EXPECT_EQ(window->PulseFrame().Mode, 0);

    Control<QCheckBox>(*window, "CheckBox1")->click();
    EXPECT_TRUE(window->Chart1()->MarksVisible());
    Control<QCheckBox>(*window, "CheckBox2")->click();
    EXPECT_TRUE(window->Chart1()->View3D());
    Control<QCheckBox>(*window, "CheckBox1")->click();
    EXPECT_FALSE(window->Chart1()->MarksVisible());
    Control<QCheckBox>(*window, "CheckBox2")->click();
    EXPECT_FALSE(window->Chart1()->View3D());

    // The next frame keeps the inverted view.
    device->SendFrame({560});
    ASSERT_TRUE(WaitUntil([&] { return window->PulseFrame().Count == 1; }));
    EXPECT_EQ(window->PanelText(frame::PanelMode), "NADAJNIK");
}

TEST(MainWindowDevice, AHangUpShowsTheDisconnection) {
    formtest::Device device;
    formtest::SavePort(device.Link());
    auto window = MakeWindow();
    ASSERT_TRUE(WaitUntil([&] { return window->Core().LinkConfirmed(); }));
    device->HangUp();
    EXPECT_TRUE(WaitUntil(
        [&] {
            return window->PanelText(frame::PanelLink) == QString::fromUtf8("--> x <-- Rozłączony");
        },
        8000));
}

// ---- Popup menu enabling ------------------------------------------------------------------------

TEST(MainWindowPopup, EmptyFrameOffersOnlyLoading) {
    auto window = MakeWindow();
    emit window->PopupMenu1()->aboutToShow();
    for (const QAction* item : window->PopupMenu1()->actions()) {
        EXPECT_EQ(item->isEnabled(), item->objectName() == "Wczytajramk1")
            << item->objectName().toStdString();
    }
}

TEST(MainWindowPopup, AFrameEnablesEveryItem) {
    auto window = MakeWindow();
    emit window->PopupMenu1()->aboutToShow();
    window->ZorComPort1RxString(nullptr, FrameLine("560,1690"));
    emit window->PopupMenu1()->aboutToShow();
    for (const QAction* item : window->PopupMenu1()->actions()) {
        EXPECT_TRUE(item->isEnabled()) << item->objectName().toStdString();
    }
    // A frame of no pulses disables them again.
    window->ZorComPort1RxString(nullptr, FrameLine(""));
    emit window->PopupMenu1()->aboutToShow();
    EXPECT_FALSE(window->PopupMenu1()->actions()[0]->isEnabled());
    EXPECT_TRUE(window->PopupMenu1()->actions()[7]->isEnabled());
}

// ---- The web label ------------------------------------------------------------------------------

TEST(MainWindowWebLabel, HoverAndLeaveRestoreTheLook) {
    auto window = MakeWindow();
    auto* label = Control<QLabel>(*window, "lbWeb");
    EXPECT_FALSE(label->text().isEmpty());
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));
    EXPECT_FALSE(label->font().bold());

    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), label->mapToGlobal(QPointF(3, 3)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(label, &move);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0xFF));
    EXPECT_TRUE(label->font().bold());
    EXPECT_TRUE(label->font().underline());
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(label, &leave);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));
    EXPECT_FALSE(label->font().bold());
    EXPECT_FALSE(label->font().underline());
    EXPECT_EQ(label->cursor().shape(), Qt::ArrowCursor);
}

TEST(MainWindowWebLabel, ClickOpensTheAddress) {
    auto window = MakeWindow();
    auto* label = Control<QLabel>(*window, "lbWeb");
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.form.get()));
    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    ASSERT_EQ(window.url->opened.size(), 1u);
    EXPECT_EQ(window.url->opened[0], label->text());
    EXPECT_TRUE(window.url->opened[0].startsWith("http"));
    EXPECT_FALSE(Control<QLabel>(*window, "lbCon")->isVisible());
}

} // namespace

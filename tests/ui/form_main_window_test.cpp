// The main window: its designed controls, start-up, the port selection, the device link shown in
// the status bar, frames drawn as they arrive, the chart switches, the popup menu, the web label,
// its placement between runs, and the C table window it fills.

#include "tests/ui/FormTestSupport.h"

#include "frame/FrameCore.h"
#include "serial/EnumComPorts.h"
#include "settings/ZorFormStorage.h"
#include "ui/ChartView.h"
#include "ui/PortDiagnosis.h"
#include "ui/frmCodeCu.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>

#include <gmock/gmock.h>

#include <cerrno>
#include <map>
#include <span>

namespace {

using formtest::FrameLine;
using formtest::MakeWindow;
using formtest::StoredString;
using formtest::U;
using formtest::WaitUntil;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// ---- Designed controls -------------------------------------------------------------------------

TEST(MainWindowDesign, ControlsCarryTheirNamesAndTexts) {
    auto window = MakeWindow();
    EXPECT_EQ(window->windowTitle(), "Dekoder IR");
    EXPECT_EQ(window->objectName(), "Form1");
    EXPECT_EQ(window->size(), QSize(811, 312));
    EXPECT_EQ(window->minimumSize(), QSize(811, 312));
    EXPECT_EQ(window->font().family(), "Tahoma");
    const std::pair<const char*, const char*> texts[] = {
        {"Label1", "Graficzny dekoder pilotów"},
        {"Label4", "Strona projektu:"},
        {"lbCon", "brak połączenia"},
        {"Label2", "Wprowadź opis wykresu:"},
        {"BitBtn4", "Zastosuj"},
        {"CheckBox1", "Etykiety"},
        {"CheckBox2", "Widok 3D"},
        {"BitBtn1", "OK"},
        {"btnEmituj", "Emituj odebrany kod"},
        {"btnEmituWykres", "Emituj ramkę z wykresu"}};
    for (const auto& [name, text] : texts) {
        ASSERT_NE(window.Find(name), nullptr) << name;
        EXPECT_EQ(window.Find(name)->property("text").toString(), U(text)) << name;
    }
    EXPECT_EQ(window.Find("GroupBox2")->property("title"), " Port komunikacyjny ");
    for (const char* name :
         {"Panel1", "pnOpis", "pnlEmisja", "Image1", "Image2", "lbWeb", "Edit1", "Chart1"}) {
        EXPECT_NE(window.Find(name), nullptr) << name;
    }
    EXPECT_NE(window.Find<QStatusBar>("StatusBar1"), nullptr);
    EXPECT_TRUE(window.Find<QComboBox>("ComboBox1")->isEditable());
}

// The designed positions and sizes are the form's own; what is checked here is what the window
// does with them: the strips hidden at start and the right-anchored controls following a resize.
TEST(MainWindowDesign, StripsStartHiddenAndRightAnchoredControlsFollowTheWidth) {
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    for (const char* hidden : {"pnOpis", "pnlEmisja", "lbCon"}) {
        EXPECT_FALSE(window.Find(hidden)->isVisible()) << hidden;
    }
    EXPECT_FALSE(window.Find<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_FALSE(window.Find<QCheckBox>("CheckBox2")->isChecked());
    EXPECT_EQ(window.Find("CheckBox1")->layoutDirection(), Qt::RightToLeft);

    const int logoGap = window->width() - window.Find("Image1")->x();
    const int labelsGap = window->width() - window.Find("CheckBox1")->x();
    window->resize(1000, 400);
    ASSERT_TRUE(WaitUntil([&] { return window.Find("Panel1")->width() >= 1000; }));
    EXPECT_EQ(window->width() - window.Find("Image1")->x(), logoGap);
    EXPECT_EQ(window->width() - window.Find("CheckBox1")->x(), labelsGap);
}

// The width a control needs to show its whole text, as its style lays it out.
int WidthForText(const QWidget& control) {
    if (const auto* button = qobject_cast<const QPushButton*>(&control)) {
        // The text counts as contents only: the style's least width for any button with a text
        // is not room that this text needs.
        QStyleOptionButton option;
        option.initFrom(button);
        option.iconSize = button->iconSize();
        if (button->autoDefault()) {
            option.features |= QStyleOptionButton::AutoDefaultButton;
        }
        const QFontMetrics metrics = button->fontMetrics();
        const QSize contents(button->iconSize().width() + 4 +
                                 metrics.horizontalAdvance(button->text()),
                             metrics.height());
        return button->style()
            ->sizeFromContents(QStyle::CT_PushButton, &option, contents, button)
            .width();
    }
    if (qobject_cast<const QGroupBox*>(&control)) {
        return control.minimumSizeHint().width(); // its title
    }
    return control.sizeHint().width();
}

// Every label, button and box title keeps its designed width and shows its whole text, with the
// fonts the tests pin (the designed ones are missing there, so the fallbacks stand in).
TEST(MainWindowDesign, EveryDesignedTextFitsItsControl) {
    // The generic names are the database's own.
    EXPECT_THAT(QFontDatabase::families(),
                ElementsAre("DejaVu Sans", "DejaVu Sans Mono", "DejaVu Serif", "Monospace",
                            "Sans Serif", "Serif"));
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    const auto expectAllFit = [&](const char* state) {
        for (const QWidget* control : window->findChildren<QWidget*>()) {
            // The hidden side panel is laid out only when shown.
            if (!control->isVisibleTo(window.form.get())) {
                continue;
            }
            const bool hasText =
                (qobject_cast<const QLabel*>(control) || qobject_cast<const QGroupBox*>(control) ||
                 qobject_cast<const QAbstractButton*>(control)) &&
                !control->property(qobject_cast<const QGroupBox*>(control) ? "title" : "text")
                     .toString()
                     .isEmpty();
            if (hasText) {
                EXPECT_LE(WidthForText(*control), control->width())
                    << state << ": " << control->objectName().toStdString();
            }
        }
    };
    expectAllFit("at start");
    window->ZorComPort1RxString(nullptr, FrameLine("9000,4500,560"));
    // The web label in its hover look, bold.
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(3, 3), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(window.Find("lbWeb"), &move);
    expectAllFit("receiver view");
    window->Zanegujwykres1Click();
    expectAllFit("transmitter view");
}

TEST(MainWindowDesign, StatusBarPanelsAndPopupMenuItems) {
    auto window = MakeWindow();
    const QStringList panels{U("Ilość impulsów: "), "0", "Status: ", "-", "AVR  ",
                             U("próba połączenia")};
    for (int i = 0; i < panels.size(); ++i) {
        EXPECT_EQ(window->PanelText(i), panels[i]) << "panel " << i;
    }
    EXPECT_EQ(window.Find("StatusPanel0")->width(), 100);
    EXPECT_EQ(window.Find("StatusPanel1")->width(), 40);
    EXPECT_EQ(window.Find<QLabel>("StatusPanel1")->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(window.Find("StatusPanel3")->width(), 120);

    QStringList names, texts;
    for (const QAction* item : window->PopupMenu1()->actions()) {
        names << item->objectName();
        texts << (item->isSeparator() ? QStringLiteral("-") : item->text());
    }
    EXPECT_EQ(names, QStringList({"Emisjaodebranychkodw1",
                                  "N2",
                                  "Wasnyopis1",
                                  "N1",
                                  "ZapisdoplikuBMP1",
                                  "N4",
                                  "Zapiszramk1",
                                  "Wczytajramk1",
                                  "N3",
                                  "Zanegujwykres1",
                                  "N5",
                                  "GenerujtablicC1",
                                  "N6",
                                  "Dekodujprotok1",
                                  "Pasmatolerancji1",
                                  "Wyczyramk1",
                                  "ZapiszwykresjakoPNG1",
                                  "ZapiszwykresjakoSVG1",
                                  "Protokoyuytkownika1",
                                  "NHistory",
                                  "Historiaramek1",
                                  "Wstrzymaj1",
                                  "NCompare",
                                  "Porownajz1",
                                  "Emitujiporownaj1",
                                  "Zakonczporownanie1",
                                  "NFormats",
                                  "Importuj1",
                                  "Eksportuj1"}));
    EXPECT_EQ(texts, QStringList({U("Emisja odebranych kodów"),
                                  "-",
                                  U("Własny opis"),
                                  "-",
                                  "Zapis do pliku graficznego *.BMP",
                                  "-",
                                  U("Zapisz ramkę"),
                                  U("Wczytaj ramkę"),
                                  "-",
                                  "Zaneguj wykres",
                                  "-",
                                  U("Generuj tablicę C"),
                                  "-",
                                  U("Dekoduj protokół"),
                                  "Pasma tolerancji",
                                  U("Wyczyść ramkę"),
                                  U("Zapisz wykres jako PNG…"),
                                  U("Zapisz wykres jako SVG…"),
                                  U("Protokoły użytkownika…"),
                                  "-",
                                  "Historia ramek",
                                  "Wstrzymaj",
                                  "-",
                                  U("Porównaj z…"),
                                  U("Emituj i porównaj"),
                                  U("Zakończ porównanie"),
                                  "-",
                                  "Importuj",
                                  "Eksportuj"}));
    EXPECT_TRUE(window.Item(0)->isCheckable());
    EXPECT_FALSE(window.Item(0)->isChecked());
    EXPECT_TRUE(window.Item(0)->icon().isNull());
    EXPECT_FALSE(window.Item(2)->icon().isNull());
    EXPECT_TRUE(window.Item(11)->icon().isNull());
    EXPECT_EQ(window->Chart1()->PopupMenu(), window->PopupMenu1());
}

// ---- Start-up and the port -------------------------------------------------------------------

TEST(MainWindowStartUp, WithNoSavedPortShowsCom1AndTriesIt) {
    auto window = MakeWindow();
    const serial::TZorComPort& port = *window->ZorComPort1();
    EXPECT_EQ(window.Find<QComboBox>("ComboBox1")->currentText(), "COM1");
    EXPECT_EQ(port.ComPort(), "COM1");
    EXPECT_TRUE(port.Active() && port.Connected() && port.EnableCheckTimer());
    EXPECT_EQ(port.BaudRate(), "38400");
    EXPECT_EQ(port.DataBits(), "8");
    EXPECT_EQ(port.CheckCmd(), "AT");
    EXPECT_EQ(window->PanelText(frame::PanelLink), U("próba połączenia"));
}

// The hint that says why the port does not work, shown over the chart; empty while hidden.
QString PortHint(const formtest::Window& window) {
    const auto* line = window.Find<QLabel>("PortHint");
    const bool shown = line->isVisibleTo(window.form.get());
    EXPECT_EQ(window.Find("PortHintIcon")->isVisibleTo(window.form.get()), shown);
    return shown ? line->text() : QString();
}

TEST(PortHints, TheFirstCauseOfAnAttemptIsKeptUntilTheDeviceAnswers) {
    ui::PortDiagnosis diagnosis(nullptr, std::chrono::milliseconds(1));
    const auto hint = [&]() -> std::string {
        const QString text = diagnosis.Hint();
        return text.isEmpty()               ? "-"
               : text.contains(U("milczy")) ? "silent"
               : text.contains(U("Nie ma")) ? "missing"
               : text.contains(U("zajęty")) ? "busy"
                                            : "other";
    };
    const auto silence = [&] { return WaitUntil([&] { return hint() == "silent"; }); };
    diagnosis.AttemptStarted("ttyUSB0");
    diagnosis.ComError(ENOENT, "No such file or directory");
    diagnosis.ComError(EBADF, "Bad file descriptor");
    EXPECT_EQ(hint(), "missing");
    EXPECT_EQ(diagnosis.ErrorText(), U("Błąd portu: 2 No such file or directory"));
    diagnosis.AttemptStarted("ttyUSB0");
    EXPECT_EQ(hint(), "-");
    diagnosis.PortOpened();
    ASSERT_TRUE(silence());
    EXPECT_EQ(diagnosis.ErrorText(), QString());
    // An error after the silence says more than the silence.
    diagnosis.ComError(EBUSY, "Device or resource busy");
    EXPECT_EQ(hint(), "busy");
    diagnosis.DeviceAnswered();
    EXPECT_EQ(hint(), "-");
    diagnosis.PortOpened();
    ASSERT_TRUE(silence());
    diagnosis.LinkDropped();
    diagnosis.ComError(EIO, "Input/output error");
    EXPECT_EQ(hint(), "other");
}

TEST(MainWindowPort, AMissingPortSaysSoUntilEnterAppliesAWorkingOne) {
    // A bare kernel name opens under /dev.
    formtest::SavePort(QStringLiteral("ttyNOTHERE"));
    auto window = MakeWindow();
    // The open's own error is kept, not the ones that follow from it.
    ASSERT_TRUE(WaitUntil(
        [&] { return window->PanelText(frame::PanelLink) == U("--> x <-- Rozłączony"); }));
    EXPECT_EQ(PortHint(window),
              U("Nie ma portu /dev/ttyNOTHERE: sprawdź nazwę portu i czy urządzenie jest "
                "podłączone."));
    // The tool tip names the same cause: the open's error.
    const auto toolTip = [&] { return window.Find("StatusPanel5")->toolTip(); };
    EXPECT_EQ(toolTip(), U("Błąd portu: 2 %1").arg(U(std::strerror(ENOENT))));
    EXPECT_EQ(toolTip(), window->LastComErrorText());

    formtest::Device device;
    auto* box = window.Find<QComboBox>("ComboBox1");
    box->setEditText(device.Link());
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(window->ZorComPort1()->ComPort(), device.Link().toStdString());
    EXPECT_EQ(StoredString(QStringLiteral("Port komunikacyjny")), device.Link());
    EXPECT_EQ(box->currentText(), device.Link());
    EXPECT_TRUE(WaitUntil([&] {
        return window->PanelText(frame::PanelLink) ==
               U("<----> Połączony     irsim IR transceiver 1.0");
    }));
    EXPECT_EQ(PortHint(window), QString());
    EXPECT_EQ(toolTip(), QString());
}

TEST(MainWindowPort, TheDropDownIsRebuiltOnEveryOpeningAndKeepsTheText) {
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    auto* box = window.Find<QComboBox>("ComboBox1");
    box->addItem(QStringLiteral("stale"));
    box->setEditText(QStringLiteral("typed"));
    box->showPopup();
    std::vector<std::string> ports;
    serial::EnumComPorts(ports);
    EXPECT_EQ(box->findText(QStringLiteral("stale")), -1);
    EXPECT_EQ(box->count(), static_cast<int>(ports.size()));
    EXPECT_EQ(box->currentText(), "typed");
    EXPECT_EQ(box->width(), 81);
    box->hidePopup();
    EXPECT_EQ(box->currentText(), "typed");

    // A kernel name is written whole in the narrow box, smaller only when it has to be.
    box->setEditText(QStringLiteral("ttyACM10"));
    EXPECT_LE(QFontMetrics(box->lineEdit()->font()).horizontalAdvance(QStringLiteral("ttyACM10")),
              box->lineEdit()->width());
    box->setEditText(QStringLiteral("COM1"));
    EXPECT_EQ(box->lineEdit()->font(), box->font());
}

TEST(MainWindowPort, ATypedPortIsAppliedAndSavedButAnEmptyOneIsNotSaved) {
    auto window = MakeWindow();
    auto* box = window.Find<QComboBox>("ComboBox1");
    box->setEditText(QStringLiteral("/dev/ttyNOTHERE"));
    window->SetPanelText(frame::PanelLink, "x");
    window.Find<QAbstractButton>("BitBtn4")->click();
    EXPECT_EQ(window->ZorComPort1()->ComPort(), "/dev/ttyNOTHERE");
    EXPECT_TRUE(window->ZorComPort1()->Active() && window->ZorComPort1()->Connected());
    EXPECT_EQ(StoredString(QStringLiteral("Port komunikacyjny")), "/dev/ttyNOTHERE");
    EXPECT_EQ(window->PanelText(frame::PanelLink), U("próba połączenia"));

    box->setEditText(QString());
    window->BitBtn4Click();
    EXPECT_EQ(window->ZorComPort1()->ComPort(), "");
    window.form.reset();
    // The next start shows the last saved one.
    EXPECT_EQ(MakeWindow().Find<QComboBox>("ComboBox1")->currentText(), "/dev/ttyNOTHERE");
}

// ---- The device link and frames, against the simulated device ----------------------------------

TEST(MainWindowDevice, LinkTextsFollowTheDevice) {
    formtest::Device device;
    device->SetSilent(true);
    formtest::SavePort(device.Link());
    auto window = MakeWindow();
    // On connecting the window asks for an acknowledgement and the identification.
    ASSERT_TRUE(WaitUntil([&] { return device->CommandTexts().size() >= 2; }));
    EXPECT_THAT(device->CommandTexts(), ElementsAre("AT", "ATI"));
    EXPECT_EQ(window->PanelText(frame::PanelLink), U("próba połączenia"));
    // A device that stays silent for a few seconds is told apart from a port that failed.
    ASSERT_TRUE(WaitUntil([&] { return PortHint(window).contains(U("milczy")); }, 10000));
    EXPECT_EQ(window->PanelText(frame::PanelLink), U("próba połączenia"));

    device->SendLine("OK");
    ASSERT_TRUE(WaitUntil([&] { return window->Core().LinkConfirmed(); }));
    EXPECT_EQ(window->PanelText(frame::PanelLink), U("<----> Połączony"));
    EXPECT_EQ(PortHint(window), QString());
    device->SendLine("+ATI: irsim IR transceiver 1.0");
    EXPECT_TRUE(WaitUntil([&] {
        return window->PanelText(frame::PanelLink) ==
               U("<----> Połączony     irsim IR transceiver 1.0");
    }));
}

TEST(MainWindowDevice, FramesAreDrawnInvertedAndSwitchedUntilTheDeviceHangsUp) {
    formtest::Device device;
    formtest::SavePort(device.Link());
    auto window = MakeWindow();
    // An answering device reaches the identification by itself.
    ASSERT_TRUE(WaitUntil([&] {
        return window->PanelText(frame::PanelLink) ==
               U("<----> Połączony     irsim IR transceiver 1.0");
    }));
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

    window.Item(9)->trigger(); // "Zaneguj wykres"
    EXPECT_EQ(window->PanelText(frame::PanelMode), "NADAJNIK");
    EXPECT_DOUBLE_EQ(window->Chart1()->Points()[0].Y, 1.0);
    EXPECT_EQ(window->PulseFrame().Mode, 0);

    auto* labels = window.Find<QCheckBox>("CheckBox1");
    auto* view3d = window.Find<QCheckBox>("CheckBox2");
    labels->click();
    EXPECT_TRUE(window->Chart1()->MarksVisible());
    EXPECT_FALSE(window->Chart1()->View3D());
    view3d->click();
    EXPECT_TRUE(window->Chart1()->View3D());
    labels->click();
    EXPECT_FALSE(window->Chart1()->MarksVisible());
    view3d->click();
    EXPECT_FALSE(window->Chart1()->View3D());

    // The next frame keeps the inverted view.
    device->SendFrame({560});
    ASSERT_TRUE(WaitUntil([&] { return window->PulseFrame().Count == 1; }));
    EXPECT_EQ(window->PanelText(frame::PanelMode), "NADAJNIK");

    device->HangUp();
    EXPECT_TRUE(WaitUntil(
        [&] { return window->PanelText(frame::PanelLink) == U("--> x <-- Rozłączony"); }, 8000));
}

// ---- Popup menu enabling and the web label
// -------------------------------------------------------

TEST(MainWindowPopup, OnlyLoadingUntilTheFrameHoldsAPulse) {
    auto window = MakeWindow();
    const auto enabled = [&] {
        emit window->PopupMenu1()->aboutToShow();
        QStringList names;
        for (const QAction* item : window->PopupMenu1()->actions()) {
            if (item->isEnabled()) {
                names << item->objectName();
            }
        }
        return names;
    };
    // Loading, the view's switches, the history, hold and import, which need no frame.
    const QStringList withoutFrame{"Wczytajramk1",        "Dekodujprotok1", "Pasmatolerancji1",
                                   "Protokoyuytkownika1", "Historiaramek1", "Wstrzymaj1",
                                   "Importuj1"};
    EXPECT_EQ(enabled(), withoutFrame);
    window->ZorComPort1RxString(nullptr, FrameLine("560,1690"));
    // All of them, but the clean-up, which needs a decoded protocol, and ending a comparison
    // that was never started.
    EXPECT_EQ(enabled().size(), window->PopupMenu1()->actions().size() - 2);
    EXPECT_FALSE(enabled().contains("Wyczyramk1"));
    EXPECT_FALSE(enabled().contains("Zakonczporownanie1"));
    // A frame of no pulses disables them again.
    window->ZorComPort1RxString(nullptr, FrameLine(""));
    EXPECT_EQ(enabled(), withoutFrame);
}

// An open menu keeps the state it opened with; the command itself then answers for the frame it
// finds: Enter on "Zapisz ramkę" after a frame of no pulses arrived says there is nothing to save.
TEST(MainWindowPopup, AnOpenMenuKeepsItsItemsWhileFramesArrive) {
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    window->ZorComPort1RxString(nullptr, FrameLine("9000,4500,560"));
    QMenu* menu = window->PopupMenu1();
    menu->popup(window->Chart1()->mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(menu, Qt::Key_Down);
    }
    ASSERT_EQ(menu->activeAction(), window.Item(6));
    window->ZorComPort1RxString(nullptr, FrameLine(""));
    formtest::MessageBoxRecorder boxes;
    QTest::keyClick(menu, Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return !boxes.boxes.empty(); }));
    EXPECT_EQ(boxes.boxes[0].text, U("Brak ramki danych do zapisu!   "));
    EXPECT_TRUE(window.dialogs->calls.empty());
    EXPECT_FALSE(window.Find<QWidget>("HistoryPanel")->isVisible());
}

// The commands' keys work from anywhere in the window, shown beside the items, under the same
// enabling rule as the items: without a frame only loading and emitting the chart's frame.
TEST(MainWindowKeyboard, EachKeyTriggersItsCommandWhileTheCommandIsEnabled) {
    struct Key {
        QKeySequence key;
        const char* command;
        bool withoutFrame;
    };
    const Key keys[] = {{QKeySequence(Qt::CTRL | Qt::Key_S), "Zapiszramk1", false},
                        {QKeySequence(Qt::CTRL | Qt::Key_O), "Wczytajramk1", true},
                        {QKeySequence(Qt::CTRL | Qt::Key_B), "ZapisdoplikuBMP1", false},
                        {QKeySequence(Qt::CTRL | Qt::Key_T), "GenerujtablicC1", false},
                        {QKeySequence(Qt::CTRL | Qt::Key_I), "Zanegujwykres1", false},
                        {QKeySequence(Qt::CTRL | Qt::Key_E), "EmitujWykres", true},
                        {QKeySequence(Qt::CTRL | Qt::Key_K), "EmitujKod", false}};
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.form.get()));
    EXPECT_TRUE(window->Chart1()->hasFocus());
    std::map<std::string, int> triggered;
    for (const Key& key : keys) {
        auto* command = window->findChild<QAction*>(QString::fromLatin1(key.command));
        ASSERT_NE(command, nullptr) << key.command;
        EXPECT_EQ(command->shortcut(), key.key) << key.command;
        QObject::connect(command, &QAction::triggered,
                         [&triggered, name = key.command] { ++triggered[name]; });
    }
    const auto pressAll = [&](bool withFrame) {
        triggered.clear();
        for (const Key& key : keys) {
            QTest::keySequence(window.form.get(), key.key);
            EXPECT_EQ(triggered[key.command], withFrame || key.withoutFrame ? 1 : 0)
                << key.command << (withFrame ? " with a frame" : " without a frame");
        }
    };
    pressAll(false);
    window->ZorComPort1RxString(nullptr, FrameLine("9000,560"));
    pressAll(true);
    // The menu's rule as the key is pressed, not as the menu last opened (the emission actions,
    // the last two, follow the received-frame flag instead).
    emit window->PopupMenu1()->aboutToShow();
    window->ZorComPort1RxString(nullptr, FrameLine(""));
    triggered.clear();
    for (const Key& key : std::span(keys).first(5)) {
        QTest::keySequence(window.form.get(), key.key);
        EXPECT_EQ(triggered[key.command], key.withoutFrame ? 1 : 0) << key.command;
    }

    // The menu key and Shift+F10 open the popup menu over the chart.
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        QTest::keySequence(window.form.get(), key);
        EXPECT_TRUE(window->PopupMenu1()->isVisible()) << key.toString().toStdString();
        const QRect chart(window->Chart1()->mapToGlobal(QPoint(0, 0)), window->Chart1()->size());
        EXPECT_TRUE(chart.intersects(window->PopupMenu1()->geometry()));
        window->PopupMenu1()->hide();
    }
}

TEST(MainWindowWebLabel, HoverAndLeaveRestoreTheLookAndAClickOpensTheAddress) {
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    auto* label = window.Find<QLabel>("lbWeb");
    const auto look = [&] {
        return std::tuple(label->palette().color(QPalette::WindowText), label->font().bold(),
                          label->font().underline(), label->cursor().shape());
    };
    const auto plain = std::tuple(QColor(0x80, 0x80, 0x80), false, false, Qt::ArrowCursor);
    EXPECT_EQ(look(), plain);
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), label->mapToGlobal(QPointF(3, 3)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(label, &move);
    EXPECT_EQ(look(), std::tuple(QColor(0x00, 0x00, 0xFF), true, true, Qt::PointingHandCursor));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(label, &leave);
    EXPECT_EQ(look(), plain);

    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    ASSERT_EQ(window.url->opened.size(), 1u);
    EXPECT_EQ(window.url->opened[0], label->text());
    EXPECT_TRUE(window.url->opened[0].startsWith("http"));
    EXPECT_FALSE(window.Find("lbCon")->isVisible());
}

// ---- Placement: saved on close, restored on show ---------------------------------------------

QString PlacementKey(const formtest::Window& window) {
    return window->ZorFormStorage1()->PlacementKey();
}

TEST(MainWindowPlacement, FirstStartIsCentredWithTheDesignedSize) {
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const QRect outer = window->frameGeometry();
    EXPECT_EQ(window->size(), QSize(811, 312));
    // The window system may add its frame only once the window is up; allow for its few pixels.
    EXPECT_NEAR(outer.left(), (screen.width() - outer.width()) / 2, 4);
    EXPECT_NEAR(outer.top(), (screen.height() - outer.height()) / 2, 4);
}

TEST(MainWindowPlacement, SavedOnCloseUnderForm1AndRestoredOnTheNextStart) {
    QString key;
    QRect left;
    {
        auto window = MakeWindow();
        key = PlacementKey(window);
        EXPECT_TRUE(key.endsWith(QStringLiteral("\\Form1")));
        EXPECT_EQ(window->ZorFormStorage1()->TypeIniName(),
                  settings::TApplicationIniName::asAppIniName);
        ASSERT_TRUE(window.Show());
        window->setGeometry(100, 120, 900, 400);
        ASSERT_TRUE(WaitUntil([&] { return window->geometry() == QRect(100, 120, 900, 400); }));
        left = window->frameGeometry();
        EXPECT_TRUE(window->close());
        for (const auto& [name, value] : {std::pair{"Left", left.left()},
                                          {"Top", left.top()},
                                          {"Width", left.width()},
                                          {"Height", left.height()}}) {
            EXPECT_EQ(StoredString(QString::fromLatin1(name), key), QString::number(value)) << name;
        }
    }
    auto next = MakeWindow();
    ASSERT_TRUE(next.Show());
    EXPECT_EQ(next->frameGeometry(), left);
}

TEST(MainWindowPlacement, OffScreenValuesAreLeftAsTheyAre) {
    const QString key = PlacementKey(MakeWindow());
    settings::WriteRegString(QStringLiteral("Left"), QStringLiteral("5000"), key);
    settings::WriteRegString(QStringLiteral("Top"), QStringLiteral("-300"), key);
    auto window = MakeWindow();
    ASSERT_TRUE(window.Show());
    // Nothing pulls the window back onto the screen (a frame added on showing may shift it a
    // few pixels).
    EXPECT_NEAR(window->frameGeometry().left(), 5000, 4);
    EXPECT_NEAR(window->frameGeometry().top(), -300, 4);
}

// ---- The C table window and the command that fills it ---------------------------------------

TEST(CTableWindow, Design) {
    ui::TForm2 form2;
    EXPECT_EQ(form2.windowTitle(), "C table generator");
    EXPECT_EQ(form2.size(), QSize(554, 290));
    const QPlainTextEdit* memo = form2.Memo1();
    EXPECT_EQ(memo->objectName(), "Memo1");
    EXPECT_EQ(memo->toPlainText(), "Memo1");
    EXPECT_FALSE(memo->isReadOnly());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // Out of the tab order, but the user can still click into it to edit and copy.
    EXPECT_EQ(memo->focusPolicy(), Qt::ClickFocus);
    EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch());
    EXPECT_FALSE(form2.isVisible());
}

TEST(CTableWindow, CommandFillsTheWindowFreshEachTimeAndShowsItModallyInTheCentre) {
    auto window = MakeWindow();
    ui::TForm2 form2;
    window->SetForm2(&form2);
    window->ZorComPort1RxString(nullptr, FrameLine("9000,4500,560,560,560,1690,560"));

    QStringList shown;
    QPoint centre;
    form2.SetShowModalHook([&](ui::TForm2& form) {
        // CR LF in the table must give single line breaks in the box.
        shown = form.Memo1()->toPlainText().split('\n');
        centre = form.frameGeometry().center();
        // The user edits the text; the frame must not change.
        form.Memo1()->setPlainText(QStringLiteral("edited"));
    });
    window.Item(11)->trigger(); // "Generuj tablicę C"
    EXPECT_THAT(shown, ElementsAre("uint16_t tab[7] PROGMEM = { ", "\t9000,4500,560,560,560,",
                                   "\t1690,560 ", "};"));
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((centre - screenCentre).manhattanLength(), 2);
    EXPECT_EQ(window->PulseFrame().Count, 7);
    EXPECT_EQ(window->PulseFrame().Durations[0], 9000);

    window->ZorComPort1RxString(nullptr, FrameLine("9000"));
    window->GenerujtablicC1Click();
    EXPECT_THAT(shown, ElementsAre("uint16_t tab[1] PROGMEM = { 9000 ", "};"));
}

TEST(CTableWindow, CommandAfterTheWindowWasDestroyedDoesNothing) {
    auto window = MakeWindow();
    auto gone = std::make_unique<ui::TForm2>();
    window->SetForm2(gone.get());
    gone.reset();
    window->ZorComPort1RxString(nullptr, FrameLine("560"));
    window->GenerujtablicC1Click();
}

} // namespace

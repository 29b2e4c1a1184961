#include "ui/Unit1.h"

#include "frame/CTable.h"
#include "frame/FrameFile.h"
#include "settings/MsgBox.h"
#include "settings/ZorFormStorage.h"
#include "settings/ZorTools.h"
#include "ui/ChartView.h"
#include "ui/DecodeMenu.h"
#include "ui/DeviceLink.h"
#include "ui/FontFallbacks.h"
#include "ui/FrameWorkbench.h"
#include "ui/Pictures.h"
#include "ui/PortComboBox.h"
#include "ui/PortDiagnosis.h"
#include "ui/PortHintView.h"
#include "ui/RememberedFolders.h"
#include "ui/RightAnchors.h"
#include "ui/SignalFiles.h"
#include "ui/StatusPanels.h"
#include "ui/frmCodeCu.h"
#include "ui_Unit1.h"

#include <QEvent>
#include <QFile>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

#include <exception>
#include <utility>

namespace ui {

namespace {

constexpr char PortValueName[] = "Port komunikacyjny";
constexpr char DefaultPort[] = "COM1";
constexpr char NoFrameToSave[] = "Brak ramki danych do zapisu!   ";
constexpr char CleanFrameTooLong[] =
    "Ramka z czasami nominalnymi ma więcej niż 301 impulsów; ramka pozostaje bez zmian.   ";

// The start-up texts: the chart's footer and the address behind the web label.
constexpr char FooterText[] = "Dekoder IR - Falquin";
constexpr char WebAddress[] = "http://dekoder-ir.falquin.pl";

// The width of the designed client area that the header strip's right-anchored controls refer to.
constexpr int DesignedClientWidth = 811;

const QColor WebIdleColour(0x80, 0x80, 0x80);
const QColor WebHoverColour(0x00, 0x00, 0xFF);

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

FileDialogs::Request FrameFileRequest(const QString& folder) {
    return {folder, QStringLiteral("Text Files (*.TXT)"), QStringLiteral("*.txt"),
            QStringLiteral("txt")};
}

// Runs a handler reached through a control. Exceptions must not unwind through Qt's signal
// delivery, so they are handed to the application's error report here, as the application object
// does for exceptions escaping an event handler; the program goes on either way.
template <class Handler>
void Guarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        settings::ReportException(error);
    }
}

} // namespace

TForm1::TForm1(TForm1Seams seams, QWidget* parent)
    : settings::THookableForm<QMainWindow>(parent), ui_(std::make_unique<Ui::TForm1>()),
      seams_(std::move(seams)) {
    if (!seams_.Dialogs) {
        seams_.Dialogs = std::make_unique<QtFileDialogs>();
    }
    if (!seams_.Url) {
        seams_.Url = std::make_unique<DesktopUrlOpener>();
    }
    InstallFontFallbacks();
    // The instance name, not the class name: the placement store keys the window by it.
    setObjectName(QStringLiteral("Form1"));
    ui_->setupUi(this);
    FitFallbackFonts(*this);
    ApplyDesignedLook();
    BuildStatusBar();
    decodeOverlay_ = std::make_unique<DecodeOverlay>(*ui_->Chart1, std::move(seams_.Decoding));
    BuildPopupMenu();
    core_ = std::make_unique<frame::FrameCore>(pulseFrame_, *this, *decodeOverlay_, *this);
    workbench_ = std::make_unique<FrameWorkbench>(*this, *ui_->Chart1, *core_, *seams_.Dialogs,
                                                  *popupMenu1_);
    ConnectControls();
    AssignShortcuts();
    CreateComponents(std::move(seams_.DriverFactory));
    CreateDeviceLink(std::move(seams_.DeviceSources));
    FormCreate();
    ActionList1Update();
}

TForm1::~TForm1() {
    // The placement store saves while every member still exists.
    FireDestroy();
    // Stop the worker and the other devices before the frame core and the chart they report to go
    // away.
    deviceLink_.reset();
    zorFormStorage1_.reset();
    zorComPort1_.reset();
    workbench_.reset();
}

void TForm1::SetForm2(TForm2* form2) {
    form2_ = form2;
}

ChartView* TForm1::Chart1() const {
    return ui_->Chart1;
}

QAction* TForm1::EmitujKod() const {
    return ui_->EmitujKod;
}

QAction* TForm1::EmitujWykres() const {
    return ui_->EmitujWykres;
}

QString TForm1::PanelText(int index) const {
    return statusPanels_->PanelText(index);
}

QString TForm1::LastComErrorText() const {
    return lastComError_;
}

void TForm1::SetPanelText(int index, std::string_view text) {
    statusPanels_->SetPanelText(index, FromView(text));
}

void TForm1::SendCommand(std::string_view command) {
    if (deviceLink_ && deviceLink_->Active()) {
        deviceLink_->TakeCommand(command);
        return;
    }
    zorComPort1_->SendString(std::string(command), false);
}

void TForm1::ApplyDesignedLook() {
    resize(811, 312);
    setWindowIcon(ApplicationIcon());
    ui_->Image1->setPixmap(HeaderLogo());
    ui_->Image2->setPixmap(HeaderIcon());
    ui_->lbCon->hide();
    ui_->pnOpis->hide();
    ui_->pnlEmisja->hide();

    QPalette comboPalette = ui_->ComboBox1->palette();
    comboPalette.setColor(QPalette::Text, Qt::blue);
    comboPalette.setColor(QPalette::ButtonText, Qt::blue);
    ui_->ComboBox1->setPalette(comboPalette);
    ui_->BitBtn4->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    ui_->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));

    ui_->lbWeb->installEventFilter(this);
    lbWebMouseLeave();

    anchors_ = new RightAnchors(*ui_->Panel1, DesignedClientWidth);
    anchors_->Anchor(*ui_->CheckBox1);
    anchors_->Anchor(*ui_->CheckBox2);
    anchors_->Anchor(*ui_->Image1);
    anchors_->Anchor(*ui_->lbCon);

    ui_->EmitujKod->setIcon(ImageListIcon(ImageEmit));
    ui_->EmitujWykres->setIcon(ImageListIcon(ImageEmit));
    ui_->btnEmituj->setDefaultAction(ui_->EmitujKod);
    ui_->btnEmituWykres->setDefaultAction(ui_->EmitujWykres);
}

void TForm1::BuildStatusBar() {
    ui_->StatusBar1->setSizeGripEnabled(true);
    statusPanels_ = std::make_unique<StatusPanels>(*ui_->StatusBar1);
    portDiagnosis_ = new PortDiagnosis(this);
    auto* portHint = new PortHintView(*ui_->StatusBar1, frame::PanelLink, *ui_->Chart1);
    connect(portDiagnosis_, &PortDiagnosis::HintChanged, portHint, &PortHintView::Show);
    // The tool tip names the error the hint stands on, not the ones that follow from it.
    connect(portDiagnosis_, &PortDiagnosis::HintChanged, this, [this] {
        lastComError_ = portDiagnosis_->ErrorText();
        statusPanels_->Panel(frame::PanelLink)->setToolTip(lastComError_);
    });
}

void TForm1::BuildPopupMenu() {
    popupMenu1_ = new QMenu(this);
    popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
    const auto separator = [this](const char* name) {
        popupMenu1_->addSeparator()->setObjectName(QString::fromLatin1(name));
    };
    popupMenu1_->addAction(ui_->Emisjaodebranychkodw1);
    separator("N2");
    ui_->Wasnyopis1->setIcon(ImageListIcon(ImageCaption));
    popupMenu1_->addAction(ui_->Wasnyopis1);
    separator("N1");
    ui_->ZapisdoplikuBMP1->setIcon(ImageListIcon(ImagePictureExport));
    popupMenu1_->addAction(ui_->ZapisdoplikuBMP1);
    separator("N4");
    ui_->Zapiszramk1->setIcon(ImageListIcon(ImageSaveFrame));
    popupMenu1_->addAction(ui_->Zapiszramk1);
    ui_->Wczytajramk1->setIcon(ImageListIcon(ImageLoadFrame));
    popupMenu1_->addAction(ui_->Wczytajramk1);
    separator("N3");
    ui_->Zanegujwykres1->setIcon(ImageListIcon(ImageInvert));
    popupMenu1_->addAction(ui_->Zanegujwykres1);
    separator("N5");
    popupMenu1_->addAction(ui_->GenerujtablicC1);
    decodeMenu_ = std::make_unique<DecodeMenu>(*popupMenu1_, *decodeOverlay_, *seams_.Url, this);
    ui_->Chart1->SetPopupMenu(popupMenu1_);
}

void TForm1::AssignShortcuts() {
    const std::pair<QAction*, QKeySequence> commands[] = {
        {ui_->Zapiszramk1, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {ui_->Wczytajramk1, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {ui_->ZapisdoplikuBMP1, QKeySequence(Qt::CTRL | Qt::Key_B)},
        {ui_->GenerujtablicC1, QKeySequence(Qt::CTRL | Qt::Key_T)},
        {ui_->Zanegujwykres1, QKeySequence(Qt::CTRL | Qt::Key_I)},
        {ui_->EmitujWykres, QKeySequence(Qt::CTRL | Qt::Key_E)},
        {ui_->EmitujKod, QKeySequence(Qt::CTRL | Qt::Key_K)},
    };
    for (const auto& [command, key] : commands) {
        command->setShortcut(key);
        // The emission buttons show it in their tooltips, the popup menu beside the item.
        command->setToolTip(command->text() + QStringLiteral(" (") +
                            key.toString(QKeySequence::NativeText) + QLatin1Char(')'));
        if (!popupMenu1_->actions().contains(command)) {
            // The emission actions follow their own rule, kept current as lines arrive.
            addAction(command);
            continue;
        }
        // A menu item's state is set as the menu opens, so its key, held by the window and working
        // wherever the focus is, applies the same rule as it is pressed: a key whose command the
        // rule disables does nothing.
        auto* press = new QAction(this);
        press->setShortcut(key);
        connect(press, &QAction::triggered, this, [this, command] {
            EnableFrameCommands();
            if (command->isEnabled()) {
                command->trigger();
            }
        });
        addAction(press);
    }
    // The keyboard's ways to the chart's popup menu, opened over the chart's middle.
    auto* popupKeys = new QAction(this);
    popupKeys->setShortcuts({QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)});
    connect(popupKeys, &QAction::triggered, this, [this] {
        ui_->Chart1->OpenPopupMenu(ui_->Chart1->mapToGlobal(ui_->Chart1->rect().center()));
    });
    addAction(popupKeys);
    // The chart is where the keyboard starts and returns to, not the port box.
    ui_->Chart1->setFocusPolicy(Qt::StrongFocus);
    ui_->Chart1->setFocus();
}

void TForm1::ConnectControls() {
    const auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    on(ui_->BitBtn4, &QPushButton::clicked, &TForm1::BitBtn4Click);
    on(ui_->CheckBox1, &QCheckBox::toggled, &TForm1::CheckBox1Click);
    on(ui_->CheckBox2, &QCheckBox::toggled, &TForm1::CheckBox2Click);
    on(popupMenu1_, &QMenu::aboutToShow, &TForm1::PopupMenu1Popup);
    on(ui_->Emisjaodebranychkodw1, &QAction::triggered, &TForm1::Emisjaodebranychkodw1Click);
    on(ui_->Wasnyopis1, &QAction::triggered, &TForm1::Wasnyopis1Click);
    on(ui_->ZapisdoplikuBMP1, &QAction::triggered, &TForm1::ZapisdoplikuBMP1Click);
    on(ui_->Zapiszramk1, &QAction::triggered, &TForm1::Zapiszramk1Click);
    on(ui_->Wczytajramk1, &QAction::triggered, &TForm1::Wczytajramk1Click);
    on(ui_->Zanegujwykres1, &QAction::triggered, &TForm1::Zanegujwykres1Click);
    on(ui_->GenerujtablicC1, &QAction::triggered, &TForm1::GenerujtablicC1Click);
    on(ui_->EmitujKod, &QAction::triggered, &TForm1::EmitujKodExecute);
    on(ui_->EmitujWykres, &QAction::triggered, &TForm1::EmitujWykresExecute);
    on(ui_->BitBtn1, &QPushButton::clicked, &TForm1::BitBtn1Click);
    on(decodeMenu_->Wyczyramk1, &QAction::triggered, &TForm1::Wyczyramk1Click);
    on(decodeMenu_->ZapiszwykresjakoPNG1, &QAction::triggered, &TForm1::ZapiszwykresjakoPNG1Click);
    on(decodeMenu_->ZapiszwykresjakoSVG1, &QAction::triggered, &TForm1::ZapiszwykresjakoSVG1Click);
    // The strip's default button: Enter in the caption box presses it.
    connect(ui_->Edit1, &QLineEdit::returnPressed, ui_->BitBtn1, &QPushButton::click);
    // Enter in the port box applies the port, as "Zastosuj" does.
    connect(ui_->ComboBox1->lineEdit(), &QLineEdit::returnPressed, ui_->BitBtn4,
            &QPushButton::click);
    connect(ui_->ComboBox1, &PortComboBox::PopupAboutToShow, this,
            [this] { ui_->ComboBox1->SetPorts(zorComPort1_->GetComPortList()); });
}

void TForm1::CreateComponents(serial::TZorComPort::DriverFactory driverFactory) {
    zorComPort1_ = std::make_unique<serial::TZorComPort>(this);
    serial::TZorComPort& port = *zorComPort1_;
    port.BeginLoading();
    if (driverFactory) {
        port.SetDriverFactory(std::move(driverFactory));
    }
    port.SetComPort(DefaultPort);
    port.SetBaudRate("38400");
    port.SetDataBits("8");
    port.SetParityBits(serial::prNone);
    port.SetStopBits(serial::sbOneStopBit);
    port.SetCheckCmd("AT");
    port.SetEnableCheckTimer(true);
    port.OnConnected = [this](QObject* sender) { Guarded([&] { ZorComPort1Connected(sender); }); };
    port.OnDisconnected = [this](QObject* sender) {
        Guarded([&] { ZorComPort1Disconnected(sender); });
    };
    port.OnATTimeOut = [this](QObject* sender) { Guarded([&] { ZorComPort1ATTimeOut(sender); }); };
    port.OnRxString = [this](QObject* sender, const std::string& line) {
        Guarded([&] { ZorComPort1RxString(sender, line); });
        // Outside the component's own event: the hand-over stops its worker.
        if (deviceLink_->IsFlipperTalking(line) && !handOverQueued_) {
            handOverQueued_ = true;
            QTimer::singleShot(0, this, [this] { HandPortToFlipper(); });
        }
    };
    port.OnSendStr = [this](QObject* sender, const std::string& text) {
        ZorComPort1SendStr(sender, text);
    };
    port.OnComError = [this](QObject* sender, int error, const std::string& desc) {
        ZorComPort1ComError(sender, error, desc);
    };
    // The port component hooks the close query first, so it stops its worker before the
    // placement is saved.
    port.Loaded();

    zorFormStorage1_ = std::make_unique<settings::TZorFormStorage>(this);
    settings::TZorFormStorage& storage = *zorFormStorage1_;
    storage.SetIniFileName(QString::fromLatin1(settings::TZorFormStorage::AppIniNameMarker));
    storage.SetTypeIniName(settings::TApplicationIniName::asAppIniName);
    storage.UseRegistry = true;
    storage.Loaded();
}

void TForm1::FormCreate() {
    ui_->ComboBox1->SetPorts(zorComPort1_->GetComPortList());
    QString port;
    settings::ReadRegString(QString::fromUtf8(PortValueName), QString::fromLatin1(DefaultPort),
                            settings::AppKeyPath, port);
    ui_->ComboBox1->setEditText(port);
    zorComPort1_->SetComPort(ui_->ComboBox1->currentText().toStdString());
    portDiagnosis_->AttemptStarted(zorComPort1_->ComPort());
    ConnectPort();
    SetPanelText(frame::PanelLink, frame::TextConnecting);
    ui_->Chart1->SetFooter(QString::fromUtf8(FooterText));
    ui_->lbWeb->setText(QString::fromUtf8(WebAddress));
    ui_->btnEmituj->setIcon(ImageListIcon(ImageEmit));
    ui_->btnEmituWykres->setIcon(ImageListIcon(ImageEmit));
}

void TForm1::BitBtn4Click() {
    deviceLink_->Close();
    zorComPort1_->SetActive(false);
    zorComPort1_->SetComPort(ui_->ComboBox1->currentText().toStdString());
    portDiagnosis_->AttemptStarted(zorComPort1_->ComPort());
    ConnectPort();
    // An empty name is applied but never written, so the saved port stays as it was.
    settings::WriteRegString(QString::fromUtf8(PortValueName),
                             QString::fromStdString(zorComPort1_->ComPort()), settings::AppKeyPath);
    SetPanelText(frame::PanelLink, frame::TextConnecting);
}

void TForm1::ConnectPort() {
    if (deviceLink_->Open(zorComPort1_->ComPort())) {
        return;
    }
    zorComPort1_->SetActive(true);
    zorComPort1_->SetConnected(true);
}

void TForm1::CreateDeviceLink(serial::DeviceSourceFactory factory) {
    DeviceLink::Handlers handlers;
    handlers.FrameLine = [this](const std::string& line,
                                const std::optional<frame::SignalCarrier>& carrier) {
        Guarded([&] {
            core_->SetIncomingCarrier(carrier);
            ZorComPort1RxString(nullptr, line);
        });
    };
    handlers.Connected = [this](const std::string& ident) {
        portDiagnosis_->DeviceAnswered();
        SetPanelText(frame::PanelLink, std::string(frame::TextLinkedIdent) + ident);
    };
    handlers.Disconnected = [this] { Guarded([&] { ZorComPort1Disconnected(nullptr); }); };
    handlers.Hint = [this](const QString& hint) { portDiagnosis_->DeviceHint(hint); };
    handlers.Refused = [this](const QString& text) { ShowErrorBox(text); };
    handlers.DefaultCarrier = [this] {
        if (const auto& own = core_->Carrier()) {
            return serial::DeviceCarrier{own->hz, own->dutyCycle};
        }
        return serial::DeviceCarrier{ConfiguredCarrierHz()};
    };
    deviceLink_ = std::make_unique<DeviceLink>(std::move(factory), std::move(handlers));
}

void TForm1::HandPortToFlipper() {
    handOverQueued_ = false;
    if (deviceLink_->Active() || !zorComPort1_->Active()) {
        return;
    }
    zorComPort1_->SetActive(false);
    // The port is opened exclusively: the worker lets it go before the Flipper source takes it.
    for (int waited = 0; zorComPort1_->WorkerLinkOpen() && waited < 3000; waited += 20) {
        settings::Delay(20);
    }
    portDiagnosis_->AttemptStarted(zorComPort1_->ComPort());
    SetPanelText(frame::PanelLink, frame::TextConnecting);
    deviceLink_->OpenFlipper(zorComPort1_->ComPort());
}

void TForm1::lbWebClick() {
    seams_.Url->Open(ui_->lbWeb->text());
}

void TForm1::lbWebMouseMove() {
    QPalette palette = ui_->lbWeb->palette();
    palette.setColor(QPalette::WindowText, WebHoverColour);
    ui_->lbWeb->setPalette(palette);
    QFont font = ui_->lbWeb->font();
    font.setBold(true);
    font.setUnderline(true);
    ui_->lbWeb->setFont(font);
    ui_->lbWeb->setCursor(Qt::PointingHandCursor);
}

void TForm1::lbWebMouseLeave() {
    QPalette palette = ui_->lbWeb->palette();
    palette.setColor(QPalette::WindowText, WebIdleColour);
    ui_->lbWeb->setPalette(palette);
    QFont font = ui_->lbWeb->font();
    font.setBold(false);
    font.setUnderline(false);
    font.setItalic(false);
    font.setStrikeOut(false);
    ui_->lbWeb->setFont(font);
    ui_->lbWeb->unsetCursor();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->lbWeb) {
        switch (event->type()) {
        case QEvent::Enter:
        case QEvent::MouseMove:
            lbWebMouseMove();
            break;
        case QEvent::Leave:
            lbWebMouseLeave();
            break;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                ui_->lbWeb->rect().contains(mouse->position().toPoint())) {
                Guarded([this] { lbWebClick(); });
            }
            break;
        }
        default:
            break;
        }
    }
    return settings::THookableForm<QMainWindow>::eventFilter(watched, event);
}

void TForm1::ZorComPort1Connected(QObject*) {
    portDiagnosis_->PortOpened();
    core_->ZorComPort1Connected();
}

void TForm1::ZorComPort1Disconnected(QObject*) {
    portDiagnosis_->LinkDropped();
    core_->ZorComPort1Disconnected();
}

void TForm1::ZorComPort1ATTimeOut(QObject*) {
    core_->ZorComPort1ATTimeOut();
}

void TForm1::ZorComPort1RxString(QObject*, const std::string& ABuf) {
    portDiagnosis_->DeviceAnswered();
    core_->ZorComPort1RxString(ABuf);
    ActionList1Update();
}

void TForm1::ZorComPort1SendStr(QObject*, const std::string& AString) {
    core_->ZorComPort1SendStr(AString);
}

void TForm1::ZorComPort1ComError(QObject*, int Error, const std::string& Desc) {
    portDiagnosis_->ComError(Error, Desc);
}

void TForm1::Zanegujwykres1Click() {
    core_->Zanegujwykres1Click();
}

void TForm1::CheckBox1Click() {
    ui_->Chart1->SetMarksVisible(ui_->CheckBox1->isChecked());
}

void TForm1::CheckBox2Click() {
    ui_->Chart1->SetView3D(ui_->CheckBox2->isChecked());
}

void TForm1::PopupMenu1Popup() {
    EnableFrameCommands();
    // Asks for the decode, so only when the menu is shown, not with every frame.
    decodeMenu_->Popup();
    ActionList1Update();
}

// Run as the menu opens and as a command's key is pressed, never in between: an open menu's items
// stay as the user saw them when it opened.
void TForm1::EnableFrameCommands() {
    const bool haveFrame = pulseFrame_.Count > 0;
    for (QAction* item : popupMenu1_->actions()) {
        item->setEnabled(haveFrame);
    }
    ui_->Wczytajramk1->setEnabled(true);
    // Switches of the view, not commands on a frame.
    decodeMenu_->Dekodujprotok1->setEnabled(true);
    decodeMenu_->Pasmatolerancji1->setEnabled(true);
    workbench_->EnableItems(haveFrame);
}

void TForm1::EmitujKodExecute() {
    if (!core_->EmitujKodExecute()) {
        ShowError(NoFrameToEmit);
    }
}

void TForm1::EmitujWykresExecute() {
    core_->EmitujWykresExecute();
}

void TForm1::ActionList1Update() {
    ui_->EmitujKod->setEnabled(core_->FrameReceived());
    ui_->EmitujWykres->setEnabled(true);
}

void TForm1::Emisjaodebranychkodw1Click() {
    ActionList1Update();
    ui_->pnlEmisja->setVisible(ui_->Emisjaodebranychkodw1->isChecked());
}

void TForm1::Zapiszramk1Click() {
    if (pulseFrame_.Count == 0) {
        ShowError(NoFrameToSave);
        return;
    }
    const QString folder = ReadInitialFolder(SaveInitDirValue);
    const QString path = seams_.Dialogs->GetSaveFileName(this, FrameFileRequest(folder));
    if (path.isEmpty()) {
        return;
    }
    WriteInitialFolder(SaveInitDirValue, folder);
    frame::WriteFrameFile(LocalPath(path), pulseFrame_);
}

void TForm1::Wczytajramk1Click() {
    const QString folder = ReadInitialFolder(OpenInitDirValue);
    const QString path = seams_.Dialogs->GetOpenFileName(this, FrameFileRequest(folder));
    if (path.isEmpty()) {
        return;
    }
    WriteInitialFolder(OpenInitDirValue, folder);
    const std::optional<frame::LoadedFrame> loaded = frame::ReadFrameFile(LocalPath(path));
    if (!loaded) {
        return;
    }
    core_->LoadFrame(*loaded, frame::FrameChange::Load, path.toStdString());
    ui_->Chart1->SetTitle(path);
}

void TForm1::GenerujtablicC1Click() {
    if (!form2_) {
        return;
    }
    form2_->SetMemoText(frame::CTableText(pulseFrame_));
    form2_->ShowModal();
}

void TForm1::Wasnyopis1Click() {
    ui_->pnOpis->show();
    ui_->Edit1->setFocus();
}

void TForm1::BitBtn1Click() {
    // Back to the chart before the strip goes, which would hand the focus to the port box.
    ui_->Chart1->setFocus();
    ui_->pnOpis->hide();
    ui_->Chart1->SetTitle(ui_->Edit1->text());
}

// What a picture export asks the dialog for and writes.
struct TForm1::PictureKind {
    const char* folderValue;
    const char* filterDescription;
    const char* filterPattern;
    const char* suffix;
    ChartView::PictureFormat format;
};

void TForm1::ZapisdoplikuBMP1Click() {
    SaveChartPicture(
        {BmpInitDirValue, "Bitmaps (*.bmp)", "*.bmp", "bmp", ChartView::PictureFormat::Bmp});
}

void TForm1::ZapiszwykresjakoPNG1Click() {
    SaveChartPicture(
        {PngInitDirValue, "PNG (*.png)", "*.png", "png", ChartView::PictureFormat::Png});
}

void TForm1::ZapiszwykresjakoSVG1Click() {
    SaveChartPicture(
        {SvgInitDirValue, "SVG (*.svg)", "*.svg", "svg", ChartView::PictureFormat::Svg});
}

void TForm1::SaveChartPicture(const PictureKind& kind) {
    if (pulseFrame_.Count == 0) {
        ShowError(NoFrameToSave);
        return;
    }
    const QString folder = ReadInitialFolder(kind.folderValue);
    const QString path = seams_.Dialogs->GetSaveFileName(
        this, {folder, QString::fromLatin1(kind.filterDescription),
               QString::fromLatin1(kind.filterPattern), QString::fromLatin1(kind.suffix)});
    if (path.isEmpty()) {
        return;
    }
    WriteInitialFolder(kind.folderValue, folder);
    ui_->Chart1->SavePicture(path, kind.format);
}

void TForm1::Wyczyramk1Click() {
    const std::optional<std::vector<int32_t>> clean = decodeOverlay_->CleanFrame();
    if (!clean) {
        return;
    }
    if (clean->size() > static_cast<std::size_t>(frame::FrameCapacity)) {
        ShowError(CleanFrameTooLong);
        return;
    }
    // The same signal at its nominal timings: its carrier stays.
    core_->LoadFrame({pulseFrame_.Mode, *clean, core_->Carrier()}, frame::FrameChange::CleanUp);
}

void TForm1::ShowError(const char* text) {
    ShowErrorBox(QString::fromUtf8(text));
}

} // namespace ui

#pragma once

#include "frame/FrameCore.h"
#include "frame/FrameSinks.h"
#include "frame/PulseFrame.h"
#include "serial/DeviceSource.h"
#include "serial/ZorComPort.h"
#include "settings/HookableFormBase.h"
#include "ui/DecodeOverlay.h"
#include "ui/FormSeams.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>
#include <string>
#include <string_view>

class QAction;
class QMenu;

namespace Ui {
class TForm1;
}

namespace settings {
class TZorFormStorage;
}

namespace ui {

class ChartView;
class PortDiagnosis;
class DecodeMenu;
class RightAnchors;
class StatusPanels;
class TForm2;
class FrameWorkbench;
class DeviceLink;

// What the main window needs from outside that a test replaces: the file dialogs, the opening of
// the web address, the serial driver of the port component and the protocol analysis. Empty
// members take the real ones.
struct TForm1Seams {
    std::unique_ptr<FileDialogs> Dialogs;
    std::unique_ptr<UrlOpener> Url;
    serial::TZorComPort::DriverFactory DriverFactory;
    DecodeEngine Decoding;
    // The devices beside the AT device (Flipper Zero, /dev/lirc).
    serial::DeviceSourceFactory DeviceSources;
};

// The main window. It owns the current frame, the frame core that handles the device's lines and
// draws the frame, the port component and the placement store; it implements the core's status
// and command sinks (the chart is the chart sink). The handlers keep their designed names and stay
// short: the frame logic lives in the frame core.
//
// Handlers that hit a file error throw frame::FileError. Called through the window's own controls
// the error goes to the application's error message box and the program goes on.
class TForm1 : public settings::THookableForm<QMainWindow>,
               public frame::StatusSink,
               public frame::CommandSink {
    Q_OBJECT

public:
    explicit TForm1(TForm1Seams seams = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The C table window that "Generuj tablicę C" fills and shows. It may be destroyed first.
    void SetForm2(TForm2* form2);

    // frame::StatusSink
    void SetPanelText(int index, std::string_view text) override;
    // frame::CommandSink: hands the command to the port component as it is, or to the other
    // device while one serves the port.
    void SendCommand(std::string_view command) override;

    serial::TZorComPort* ZorComPort1() const { return zorComPort1_.get(); }
    settings::TZorFormStorage* ZorFormStorage1() const { return zorFormStorage1_.get(); }
    ChartView* Chart1() const;
    // The protocol decode drawn on the chart, and its popup items.
    DecodeOverlay* Decoder() const { return decodeOverlay_.get(); }
    DecodeMenu* DecodeItems() const { return decodeMenu_.get(); }
    QMenu* PopupMenu1() const { return popupMenu1_; }
    QAction* EmitujKod() const;
    QAction* EmitujWykres() const;
    const frame::FrameCore& Core() const { return *core_; }
    const frame::PulseFrame& PulseFrame() const { return pulseFrame_; }
    QString PanelText(int index) const;
    // The last serial error's code and text as shown in panel 5's tooltip; empty before any.
    QString LastComErrorText() const;
    // The history, hold, comparison and file formats beyond the single frame.
    FrameWorkbench* Workbench() const { return workbench_.get(); }
    // The device other than the AT device that serves the port, if any.
    DeviceLink* Devices() const { return deviceLink_.get(); }

public slots:
    void FormCreate();
    void BitBtn4Click();
    void lbWebClick();
    void lbWebMouseMove();
    void lbWebMouseLeave();

    void ZorComPort1Connected(QObject* Sender);
    void ZorComPort1Disconnected(QObject* Sender);
    void ZorComPort1ATTimeOut(QObject* Sender);
    void ZorComPort1RxString(QObject* Sender, const std::string& ABuf);
    void ZorComPort1SendStr(QObject* Sender, const std::string& AString);
    void ZorComPort1ComError(QObject* Sender, int Error, const std::string& Desc);

    void Zanegujwykres1Click();
    void CheckBox1Click();
    void CheckBox2Click();
    void PopupMenu1Popup();

    void EmitujKodExecute();
    void EmitujWykresExecute();
    void ActionList1Update();
    void Emisjaodebranychkodw1Click();

    void Zapiszramk1Click();
    void Wczytajramk1Click();
    void GenerujtablicC1Click();

    void Wasnyopis1Click();
    void BitBtn1Click();
    void ZapisdoplikuBMP1Click();

    void Wyczyramk1Click();
    void ZapiszwykresjakoPNG1Click();
    void ZapiszwykresjakoSVG1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildPopupMenu();
    void AssignShortcuts();
    void EnableFrameCommands();
    void BuildStatusBar();
    void ApplyDesignedLook();
    void CreateComponents(serial::TZorComPort::DriverFactory driverFactory);
    void ConnectControls();
    void ShowError(const char* text);
    // Connects the port the component names: its device's own source, or the AT device.
    void ConnectPort();
    void CreateDeviceLink(serial::DeviceSourceFactory factory);
    // The AT device's port turned out to be a Flipper's: the Flipper source takes it over.
    void HandPortToFlipper();
    struct PictureKind;
    void SaveChartPicture(const PictureKind& kind);

    std::unique_ptr<Ui::TForm1> ui_;
    TForm1Seams seams_;
    frame::PulseFrame pulseFrame_;
    std::unique_ptr<StatusPanels> statusPanels_;
    // Stands between the frame core and the chart.
    std::unique_ptr<DecodeOverlay> decodeOverlay_;
    std::unique_ptr<frame::FrameCore> core_;
    QMenu* popupMenu1_ = nullptr;
    std::unique_ptr<DecodeMenu> decodeMenu_;
    RightAnchors* anchors_ = nullptr;
    std::unique_ptr<serial::TZorComPort> zorComPort1_;
    std::unique_ptr<settings::TZorFormStorage> zorFormStorage1_;
    QPointer<TForm2> form2_;
    QString lastComError_;
    PortDiagnosis* portDiagnosis_ = nullptr;
    std::unique_ptr<FrameWorkbench> workbench_;
    std::unique_ptr<DeviceLink> deviceLink_;
    bool handOverQueued_ = false;
};

} // namespace ui

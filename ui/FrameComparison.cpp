#include "ui/FrameComparison.h"

#include "frame/FrameFile.h"
#include "frame/Pulses.h"
#include "ui/CompareOverlay.h"
#include "ui/RememberedFolders.h"
#include "ui/SignalFiles.h"

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QWidget>

namespace ui {

FrameComparison::FrameComparison(QWidget& window, ChartView& chart, frame::FrameCore& core,
                                 FileDialogs& dialogs, SignalFiles& files)
    : window_(window), core_(core), dialogs_(dialogs), files_(files),
      overlay_(std::make_unique<CompareOverlay>(chart)) {
    echoTimer_ = new QTimer(this);
    echoTimer_->setSingleShot(true);
    connect(echoTimer_, &QTimer::timeout, this, &FrameComparison::EchoTimedOut);
    core_.AddObserver(*this);
}

FrameComparison::~FrameComparison() {
    core_.RemoveObserver(*this);
}

void FrameComparison::AddItems(QMenu& popup) {
    fileItem_ = popup.addAction(QStringLiteral("Porównaj z…"));
    fileItem_->setObjectName(QStringLiteral("Porownajz1"));
    connect(fileItem_, &QAction::triggered, this, &FrameComparison::CompareWithFile);
    emitItem_ = popup.addAction(QStringLiteral("Emituj i porównaj"));
    emitItem_->setObjectName(QStringLiteral("Emitujiporownaj1"));
    connect(emitItem_, &QAction::triggered, this, &FrameComparison::StartEmitAndCompare);
    offItem_ = popup.addAction(QStringLiteral("Zakończ porównanie"));
    offItem_->setObjectName(QStringLiteral("Zakonczporownanie1"));
    connect(offItem_, &QAction::triggered, this, [this] {
        reference_.reset();
        Refresh();
    });
}

void FrameComparison::EnableItems(bool haveFrame) {
    fileItem_->setEnabled(haveFrame);
    emitItem_->setEnabled(haveFrame);
    offItem_->setEnabled(reference_.has_value());
}

QString FrameComparison::Summary() const {
    return overlay_->Summary();
}

bool FrameComparison::AwaitingEcho() const {
    return echoTimer_->isActive();
}

void FrameComparison::SetReference(std::vector<int32_t> reference) {
    reference_ = std::move(reference);
    Refresh();
}

void FrameComparison::FrameChanged(const frame::FrameEvent& event) {
    if (event.why == frame::FrameChange::DeviceFrame && echoTimer_->isActive()) {
        echoTimer_->stop();
        // What came back is shown even while the view is held: the user asked for it.
        if (!event.shown) {
            core_.LoadFrame(
                {event.mode, {event.durations.begin(), event.durations.end()}, event.carrier},
                frame::FrameChange::Echo);
            return;
        }
    }
    Refresh();
}

void FrameComparison::Refresh() {
    const frame::PulseFrame& frame = core_.Frame();
    if (!reference_ || frame.Count <= 0) {
        overlay_->Clear();
        return;
    }
    overlay_->Show(*reference_, frame::Pulses(frame), frame.Mode);
}

void FrameComparison::CompareWithFile() {
    const QString folder = ReadInitialFolder(OpenInitDirValue);
    const QString path =
        dialogs_.GetOpenFileName(&window_, {folder, QStringLiteral("Ramki (*.txt *.ir)"),
                                            QStringLiteral("*.txt *.ir"), QString()});
    if (path.isEmpty())
        return;
    WriteInitialFolder(OpenInitDirValue, folder);
    if (path.endsWith(QStringLiteral(".ir"), Qt::CaseInsensitive)) {
        const auto found = files_.Read(analysis::formats::Format::Flipper, path);
        if (found)
            SetReference(found->front().durations);
        return;
    }
    const std::optional<frame::LoadedFrame> loaded = frame::ReadFrameFile(LocalPath(path));
    if (!loaded) {
        ShowFeatureError(QStringLiteral("Plik \"%1\" nie jest plikiem ramki.").arg(path));
        return;
    }
    SetReference(loaded->Durations);
}

void FrameComparison::StartEmitAndCompare() {
    const frame::PulseFrame& frame = core_.Frame();
    if (frame.Count <= 0) {
        ShowErrorBox(QString::fromUtf8(NoFrameToEmit));
        return;
    }
    const auto pulses = frame::Pulses(frame);
    reference_ = std::vector<int32_t>(pulses.begin(), pulses.end());
    core_.EmitujWykresExecute();
    echoTimer_->start(EchoTimeoutMs);
}

void FrameComparison::EchoTimedOut() {
    reference_.reset();
    Refresh();
    ShowFeatureError(QStringLiteral("Urządzenie nie odesłało nadanej ramki w ciągu %1 s. Sprawdź "
                                    "połączenie i czy urządzenie odbiera własną emisję (pętla "
                                    "zwrotna).")
                         .arg(EchoTimeoutMs / 1000));
}

} // namespace ui

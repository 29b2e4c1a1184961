#pragma once

#include "frame/FrameCore.h"
#include "ui/FormSeams.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QTimer;
class QWidget;

namespace ui {

class ChartView;
class CompareOverlay;
class FrameHistory;
class SignalFiles;

// Compares the current frame with a reference, drawn over the chart: a history entry, a frame or
// Flipper file ("Porównaj z…"), or what the device reports back after emitting the current frame
// ("Emituj i porównaj"). It follows the frame core, so every change of the current frame is
// compared anew. Main thread only.
class FrameComparison : public QObject, public frame::FrameObserver {
    Q_OBJECT
public:
    // How long "Emituj i porównaj" waits for the device's report of what it sent.
    static constexpr int EchoTimeoutMs = 3000;

    FrameComparison(QWidget& window, ChartView& chart, frame::FrameCore& core, FileDialogs& dialogs,
                    SignalFiles& files);
    ~FrameComparison() override;

    // Adds "Porównaj z…", "Emituj i porównaj" and "Zakończ porównanie".
    void AddItems(QMenu& popup);
    // The items' enabling as the menu opens: `haveFrame` as the window's own items use it.
    void EnableItems(bool haveFrame);

    QAction* FileItem() const { return fileItem_; }
    QAction* EmitItem() const { return emitItem_; }
    QAction* OffItem() const { return offItem_; }
    // The comparison's summary as drawn in the chart; empty while nothing is compared.
    QString Summary() const;
    bool AwaitingEcho() const;

    // Compares with these durations from now on.
    void SetReference(std::vector<int32_t> reference);

    void FrameChanged(const frame::FrameEvent& event) override;

private:
    void CompareWithFile();
    void StartEmitAndCompare();
    void EchoTimedOut();
    void Refresh();

    QWidget& window_;
    frame::FrameCore& core_;
    FileDialogs& dialogs_;
    SignalFiles& files_;
    std::unique_ptr<CompareOverlay> overlay_;
    std::optional<std::vector<int32_t>> reference_;
    QTimer* echoTimer_ = nullptr;
    QAction* fileItem_ = nullptr;
    QAction* emitItem_ = nullptr;
    QAction* offItem_ = nullptr;
};

} // namespace ui

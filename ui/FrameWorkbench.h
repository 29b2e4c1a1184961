#pragma once

#include "analysis/Formats.h"
#include "frame/FrameCore.h"
#include "ui/FormSeams.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;
class QTimer;

namespace ui {

class ChartView;
class CompareOverlay;
class FrameHistory;
class HistoryPanel;
class HoldSign;

// What the main window offers beyond the single current frame: the history of this run's frames
// with its side panel, holding the view, comparing the current frame with a reference (an entry,
// a file, or what the device sends back after an emission), and the file formats of other IR
// tools. It adds its items to the chart's popup menu after the window's own; while none of them is
// used the window behaves as without it. The window tells it after every change of the frame.
// Main thread only.
class FrameWorkbench : public QObject {
    Q_OBJECT
public:
    // How long "Emituj i porównaj" waits for the device's report of what it sent.
    static constexpr int EchoTimeoutMs = 3000;

    FrameWorkbench(QMainWindow& window, ChartView& chart, frame::FrameCore& core,
                   FileDialogs& dialogs, QMenu& popup);
    ~FrameWorkbench() override;

    // After a device line went through the frame core: a frame line goes into the history, ends
    // a wait for an echo, and is compared with the reference.
    void AfterDeviceLine();
    // After a frame file was loaded into the current frame.
    void AfterFrameLoaded(const QString& path);
    // After the current frame was redrawn some other way (inversion).
    void AfterRedraw();
    // The popup menu is about to show; `haveFrame` as the window's own items use it.
    void UpdateMenu(bool haveFrame);

    FrameHistory& History() const { return *history_; }
    HistoryPanel* Panel() const { return panel_; }
    QAction* HistoryItem() const { return historyItem_; }
    QAction* HoldItem() const { return holdItem_; }
    QAction* CompareFileItem() const { return compareFileItem_; }
    QAction* CompareOffItem() const { return compareOffItem_; }
    QAction* EmitCompareItem() const { return emitCompareItem_; }
    // The carrier of a signal whose own is not known: the "CarrierHz" setting.
    int CarrierHz() const;
    QAction* ImportItem(analysis::formats::Format format) const;
    QAction* ExportItem(analysis::formats::Format format) const;
    // The comparison's summary as drawn in the chart; empty while nothing is compared.
    QString CompareSummary() const;
    bool AwaitingEcho() const;

    // Makes history entry `row` the current frame.
    void ChooseEntry(int row);
    // Compares the current frame with history entry `row` from now on.
    void CompareWithEntry(int row);
    // Reads every signal of a file of the given format into the history; the first becomes the
    // current frame. Nothing changes when the file is bad or a signal cannot be a frame.
    void Import(analysis::formats::Format format, const QString& path);
    // Writes the current frame (or, for collections, the history's entries) to a file.
    void Export(analysis::formats::Format format, const QString& path);
    // Writes all of the history's entries as one Flipper file / reads one back into the history.
    void SaveHistory(const QString& path);
    void LoadHistory(const QString& path);

signals:
    // The current frame was replaced from here (an entry, an import, an echo while held).
    void FrameReplaced();

private:
    void BuildMenu(QMenu& popup);
    // Asks for a file of the format through the dialogs, starting in the remembered folder.
    QString AskFile(bool save, analysis::formats::Format format);
    void SetHeld(bool held);
    void ShowPanel(bool shown);
    void StartEmitAndCompare();
    void EchoTimedOut();
    void CompareWithFile();
    void SetReference(std::vector<int32_t> reference);
    void RefreshComparison();
    void TakeIntoFrame(const std::vector<int32_t>& durations, int32_t mode);
    std::vector<analysis::formats::Signal> CurrentSignal() const;
    std::vector<analysis::formats::Signal> HistorySignals(bool namedOnly) const;
    std::optional<std::vector<analysis::formats::Signal>>
    ReadSignals(analysis::formats::Format format, const QString& path);
    void WriteSignals(analysis::formats::Format format, const QString& path,
                      const std::vector<analysis::formats::Signal>& found);

    QMainWindow& window_;
    ChartView& chart_;
    frame::FrameCore& core_;
    FileDialogs& dialogs_;
    std::unique_ptr<FrameHistory> history_;
    HistoryPanel* panel_ = nullptr;
    std::unique_ptr<CompareOverlay> compare_;
    std::unique_ptr<HoldSign> holdSign_;
    std::optional<std::vector<int32_t>> reference_;
    uint64_t framesSeen_ = 0;
    QTimer* echoTimer_ = nullptr;

    QAction* historyItem_ = nullptr;
    QAction* holdItem_ = nullptr;
    QAction* compareFileItem_ = nullptr;
    QAction* compareOffItem_ = nullptr;
    QAction* emitCompareItem_ = nullptr;
    QMenu* importMenu_ = nullptr;
    QMenu* exportMenu_ = nullptr;
    std::vector<std::pair<analysis::formats::Format, QAction*>> importItems_;
    std::vector<std::pair<analysis::formats::Format, QAction*>> exportItems_;
};

} // namespace ui

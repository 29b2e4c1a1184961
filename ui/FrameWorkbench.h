#pragma once

#include "ui/FormSeams.h"

#include <memory>

class QMainWindow;
class QMenu;

namespace frame {
class FrameCore;
}

namespace ui {

class ChartView;
class FrameComparison;
class HistoryKeeper;
class ImportExport;
class SignalFiles;
class ViewHold;

// What the main window offers beyond the single current frame, one part per job: the history of
// this run's frames, holding the view, comparing with a reference, and the files of other IR
// tools. Each part follows the frame core's announcements by itself; this only owns them and puts
// their items into the chart's popup menu after the window's own. While none is used the window
// behaves as without them. Main thread only.
class FrameWorkbench {
public:
    FrameWorkbench(QMainWindow& window, ChartView& chart, frame::FrameCore& core,
                   FileDialogs& dialogs, QMenu& popup);
    ~FrameWorkbench();

    FrameWorkbench(const FrameWorkbench&) = delete;
    FrameWorkbench& operator=(const FrameWorkbench&) = delete;

    // The items' enabling as the popup menu opens; `haveFrame` as the window's own items use it.
    void EnableItems(bool haveFrame);

    HistoryKeeper& History() const { return *history_; }
    ViewHold& Hold() const { return *hold_; }
    FrameComparison& Comparison() const { return *comparison_; }
    ImportExport& Files() const { return *importExport_; }

private:
    std::unique_ptr<SignalFiles> files_;
    std::unique_ptr<HistoryKeeper> history_;
    std::unique_ptr<ViewHold> hold_;
    std::unique_ptr<FrameComparison> comparison_;
    std::unique_ptr<ImportExport> importExport_;
};

} // namespace ui

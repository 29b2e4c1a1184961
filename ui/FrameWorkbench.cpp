#include "ui/FrameWorkbench.h"

#include "ui/ChartView.h"
#include "ui/FrameComparison.h"
#include "ui/FrameHistory.h"
#include "ui/HistoryKeeper.h"
#include "ui/HistoryPanel.h"
#include "ui/ImportExport.h"
#include "ui/SignalFiles.h"
#include "ui/ViewHold.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>

namespace ui {

FrameWorkbench::FrameWorkbench(QMainWindow& window, ChartView& chart, frame::FrameCore& core,
                               FileDialogs& dialogs, QMenu& popup)
    : files_(std::make_unique<SignalFiles>(window, dialogs)),
      history_(std::make_unique<HistoryKeeper>(window, core, *files_)),
      hold_(std::make_unique<ViewHold>(*chart.Plot(), core)),
      comparison_(std::make_unique<FrameComparison>(window, chart, core, dialogs, *files_)),
      importExport_(std::make_unique<ImportExport>(chart, core, *history_, *files_)) {
    QObject::connect(history_->Panel(), &HistoryPanel::CompareRequested, comparison_.get(),
                     [this](int row) {
                         if (row >= 0 && row < history_->Entries().Size())
                             comparison_->SetReference(history_->Entries().Entry(row).durations);
                     });

    popup.addSeparator()->setObjectName(QStringLiteral("NHistory"));
    history_->AddItems(popup);
    hold_->AddItem(popup);
    popup.addSeparator()->setObjectName(QStringLiteral("NCompare"));
    comparison_->AddItems(popup);
    popup.addSeparator()->setObjectName(QStringLiteral("NFormats"));
    importExport_->AddItems(popup);
}

FrameWorkbench::~FrameWorkbench() = default;

void FrameWorkbench::EnableItems(bool haveFrame) {
    history_->Item()->setEnabled(true);
    hold_->Item()->setEnabled(true);
    comparison_->EnableItems(haveFrame);
    importExport_->EnableItems(haveFrame);
}

} // namespace ui

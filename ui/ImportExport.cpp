#include "ui/ImportExport.h"

#include "frame/FrameCore.h"
#include "frame/Pulses.h"
#include "ui/ChartView.h"
#include "ui/FrameHistory.h"
#include "ui/HistoryKeeper.h"
#include "ui/SignalFiles.h"

#include <QAction>
#include <QMenu>

namespace ui {

using analysis::formats::Format;
using analysis::formats::Signal;

ImportExport::ImportExport(ChartView& chart, frame::FrameCore& core, HistoryKeeper& history,
                           SignalFiles& files)
    : chart_(chart), core_(core), history_(history), files_(files) {}

void ImportExport::AddItems(QMenu& popup) {
    importMenu_ = popup.addMenu(QStringLiteral("Importuj"));
    importMenu_->menuAction()->setObjectName(QStringLiteral("Importuj1"));
    exportMenu_ = popup.addMenu(QStringLiteral("Eksportuj"));
    exportMenu_->menuAction()->setObjectName(QStringLiteral("Eksportuj1"));
    for (const SignalFiles::FormatText& text : SignalFiles::Formats()) {
        const Format format = text.format;
        // IRremote sketches are written only; a mode2 capture holds no frame worth writing back.
        if (format != Format::IrRemote) {
            QAction* item = importMenu_->addAction(QString::fromUtf8(text.item));
            importItems_.emplace_back(format, item);
            connect(item, &QAction::triggered, this, [this, format] {
                const QString path = files_.AskFile(false, format);
                if (!path.isEmpty())
                    Import(format, path);
            });
        }
        if (format != Format::Mode2) {
            QAction* item = exportMenu_->addAction(QString::fromUtf8(text.item));
            exportItems_.emplace_back(format, item);
            connect(item, &QAction::triggered, this, [this, format] {
                const QString path = files_.AskFile(true, format);
                if (!path.isEmpty())
                    Export(format, path);
            });
        }
    }
}

void ImportExport::EnableItems(bool haveFrame) {
    importMenu_->menuAction()->setEnabled(true);
    exportMenu_->menuAction()->setEnabled(haveFrame);
}

QAction* ImportExport::Find(const Items& items, Format format) {
    for (const auto& [f, item] : items)
        if (f == format)
            return item;
    return nullptr;
}

QAction* ImportExport::ImportItem(Format format) const {
    return Find(importItems_, format);
}

QAction* ImportExport::ExportItem(Format format) const {
    return Find(exportItems_, format);
}

void ImportExport::Import(Format format, const QString& path) {
    const auto found = files_.Read(format, path);
    if (!found)
        return;
    const int32_t mode = core_.Frame().Mode;
    for (const Signal& signal : *found)
        history_.Entries().AddLoaded(signal.durations, mode, QString::fromStdString(signal.name),
                                     SignalFiles::CarrierOf(format, signal));
    const Signal& first = found->front();
    core_.LoadFrame({mode, first.durations, SignalFiles::CarrierOf(format, first)},
                    frame::FrameChange::Import, path.toStdString());
    chart_.SetTitle(path);
}

void ImportExport::Export(Format format, const QString& path) {
    std::vector<Signal> found;
    if (format == Format::Lirc)
        found = history_.Signals(true);
    if (found.empty() && core_.Frame().Count > 0) {
        const auto pulses = frame::Pulses(core_.Frame());
        found.push_back(
            SignalFiles::ToSignal("Ramka", {pulses.begin(), pulses.end()}, core_.Carrier()));
    }
    files_.Write(format, path, found);
}

} // namespace ui

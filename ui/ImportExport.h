#pragma once

#include "analysis/Formats.h"

#include <QObject>
#include <QString>

#include <utility>
#include <vector>

class QAction;
class QMenu;

namespace frame {
class FrameCore;
}

namespace ui {

class ChartView;
class HistoryKeeper;
class SignalFiles;

// "Importuj" and "Eksportuj": the signals of another IR tool's file go into the history and the
// first becomes the current frame; the current frame (or, for lircd.conf, the history's named
// entries) is written in a tool's format. Main thread only.
class ImportExport : public QObject {
    Q_OBJECT
public:
    ImportExport(ChartView& chart, frame::FrameCore& core, HistoryKeeper& history,
                 SignalFiles& files);

    // Adds the two submenus, one item per format each can handle.
    void AddItems(QMenu& popup);
    // Importing needs no frame; exporting does.
    void EnableItems(bool haveFrame);

    QAction* ImportItem(analysis::formats::Format format) const;
    QAction* ExportItem(analysis::formats::Format format) const;

    // Nothing changes when the file is bad or a signal cannot be a frame.
    void Import(analysis::formats::Format format, const QString& path);
    void Export(analysis::formats::Format format, const QString& path);

private:
    using Items = std::vector<std::pair<analysis::formats::Format, QAction*>>;
    static QAction* Find(const Items& items, analysis::formats::Format format);

    ChartView& chart_;
    frame::FrameCore& core_;
    HistoryKeeper& history_;
    SignalFiles& files_;
    QMenu* importMenu_ = nullptr;
    QMenu* exportMenu_ = nullptr;
    Items importItems_;
    Items exportItems_;
};

} // namespace ui

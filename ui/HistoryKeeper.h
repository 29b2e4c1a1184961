#pragma once

#include "frame/FrameCore.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;

namespace analysis::formats {
struct Signal;
}

namespace ui {

class FrameHistory;
class HistoryPanel;
class SignalFiles;

// The history of this run's frames: it follows the frame core (a device frame or a loaded frame
// file becomes an entry), shows the side panel "Historia ramek" (its shown state remembered in the
// settings), makes a chosen entry the current frame, and saves or loads the whole collection as
// one Flipper file. Main thread only.
class HistoryKeeper : public QObject, public frame::FrameObserver {
    Q_OBJECT
public:
    HistoryKeeper(QMainWindow& window, frame::FrameCore& core, SignalFiles& files);
    ~HistoryKeeper() override;

    // Adds the item "Historia ramek" that shows or hides the panel.
    void AddItems(QMenu& popup);

    FrameHistory& Entries() const { return *history_; }
    HistoryPanel* Panel() const { return panel_; }
    QAction* Item() const { return item_; }

    // Makes entry `row` the current frame, in the current view.
    void Choose(int row);
    // Every entry as a signal to write, with its carrier; only the named ones when `namedOnly`.
    std::vector<analysis::formats::Signal> Signals(bool namedOnly) const;
    // Writes all entries as one Flipper file / adds every signal of one to the entries.
    void Save(const QString& path);
    void Load(const QString& path);

    void FrameChanged(const frame::FrameEvent& event) override;

private:
    frame::FrameCore& core_;
    SignalFiles& files_;
    std::unique_ptr<FrameHistory> history_;
    HistoryPanel* panel_ = nullptr;
    QAction* item_ = nullptr;
    // What the settings hold, so only a change of the user's is written.
    bool shownSetting_ = false;
};

} // namespace ui

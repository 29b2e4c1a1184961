#pragma once

#include <QDockWidget>

class QTableView;
class QPushButton;

namespace ui {

class FrameHistory;

// The side panel "Historia ramek": the history's entries in a table (the name column editable),
// with buttons to delete an entry, compare the current frame with it, and save or load the whole
// collection. Selecting an entry asks for it to become the current frame.
class HistoryPanel : public QDockWidget {
    Q_OBJECT
public:
    HistoryPanel(FrameHistory& history, QWidget* parent = nullptr);

    QTableView* Table() const { return table_; }
    // The selected entry's row, or -1.
    int SelectedRow() const;
    void SelectRow(int row);

signals:
    void EntryChosen(int row);
    void CompareRequested(int row);
    void SaveRequested();
    void LoadRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RemoveSelected();

    FrameHistory& history_;
    QTableView* table_ = nullptr;
};

} // namespace ui

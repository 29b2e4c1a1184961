#include "ui/HistoryPanel.h"

#include "ui/FrameHistory.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace ui {

HistoryPanel::HistoryPanel(FrameHistory& history, QWidget* parent)
    : QDockWidget(QStringLiteral("Historia ramek"), parent), history_(history) {
    setObjectName(QStringLiteral("HistoryPanel"));
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);

    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    table_ = new QTableView(body);
    table_->setObjectName(QStringLiteral("HistoryTable"));
    table_->setModel(&history_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setSectionResizeMode(FrameHistory::ColumnSummary,
                                                     QHeaderView::ResizeToContents);
    table_->installEventFilter(this);
    layout->addWidget(table_);

    auto* buttons = new QHBoxLayout;
    const auto button = [&](const QString& text, const char* name) {
        auto* b = new QPushButton(text, body);
        b->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(b);
        return b;
    };
    QPushButton* remove = button(QStringLiteral("Usuń"), "HistoryRemove");
    QPushButton* compare = button(QStringLiteral("Porównaj"), "HistoryCompare");
    QPushButton* save = button(QStringLiteral("Zapisz…"), "HistorySave");
    QPushButton* load = button(QStringLiteral("Wczytaj…"), "HistoryLoad");
    layout->addLayout(buttons);
    setWidget(body);

    connect(remove, &QPushButton::clicked, this, &HistoryPanel::RemoveSelected);
    connect(compare, &QPushButton::clicked, this, [this] {
        if (SelectedRow() >= 0)
            emit CompareRequested(SelectedRow());
    });
    connect(save, &QPushButton::clicked, this, &HistoryPanel::SaveRequested);
    connect(load, &QPushButton::clicked, this, &HistoryPanel::LoadRequested);
    // Only a choice of the user's makes an entry current; rows arriving or going do not.
    connect(table_, &QTableView::clicked, this,
            [this](const QModelIndex& index) { emit EntryChosen(index.row()); });
    connect(table_, &QTableView::activated, this,
            [this](const QModelIndex& index) { emit EntryChosen(index.row()); });
    connect(&history_, &QAbstractItemModel::rowsInserted, table_, &QTableView::scrollToBottom);
}

int HistoryPanel::SelectedRow() const {
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void HistoryPanel::SelectRow(int row) {
    table_->selectRow(row);
}

void HistoryPanel::RemoveSelected() {
    history_.Remove(SelectedRow());
}

bool HistoryPanel::eventFilter(QObject* watched, QEvent* event) {
    // While a name is edited the keys go to the editor, not to the table.
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete) {
            RemoveSelected();
            return true;
        }
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            // Arrow keys move the selection and make the entry current, as a click does; an
            // empty table has no row to move to.
            if (history_.Size() > 0) {
                const int row = std::clamp(SelectedRow() + (key == Qt::Key_Up ? -1 : 1), 0,
                                           history_.Size() - 1);
                SelectRow(row);
                emit EntryChosen(row);
            }
            return true;
        }
    }
    return QDockWidget::eventFilter(watched, event);
}

} // namespace ui

#pragma once

#include "analysis/Analysis.h"
#include "frame/FrameEvents.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace ui {

// One remembered frame: what it was, when it came, what it decodes to, and how many repeat codes
// followed it while the key was held.
struct HistoryEntry {
    QDateTime time;
    std::vector<int32_t> durations;
    int32_t mode = 1;
    QString name;
    analysis::Result analysis;
    // The carrier where the source told it (a measuring receiver, a file that stores it).
    std::optional<frame::SignalCarrier> carrier;
    int repeats = 0;
    bool dittoRepeats = false;
};

// The frames of this run of the program, newest last, at most Capacity (the oldest go first). A
// frame from the device that is the repeat of the newest entry's frame (a ditto, or the same
// frame again) is counted on that entry instead of becoming one: "NEC1 D=4 F=8 ×5". The name
// column is editable. Main thread only.
class FrameHistory : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int Capacity = 1000;
    enum Column { ColumnTime, ColumnPulses, ColumnSummary, ColumnName, ColumnCount };

    explicit FrameHistory(QObject* parent = nullptr);

    // A frame the device reported; grouped with the newest entry when it repeats it.
    void AddReceived(std::vector<int32_t> durations, int32_t mode,
                     std::optional<frame::SignalCarrier> carrier = {},
                     QDateTime time = QDateTime::currentDateTime());
    // A frame taken from a file or a collection; never grouped.
    void AddLoaded(std::vector<int32_t> durations, int32_t mode, const QString& name,
                   std::optional<frame::SignalCarrier> carrier = {},
                   QDateTime time = QDateTime::currentDateTime());
    void Remove(int row);
    void Clear();

    int Size() const { return static_cast<int>(entries_.size()); }
    const HistoryEntry& Entry(int row) const { return entries_.at(static_cast<size_t>(row)); }
    // "NEC1 D=4 S=251 F=8 ×5", or the generic reading of an unknown signal.
    static QString SummaryText(const HistoryEntry& entry);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    void Append(HistoryEntry entry);

    std::deque<HistoryEntry> entries_;
};

} // namespace ui

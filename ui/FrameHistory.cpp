#include "ui/FrameHistory.h"

#include "analysis/Compare.h"
#include "ui/AnnotationLayout.h"

#include <QStringList>

namespace ui {

namespace {

// A lone frame of the NEC family is named for both repeat forms; its repeats tell which it is.
QString RepeatedName(const std::string& protocol, bool ditto) {
    if (protocol == "NEC")
        return ditto ? QStringLiteral("NEC1") : QStringLiteral("NEC2");
    if (protocol == "NEC-f16")
        return ditto ? QStringLiteral("NEC1-f16") : QStringLiteral("NEC2-f16");
    return QString::fromStdString(protocol);
}

} // namespace

FrameHistory::FrameHistory(QObject* parent) : QAbstractTableModel(parent) {}

void FrameHistory::AddReceived(std::vector<int32_t> durations, int32_t mode,
                               std::optional<frame::SignalCarrier> carrier, QDateTime time) {
    if (!entries_.empty()) {
        HistoryEntry& newest = entries_.back();
        const auto& decodes = newest.analysis.decodes;
        if (decodes.size() == 1 && analysis::IsRepeatOf(decodes.front(), durations)) {
            ++newest.repeats;
            newest.dittoRepeats = durations.size() < newest.durations.size();
            const int row = Size() - 1;
            emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
            return;
        }
    }
    HistoryEntry entry;
    entry.time = std::move(time);
    entry.analysis = analysis::Analyse(durations);
    entry.durations = std::move(durations);
    entry.mode = mode;
    entry.carrier = carrier;
    Append(std::move(entry));
}

void FrameHistory::AddLoaded(std::vector<int32_t> durations, int32_t mode, const QString& name,
                             std::optional<frame::SignalCarrier> carrier, QDateTime time) {
    HistoryEntry entry;
    entry.time = std::move(time);
    entry.analysis = analysis::Analyse(durations);
    entry.durations = std::move(durations);
    entry.mode = mode;
    entry.name = name;
    entry.carrier = carrier;
    Append(std::move(entry));
}

void FrameHistory::Append(HistoryEntry entry) {
    if (Size() >= Capacity) {
        beginRemoveRows({}, 0, 0);
        entries_.pop_front();
        endRemoveRows();
    }
    beginInsertRows({}, Size(), Size());
    entries_.push_back(std::move(entry));
    endInsertRows();
}

void FrameHistory::Remove(int row) {
    if (row < 0 || row >= Size())
        return;
    beginRemoveRows({}, row, row);
    entries_.erase(entries_.begin() + row);
    endRemoveRows();
}

void FrameHistory::Clear() {
    beginResetModel();
    entries_.clear();
    endResetModel();
}

QString FrameHistory::SummaryText(const HistoryEntry& entry) {
    QStringList parts;
    for (const analysis::Decode& decode : entry.analysis.decodes) {
        QString text = QString::fromStdString(analysis::Summary(decode));
        if (entry.repeats > 0 && entry.analysis.decodes.size() == 1) {
            const QString name = QString::fromStdString(decode.protocol);
            text.replace(0, name.size(), RepeatedName(decode.protocol, entry.dittoRepeats));
        }
        parts << text;
    }
    QString text = parts.join(QStringLiteral(" + "));
    if (text.isEmpty())
        text = QString::fromStdString(GenericSummary(entry.analysis.generic));
    if (entry.repeats > 0)
        text += QStringLiteral(" ×%1").arg(entry.repeats);
    return text;
}

int FrameHistory::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Size();
}

int FrameHistory::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FrameHistory::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Size())
        return {};
    const HistoryEntry& entry = Entry(index.row());
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case ColumnTime:
        return entry.time.toString(QStringLiteral("HH:mm:ss.zzz"));
    case ColumnPulses:
        return static_cast<int>(entry.durations.size());
    case ColumnSummary:
        return SummaryText(entry);
    case ColumnName:
        return entry.name;
    default:
        return {};
    }
}

QVariant FrameHistory::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColumnTime:
        return QStringLiteral("Czas");
    case ColumnPulses:
        return QStringLiteral("Impulsy");
    case ColumnSummary:
        return QStringLiteral("Protokół");
    case ColumnName:
        return QStringLiteral("Nazwa");
    default:
        return {};
    }
}

Qt::ItemFlags FrameHistory::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ColumnName)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool FrameHistory::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != ColumnName || role != Qt::EditRole ||
        index.row() >= Size())
        return false;
    entries_[static_cast<size_t>(index.row())].name = value.toString().trimmed();
    emit dataChanged(index, index);
    return true;
}

} // namespace ui

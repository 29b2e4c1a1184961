#include "ui/HistoryKeeper.h"

#include "settings/ZorTools.h"
#include "ui/FrameHistory.h"
#include "ui/HistoryPanel.h"
#include "ui/SignalFiles.h"

#include <QAction>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>

namespace ui {

using analysis::formats::Format;
using analysis::formats::Signal;

namespace {

constexpr char HistoryShownValue[] = "HistoryPanel";

std::vector<int32_t> ToVector(std::span<const int32_t> durations) {
    return {durations.begin(), durations.end()};
}

} // namespace

HistoryKeeper::HistoryKeeper(QMainWindow& window, frame::FrameCore& core, SignalFiles& files)
    : core_(core), files_(files), history_(std::make_unique<FrameHistory>()) {
    panel_ = new HistoryPanel(*history_, &window);
    window.addDockWidget(Qt::RightDockWidgetArea, panel_);
    QString shown;
    settings::ReadRegString(QString::fromLatin1(HistoryShownValue), QStringLiteral("0"),
                            QString::fromLatin1(settings::AppKeyPath), shown);
    shownSetting_ = shown == QStringLiteral("1");
    panel_->setVisible(shownSetting_);
    connect(panel_, &HistoryPanel::EntryChosen, this, &HistoryKeeper::Choose);
    connect(panel_, &HistoryPanel::SaveRequested, this, [this] {
        const QString path = files_.AskFile(true, Format::Flipper);
        if (!path.isEmpty())
            Save(path);
    });
    connect(panel_, &HistoryPanel::LoadRequested, this, [this] {
        const QString path = files_.AskFile(false, Format::Flipper);
        if (!path.isEmpty())
            Load(path);
    });
    core_.AddObserver(*this);
}

HistoryKeeper::~HistoryKeeper() {
    core_.RemoveObserver(*this);
    // The panel's table shows the history this object owns.
    delete panel_;
}

void HistoryKeeper::AddItems(QMenu& popup) {
    item_ = panel_->toggleViewAction();
    item_->setObjectName(QStringLiteral("Historiaramek1"));
    item_->setText(QStringLiteral("Historia ramek"));
    popup.addAction(item_);
    // The panel's first showing with the window also checks the item: that is no change to keep.
    connect(item_, &QAction::toggled, this, [this](bool on) {
        if (on == shownSetting_)
            return;
        shownSetting_ = on;
        settings::WriteRegString(QString::fromLatin1(HistoryShownValue),
                                 on ? QStringLiteral("1") : QStringLiteral("0"),
                                 QString::fromLatin1(settings::AppKeyPath));
    });
}

void HistoryKeeper::FrameChanged(const frame::FrameEvent& event) {
    if (event.why == frame::FrameChange::DeviceFrame) {
        history_->AddReceived(ToVector(event.durations), event.mode, event.carrier);
    } else if (event.why == frame::FrameChange::Load) {
        history_->AddLoaded(
            ToVector(event.durations), event.mode,
            QFileInfo(
                QString::fromUtf8(event.source.data(), static_cast<qsizetype>(event.source.size())))
                .completeBaseName(),
            event.carrier);
    }
}

void HistoryKeeper::Choose(int row) {
    if (row < 0 || row >= history_->Size())
        return;
    const HistoryEntry& entry = history_->Entry(row);
    core_.LoadFrame({core_.Frame().Mode, entry.durations, entry.carrier},
                    frame::FrameChange::HistoryChoice);
}

std::vector<Signal> HistoryKeeper::Signals(bool namedOnly) const {
    std::vector<Signal> found;
    for (int row = 0; row < history_->Size(); ++row) {
        const HistoryEntry& entry = history_->Entry(row);
        if (namedOnly && entry.name.isEmpty())
            continue;
        const QString name =
            entry.name.isEmpty() ? QStringLiteral("Ramka_%1").arg(row + 1) : entry.name;
        found.push_back(SignalFiles::ToSignal(name.toStdString(), entry.durations, entry.carrier));
    }
    return found;
}

void HistoryKeeper::Save(const QString& path) {
    files_.Write(Format::Flipper, path, Signals(false));
}

void HistoryKeeper::Load(const QString& path) {
    const auto found = files_.Read(Format::Flipper, path);
    if (!found)
        return;
    for (const Signal& signal : *found)
        history_->AddLoaded(signal.durations, core_.Frame().Mode,
                            QString::fromStdString(signal.name),
                            SignalFiles::CarrierOf(Format::Flipper, signal));
}

} // namespace ui

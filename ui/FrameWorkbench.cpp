#include "ui/FrameWorkbench.h"

#include "frame/FrameFile.h"
#include "settings/MsgBox.h"
#include "settings/ZorTools.h"
#include "ui/ChartView.h"
#include "ui/CompareOverlay.h"
#include "ui/DeviceLink.h"
#include "ui/FrameHistory.h"
#include "ui/HistoryPanel.h"
#include "ui/RememberedFolders.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QTimer>
#include <qcustomplot.h>

#include <algorithm>
#include <cstdlib>

namespace ui {

using analysis::formats::Format;
using analysis::formats::Signal;

namespace {

constexpr char HistoryShownValue[] = "HistoryPanel";
constexpr char CarrierValue[] = "CarrierHz";
constexpr char ImportInitDirValue[] = "ImportInitDir";
constexpr char ExportInitDirValue[] = "ExportInitDir";
constexpr int DefaultCarrierHz = 38000;
// A signal file larger than this is no collection of remote codes; it is refused unread.
constexpr qint64 SignalFileSizeLimit = 16 * 1024 * 1024;
// A space this long at the end of a signal is the gap before the next frame.
constexpr int32_t TrailingGapUs = 20000;

// The workbench's messages are written without the program's three closing blanks.
void ShowError(const QString& text) {
    ShowErrorBox(text + QStringLiteral("   "));
}

struct FormatText {
    Format format;
    const char* item;        // the menu item
    const char* description; // the dialog's filter
    const char* pattern;
    const char* suffix;
};

constexpr FormatText Formats[] = {
    {Format::Flipper, "Flipper Zero (.ir)…", "Flipper Zero (*.ir)", "*.ir", "ir"},
    {Format::Pronto, "Pronto Hex…", "Pronto Hex (*.txt)", "*.txt", "txt"},
    {Format::Mode2, "LIRC mode2…", "LIRC mode2 (*)", "*", ""},
    {Format::Lirc, "LIRC lircd.conf…", "LIRC (*.conf)", "*.conf", "conf"},
    {Format::IrRemote, "Arduino IRremote…", "Arduino (*.ino *.h)", "*.ino *.h", "ino"},
};

const FormatText& TextOf(Format format) {
    return *std::find_if(std::begin(Formats), std::end(Formats),
                         [&](const FormatText& t) { return t.format == format; });
}

} // namespace

// "WSTRZYMANE" in the chart's upper right corner while the view is held.
class HoldSign {
public:
    explicit HoldSign(QCustomPlot& plot) : plot_(plot) {}
    ~HoldSign() { Show(false); }
    void Show(bool shown) {
        if (shown == (text_ != nullptr))
            return;
        if (shown) {
            text_ = new QCPItemText(&plot_);
            text_->setSelectable(false);
            text_->position->setType(QCPItemPosition::ptAxisRectRatio);
            text_->position->setCoords(0.99, 0.01);
            text_->setPositionAlignment(Qt::AlignRight | Qt::AlignTop);
            text_->setText(QStringLiteral("WSTRZYMANE"));
            text_->setColor(Qt::white);
            text_->setBrush(QColor(0xC0, 0x20, 0x20));
            text_->setPadding(QMargins(4, 2, 4, 2));
            QFont font = text_->font();
            font.setBold(true);
            text_->setFont(font);
        } else {
            plot_.removeItem(text_);
            text_ = nullptr;
        }
        plot_.replot(QCustomPlot::rpQueuedReplot);
    }
    bool Shown() const { return text_ != nullptr; }

private:
    QCustomPlot& plot_;
    QCPItemText* text_ = nullptr;
};

FrameWorkbench::FrameWorkbench(QMainWindow& window, ChartView& chart, frame::FrameCore& core,
                               FileDialogs& dialogs, QMenu& popup)
    : window_(window), chart_(chart), core_(core), dialogs_(dialogs),
      history_(std::make_unique<FrameHistory>()), compare_(std::make_unique<CompareOverlay>(chart)),
      holdSign_(std::make_unique<HoldSign>(*chart.Plot())) {
    panel_ = new HistoryPanel(*history_, &window_);
    window_.addDockWidget(Qt::RightDockWidgetArea, panel_);
    QString shown;
    settings::ReadRegString(QString::fromLatin1(HistoryShownValue), QStringLiteral("0"),
                            QString::fromLatin1(settings::AppKeyPath), shown);
    panel_->setVisible(shown == QStringLiteral("1"));
    connect(panel_, &HistoryPanel::EntryChosen, this, &FrameWorkbench::ChooseEntry);
    connect(panel_, &HistoryPanel::CompareRequested, this, &FrameWorkbench::CompareWithEntry);
    connect(panel_, &HistoryPanel::SaveRequested, this, [this] {
        const QString path = AskFile(true, Format::Flipper);
        if (!path.isEmpty())
            SaveHistory(path);
    });
    connect(panel_, &HistoryPanel::LoadRequested, this, [this] {
        const QString path = AskFile(false, Format::Flipper);
        if (!path.isEmpty())
            LoadHistory(path);
    });

    echoTimer_ = new QTimer(this);
    echoTimer_->setSingleShot(true);
    connect(echoTimer_, &QTimer::timeout, this, &FrameWorkbench::EchoTimedOut);
    framesSeen_ = core_.FramesTaken();
    BuildMenu(popup);
}

FrameWorkbench::~FrameWorkbench() {
    // The panel's table shows the history this object owns.
    delete panel_;
}

void FrameWorkbench::BuildMenu(QMenu& popup) {
    popup.addSeparator()->setObjectName(QStringLiteral("NHistory"));
    historyItem_ = panel_->toggleViewAction();
    historyItem_->setObjectName(QStringLiteral("Historiaramek1"));
    historyItem_->setText(QStringLiteral("Historia ramek"));
    popup.addAction(historyItem_);
    connect(historyItem_, &QAction::toggled, this, [](bool on) {
        settings::WriteRegString(QString::fromLatin1(HistoryShownValue),
                                 on ? QStringLiteral("1") : QStringLiteral("0"),
                                 QString::fromLatin1(settings::AppKeyPath));
    });
    holdItem_ = popup.addAction(QStringLiteral("Wstrzymaj"));
    holdItem_->setObjectName(QStringLiteral("Wstrzymaj1"));
    holdItem_->setCheckable(true);
    connect(holdItem_, &QAction::toggled, this, &FrameWorkbench::SetHeld);

    popup.addSeparator()->setObjectName(QStringLiteral("NCompare"));
    compareFileItem_ = popup.addAction(QStringLiteral("Porównaj z…"));
    compareFileItem_->setObjectName(QStringLiteral("Porownajz1"));
    connect(compareFileItem_, &QAction::triggered, this, &FrameWorkbench::CompareWithFile);
    emitCompareItem_ = popup.addAction(QStringLiteral("Emituj i porównaj"));
    emitCompareItem_->setObjectName(QStringLiteral("Emitujiporownaj1"));
    connect(emitCompareItem_, &QAction::triggered, this, &FrameWorkbench::StartEmitAndCompare);
    compareOffItem_ = popup.addAction(QStringLiteral("Zakończ porównanie"));
    compareOffItem_->setObjectName(QStringLiteral("Zakonczporownanie1"));
    connect(compareOffItem_, &QAction::triggered, this, [this] {
        reference_.reset();
        RefreshComparison();
    });

    popup.addSeparator()->setObjectName(QStringLiteral("NFormats"));
    importMenu_ = popup.addMenu(QStringLiteral("Importuj"));
    importMenu_->menuAction()->setObjectName(QStringLiteral("Importuj1"));
    exportMenu_ = popup.addMenu(QStringLiteral("Eksportuj"));
    exportMenu_->menuAction()->setObjectName(QStringLiteral("Eksportuj1"));
    for (const FormatText& text : Formats) {
        const Format format = text.format;
        if (format != Format::IrRemote) {
            QAction* item = importMenu_->addAction(QString::fromUtf8(text.item));
            importItems_.emplace_back(format, item);
            connect(item, &QAction::triggered, this, [this, format] {
                const QString path = AskFile(false, format);
                if (!path.isEmpty())
                    Import(format, path);
            });
        }
        if (format != Format::Mode2) {
            QAction* item = exportMenu_->addAction(QString::fromUtf8(text.item));
            exportItems_.emplace_back(format, item);
            connect(item, &QAction::triggered, this, [this, format] {
                const QString path = AskFile(true, format);
                if (!path.isEmpty())
                    Export(format, path);
            });
        }
    }
}

QString FrameWorkbench::AskFile(bool save, Format format) {
    const FormatText& text = TextOf(format);
    const char* folderValue = save ? ExportInitDirValue : ImportInitDirValue;
    const QString folder = ReadInitialFolder(folderValue);
    // Opening adds no suffix to a typed name: a file without one must stay reachable.
    const FileDialogs::Request request{folder, QString::fromUtf8(text.description),
                                       QString::fromUtf8(text.pattern),
                                       save ? QString::fromUtf8(text.suffix) : QString()};
    const QString path = save ? dialogs_.GetSaveFileName(&window_, request)
                              : dialogs_.GetOpenFileName(&window_, request);
    if (!path.isEmpty())
        WriteInitialFolder(folderValue, folder);
    return path;
}

QAction* FrameWorkbench::ImportItem(Format format) const {
    for (const auto& [f, item] : importItems_)
        if (f == format)
            return item;
    return nullptr;
}

QAction* FrameWorkbench::ExportItem(Format format) const {
    for (const auto& [f, item] : exportItems_)
        if (f == format)
            return item;
    return nullptr;
}

void FrameWorkbench::UpdateMenu(bool haveFrame) {
    historyItem_->setEnabled(true);
    holdItem_->setEnabled(true);
    importMenu_->menuAction()->setEnabled(true);
    compareFileItem_->setEnabled(haveFrame);
    emitCompareItem_->setEnabled(haveFrame);
    exportMenu_->menuAction()->setEnabled(haveFrame);
    compareOffItem_->setEnabled(reference_.has_value());
}

QString FrameWorkbench::CompareSummary() const {
    return compare_->Summary();
}

bool FrameWorkbench::AwaitingEcho() const {
    return echoTimer_->isActive();
}

void FrameWorkbench::SetHeld(bool held) {
    core_.SetHeld(held);
    holdSign_->Show(held);
}

void FrameWorkbench::AfterDeviceLine() {
    if (core_.FramesTaken() == framesSeen_)
        return;
    framesSeen_ = core_.FramesTaken();
    history_->AddReceived(core_.LastFrameLine(), core_.Frame().Mode);
    if (echoTimer_->isActive()) {
        echoTimer_->stop();
        // What came back is shown even while the view is held: the user asked for it.
        if (core_.Held())
            TakeIntoFrame(core_.LastFrameLine(), core_.Frame().Mode);
    }
    RefreshComparison();
}

void FrameWorkbench::AfterFrameLoaded(const QString& path) {
    const frame::PulseFrame& frame = core_.Frame();
    history_->AddLoaded(
        std::vector<int32_t>(frame.Durations.begin(), frame.Durations.begin() + frame.Count),
        frame.Mode, QFileInfo(path).completeBaseName());
    RefreshComparison();
}

void FrameWorkbench::AfterRedraw() {
    RefreshComparison();
}

void FrameWorkbench::ChooseEntry(int row) {
    if (row < 0 || row >= history_->Size())
        return;
    const HistoryEntry& entry = history_->Entry(row);
    TakeIntoFrame(entry.durations, core_.Frame().Mode);
}

void FrameWorkbench::CompareWithEntry(int row) {
    if (row < 0 || row >= history_->Size())
        return;
    SetReference(history_->Entry(row).durations);
}

void FrameWorkbench::SetReference(std::vector<int32_t> reference) {
    reference_ = std::move(reference);
    RefreshComparison();
}

void FrameWorkbench::RefreshComparison() {
    const frame::PulseFrame& frame = core_.Frame();
    if (!reference_ || frame.Count <= 0) {
        compare_->Clear();
        return;
    }
    compare_->Show(
        *reference_,
        std::span<const int32_t>(frame.Durations.data(), static_cast<size_t>(frame.Count)),
        frame.Mode);
}

void FrameWorkbench::TakeIntoFrame(const std::vector<int32_t>& durations, int32_t mode) {
    core_.LoadFrame({mode, durations});
    RefreshComparison();
    emit FrameReplaced();
}

void FrameWorkbench::CompareWithFile() {
    const QString folder = ReadInitialFolder(OpenInitDirValue);
    const QString path =
        dialogs_.GetOpenFileName(&window_, {folder, QStringLiteral("Ramki (*.txt *.ir)"),
                                            QStringLiteral("*.txt *.ir"), QString()});
    if (path.isEmpty())
        return;
    WriteInitialFolder(OpenInitDirValue, folder);
    if (path.endsWith(QStringLiteral(".ir"), Qt::CaseInsensitive)) {
        const auto found = ReadSignals(Format::Flipper, path);
        if (found && !found->empty())
            SetReference(found->front().durations);
        return;
    }
    const std::optional<frame::LoadedFrame> loaded = frame::ReadFrameFile(LocalPath(path));
    if (!loaded) {
        ShowError(QStringLiteral("Plik \"%1\" nie jest plikiem ramki.").arg(path));
        return;
    }
    SetReference(loaded->Durations);
}

void FrameWorkbench::StartEmitAndCompare() {
    const frame::PulseFrame& frame = core_.Frame();
    if (frame.Count <= 0) {
        ShowErrorBox(QString::fromUtf8(NoFrameToEmit));
        return;
    }
    reference_ =
        std::vector<int32_t>(frame.Durations.begin(), frame.Durations.begin() + frame.Count);
    core_.EmitujWykresExecute();
    echoTimer_->start(EchoTimeoutMs);
}

void FrameWorkbench::EchoTimedOut() {
    reference_.reset();
    RefreshComparison();
    ShowError(QStringLiteral("Urządzenie nie odesłało nadanej ramki w ciągu %1 s. Sprawdź "
                             "połączenie i czy urządzenie odbiera własną emisję (pętla zwrotna).")
                  .arg(EchoTimeoutMs / 1000));
}

std::optional<std::vector<Signal>> FrameWorkbench::ReadSignals(Format format, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw frame::FileError(QStringLiteral("Cannot open file \"%1\". %2")
                                   .arg(path, file.errorString())
                                   .toStdString());
    }
    const QByteArray bytes = file.read(SignalFileSizeLimit + 1);
    if (bytes.size() > SignalFileSizeLimit) {
        ShowError(QStringLiteral("Plik \"%1\" jest za duży (ponad %2 MiB).")
                      .arg(path)
                      .arg(SignalFileSizeLimit / (1024 * 1024)));
        return std::nullopt;
    }
    try {
        std::vector<Signal> found =
            analysis::formats::Read(format, std::string_view(bytes.constData(), bytes.size()));
        if (found.empty()) {
            ShowError(QStringLiteral("Plik \"%1\" nie zawiera żadnego sygnału.").arg(path));
            return std::nullopt;
        }
        for (Signal& signal : found) {
            // Formats of pairs (Pronto, raw codes) end with the gap after the frame, which a
            // receiver never reports: the frame ends with its last mark, as the device's do.
            if (signal.durations.size() % 2 == 0 && !signal.durations.empty() &&
                std::abs(signal.durations.back()) >= TrailingGapUs) {
                signal.durations.pop_back();
            }
            if (signal.durations.size() > static_cast<size_t>(frame::FrameCapacity)) {
                ShowError(OverlongSignalText(QStringLiteral("Sygnał \"%1\" w pliku \"%2\"")
                                                 .arg(QString::fromStdString(signal.name), path),
                                             signal.durations.size()));
                return std::nullopt;
            }
        }
        return found;
    } catch (const analysis::formats::FormatError& error) {
        ShowError(QStringLiteral("Błąd w pliku \"%1\", %2")
                      .arg(path, QString::fromStdString(error.what())));
        return std::nullopt;
    }
}

void FrameWorkbench::Import(Format format, const QString& path) {
    const auto found = ReadSignals(format, path);
    if (!found)
        return;
    const int32_t mode = core_.Frame().Mode;
    for (const Signal& signal : *found)
        history_->AddLoaded(signal.durations, mode, QString::fromStdString(signal.name));
    TakeIntoFrame(found->front().durations, mode);
    chart_.SetTitle(path);
}

void FrameWorkbench::SaveHistory(const QString& path) {
    WriteSignals(Format::Flipper, path, HistorySignals(false));
}

void FrameWorkbench::LoadHistory(const QString& path) {
    const auto found = ReadSignals(Format::Flipper, path);
    if (!found)
        return;
    for (const Signal& signal : *found)
        history_->AddLoaded(signal.durations, core_.Frame().Mode,
                            QString::fromStdString(signal.name));
}

void FrameWorkbench::Export(Format format, const QString& path) {
    std::vector<Signal> found;
    if (format == Format::Lirc)
        found = HistorySignals(true);
    if (found.empty())
        found = CurrentSignal();
    WriteSignals(format, path, found);
}

void FrameWorkbench::WriteSignals(Format format, const QString& path,
                                  const std::vector<Signal>& found) {
    if (found.empty()) {
        ShowError(QStringLiteral("Brak sygnałów do zapisu."));
        return;
    }
    std::string text;
    try {
        text = analysis::formats::Write(format, found);
    } catch (const analysis::formats::FormatError& error) {
        ShowError(QString::fromStdString(error.what()));
        return;
    }
    frame::WriteFileAtomically(LocalPath(path), text);
}

int FrameWorkbench::CarrierHz() const {
    QString value;
    settings::ReadRegString(QString::fromLatin1(CarrierValue), QString::number(DefaultCarrierHz),
                            QString::fromLatin1(settings::AppKeyPath), value);
    bool ok = false;
    const int hz = value.toInt(&ok);
    return ok && hz >= 10000 && hz <= 500000 ? hz : DefaultCarrierHz;
}

std::vector<Signal> FrameWorkbench::CurrentSignal() const {
    const frame::PulseFrame& frame = core_.Frame();
    if (frame.Count <= 0)
        return {};
    Signal signal;
    signal.name = "Ramka";
    signal.durations.assign(frame.Durations.begin(), frame.Durations.begin() + frame.Count);
    signal.carrierHz = CarrierHz();
    return {signal};
}

std::vector<Signal> FrameWorkbench::HistorySignals(bool namedOnly) const {
    std::vector<Signal> found;
    for (int row = 0; row < history_->Size(); ++row) {
        const HistoryEntry& entry = history_->Entry(row);
        if (namedOnly && entry.name.isEmpty())
            continue;
        Signal signal;
        signal.name = entry.name.isEmpty() ? QStringLiteral("Ramka_%1").arg(row + 1).toStdString()
                                           : entry.name.toStdString();
        signal.durations = entry.durations;
        signal.carrierHz = CarrierHz();
        found.push_back(std::move(signal));
    }
    return found;
}

} // namespace ui

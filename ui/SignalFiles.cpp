#include "ui/SignalFiles.h"

#include "frame/FrameFile.h"
#include "settings/ZorTools.h"
#include "ui/RememberedFolders.h"

#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace ui {

using analysis::formats::Format;
using analysis::formats::Signal;

namespace {

constexpr char CarrierValue[] = "CarrierHz";
constexpr char ImportInitDirValue[] = "ImportInitDir";
constexpr char ExportInitDirValue[] = "ExportInitDir";
constexpr int DefaultCarrierHz = 38000;
// A signal file larger than this is no collection of remote codes; it is refused unread.
constexpr std::size_t SignalFileSizeLimit = 16 * 1024 * 1024;
// A space this long at the end of a signal is the gap before the next frame.
constexpr int32_t TrailingGapUs = 20000;

constexpr SignalFiles::FormatText FormatTexts[] = {
    {Format::Flipper, "Flipper Zero (.ir)…", "Flipper Zero (*.ir)", "*.ir", "ir"},
    {Format::Pronto, "Pronto Hex…", "Pronto Hex (*.txt)", "*.txt", "txt"},
    {Format::Mode2, "LIRC mode2…", "LIRC mode2 (*)", "*", ""},
    {Format::Lirc, "LIRC lircd.conf…", "LIRC (*.conf)", "*.conf", "conf"},
    {Format::IrRemote, "Arduino IRremote…", "Arduino (*.ino *.h)", "*.ino *.h", "ino"},
};

} // namespace

int ConfiguredCarrierHz() {
    QString value;
    settings::ReadRegString(QString::fromLatin1(CarrierValue), QString::number(DefaultCarrierHz),
                            QString::fromLatin1(settings::AppKeyPath), value);
    bool ok = false;
    const int hz = value.toInt(&ok);
    return ok && hz >= 10000 && hz <= 500000 ? hz : DefaultCarrierHz;
}

QString OverlongSignalText(const QString& what, std::size_t count) {
    return QStringLiteral("%1 ma %2 czasów, a ramka mieści najwyżej %3. Nic nie zostało zmienione.")
        .arg(what)
        .arg(count)
        .arg(frame::FrameCapacity);
}

void ShowFeatureError(const QString& text) {
    ShowErrorBox(text + QStringLiteral("   "));
}

std::span<const SignalFiles::FormatText> SignalFiles::Formats() {
    return FormatTexts;
}

QString SignalFiles::AskFile(bool save, Format format) {
    const FormatText& text = *std::find_if(std::begin(FormatTexts), std::end(FormatTexts),
                                           [&](const FormatText& t) { return t.format == format; });
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

std::optional<std::vector<Signal>> SignalFiles::Read(Format format, const QString& path) {
    const std::optional<std::string> bytes =
        frame::ReadRegularFile(LocalPath(path), SignalFileSizeLimit);
    if (!bytes) {
        ShowFeatureError(QStringLiteral("\"%1\" nie jest zwykłym plikiem (to potok lub urządzenie) "
                                        "i nie zostanie odczytany.")
                             .arg(path));
        return std::nullopt;
    }
    if (bytes->size() > SignalFileSizeLimit) {
        ShowFeatureError(QStringLiteral("Plik \"%1\" jest za duży (ponad %2 MiB).")
                             .arg(path)
                             .arg(SignalFileSizeLimit / (1024 * 1024)));
        return std::nullopt;
    }
    try {
        std::vector<Signal> found = analysis::formats::Read(format, *bytes);
        if (found.empty()) {
            ShowFeatureError(QStringLiteral("Plik \"%1\" nie zawiera żadnego sygnału.").arg(path));
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
                ShowFeatureError(
                    OverlongSignalText(QStringLiteral("Sygnał \"%1\" w pliku \"%2\"")
                                           .arg(QString::fromStdString(signal.name), path),
                                       signal.durations.size()));
                return std::nullopt;
            }
        }
        return found;
    } catch (const analysis::formats::FormatError& error) {
        ShowFeatureError(QStringLiteral("Błąd w pliku \"%1\", %2")
                             .arg(path, QString::fromStdString(error.what())));
        return std::nullopt;
    }
}

void SignalFiles::Write(Format format, const QString& path, const std::vector<Signal>& list) {
    if (list.empty()) {
        ShowFeatureError(QStringLiteral("Brak sygnałów do zapisu."));
        return;
    }
    std::string text;
    try {
        text = analysis::formats::Write(format, list);
    } catch (const analysis::formats::FormatError& error) {
        ShowFeatureError(QString::fromStdString(error.what()));
        return;
    }
    frame::WriteFileAtomically(LocalPath(path), text);
}

Signal SignalFiles::ToSignal(std::string name, std::vector<int32_t> durations,
                             const std::optional<frame::SignalCarrier>& carrier) {
    Signal signal;
    signal.name = std::move(name);
    signal.durations = std::move(durations);
    if (carrier) {
        signal.carrierHz = carrier->hz;
        signal.dutyCycle = carrier->dutyCycle;
    } else {
        signal.carrierHz = ConfiguredCarrierHz();
    }
    return signal;
}

std::optional<frame::SignalCarrier> SignalFiles::CarrierOf(Format format, const Signal& signal) {
    // A mode2 capture is demodulated: the reader's carrier is only its default.
    if (format == Format::Mode2)
        return std::nullopt;
    return frame::SignalCarrier{signal.carrierHz, signal.dutyCycle};
}

} // namespace ui

#pragma once

#include "analysis/Formats.h"
#include "frame/FrameEvents.h"
#include "ui/FormSeams.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QWidget;

namespace ui {

// The files of other IR tools as the window's features use them: asking for one (in its remembered
// folder), reading its signals with the user told of every failure, writing signals, and each
// signal's carrier. Main thread only.
class SignalFiles {
public:
    SignalFiles(QWidget& window, FileDialogs& dialogs) : window_(window), dialogs_(dialogs) {}

    // The item text, the dialog's filter and the written suffix of each format, in menu order.
    struct FormatText {
        analysis::formats::Format format;
        const char* item;
        const char* description;
        const char* pattern;
        const char* suffix;
    };
    static std::span<const FormatText> Formats();

    // Asks for a file of the format to write or read; empty when the user cancels.
    QString AskFile(bool save, analysis::formats::Format format);
    // Every signal of the file, each fit to be a frame; nullopt (the user told why) when the file
    // cannot be a source of frames. Throws frame::FileError when it cannot be opened.
    std::optional<std::vector<analysis::formats::Signal>> Read(analysis::formats::Format format,
                                                               const QString& path);
    // Writes the signals as the format's text, replacing the file only once complete.
    void Write(analysis::formats::Format format, const QString& path,
               const std::vector<analysis::formats::Signal>& list);

    // A frame as a signal to write: its own carrier where known, else the configured one.
    static analysis::formats::Signal ToSignal(std::string name, std::vector<int32_t> durations,
                                              const std::optional<frame::SignalCarrier>& carrier);
    // The carrier a file of the format stored for the signal; nullopt where the format keeps none.
    static std::optional<frame::SignalCarrier> CarrierOf(analysis::formats::Format format,
                                                         const analysis::formats::Signal& signal);

private:
    QWidget& window_;
    FileDialogs& dialogs_;
};

// The features' own messages, written without the program's three closing blanks.
void ShowFeatureError(const QString& text);

// The refusal of a signal longer than a frame holds; `what` names the signal and where it is from.
QString OverlongSignalText(const QString& what, std::size_t count);

// The carrier of a signal whose own is not known: the "CarrierHz" setting (38000 when unset).
int ConfiguredCarrierHz();

} // namespace ui

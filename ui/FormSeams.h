#pragma once

#include <QString>

#include <string>

class QWidget;

namespace ui {

// The program's own error message: the text in a modal box captioned " BŁĄD !" with the error
// icon. Texts end in three blanks, as the program's messages do.
inline constexpr char NoFrameToEmit[] = "Brak ramki danych do emisji!   ";
void ShowErrorBox(const QString& text);

// A path a dialog returned, in the file system's own encoding.
std::string LocalPath(const QString& path);

// The file dialogs the main window opens. The window goes through this interface so that tests can
// answer the dialogs without a person.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;

    // What a dialog is opened with.
    struct Request {
        QString initialFolder;
        QString filterDescription; // what the user sees: "Text Files (*.TXT)"
        QString filterPattern;     // what it matches: "*.txt"
        QString defaultSuffix;     // added to a name typed without one when saving: "txt"
    };

    // Each returns the chosen file's full path, or an empty string when the user cancels.

    // Replaces an existing file without asking.
    virtual QString GetSaveFileName(QWidget* parent, const Request& request) = 0;
    // Accepts a name that does not exist; reading it then reports the failure.
    virtual QString GetOpenFileName(QWidget* parent, const Request& request) = 0;
};

// The desktop's file dialogs.
class QtFileDialogs final : public FileDialogs {
public:
    QString GetSaveFileName(QWidget* parent, const Request& request) override;
    QString GetOpenFileName(QWidget* parent, const Request& request) override;
};

// Hands a text (the web label's address) to the desktop to open. The result is not examined.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void Open(const QString& text) = 0;
};

// Opens through QDesktopServices.
class DesktopUrlOpener final : public UrlOpener {
public:
    void Open(const QString& text) override;
};

} // namespace ui

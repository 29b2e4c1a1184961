#include "ui/FormSeams.h"

#include "settings/MsgBox.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QUrl>

namespace ui {

namespace {

QString RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode,
                      const FileDialogs::Request& request) {
    // The description may carry a pattern of its own ("Text Files (*.TXT)"); the matching pattern
    // goes last, and the dialog shows the description only.
    const QString filter =
        request.filterDescription + QStringLiteral(" (") + request.filterPattern + QLatin1Char(')');
    QFileDialog dialog(parent, QString(), request.initialFolder, filter);
    dialog.setAcceptMode(mode);
    // Neither an overwrite question nor a must-exist check: a missing file is reported when it
    // is read.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    // A name typed for saving gets the suffix; one typed for opening names the file as it is, so
    // a file without an extension can be opened.
    if (mode == QFileDialog::AcceptSave) {
        dialog.setDefaultSuffix(request.defaultSuffix);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString QtFileDialogs::GetSaveFileName(QWidget* parent, const Request& request) {
    return RunFileDialog(parent, QFileDialog::AcceptSave, request);
}

QString QtFileDialogs::GetOpenFileName(QWidget* parent, const Request& request) {
    return RunFileDialog(parent, QFileDialog::AcceptOpen, request);
}

void ShowErrorBox(const QString& text) {
    settings::MsgBox(text, QStringLiteral(" BŁĄD !"), settings::MB_ICONERROR);
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

void DesktopUrlOpener::Open(const QString& text) {
    QDesktopServices::openUrl(QUrl::fromUserInput(text));
}

} // namespace ui

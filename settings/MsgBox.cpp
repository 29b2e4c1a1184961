#include "settings/MsgBox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace settings {
namespace {

MsgBoxHook& CurrentHook() {
    static MsgBoxHook hook;
    return hook;
}

QMessageBox::Icon IconFor(int Flags) {
    switch (Flags & 0xF0) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButtons ButtonsFor(int Flags) {
    switch (Flags & 0x0F) {
    case MB_OKCANCEL:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_ABORTRETRYIGNORE:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case MB_YESNOCANCEL:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MB_YESNO:
        return QMessageBox::Yes | QMessageBox::No;
    case MB_RETRYCANCEL:
        return QMessageBox::Retry | QMessageBox::Cancel;
    default:
        return QMessageBox::Ok;
    }
}

int ResultFor(QMessageBox::StandardButton Button) {
    switch (Button) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Abort:
        return IDABORT;
    case QMessageBox::Retry:
        return IDRETRY;
    case QMessageBox::Ignore:
        return IDIGNORE;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDCANCEL;
    }
}

} // namespace

int MsgBox(const QString& Text, const QString& Caption, int Flags) {
    // A copy, so a hook that replaces itself while it runs stays alive until it returns.
    if (const MsgBoxHook hook = CurrentHook()) {
        return hook(Text, Caption, Flags);
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        // No widgets to show it with: keep the text rather than lose it, and report failure.
        qWarning("%s: %s", qUtf8Printable(Caption), qUtf8Printable(Text));
        return 0;
    }
    QMessageBox box(IconFor(Flags), Caption, Text, ButtonsFor(Flags), QApplication::activeWindow());
    // File names and device texts may contain '<': never let them be taken for markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
    // Closing the box by Escape or its close button yields the button QMessageBox chose as the
    // escape button (the only one, or the Cancel/No one), as the Windows box does.
    return ResultFor(box.standardButton(box.clickedButton()));
}

MsgBoxHook SetMsgBoxHook(MsgBoxHook hook) {
    return std::exchange(CurrentHook(), std::move(hook));
}

void ReportException(const std::exception& Error) {
    MsgBox(QString::fromUtf8(Error.what()), QGuiApplication::applicationDisplayName(),
           MB_ICONERROR);
}

} // namespace settings

#include "ui/PortDiagnosis.h"

#include "serial/SerialLine.h"

#include <QStringList>

#include <cerrno>

namespace ui {

QString PortErrorHint(const QString& devicePath, int error, const QString& desc,
                      const std::vector<serial::TPortHolder>& holders) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("Nie ma portu %1: sprawdź nazwę portu i czy urządzenie jest "
                              "podłączone.")
            .arg(devicePath);
    case EBUSY: {
        if (holders.empty()) {
            return QStringLiteral("Port %1 jest zajęty przez inny program.").arg(devicePath);
        }
        QStringList names;
        for (const serial::TPortHolder& holder : holders) {
            names << QStringLiteral("%1 (PID %2)")
                         .arg(QString::fromStdString(holder.Command))
                         .arg(holder.Pid);
        }
        return QStringLiteral("Port %1 jest zajęty przez: %2.")
            .arg(devicePath, names.join(QStringLiteral(", ")));
    }
    case EACCES:
    case EPERM:
        return QStringLiteral("Brak uprawnień do portu %1: dodaj użytkownika do grupy dialout "
                              "(sudo usermod -aG dialout $USER) i zaloguj się ponownie.")
            .arg(devicePath);
    case ENOTTY:
        return QStringLiteral("%1 nie jest portem szeregowym.").arg(devicePath);
    case serial::ErrAlreadyOwned:
        return QStringLiteral("%1 to terminal, w którym działa program, albo konsola systemu, a "
                              "nie port urządzenia: wybierz port odbiornika.")
            .arg(devicePath);
    default:
        return QStringLiteral("Błąd portu %1: %2 %3.").arg(devicePath).arg(error).arg(desc);
    }
}

QString DeviceSilentHint(const QString& devicePath) {
    return QStringLiteral("Port %1 otwarty, ale urządzenie milczy: brak odpowiedzi na AT i ATI.")
        .arg(devicePath);
}

PortDiagnosis::PortDiagnosis(QObject* parent, std::chrono::milliseconds silenceLimit)
    : QObject(parent) {
    silence_.setSingleShot(true);
    silence_.setInterval(silenceLimit);
    connect(&silence_, &QTimer::timeout, this, [this] {
        if (hint_.isEmpty()) {
            SetHint(DeviceSilentHint(devicePath_), {});
            silent_ = true;
        }
    });
}

void PortDiagnosis::AttemptStarted(const std::string& portName) {
    devicePath_ = QString::fromStdString(serial::TSerialLine::PortDevicePath(portName));
    silence_.stop();
    SetHint({}, {});
}

void PortDiagnosis::ComError(int error, const std::string& desc) {
    // Silence is only a guess; an error the port reports says more.
    if (!hint_.isEmpty() && !silent_) {
        return;
    }
    // Only a busy port needs the scan of the process table.
    const std::vector<serial::TPortHolder> holders =
        error == EBUSY ? serial::FindPortHolders(devicePath_.toStdString())
                       : std::vector<serial::TPortHolder>{};
    const QString text = QString::fromStdString(desc);
    SetHint(PortErrorHint(devicePath_, error, text, holders),
            QStringLiteral("Błąd portu: %1 %2").arg(error).arg(text));
}

void PortDiagnosis::PortOpened() {
    silence_.start();
}

void PortDiagnosis::DeviceAnswered() {
    silence_.stop();
    SetHint({}, {});
}

void PortDiagnosis::LinkDropped() {
    silence_.stop();
}

void PortDiagnosis::SetHint(const QString& hint, const QString& error) {
    silent_ = false;
    if (hint == hint_ && error == error_) {
        return;
    }
    hint_ = hint;
    error_ = error;
    emit HintChanged(hint_);
}

} // namespace ui

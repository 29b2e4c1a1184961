#include "ui/PortDiagnosis.h"

#include "serial/PortHints.h"
#include "serial/SerialLine.h"

namespace ui {

PortDiagnosis::PortDiagnosis(QObject* parent, std::chrono::milliseconds silenceLimit)
    : QObject(parent) {
    silence_.setSingleShot(true);
    silence_.setInterval(silenceLimit);
    connect(&silence_, &QTimer::timeout, this, [this] {
        if (hint_.isEmpty()) {
            SetHint(QString::fromStdString(serial::DeviceSilentHint(devicePath_.toStdString())),
                    {});
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
    SetHint(QString::fromStdString(serial::PortErrorHint(devicePath_.toStdString(), error, desc)),
            QStringLiteral("Błąd portu: %1 %2").arg(error).arg(QString::fromStdString(desc)));
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

#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <string>

namespace ui {

// Follows one connection attempt and keeps why it does not work, in the words of
// serial/PortHints.h: the first error the port reports (the ones after it are mostly its
// consequences, such as configuring a port that never opened), or the device's silence when the
// port opened but no line came back within `silenceLimit`, until an error says more. The cause is
// dropped when a new attempt starts and when the device answers.
class PortDiagnosis final : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DefaultSilenceLimit{3000};

    explicit PortDiagnosis(QObject* parent = nullptr,
                           std::chrono::milliseconds silenceLimit = DefaultSilenceLimit);

    // A new attempt on the port `portName` as the user gave it.
    void AttemptStarted(const std::string& portName);
    void ComError(int error, const std::string& desc);
    void PortOpened();
    // Any line from the device.
    void DeviceAnswered();
    void LinkDropped();
    // A device's own word on what is wrong (or what the user should do).
    void DeviceHint(const QString& hint) { SetHint(hint, {}); }

    // Empty while nothing is wrong.
    QString Hint() const { return hint_; }
    // The port error behind the hint, with its code and the driver's text; empty while the hint
    // names no error (nothing wrong, or only the device's silence).
    QString ErrorText() const { return error_; }

signals:
    // The hint or the error behind it changed.
    void HintChanged(const QString& hint);

private:
    void SetHint(const QString& hint, const QString& error);

    QString devicePath_;
    QString hint_;
    QString error_;
    bool silent_ = false; // the hint is the silence guess
    QTimer silence_;
};

} // namespace ui

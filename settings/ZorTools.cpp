#include "settings/ZorTools.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QVariant>

namespace settings {

QString RegistryFilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/dekoder-ir/registry.ini");
}

QString RegistryKey(const QString& KeyPath, const QString& ValueName) {
    if (KeyPath.isEmpty() || ValueName.isEmpty()) {
        return {};
    }
    QStringList parts = QString(KeyPath)
                            .replace(QLatin1Char('\\'), QLatin1Char('/'))
                            .split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        return {};
    }
    parts.append(ValueName);
    return parts.join(QLatin1Char('/'));
}

void ReadRegString(const QString& ValueName, const QString& Default, const QString& KeyPath,
                   QString& Value, RegRoot /*RootKey*/) {
    Value = Default;
    const QString key = RegistryKey(KeyPath, ValueName);
    if (key.isEmpty()) {
        return;
    }
    const QString path = RegistryFilePath();
    // Checked first so that reading never leaves a file, a folder or a lock file behind.
    if (!QFileInfo(path).isFile()) {
        return;
    }
    // A slightly malformed file is read for what it holds: QSettings reports the format error only
    // to the first reader in a process, so refusing on it would depend on who read first.
    const QSettings store(path, QSettings::IniFormat);
    const QVariant stored = store.value(key);
    // Only a plain string counts: lists, typed @Variant values and byte arrays read as missing.
    if (stored.typeId() != QMetaType::QString) {
        return;
    }
    Value = stored.toString();
}

bool WriteRegString(const QString& ValueName, const QString& Value, const QString& KeyPath,
                    RegRoot RootKey) {
    return WriteRegStrings({{ValueName, Value}}, KeyPath, RootKey).front();
}

std::vector<bool> WriteRegStrings(const std::vector<RegValue>& Values, const QString& KeyPath,
                                  RegRoot /*RootKey*/) {
    std::vector<bool> written(Values.size(), false);
    std::vector<QString> keys;
    keys.reserve(Values.size());
    bool any = false;
    for (const RegValue& entry : Values) {
        const QString key = entry.Value.isEmpty() ? QString() : RegistryKey(KeyPath, entry.Name);
        any = any || !key.isEmpty();
        keys.push_back(key);
    }
    if (!any) {
        return written;
    }
    const QString path = RegistryFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return written;
    }
    QSettings store(path, QSettings::IniFormat);
    // With atomic sync (the default, stated here so it cannot silently change) the file is written
    // to a temporary file and renamed over the old one; when that is impossible nothing is written.
    store.setAtomicSyncRequired(true);
    for (std::size_t i = 0; i < Values.size(); ++i) {
        if (!keys[i].isEmpty()) {
            store.setValue(keys[i], Values[i].Value);
        }
    }
    store.sync();
    if (store.status() == QSettings::NoError) {
        for (std::size_t i = 0; i < Values.size(); ++i) {
            written[i] = !keys[i].isEmpty();
        }
    }
    return written;
}

quint32 TickCount() {
    static const QElapsedTimer origin = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    // The monotonic clock's own reference point, truncated to 32 bits like a system tick count.
    return static_cast<quint32>(origin.msecsSinceReference() + origin.elapsed());
}

void Delay(int Milliseconds) {
    QAbstractEventDispatcher* const dispatcher = QThread::currentThread()->eventDispatcher();
    // A wake-up timer lets the loop sleep in the event dispatcher instead of spinning, while any
    // event that arrives meanwhile (a worker's blocking call, a timer) is handled at once.
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);
    const quint32 start = TickCount();
    for (;;) {
        const quint32 now = TickCount();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const qint64 elapsed = TickDifference(start, now);
        if (elapsed >= Milliseconds) {
            return;
        }
        const qint64 remaining = qint64(Milliseconds) - elapsed;
        if (dispatcher == nullptr) {
            QThread::msleep(static_cast<unsigned long>(remaining));
            continue;
        }
        wakeUp.start(static_cast<int>(remaining));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        wakeUp.stop();
    }
}

} // namespace settings

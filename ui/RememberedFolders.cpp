#include "ui/RememberedFolders.h"

#include "settings/ZorTools.h"

#include <QDir>

namespace ui {

QString DialogInitialFolder(const QString& stored) {
    if (stored.size() > 1 && stored.endsWith(QLatin1Char('/'))) {
        return stored.chopped(1);
    }
    return stored;
}

QString ReadInitialFolder(const char* valueName) {
    QString stored;
    settings::ReadRegString(QString::fromLatin1(valueName), QDir::homePath(), settings::AppKeyPath,
                            stored);
    return DialogInitialFolder(stored);
}

void WriteInitialFolder(const char* valueName, const QString& folder) {
    settings::WriteRegString(QString::fromLatin1(valueName), folder, settings::AppKeyPath);
}

} // namespace ui

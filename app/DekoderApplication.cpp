#include "app/DekoderApplication.h"

#include "serial/EnumComPorts.h"
#include "settings/MsgBox.h"

#include <QLibraryInfo>
#include <QLocale>

#include <exception>
#include <stdexcept>
#include <string_view>

namespace app {

DekoderApplication::DekoderApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Without the translations installed the dialogs stay English; the program works all the same.
    if (qtTexts_.load(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(&qtTexts_);
    }
    // The port list reports an unreadable source to the user, in a box with a single OK button.
    serial::SetEnumMessageHook([](std::string_view text) {
        settings::MsgBox(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                         QString(), settings::MB_OK);
    });
}

DekoderApplication::~DekoderApplication() {
    serial::SetEnumMessageHook({});
}

bool DekoderApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        settings::ReportException(error);
    } catch (...) {
        settings::ReportException(std::runtime_error("Nieznany błąd programu."));
    }
    return false;
}

} // namespace app

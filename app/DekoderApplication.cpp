#include "app/DekoderApplication.h"

#include "settings/MsgBox.h"

#include <exception>
#include <stdexcept>

namespace app {

DekoderApplication::DekoderApplication(int& argc, char** argv) : QApplication(argc, argv) {}

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

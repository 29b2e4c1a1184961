#pragma once

#include <QApplication>

namespace app {

// The program's application object. An exception that escapes an event handler is shown in the
// application's error message box, and the event loop goes on.
class DekoderApplication : public QApplication {
public:
    DekoderApplication(int& argc, char** argv);
    ~DekoderApplication() override;
    DekoderApplication(const DekoderApplication&) = delete;
    DekoderApplication& operator=(const DekoderApplication&) = delete;

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace app

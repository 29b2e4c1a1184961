#pragma once

#include <QApplication>
#include <QTranslator>

namespace app {

// The program's application object. An exception that escapes an event handler is shown in the
// application's error message box, and the event loop goes on. Qt's own texts (the standard
// dialogs and buttons) are Polish, as the windows are.
class DekoderApplication : public QApplication {
public:
    DekoderApplication(int& argc, char** argv);
    ~DekoderApplication() override;
    DekoderApplication(const DekoderApplication&) = delete;
    DekoderApplication& operator=(const DekoderApplication&) = delete;

    bool notify(QObject* receiver, QEvent* event) override;

private:
    QTranslator qtTexts_;
};

} // namespace app

// Start-up and shutdown of the whole program on its own application object: the window order, the
// application's handling of exceptions that escape handlers, and an orderly, quick end with the
// port open.

#include "app/DekoderApplication.h"
#include "app/Program.h"
#include "tests/support/PinnedFonts.h"
#include "tests/support/TempConfigHome.h"
#include "tests/ui/FormTestSupport.h"
#include "ui/frmCodeCu.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gmock/gmock.h>

#include <stdexcept>

namespace {

using formtest::MessageBoxRecorder;
using formtest::WaitUntil;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

app::DekoderApplication& Application() {
    static testsupport::TempConfigHome configHome;
    static int argc = 1;
    static char name[] = "app_startup_test";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    testsupport::PinFonts();
    static app::DekoderApplication application(argc, argv);
    return application;
}

class Thrower : public QObject {
public:
    int handled = 0;

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            ++handled;
            throw std::runtime_error("Cannot open file \"x\". No such file or directory");
        }
        return QObject::event(event);
    }
};

TEST(Application, ExceptionEscapingAHandlerIsShownAndTheLoopGoesOn) {
    Application();
    MessageBoxRecorder boxes;
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    bool loopWentOn = false;
    QTimer::singleShot(100, [&] {
        loopWentOn = true;
        QCoreApplication::quit();
    });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(loopWentOn);
    EXPECT_EQ(thrower.handled, 2);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, "Cannot open file \"x\". No such file or directory");
    EXPECT_EQ(boxes.boxes[0].flags & settings::MB_ICONERROR, settings::MB_ICONERROR);
}

TEST(Application, FileErrorOfAMenuCommandIsShownAndTheProgramGoesOn) {
    Application();
    MessageBoxRecorder boxes;
    auto window = formtest::MakeWindow();
    window->ZorComPort1RxString(nullptr, formtest::FrameLine("560,1690"));
    window.dialogs->answers.push_back(QStringLiteral("/nonexistent/frame.txt"));
    window.Item(7)->trigger(); // "Wczytaj ramkę"
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_THAT(boxes.boxes[0].text.toStdString(),
                HasSubstr("Cannot open file \"/nonexistent/frame.txt\"."));
    EXPECT_EQ(window->PulseFrame().Count, 2);
}

// Qt's own texts are Polish; the program's own English texts stay as they are.
TEST(Application, StandardDialogsAndButtonsArePolish) {
    Application();
    const std::pair<const char*, const char*> texts[] = {
        {"QFileDialog", "Look in:"}, {"QFileDialog", "Save As"}, {"QPlatformTheme", "Cancel"}};
    const char* const polish[] = {"Szukaj w:", "Zachowaj jako", "Anuluj"};
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        EXPECT_EQ(QCoreApplication::translate(texts[i].first, texts[i].second),
                  QString::fromUtf8(polish[i]));
    }
    EXPECT_EQ(ui::TForm2().windowTitle(), "C table generator");
}

struct RunRecord {
    int exitCode = -1;
    bool form2HiddenAtStart = false;
    bool linked = false;
    qint64 closeMs = -1;
    std::vector<std::string> destroyed;
};

// Runs the program against `port`, closes the main window once `readyToClose` holds (or after
// 8 s), and measures how long the program takes to end after the close.
RunRecord RunAndClose(const QString& port, const std::function<bool(ui::TForm1&)>& readyToClose) {
    Application();
    formtest::SavePort(port);
    RunRecord record;
    QElapsedTimer sinceClose;
    QElapsedTimer sinceStart;
    sinceStart.start();
    QTimer poll;
    record.exitCode = app::RunProgram({}, [&](ui::TForm1& Form1, ui::TForm2& Form2) {
        record.form2HiddenAtStart = !Form2.isVisible();
        QObject::connect(&Form2, &QObject::destroyed, [&] { record.destroyed.push_back("Form2"); });
        QObject::connect(&Form1, &QObject::destroyed, [&] { record.destroyed.push_back("Form1"); });
        QObject::connect(&poll, &QTimer::timeout, &Form1, [&] {
            if (readyToClose(Form1) || sinceStart.elapsed() > 8000) {
                record.linked = Form1.Core().LinkConfirmed();
                poll.stop();
                sinceClose.start();
                Form1.close();
            }
        });
        poll.start(20);
    });
    record.closeMs = sinceClose.elapsed();
    return record;
}

TEST(Program, ClosingWithThePortOpenEndsWorkerAndProgramWithin3s) {
    formtest::Device device;
    RunRecord record =
        RunAndClose(device.Link(), [](ui::TForm1& form) { return form.Core().LinkConfirmed(); });
    EXPECT_TRUE(record.linked);
    EXPECT_EQ(record.exitCode, 0);
    EXPECT_TRUE(record.form2HiddenAtStart);
    EXPECT_LT(record.closeMs, 3000);
    // The windows go in reverse order of creation.
    EXPECT_THAT(record.destroyed, ElementsAre("Form2", "Form1"));

    // Also while the worker waits on a device that never answers.
    formtest::Device silent(false);
    silent->SetSilent(true);
    record =
        RunAndClose(silent.Link(), [&](ui::TForm1&) { return silent->CommandTexts().size() >= 2; });
    EXPECT_EQ(record.exitCode, 0);
    EXPECT_LT(record.closeMs, 3000);
}

TEST(Program, StartsAndEndsWithNoSerialPort) {
    const RunRecord record =
        RunAndClose(QStringLiteral("/nonexistent/ttyIR0"),
                    [](ui::TForm1& form) { return !form.LastComErrorText().isEmpty(); });
    EXPECT_EQ(record.exitCode, 0);
    EXPECT_FALSE(record.linked);
    EXPECT_LT(record.closeMs, 3000);
}

} // namespace

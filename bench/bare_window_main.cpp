// The smallest Qt window program: the yardstick for the program's start-up and close. It shows one
// main window of the program's size, reports the moments of its start-up as the program's probe
// does
// ("MAIN", "APP", "CREATED", "SHOWN" with monotonic ns),
// "CLOSE <monotonic ns>" as it closes it at once, and "ENDED <monotonic ns>" before it returns.
// With BARE_WINDOW_TEXT=1 the window shows one line of text, so it pays for the fonts as well.
#include "bench/ShownProbe.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
    bench::ReportMoment("MAIN");
    QApplication application(argc, argv);
    bench::ReportMoment("APP");
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Dekoder IR"));
    window.resize(811, 312);
    if (qEnvironmentVariableIntValue("BARE_WINDOW_TEXT") != 0) {
        window.setCentralWidget(new QLabel(QStringLiteral("Graficzny dekoder pilotów"), &window));
    }
    bench::ShownProbe probe(window, [&window] {
        bench::ReportMoment("CLOSE");
        window.close();
    });
    bench::ReportMoment("CREATED");
    window.show();
    const int code = QApplication::exec();
    bench::ReportMoment("ENDED");
    return code;
}

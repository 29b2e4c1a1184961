// Writes a picture of the main window for the documentation: runs the program's windows against
// the device named in the settings, waits for the first frame a protocol is decoded in, turns the
// duration labels on and saves the window as a PNG file.
//
//   dekoder-screenshot OUTPUT.png [TIMEOUT_SECONDS]
//
// Exit code 0 when the picture was written, 1 otherwise.

#include "app/DekoderApplication.h"
#include "app/Program.h"
#include "ui/DecodeOverlay.h"
#include "ui/frmCodeCu.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    app::DekoderApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [TIMEOUT_SECONDS]\n", argv[0]);
        return 1;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    const int timeoutMs = (argc > 2 ? std::stoi(argv[2]) : 30) * 1000;

    bool written = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    app::RunProgram({}, [&](ui::TForm1& Form1, ui::TForm2&) {
        QObject::connect(&poll, &QTimer::timeout, &Form1, [&] {
            if (clock.elapsed() > timeoutMs) {
                std::fprintf(stderr, "No decoded frame arrived within the time limit.\n");
                poll.stop();
                Form1.close();
                return;
            }
            if (Form1.PulseFrame().Count == 0 || Form1.Decoder()->Decodes().empty()) {
                return;
            }
            poll.stop();
            Form1.findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(true);
            // Give the chart's queued repaint a pass of the loop before grabbing.
            QTimer::singleShot(500, &Form1, [&] {
                written = Form1.grab().save(output, "PNG");
                if (!written) {
                    std::fprintf(stderr, "Cannot write %s\n", argv[1]);
                }
                Form1.close();
            });
        });
        poll.start(100);
    });
    return written ? 0 : 1;
}

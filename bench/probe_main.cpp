// The program as it starts from its entry point, with a probe that reports to a watching process
// (bench/process_bench) when the main window is shown, when the link to the device stands, how
// much processor time it uses while idle, and when it is asked to close.
//
// What it does after the window is shown is chosen by DEKODER_PROBE_MODE:
//   startup  close at once (after the link stands when DEKODER_PROBE_LINK=1);
//   idle     wait 1 s, then report "IDLE <cpu s> <wall s>" over DEKODER_PROBE_IDLE_MS (10000) ms,
//            then close (after the link stands when DEKODER_PROBE_LINK=1);
//   frames   report "LINKED" once the link stands, close after DEKODER_PROBE_FRAMES frame lines
//            (the device may still be sending).
// Every close is preceded by "CLOSE <monotonic ns>"; "ENDED <monotonic ns>" follows the event
// loop's end and the windows' destruction.
#include "app/DekoderApplication.h"
#include "app/Program.h"
#include "bench/ShownProbe.h"
#include "frame/PulseFrame.h"

#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int EnvInt(const char* name, int fallback) {
    const QByteArray value = qgetenv(name);
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : fallback;
}

void Close(ui::TForm1& form) {
    bench::ReportMoment("CLOSE");
    form.close();
}

// Calls `then` once the device has answered, checking every 5 ms.
void WhenLinked(ui::TForm1& form, std::function<void()> then) {
    auto* timer = new QTimer(&form);
    QObject::connect(timer, &QTimer::timeout, &form, [&form, timer, then = std::move(then)] {
        if (form.Core().LinkConfirmed()) {
            timer->stop();
            timer->deleteLater();
            bench::ReportMoment("LINKED");
            then();
        }
    });
    timer->start(5);
}

void AfterShown(ui::TForm1& form, const std::string& mode, bool link) {
    const auto next = [&form, mode] {
        if (mode == "idle") {
            QTimer::singleShot(1s, &form, [&form] {
                const double cpu0 = CpuSeconds();
                const auto wall0 = bench::Clock::now();
                QTimer::singleShot(EnvInt("DEKODER_PROBE_IDLE_MS", 10000), &form,
                                   [&form, cpu0, wall0] {
                                       std::printf("IDLE %.6f %.6f\n", CpuSeconds() - cpu0,
                                                   bench::Seconds(wall0, bench::Clock::now()));
                                       Close(form);
                                   });
            });
        } else if (mode == "frames") {
            // The frame count is taken in OnRxString, set up before the window was shown.
        } else {
            Close(form);
        }
    };
    if (link || mode == "frames") {
        WhenLinked(form, next);
    } else {
        next();
    }
}

} // namespace

int main(int argc, char** argv) {
    bench::ReportMoment("MAIN");
    app::DekoderApplication application(argc, argv);
    bench::ReportMoment("APP");
    const std::string mode = qEnvironmentVariable("DEKODER_PROBE_MODE", "startup").toStdString();
    const bool link = EnvInt("DEKODER_PROBE_LINK", 0) != 0;
    const int frames = EnvInt("DEKODER_PROBE_FRAMES", 1000);
    std::unique_ptr<bench::ShownProbe> probe;
    int handled = 0;
    const int code = app::RunProgram({}, [&](ui::TForm1& form, ui::TForm2&) {
        bench::ReportMoment("CREATED");
        probe = std::make_unique<bench::ShownProbe>(
            form, [&form, mode, link] { AfterShown(form, mode, link); });
        if (mode == "frames") {
            serial::TZorComPort& port = *form.ZorComPort1();
            port.OnRxString = [&form, &handled, frames, handler = port.OnRxString](
                                  QObject* sender, const std::string& line) {
                handler(sender, line);
                if (line.starts_with(frame::DeviceSignature) && ++handled == frames) {
                    std::printf("FRAMES %d\n", handled);
                    // As a user's close would: from the event loop, while the flood goes on.
                    QTimer::singleShot(0, &form, [&form] { Close(form); });
                }
            };
        }
    });
    probe.reset();
    bench::ReportMoment("ENDED");
    return code;
}

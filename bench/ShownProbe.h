#pragma once

// Tells a watching process when a program's main window has been shown: after the first paint of
// that window has been carried out, it writes "SHOWN <monotonic ns>" to standard output. The
// start-up measurement uses it alike in the program and in the bare window it is compared with.

#include "bench/BenchSupport.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>

namespace bench {

class ShownProbe : public QObject {
public:
    // `then` runs on the main thread right after the report.
    ShownProbe(QWidget& window, std::function<void()> then)
        : window_(window), then_(std::move(then)) {
        qApp->installEventFilter(this);
    }
    ~ShownProbe() override { qApp->removeEventFilter(this); }

    ShownProbe(const ShownProbe&) = delete;
    ShownProbe& operator=(const ShownProbe&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == &window_) {
            seen_ = true;
            // A paint pass covers the whole window in one go: once the event loop comes back the
            // window is on the screen.
            QTimer::singleShot(0, this, [this] {
                std::printf("SHOWN %lld\n", static_cast<long long>(MonotonicNs()));
                std::fflush(stdout);
                if (then_) {
                    then_();
                }
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget& window_;
    std::function<void()> then_;
    bool seen_ = false;
};

// Reports a named moment as "<name> <monotonic ns>".
inline void ReportMoment(const char* name) {
    std::printf("%s %lld\n", name, static_cast<long long>(MonotonicNs()));
    std::fflush(stdout);
}

} // namespace bench

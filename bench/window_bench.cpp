// The main window fed by the simulated device, in one process (offscreen, marks with labels on):
//   - end to end: a flood of 301-pulse frames, each handled and drawn (DrawFrame rebuilds the
//     chart for every one; repaints may coalesce), frames per second and frames lost, with the
//     protocol decode off and on;
//   - latency: frames sent one at a time, from the moment the device wrote a frame's last byte
//     to the moment the chart holds its points, and to the start of the chart's next repaint.
//
// Usage: window_bench [--rounds N] [--frames N] [--latency-frames N]
#include "bench/BenchSupport.h"
#include "frame/PulseFrame.h"
#include "settings/ZorTools.h"
#include "tools/irsim/Protocol.h"
#include "tools/irsim/Simulator.h"
#include "ui/ChartView.h"
#include "ui/DecodeMenu.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QApplication>
#include <QEvent>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using bench::Clock;

// Watches the window's handling of frame lines: the moment each handler call returned and whether
// the chart then showed that frame, and every repaint of the chart.
class FrameWatch : public QObject {
public:
    explicit FrameWatch(ui::TForm1& form) : form_(form) {
        serial::TZorComPort& port = *form.ZorComPort1();
        handler_ = port.OnRxString;
        port.OnRxString = [this](QObject* sender, const std::string& line) {
            handler_(sender, line);
            if (line.starts_with(frame::DeviceSignature)) {
                Handled();
            }
        };
        form.Chart1()->Plot()->installEventFilter(this);
    }

    // Starts a new count; the next frame handled is expected to be flood frame `firstIndex`.
    void Reset(std::size_t firstIndex = 0) {
        frames_ = 0;
        good_ = 0;
        paints_ = 0;
        nextIndex_ = firstIndex;
    }
    std::size_t Frames() const { return frames_; }
    std::size_t Good() const { return good_; }
    std::size_t Paints() const { return paints_; }
    Clock::time_point First() const { return first_; }
    Clock::time_point Last() const { return last_; }
    Clock::time_point LastPaint() const { return lastPaint_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints_;
            lastPaint_ = Clock::now();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Handled() {
        const Clock::time_point now = Clock::now();
        if (frames_ == 0) {
            first_ = now;
        }
        last_ = now;
        const auto& points = form_.Chart1()->Points();
        const QString marker = QString::number(bench::FloodMarker(nextIndex_));
        if (points.size() == 2 * static_cast<std::size_t>(frame::FrameCapacity) + 1 &&
            points.back().Label == marker) {
            ++good_;
        }
        ++frames_;
        ++nextIndex_;
    }

    ui::TForm1& form_;
    serial::TOnRxString handler_;
    std::size_t frames_ = 0;
    std::size_t good_ = 0;
    std::size_t paints_ = 0;
    std::size_t nextIndex_ = 0;
    Clock::time_point first_{};
    Clock::time_point last_{};
    Clock::time_point lastPaint_{};
};

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    bench::PrivateConfigHome config;
    QApplication app(argc, argv);
    const std::size_t rounds = bench::ArgValue(argc, argv, "--rounds", 3);
    const std::size_t frames = bench::ArgValue(argc, argv, "--frames", 2000);
    const std::size_t latencyFrames = bench::ArgValue(argc, argv, "--latency-frames", 1000);

    irsim::Simulator device;
    settings::WriteRegString(QStringLiteral("Port komunikacyjny"),
                             QString::fromStdString(device.SlavePath()), settings::AppKeyPath);
    ui::TForm1 form;
    form.show();
    if (!bench::WaitUntil([&] { return form.Core().LinkConfirmed(); }, 10s)) {
        std::fprintf(stderr, "the window did not connect to %s\n", device.SlavePath().c_str());
        return 1;
    }
    form.Chart1()->SetMarksVisible(true);
    FrameWatch watch(form);

    // End to end, the protocol decode off and on in alternate rounds, so that both meet the same
    // load of the machine.
    struct Flood {
        std::vector<double> rates;
        std::size_t lost = 0;
        std::size_t paints = 0;
    };
    std::array<Flood, 2> floods; // decoding off, on
    QAction* decoding = form.DecodeItems()->Dekodujprotok1;
    for (std::size_t round = 0; round < rounds; ++round) {
        for (const bool on : {false, true}) {
            decoding->setChecked(on);
            Flood& flood = floods[on ? 1 : 0];
            watch.Reset();
            const Clock::time_point start = Clock::now();
            device.Flood(frames);
            bench::WaitUntil([&] { return watch.Frames() >= frames; }, 120s);
            const double seconds = bench::Seconds(watch.First(), watch.Last());
            flood.rates.push_back(
                watch.Frames() > 1 ? static_cast<double>(watch.Frames() - 1) / seconds : 0.0);
            flood.lost += frames - watch.Good();
            flood.paints += watch.Paints();
            std::fprintf(stderr,
                         "round %zu, decoding %s: %zu frames, %zu as sent, %.0f frames/s, %zu "
                         "paints, %.2f s\n",
                         round + 1, on ? "on" : "off", watch.Frames(), watch.Good(),
                         flood.rates.back(), watch.Paints(), bench::Seconds(start, Clock::now()));
            // Let the last repaint and the device settle before the next round.
            bench::WaitUntil([] { return false; }, 200ms);
        }
    }
    // The latency is that of the program's default, decoding on.
    decoding->setChecked(true);

    // Latency: one frame at a time, each sent once the previous one has been drawn and painted.
    std::vector<double> toPoints;
    std::vector<double> toPaint;
    std::size_t latencyLost = 0;
    for (std::size_t i = 0; i < latencyFrames; ++i) {
        watch.Reset(i);
        const irsim::Ticket ticket = device.SendFrame(irsim::FloodFrame(i));
        const bool handled = bench::WaitUntil([&] { return watch.Frames() >= 1; }, 2s);
        const std::optional<Clock::time_point> written = device.WaitWritten(ticket, 2s);
        if (!handled || !written || watch.Good() != 1) {
            ++latencyLost;
            continue;
        }
        toPoints.push_back(
            std::chrono::duration<double, std::milli>(watch.Last() - *written).count());
        if (bench::WaitUntil([&] { return watch.Paints() >= 1; }, 1s)) {
            toPaint.push_back(
                std::chrono::duration<double, std::milli>(watch.LastPaint() - *written).count());
        }
        // Spaced out: the next frame comes a little after the repaint.
        bench::WaitUntil([] { return false; }, 2ms);
    }

    std::printf(
        "End to end: %zu rounds of a %zu-frame flood into the main window (offscreen, marks "
        "with labels on) with the protocol decode off and on, in alternate rounds; frames per "
        "second between the first and the last frame handled.\n\n",
        rounds, frames);
    bench::PrintRow({"Measure", "Value", "Target", "Verdict"});
    bench::PrintRow({"---", "---:", "---:", "---"});
    const double rateOff = bench::Median(floods[0].rates);
    const double rateOn = bench::Median(floods[1].rates);
    for (const bool on : {false, true}) {
        const Flood& flood = floods[on ? 1 : 0];
        const double rate = on ? rateOn : rateOff;
        const auto [low, high] = std::minmax_element(flood.rates.begin(), flood.rates.end());
        const std::string decoding = on ? ", protocol decoding on" : ", protocol decoding off";
        bench::PrintRow({"frames handled and drawn per second (median)" + decoding,
                         bench::Fixed(rate, 0), "≥ 1000", bench::Verdict(rate >= 1000)});
        bench::PrintRow({"lowest – highest round" + decoding,
                         bench::Fixed(*low, 0) + " – " + bench::Fixed(*high, 0), "", ""});
        bench::PrintRow({"frames lost or not shown as sent" + decoding,
                         std::to_string(flood.lost) + " of " + std::to_string(rounds * frames), "0",
                         bench::Verdict(flood.lost == 0)});
        bench::PrintRow(
            {"chart repaints per frame" + decoding,
             bench::Fixed(static_cast<double>(flood.paints) / static_cast<double>(rounds * frames),
                          3),
             "", ""});
    }
    const double share = rateOff > 0 ? rateOn / rateOff : 0.0;
    bench::PrintRow({"frames per second, decoding on / off", bench::Fixed(100 * share, 1) + " %",
                     "≥ 90 %", bench::Verdict(share >= 0.9)});
    std::printf("\nLatency, protocol decoding on: %zu frames sent one at a time, each after the "
                "previous one was painted; "
                "from the device writing the last byte to the chart holding the frame's points "
                "(and to the start of the chart's repaint).\n\n",
                latencyFrames);
    const double median = bench::Median(toPoints);
    bench::PrintRow({"Measure", "Median", "99th percentile", "Target", "Verdict"});
    bench::PrintRow({"---", "---:", "---:", "---:", "---"});
    bench::PrintRow({"last byte written → chart holds the points (ms)", bench::Fixed(median, 3),
                     bench::Fixed(bench::Percentile(toPoints, 0.99), 3), "median ≤ 3",
                     bench::Verdict(median <= 3)});
    bench::PrintRow({"last byte written → chart repaint starts (ms)",
                     bench::Fixed(bench::Median(toPaint), 3),
                     bench::Fixed(bench::Percentile(toPaint, 0.99), 3), "", ""});
    bench::PrintRow({"frames lost",
                     std::to_string(latencyLost) + " of " + std::to_string(latencyFrames), "", "0",
                     bench::Verdict(latencyLost == 0)});
    form.close();
    return 0;
}

// The window with a full frame history (offscreen): how long it takes to fill the history with
// 1000 decoded frames, and how long choosing one entry takes until the chart has been painted
// with it (the history table scrolled to it, the frame taken, the chart redrawn and repainted).
//
// Usage: history_bench [--selections N]
#include "analysis/Analysis.h"
#include "bench/BenchSupport.h"
#include "settings/ZorTools.h"
#include "ui/ChartView.h"
#include "ui/FrameHistory.h"
#include "ui/FrameWorkbench.h"
#include "ui/HistoryKeeper.h"
#include "ui/HistoryPanel.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    const int selections = static_cast<int>(bench::ArgValue(argc, argv, "--selections", 300));

    ui::TForm1 form;
    form.resize(1200, 500);
    form.show();
    ui::HistoryKeeper& bench = form.Workbench()->History();
    bench.Item()->setChecked(true);
    ui::FrameHistory& history = bench.Entries();

    using Clock = std::chrono::steady_clock;
    const auto fillStart = Clock::now();
    for (int i = 0; i < ui::FrameHistory::Capacity; ++i) {
        const auto frame = analysis::Render("NEC1", {{"D", i % 256}, {"F", (i * 7) % 256}}, i % 3);
        history.AddLoaded(*frame, 1, QString::number(i));
    }
    const double fillMs =
        std::chrono::duration<double, std::milli>(Clock::now() - fillStart).count();

    std::vector<double> ms;
    for (int n = 0; n < selections; ++n) {
        const int row = (n * 397) % history.Size();
        const auto start = Clock::now();
        bench.Panel()->SelectRow(row);
        bench.Choose(row);
        form.Chart1()->Plot()->replot(QCustomPlot::rpImmediateRefresh);
        form.Chart1()->Plot()->repaint();
        bench.Panel()->Table()->repaint();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("history of %d entries filled (each decoded) in %.1f ms (%.1f us per entry)\n",
                history.Size(), fillMs, fillMs * 1000.0 / history.Size());
    std::printf("choosing an entry until the chart is painted: median %.2f ms, p99 %.2f ms, max "
                "%.2f ms over %d choices (target < 20 ms)\n",
                ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back(), selections);
    return 0;
}

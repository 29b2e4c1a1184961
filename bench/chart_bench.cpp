// The cost of drawing a full frame on the chart: the points DrawFrame hands over for a 301-pulse
// frame with the marks on, separately the one repaint they end in, and what the protocol decode
// adds to each drawing (analysis and annotation layout) and to each repaint.
#include "ui/ChartView.h"
#include "ui/DecodeOverlay.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

struct FramePoint {
    double X;
    double Y;
    std::string Label;
};

// The 603 points of a 301-pulse frame in receiver view.
std::vector<FramePoint> FullFramePoints() {
    std::vector<FramePoint> points;
    double level = 0.1;
    double x = 0;
    points.push_back({0, level, ""});
    for (int i = 0; i < 301; ++i) {
        const int duration = i % 2 ? 1690 : 560;
        x += duration;
        points.push_back({x - duration, level, "."});
        points.push_back({x, level, std::to_string(duration)});
        level = level == 1.0 ? 0.1 : 1.0;
    }
    return points;
}

void FillChart(ui::ChartView& view, const std::vector<FramePoint>& points) {
    view.ClearSeries();
    view.SetBottomAxisAutomatic();
    for (const FramePoint& point : points) {
        view.AddPoint(point.X, point.Y, point.Label);
    }
}

void BM_DrawFullFrameBeforePainting(benchmark::State& state) {
    ui::ChartView view;
    view.resize(811, 250);
    view.SetMarksVisible(true);
    const std::vector<FramePoint> points = FullFramePoints();
    for (auto _ : state) {
        FillChart(view, points);
        benchmark::DoNotOptimize(view.Points().data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size()));
}
BENCHMARK(BM_DrawFullFrameBeforePainting)->Unit(benchmark::kMicrosecond);

void BM_ReplotFullFrameWithMarks(benchmark::State& state) {
    ui::ChartView view;
    view.resize(811, 250);
    view.SetMarksVisible(true);
    view.SetView3D(state.range(0) != 0);
    FillChart(view, FullFramePoints());
    for (auto _ : state) {
        view.Plot()->replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_ReplotFullFrameWithMarks)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A 301-duration frame of 32-bit pulse-distance codes glued together, as the simulator's flood
// sends.
std::vector<int32_t> FullFrameDurations() {
    std::vector<int32_t> durations{9000, 4500};
    while (durations.size() + 1 < 301) {
        durations.push_back(560);
        durations.push_back(durations.size() / 2 % 3 ? 560 : 1690);
    }
    durations.push_back(560);
    return durations;
}

void BM_DecodeFullFrame(benchmark::State& state) {
    ui::ChartView view;
    view.resize(811, 250);
    ui::DecodeOverlay overlay(view);
    const std::vector<int32_t> durations = FullFrameDurations();
    for (auto _ : state) {
        overlay.FrameDrawn(durations, 0.1);
        benchmark::DoNotOptimize(overlay.Layout().Summary.data());
    }
}
BENCHMARK(BM_DecodeFullFrame)->Unit(benchmark::kMicrosecond);

void BM_ReplotFullFrameWithDecode(benchmark::State& state) {
    ui::ChartView view;
    view.resize(811, 250);
    view.SetMarksVisible(true);
    ui::DecodeOverlay overlay(view);
    overlay.SetBandsVisible(state.range(0) != 0);
    FillChart(view, FullFramePoints());
    overlay.FrameDrawn(FullFrameDurations(), 0.1);
    for (auto _ : state) {
        view.Plot()->replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_ReplotFullFrameWithDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

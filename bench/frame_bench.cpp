// Costs of the frame core's hot paths on a full frame (301 pulses): a device line, a drawing, the
// C table and the file reader.
#include "frame/CTable.h"
#include "frame/FrameCore.h"
#include "frame/FrameFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

using namespace frame;

class NullStatus : public StatusSink {
public:
    void SetPanelText(int, std::string_view text) override { benchmark::DoNotOptimize(text); }
};

class NullChart : public ChartSink {
public:
    void ClearSeries() override {}
    void AddPoint(double x, double y, std::string_view label) override {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        benchmark::DoNotOptimize(label);
    }
    void SetBottomAxisAutomatic() override {}
};

class NullCommands : public CommandSink {
public:
    void SendCommand(std::string_view command) override { benchmark::DoNotOptimize(command); }
};

// A typical remote-control frame repeated to fill the frame: long leader, then short marks.
PulseFrame FullFrame() {
    PulseFrame frame;
    for (int i = 0; i < FrameCapacity; ++i) {
        frame.Durations[static_cast<size_t>(i)] = i < 2 ? 9000 - 4500 * i : (i % 3 ? 560 : 1690);
    }
    frame.Count = FrameCapacity;
    return frame;
}

std::string FullLine() {
    std::string line(DeviceSignature);
    for (const int32_t d : FullFrame().Durations) {
        line += ", " + std::to_string(d);
    }
    return line;
}

struct Core {
    PulseFrame frame = FullFrame();
    NullStatus status;
    NullChart chart;
    NullCommands commands;
    FrameCore core{frame, status, chart, commands};
};

void BM_FrameLine(benchmark::State& state) {
    Core c;
    const std::string line = FullLine();
    for (auto _ : state) {
        c.core.ZorComPort1RxString(line);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_FrameLine);

void BM_DrawFrame(benchmark::State& state) {
    Core c;
    for (auto _ : state) {
        c.core.DrawFrame(ModeReceiver);
    }
    state.SetItemsProcessed(state.iterations() * FrameCapacity);
}
BENCHMARK(BM_DrawFrame);

void BM_CTable(benchmark::State& state) {
    const PulseFrame frame = FullFrame();
    for (auto _ : state) {
        benchmark::DoNotOptimize(CTableText(frame));
    }
}
BENCHMARK(BM_CTable);

void BM_ParseFrameFile(benchmark::State& state) {
    const std::string bytes = FrameFileText(FullFrame());
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseFrameFile(bytes));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ParseFrameFile);

void BM_ReadFrameFile(benchmark::State& state) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("frame_bench-" + std::to_string(::getpid()) + ".txt"))
                                 .string();
    WriteFrameFile(path, FullFrame());
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadFrameFile(path));
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadFrameFile);

} // namespace

BENCHMARK_MAIN();

// Cost of analysing one signal, which the window pays inside every drawing of a frame: an NEC
// frame (67 durations), a full frame of the device (301 durations: NEC frames and dittos) and
// 301 durations no protocol fits.
#include "analysis/Analysis.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

analysis::Durations NecFrame() {
    return *analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 0);
}

// What a receiver hands over when a key is held: frame, dittos, and the next press, cut at 301.
analysis::Durations FullSignal() {
    analysis::Durations signal;
    while (signal.size() < 301) {
        const analysis::Durations frame = *analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 3);
        signal.insert(signal.end(), frame.begin(), frame.end());
        signal.push_back(60000);
    }
    signal.resize(301);
    return signal;
}

analysis::Durations Noise() {
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> duration(100, 3000);
    analysis::Durations signal(301);
    for (int32_t& d : signal)
        d = duration(random);
    return signal;
}

void Analyse(benchmark::State& state, const analysis::Durations& signal) {
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::Analyse(signal));
}

BENCHMARK_CAPTURE(Analyse, nec_frame_67, NecFrame())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Analyse, nec_held_301, FullSignal())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Analyse, noise_301, Noise())->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

// The cost of analysing one signal: the window decodes every frame while drawing it, on the main
// thread. Signals are the simulator's captures (its own renderers and receiver model).
#include "analysis/Analysis.h"
#include "tools/irsim/Remotes.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

void Analyse(benchmark::State& state, const irsim::Durations& signal) {
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::Analyse(signal));
    state.counters["durations"] = double(signal.size());
}

// A NEC frame as a receiver reports it: 67 durations.
void BM_AnalyseNecFrame(benchmark::State& state) {
    irsim::Receiver receiver(1, {});
    Analyse(state, receiver.Capture(irsim::NominalFrame({irsim::Remote::Nec, 0x04, 0x08})));
}
BENCHMARK(BM_AnalyseNecFrame);

// A full device frame (301 durations) of frames of every remote one after another, 50 ms apart.
void BM_AnalyseFullFrameOfRemotes(benchmark::State& state) {
    irsim::Receiver receiver(2, {});
    irsim::Durations signal;
    while (signal.size() < 301) {
        const irsim::Durations frame =
            receiver.Capture(irsim::NominalFrame(receiver.RandomCodeOfAny()));
        if (!signal.empty())
            signal.push_back(50000);
        signal.insert(signal.end(), frame.begin(), frame.end());
    }
    signal.resize(301);
    Analyse(state, signal);
}
BENCHMARK(BM_AnalyseFullFrameOfRemotes);

// A key held on an NEC remote: frames and their dittos, cut at the device's 301 durations.
void BM_AnalyseNecHeld(benchmark::State& state) {
    irsim::Durations signal;
    while (signal.size() < 301) {
        const auto frame = analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 3);
        signal.insert(signal.end(), frame->begin(), frame->end());
        signal.push_back(60000);
    }
    signal.resize(301);
    Analyse(state, signal);
}
BENCHMARK(BM_AnalyseNecHeld);

// 301 random durations between 100 us and 20 ms: every decoder tries and fails everywhere.
void BM_AnalyseFullFrameOfNoise(benchmark::State& state) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> logUs(std::log(100.0), std::log(20000.0));
    irsim::Durations signal(301);
    for (int32_t& d : signal)
        d = int32_t(std::exp(logUs(random)));
    Analyse(state, signal);
}
BENCHMARK(BM_AnalyseFullFrameOfNoise);

} // namespace

BENCHMARK_MAIN();

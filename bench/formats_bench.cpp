// Importing a remote's collection: a Flipper file of 500 signals (parsed entries rendered on
// import, raw captures with a receiver's lag and jitter) read, then every signal decoded.
#include "analysis/Analysis.h"
#include "analysis/Formats.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

namespace formats = analysis::formats;

constexpr int SignalCount = 500;

std::string HexBytes(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X 00 00 00", value & 255);
    return text;
}

// A capture as a receiver delivers it: marks 80 µs longer, spaces shorter, ±30 µs of jitter.
std::string Captured(const analysis::Durations& nominal, std::mt19937& random) {
    std::uniform_int_distribution<int32_t> jitter(-30, 30);
    std::string data;
    for (std::size_t i = 0; i < nominal.size(); ++i)
        data += " " + std::to_string(nominal[i] + (i % 2 == 0 ? 80 : -80) + jitter(random));
    return data;
}

std::string FlipperFile() {
    std::mt19937 random(11);
    std::string text = "Filetype: IR signals file\nVersion: 1\n";
    for (int i = 0; i < SignalCount; ++i) {
        text += "#\nname: Key_" + std::to_string(i) + "\n";
        switch (i % 4) {
        case 0:
            text += "type: parsed\nprotocol: NEC\naddress: " + HexBytes(i) +
                    "\ncommand: " + HexBytes(i * 7) + "\n";
            break;
        case 1:
            text += "type: parsed\nprotocol: SIRC\naddress: " + HexBytes(i % 32) +
                    "\ncommand: " + HexBytes(i % 128) + "\n";
            break;
        default: {
            const char* protocol = i % 4 == 2 ? "NEC1" : "Sony12";
            const analysis::Durations nominal =
                *analysis::Render(protocol, {{"D", i % 32}, {"F", i % 128}}, 2);
            text += "type: raw\nfrequency: 38000\nduty_cycle: 0.330000\ndata:" +
                    Captured(nominal, random) + "\n";
        }
        }
    }
    return text;
}

void BM_ReadFlipper500(benchmark::State& state) {
    const std::string file = FlipperFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(formats::Read(formats::Format::Flipper, file));
    state.SetItemsProcessed(state.iterations() * SignalCount);
}
BENCHMARK(BM_ReadFlipper500)->Unit(benchmark::kMillisecond);

// The figure that matters: signals per second, read and decoded.
void BM_ReadAndDecodeFlipper500(benchmark::State& state) {
    const std::string file = FlipperFile();
    std::size_t decoded = 0;
    for (auto _ : state) {
        decoded = 0;
        for (const formats::Signal& signal : formats::Read(formats::Format::Flipper, file))
            decoded += analysis::Analyse(signal.durations).decodes.size();
        benchmark::DoNotOptimize(decoded);
    }
    state.SetItemsProcessed(state.iterations() * SignalCount);
    state.counters["decodes"] = static_cast<double>(decoded);
}
BENCHMARK(BM_ReadAndDecodeFlipper500)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// The IRP engine's cost per signal: a 67-duration NEC frame and a 301-duration signal (RC5 frames
// end to end) matched against 150 compiled protocols, at every start a whole frame may begin (the
// signal's start, or after a gap as long as the protocol's own lead-out) and, for comparison, at
// every even start. The 150 are the 24 distinct IRP strings below repeated: the cost of a
// protocol depends on how far its prefilter lets it in, which the repeats keep in proportion.
#include "analysis/irp/Irp.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using analysis::Durations;
using analysis::irp::Protocol;

const char* const kProtocols[] = {
    "{38.4k,564}<1,-1|1,-3>(16,-8,D:8,S:8,F:8,~F:8,1,^108m,(16,-4,1,^108m)*)[D:0..255,S:0..255=255-"
    "D,F:0..255]",
    "{38.4k,564}<1,-1|1,-3>(16,-8,D:8,S:8,F:8,~F:8,1,^108m)*[D:0..255,S:0..255=255-D,F:0..255]",
    "{38k,564}<1,-1|1,-3>(8,-8,D:8,S:8,F:8,~F:8,1,^108m,(8,-8,~D:1,1,^108m)*)[D:0..255,S:0..255=D,"
    "F:0..255]",
    "{38k,550}<1,-1|1,-3>(16,-8,D:8,S:5,~D:8,~S:5,F:8,~F:8,1,-42,(16,-8,1,-165)*)[D:0..255,S:0..31,"
    "F:0..255]",
    "{38.4k,564}<1,-1|1,-3>(16,-8,D:8,S:8,C:1,F:7,PairID:8,1,^108m,(16,-4,1,^108m)*){C=1-(#D+#S+#F+"
    "#PairID)%2}[D:0..255=238,S:0..255=135,F:0..127,PairID:0..255]",
    "{37.9k,560}<1,-1|1,-3>(4500u,-4500u,D:8,S:8,1,-9,E:4,F:8,~F:8,1,^108m)*[D:0..255,S:0..255,E:0."
    ".15,F:0..255]",
    "{36k,msb,889}<1,-1|-1,1>((1,~F:1:6,T:1,D:5,F:6,^114m)*,T=1-T)[D:0..31,F:0..127,T@:0..1=0]",
    "{36k,msb,889}<1,-1|-1,1>((1,~S:1:6,T:1,D:5,-4,S:6,F:6,^114m)*,T=1-T)[D:0..31,S:0..127,F:0..63,"
    "T@:0..1=0]",
    "{36k,444,msb}<-1,1|1,-1>((6,-2,1:1,0:3,<-2,2|2,-2>(T:1),D:8,F:8,^107m)*,T=1-T)[D:0..255,F:0.."
    "255,T@:0..1=0]",
    "{36k,444,msb}<-1,1|1,-1>((6,-2,1:1,6:3,<-2,2|2,-2>(T:1),D:8,S:4,F:8,-100m)*,T=1-T)[D:0..255,S:"
    "0..15,F:0..255,T@:0..1=0]",
    "{36k,444,msb}<-1,1|1,-1>((6,-2,1:1,6:3,-2,2,OEM1:8,S:8,T:1,D:7,F:8,^107m)*,T=1-T)[D:0..127,S:"
    "0..255,F:0..255,T@:0..1=0,OEM1:128..128=128]",
    "{40k,600}<1,-1|2,-1>(4,-1,F:7,D:5,^45m)*[D:0..31,F:0..127]",
    "{40k,600}<1,-1|2,-1>(4,-1,F:7,D:8,^45m)*[D:0..255,F:0..127]",
    "{40k,600}<1,-1|2,-1>(4,-1,F:7,D:5,S:8,^45m)*[D:0..31,S:0..255,F:0..127]",
    "{37.9k,527,33%}<1,-1|1,-3>(16,-8,D:8,F:8,1,^59.08m,(D:8,F:8,1,^46.42m)*)[D:0..255,F:0..255]",
    "{38k,264}<1,-3|1,-7>(D:5,F:8,1:2,1,-165,D:5,~F:8,2:2,1,-165)*[D:0..31,F:0..255]",
    "{38k,264}<1,-3|1,-7>(D:5,F:8,0:2,1,-165,D:5,~F:8,3:2,1,-165)*[D:0..31,F:0..255]",
    "{32.6k,300}<1,-3|1,-7>(D:8,F:8,1,-80)*[D:0..255,F:0..255]",
    "{58k,460,msb}<1,-2|1,-4>(8,-8,D:4,F:8,~D:4,~F:8,1,-16)*[D:0..15,F:0..255]",
    "{37k,432}<1,-1|1,-3>(8,-4,2:8,32:8,D:8,S:8,F:8,(D^S^F):8,1,-173)*[D:0..255,S:0..255,F:0..255]",
    "{33k,500}<1,-4|1,-9>(D:4,T:1,F:7,1,^80m)*[D:0..15,F:0..127,T@:0..1=0]",
    "{38k,158,msb}<1,-31|1,-47>(1:1,T:1,D:3,F:6,1,-45m)*[D:0..7,F:0..63,T@:0..1=0]",
    "{35.7k,578,msb}<-4,2|-3,1,-1,1|-2,1,-2,1|-1,1,-3,1>(806u,-2960u,1346u,T:1,F:8,D:7,-100)*[D:0.."
    "127,F:0..255,T@:0..1=0]",
    "{36k,1p,msb}<6,-10|6,-16|6,-22|6,-28>(15,-10,D:8,S:8,T:1,X:7,F:8,6,^100m)*[D:0..255,S:0..255,"
    "F:0..255,T@:0..1=0,X:0..127=0]",
};

std::vector<std::shared_ptr<const Protocol>> Table() {
    std::vector<std::shared_ptr<const Protocol>> distinct;
    for (const char* irp : kProtocols)
        distinct.push_back(std::get<std::shared_ptr<const Protocol>>(Protocol::Compile(irp)));
    std::vector<std::shared_ptr<const Protocol>> table;
    while (table.size() < 150)
        table.push_back(distinct[table.size() % distinct.size()]);
    return table;
}

// A receiver's copy: marks 100 µs longer, spaces 100 µs shorter.
Durations Received(Durations d) {
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] += i % 2 == 0 ? 100 : -100;
    return d;
}

Durations NecFrame() {
    auto nec = std::get<std::shared_ptr<const Protocol>>(Protocol::Compile(kProtocols[0]));
    return Received(nec->Render({{"D", 4}, {"F", 8}}, 0).value());
}

Durations LongSignal() {
    auto rc5 = std::get<std::shared_ptr<const Protocol>>(Protocol::Compile(kProtocols[6]));
    Durations out;
    while (out.size() < 301) {
        const Durations frame = rc5->Render({{"D", 5}, {"F", 35}}, 0).value();
        out.insert(out.end(), frame.begin(), frame.end());
        out.push_back(90000);
    }
    out.resize(301);
    return Received(out);
}

// As the analysis walks a signal: starts that a match already covers are not tried again.
void Scan(benchmark::State& state, const Durations& signal, bool wholeFrames) {
    const auto table = Table();
    std::size_t found = 0;
    for (auto _ : state) {
        std::size_t next = 0;
        for (std::size_t at = 0; at < signal.size(); at += 2) {
            if (at < next)
                continue;
            for (const auto& protocol : table) {
                if (wholeFrames && at > 0 && signal[at - 1] < protocol->LeadOutUs() * 3 / 4)
                    continue;
                if (!protocol->MayStartAt(signal, at))
                    continue;
                for (const auto& match : protocol->Decode(signal, at)) {
                    next = std::max(next, match.last + 1);
                    ++found;
                }
            }
        }
        benchmark::DoNotOptimize(found);
    }
}

void BM_Nec67WholeFrames(benchmark::State& state) {
    Scan(state, NecFrame(), true);
}
void BM_Nec67EveryStart(benchmark::State& state) {
    Scan(state, NecFrame(), false);
}
void BM_Long301WholeFrames(benchmark::State& state) {
    Scan(state, LongSignal(), true);
}
void BM_Long301EveryStart(benchmark::State& state) {
    Scan(state, LongSignal(), false);
}
void BM_CompileNec1(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Protocol::Compile(kProtocols[0]));
}

BENCHMARK(BM_Nec67WholeFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Nec67EveryStart)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Long301WholeFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Long301EveryStart)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompileNec1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

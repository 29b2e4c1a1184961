// The protocol table's own round trip and false decodes: every protocol rendered with random
// parameters and repeats, captured through a default receiver (marks 60 µs longer, ±40 µs) and a
// rough one (150 µs, ±100 µs), then analysed; random noise and frames cut short must not be named.
// Also the time to analyse a NEC frame and 301-duration signals with the whole table. A report,
// not a test: `table_accuracy` prints the figures for docs/performance.md, and those of the
// protocols named as arguments (`table_accuracy Sharp Denon`).
#include "analysis/Analysis.h"
#include "tests/analysis/SameSignal.h"
#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <map>
#include <random>
using namespace analysis;

using analysistest::SameSignal;
using analysistest::SignalClass;

int main(int argc, char** argv) {
    std::mt19937 rnd(5);
    auto timeIt = [](const Durations& s, int n) {
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i) {
            auto r = Analyse(s);
            if (r.decodes.size() > 1000)
                std::cout << "";
        }
        return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                   .count() /
               n;
    };
    Durations nec = *Render("NEC1", {{"D", 4}, {"F", 8}}, 0);
    Durations held;
    while (held.size() < 301) {
        auto f = *Render("NEC1", {{"D", 4}, {"F", 8}}, 3);
        held.insert(held.end(), f.begin(), f.end());
        held.push_back(60000);
    }
    held.resize(301);
    std::uniform_real_distribution<double> logUs(std::log(100.0), std::log(20000.0));
    Durations noise(301);
    for (auto& d : noise)
        d = int32_t(std::exp(logUs(rnd)));
    std::cout << "speed: NEC frame 67: " << timeIt(nec, 3000)
              << " us; NEC held 301: " << timeIt(held, 500)
              << " us; noise 301: " << timeIt(noise, 500) << " us\n";
    int total[2] = {0, 0}, ok[2] = {0, 0}, wrong[2] = {0, 0};
    std::map<std::string, std::pair<int, int>> per;
    std::map<std::string, int> perWrong;
    std::string wrongEx;
    int fTried = 0, fNamed = 0;
    std::map<std::string, int> fBy;
    for (const ProtocolInfo& info : Protocols()) {
        for (int k = 0; k < 100; ++k) {
            std::vector<Param> params;
            for (auto& p : info.params) {
                int64_t v;
                if (!p.choices.empty())
                    v = p.choices[rnd() % p.choices.size()];
                else
                    v = p.min + int64_t(rnd() % uint64_t(p.max - p.min + 1));
                params.push_back({p.name, v});
            }
            int repeats = rnd() % 3;
            auto clean = Render(info.name, params, repeats);
            if (!clean)
                continue;
            bool rep = Render(info.name, params, 0) != *clean;
            for (int rough = 0; rough < 2; ++rough) {
                int lag = rough ? 150 : 60, jit = rough ? 100 : 40;
                std::uniform_int_distribution<int> j(-jit, jit);
                Durations s = *clean;
                for (size_t i = 0; i < s.size(); ++i)
                    s[i] = std::max(1, s[i] + (i % 2 ? -lag : lag) + j(rnd));
                auto r = Analyse(s);
                total[rough]++;
                bool good = r.decodes.size() == 1 && SameSignal(info.name, r.decodes[0].protocol) &&
                            r.decodes[0].repeats == (rep ? repeats : 0) &&
                            r.decodes[0].first == 0 && r.decodes[0].last == s.size() - 1;
                bool bad = false;
                for (auto& d : r.decodes)
                    if (!SameSignal(info.name, d.protocol))
                        bad = true;
                if (good)
                    ok[rough]++;
                if (bad) {
                    wrong[rough]++;
                    perWrong[info.name + (rough ? " rough" : "")]++;
                    if (wrongEx.size() < 2000)
                        wrongEx += info.name + (rough ? " rough" : "") + " -> " +
                                   Summary(r.decodes[0]) + "\n";
                }
                if (rough) {
                    per[info.name].first++;
                    if (good)
                        per[info.name].second++;
                }
            }
            // false decodes: truncated and broken
            if (k < 20) {
                Durations cut(clean->begin(), clean->end() - 1 - rnd() % (clean->size() / 2));
                auto r = Analyse(cut);
                fTried++;
                for (auto& d : r.decodes)
                    if (SignalClass(d.protocol) == SignalClass(info.name) &&
                        !(rep && d.repeats < repeats)) {
                        fNamed++;
                        fBy[info.name + " cut"]++;
                        break;
                    }
            }
        }
    }
    int nTried = 0, nNamed = 0;
    for (int i = 0; i < 3000; ++i) {
        Durations n(1 + rnd() % 400);
        for (auto& d : n)
            d = int32_t(std::exp(logUs(rnd)));
        auto r = Analyse(n);
        nTried++;
        if (!r.decodes.empty()) {
            nNamed++;
            fBy[r.decodes[0].protocol + " noise"]++;
        }
    }
    std::cout << "default receiver (lag 60 +-40): " << ok[0] << "/" << total[0] << " = "
              << 100.0 * ok[0] / total[0] << "% right, wrong names " << wrong[0] << "\n";
    std::cout << "rough receiver (lag 150 +-100): " << ok[1] << "/" << total[1] << " = "
              << 100.0 * ok[1] / total[1] << "% right, wrong names " << wrong[1] << "\n";
    int below = 0;
    std::string belowList;
    for (auto& [n, p] : per)
        if (p.second * 100 < 95 * p.first) {
            below++;
            belowList +=
                " " + n + "=" + std::to_string(100 * p.second / std::max(1, p.first)) + "%";
        }
    std::cout << "protocols under 95% at the rough receiver: " << below << " of " << per.size()
              << ":" << belowList << "\n";
    std::cout << "false decodes: noise " << nNamed << "/" << nTried << ", truncated " << fNamed
              << "/" << fTried << "\n";
    for (auto& [k, v] : fBy)
        std::cout << "  " << k << " " << v << "\n";
    std::cout << "wrong examples:\n" << wrongEx;
    // The protocols named on the command line: their own figures at the rough receiver.
    for (int i = 1; i < argc; ++i) {
        const auto& [tried, right] = per[argv[i]];
        std::cout << argv[i] << ": " << right << "/" << tried << " right at the rough receiver, "
                  << perWrong[std::string(argv[i]) + " rough"] << " wrong names\n";
    }
}

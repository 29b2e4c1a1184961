// How often the protocol analysis names the simulator's remotes right, and how rarely it names
// something that is not there. Every frame comes from irsim's own renderers and receiver model,
// which share no code with the analysis, so each checks the other.
//
//   analysis_accuracy [--codes N] [--noise N] [--seed N] [--misses N]
//
// Prints Markdown tables: per remote, the share of random codes decoded with the expected name and
// parameters at the receiver's default distortion and at a rough one, how many truncated or
// check-corrupted frames were still reported as that protocol, and whether the analysis library's
// encoder renders the same nominal frame; then the decodes of random noise.
#include "analysis/Analysis.h"
#include "bench/BenchSupport.h"
#include "tests/analysis/IrsimExpected.h"
#include "tools/irsim/Remotes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using analysistest::Correct;
using analysistest::Expect;
using analysistest::Expected;
using analysistest::Named;
using irsim::Remote;
using irsim::RemoteCode;

bool ReportedAs(const analysis::Result& result, const Expected& expected) {
    return std::any_of(result.decodes.begin(), result.decodes.end(),
                       [&](const auto& decode) { return Named(decode, expected); });
}

// Where one bit of a frame's check field sits (the index of its space in the nominal frame, no
// repeats), and that field's short and long space; absent for remotes without a check.
struct CheckBit {
    std::size_t index;
    int32_t zero, one;
};

std::optional<CheckBit> CheckBitOf(Remote remote) {
    switch (remote) {
    case Remote::Nec: // first bit of ~F
        return CheckBit{51, 560, 1690};
    case Remote::Samsung:
        return CheckBit{51, 560, 1690};
    case Remote::Nec1:
    case Remote::Nec2:
    case Remote::NecX:
    case Remote::Pioneer:
        return CheckBit{51, 564, 1692};
    case Remote::Apple: // the parity bit
        return CheckBit{35, 564, 1692};
    case Remote::Aiwa: // first bit of ~F
        return CheckBit{71, 550, 1650};
    case Remote::Samsung36:
        return CheckBit{61, 560, 1680};
    case Remote::Rca:
        return CheckBit{35, 920, 1840};
    case Remote::Sharp: // first bit of ~F in the second half
    case Remote::Denon:
        return CheckBit{43, 792, 1848};
    case Remote::Panasonic: // the check byte
    case Remote::Jvc48:
    case Remote::DenonK:
        return CheckBit{83, 432, 1296};
    case Remote::SharpDvd: // the check nibble
        return CheckBit{91, 400, 1200};
    default:
        return std::nullopt;
    }
}

// Whether the analysis library's own encoder gives the same nominal frame (within the rounding of a
// microsecond) for the remotes that take IRP parameters; nullopt where it cannot say.
std::optional<bool> SameRender(const RemoteCode& code) {
    const auto table = analysistest::TableCodeOf(code);
    if (!table)
        return std::nullopt;
    const auto rendered = analysis::Render(table->name, table->params, code.repeats);
    const irsim::Durations nominal = irsim::NominalFrame(code);
    return rendered &&
           std::equal(nominal.begin(), nominal.end(), rendered->begin(), rendered->end(),
                      [](int32_t a, int32_t b) { return std::abs(a - b) <= 1; });
}

struct Row {
    std::string remote;
    std::size_t codes = 0, right = 0, rightRough = 0;
    std::size_t truncated = 0, truncatedNamed = 0;
    std::size_t corrupted = 0, corruptedNamed = 0;
    std::size_t rendered = 0, renderedSame = 0;
};

std::string Describe(const std::vector<std::string>& names,
                     const std::vector<analysis::Param>& params) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : "/") + name;
    for (const analysis::Param& p : params)
        text += " " + p.name + "=" + std::to_string(p.value);
    return text;
}

// With --misses N, the first N misses of each remote go to standard error, to find which side
// is wrong.
void ReportMiss(const RemoteCode& code, const Expected& expected, const analysis::Result& result) {
    std::string got;
    for (const analysis::Decode& decode : result.decodes)
        got += (got.empty() ? "" : "; ") + Describe({decode.protocol}, decode.params) + " x" +
               std::to_string(decode.repeats);
    std::fprintf(stderr, "%s R=%d: expected %s, got %s\n", irsim::RemoteName(code.remote).data(),
                 code.repeats, Describe(expected.names, expected.params).c_str(),
                 got.empty() ? "nothing" : got.c_str());
}

std::string Share(std::size_t part, std::size_t whole) {
    return whole == 0 ? "–" : bench::Fixed(100.0 * double(part) / double(whole), 2) + " %";
}

std::string Count(std::size_t part, std::size_t whole) {
    return whole == 0 ? "–" : std::to_string(part) + " / " + std::to_string(whole);
}

// Random durations of random length: nothing a remote sends, though now and then one looks like a
// lead or a run of bits.
analysis::Durations Noise(std::mt19937& random) {
    std::uniform_int_distribution<int> length(3, 301);
    std::uniform_real_distribution<double> logUs(std::log(100.0), std::log(20000.0));
    analysis::Durations d(std::size_t(length(random)));
    for (int32_t& v : d)
        v = int32_t(std::exp(logUs(random)));
    return d;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t codes = bench::ArgValue(argc, argv, "--codes", 1000);
    const std::size_t noiseCount = bench::ArgValue(argc, argv, "--noise", 10000);
    const auto seed = uint32_t(bench::ArgValue(argc, argv, "--seed", 1));
    const std::size_t misses = bench::ArgValue(argc, argv, "--misses", 0);

    std::vector<Remote> remotes(std::begin(irsim::AllRemotes), std::end(irsim::AllRemotes));
    remotes.insert(remotes.end(), std::begin(irsim::IrpRemotes), std::end(irsim::IrpRemotes));
    std::erase(remotes, Remote::NecRepeat); // a repeat code alone carries no code

    const irsim::Jitter rough{150, 100};
    irsim::Receiver codesFrom(seed, {}), usual(seed + 1, {}), roughly(seed + 2, rough);
    std::mt19937 random(seed + 3);
    std::vector<Row> rows;
    Row total{"all"};
    for (const Remote remote : remotes) {
        Row row{std::string(irsim::RemoteName(remote))};
        for (std::size_t i = 0; i < codes; ++i) {
            const RemoteCode code = codesFrom.RandomCodeOf(remote);
            const Expected expected = Expect(code);
            const irsim::Durations nominal = irsim::NominalFrame(code);
            ++row.codes;
            const analysis::Result result = analysis::Analyse(usual.Capture(nominal));
            const bool right = Correct(result, expected);
            if (!right && row.codes - row.right <= misses)
                ReportMiss(code, expected, result);
            row.right += right;
            if (const auto same = SameRender(code)) {
                ++row.rendered;
                row.renderedSame += *same;
                if (!*same && row.rendered - row.renderedSame <= misses)
                    std::fprintf(stderr, "%s R=%d: rendered differently\n",
                                 Describe(expected.names, expected.params).c_str(), code.repeats);
            }
            row.rightRough += Correct(analysis::Analyse(roughly.Capture(nominal)), expected);

            // One frame cut short by at least one bit, still ending with a mark.
            RemoteCode single = code;
            single.repeats = 0;
            const irsim::Durations frame = irsim::NominalFrame(single);
            if (frame.size() > 5) {
                std::uniform_int_distribution<std::size_t> keep(1, (frame.size() - 3) / 2);
                const irsim::Durations cut(frame.begin(),
                                           frame.begin() + long(2 * keep(random) + 1));
                ++row.truncated;
                row.truncatedNamed += ReportedAs(analysis::Analyse(usual.Capture(cut)), expected);
            }
            if (const auto bit = CheckBitOf(remote)) {
                irsim::Durations broken = frame;
                broken[bit->index] = broken[bit->index] == bit->zero ? bit->one : bit->zero;
                ++row.corrupted;
                row.corruptedNamed +=
                    ReportedAs(analysis::Analyse(usual.Capture(broken)), Expect(single));
            }
        }
        total.codes += row.codes;
        total.right += row.right;
        total.rightRough += row.rightRough;
        total.truncated += row.truncated;
        total.truncatedNamed += row.truncatedNamed;
        total.corrupted += row.corrupted;
        total.corruptedNamed += row.corruptedNamed;
        total.rendered += row.rendered;
        total.renderedSame += row.renderedSame;
        rows.push_back(row);
    }
    rows.push_back(total);

    bench::PrintRow({"remote (irsim)", "codes", "right, default receiver (±50 µs, 40 µs lag)",
                     "right, rough receiver (±100 µs, 150 µs lag)", "truncated, still named so",
                     "check bit flipped, still named so",
                     "same nominal frame as analysis::Render"});
    bench::PrintRow({"---", "---:", "---:", "---:", "---:", "---:", "---:"});
    for (const Row& row : rows)
        bench::PrintRow({row.remote, std::to_string(row.codes), Share(row.right, row.codes),
                         Share(row.rightRough, row.codes), Count(row.truncatedNamed, row.truncated),
                         Count(row.corruptedNamed, row.corrupted),
                         Count(row.renderedSame, row.rendered)});

    std::size_t noiseDecoded = 0;
    std::vector<std::string> noiseNames;
    for (std::size_t i = 0; i < noiseCount; ++i) {
        const analysis::Result result = analysis::Analyse(Noise(random));
        if (result.decodes.empty())
            continue;
        ++noiseDecoded;
        for (const auto& decode : result.decodes)
            if (std::find(noiseNames.begin(), noiseNames.end(), decode.protocol) ==
                noiseNames.end())
                noiseNames.push_back(decode.protocol);
    }
    std::string names;
    for (const std::string& name : noiseNames)
        names += (names.empty() ? "" : ", ") + name;
    std::printf("\n");
    bench::PrintRow({"random noise signals", "with a decode", "protocols named", "target"});
    bench::PrintRow({"---:", "---:", "---", "---"});
    bench::PrintRow({std::to_string(noiseCount), std::to_string(noiseDecoded),
                     names.empty() ? "–" : names, "0: " + bench::Verdict(noiseDecoded == 0)});
    std::printf("\nOverall at the default receiver: %s correct (target 99.9 %%: %s).\n",
                Share(total.right, total.codes).c_str(),
                bench::Verdict(total.right * 1000 >= total.codes * 999).c_str());
    return 0;
}

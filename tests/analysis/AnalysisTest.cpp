#include "analysis/Analysis.h"
#include "tests/analysis/IrsimExpected.h"
#include "tests/analysis/SameSignal.h"
#include "tools/irsim/Remotes.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>

namespace {

using analysis::Analyse;
using analysis::Decode;
using analysis::Durations;
using analysis::Param;
using analysis::ProtocolInfo;

using analysistest::SameSignal;
using analysistest::SignalClass;

bool SameParamsExpected(const std::string& rendered, const std::string& decoded) {
    return SignalClass(decoded) == SignalClass(rendered) ||
           analysis::LoneName(rendered) == decoded || analysis::LoneName(decoded) == rendered;
}

struct Case {
    std::string protocol;
    std::vector<Param> params;
    int repeats = 0;
};

std::string Describe(const Case& c) {
    Decode d;
    d.protocol = c.protocol;
    d.params = c.params;
    return analysis::Summary(d) + " x" + std::to_string(c.repeats);
}

// Every parameter at its minimum, middle and maximum (or each allowed value), the others in
// the middle, with no repeats and with two.
std::vector<Case> RoundTripCases() {
    std::vector<Case> cases;
    for (const ProtocolInfo& info : analysis::Protocols()) {
        const auto values = [](const analysis::ParamInfo& p) {
            if (!p.choices.empty())
                return p.choices;
            return std::vector<int64_t>{p.min, (p.min + p.max) / 2, p.max};
        };
        for (std::size_t varied = 0; varied < info.params.size(); ++varied)
            for (const int64_t value : values(info.params[varied]))
                for (const int repeats : {0, 2}) {
                    Case c{info.name, {}, repeats};
                    for (std::size_t p = 0; p < info.params.size(); ++p)
                        c.params.push_back(
                            {info.params[p].name,
                             p == varied
                                 ? value
                                 : values(info.params[p])[1 % values(info.params[p]).size()]});
                    cases.push_back(std::move(c));
                }
    }
    return cases;
}

// What a real receiver does: marks longer and spaces shorter by a lag, plus jitter.
Durations Distorted(const Durations& clean, int32_t lag, int32_t jitter) {
    Durations out = clean;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int32_t wobble = static_cast<int32_t>(i % 3) - 1; // -1, 0, +1
        out[i] += (i % 2 == 0 ? lag : -lag) + wobble * jitter;
    }
    return out;
}

TEST(Analysis, RenderedSignalsDecodeToTheirParametersAndCleanUpToTheSameTimings) {
    struct Distortion {
        int32_t lag;
        int32_t jitter;
    };
    for (const Distortion distortion : {Distortion{0, 0}, {120, 40}, {60, 60}}) {
        for (const Case& c : RoundTripCases()) {
            SCOPED_TRACE(Describe(c) + " lag " + std::to_string(distortion.lag));
            std::string error;
            const std::optional<Durations> clean =
                analysis::Render(c.protocol, c.params, c.repeats, &error);
            ASSERT_TRUE(clean) << error;
            ASSERT_EQ(clean->size() % 2, 1u) << "must end with a mark";
            const analysis::Result result =
                Analyse(Distorted(*clean, distortion.lag, distortion.jitter));
            ASSERT_EQ(result.decodes.size(), 1u);
            const Decode& decode = result.decodes[0];
            EXPECT_TRUE(SameSignal(c.protocol, decode.protocol)) << decode.protocol;
            // A protocol that sends nothing more while a key is held renders no repeats.
            const bool repeats = analysis::Render(c.protocol, c.params, 0) != *clean;
            EXPECT_EQ(decode.repeats, repeats ? c.repeats : 0);
            EXPECT_EQ(decode.first, 0u);
            EXPECT_EQ(decode.last, clean->size() - 1);
            EXPECT_EQ(decode.windows.size(), decode.last - decode.first + 1);
            // Named as itself it has the same parameters and cleans up to the same timings;
            // named as the protocol preferred for its durations it only cleans up to that one's.
            if (SameParamsExpected(c.protocol, decode.protocol)) {
                EXPECT_EQ(decode.params, c.params);
                EXPECT_EQ(analysis::CleanUp(decode), *clean);
            } else {
                EXPECT_FALSE(analysis::CleanUp(decode).empty());
            }
        }
    }
}

// A duration at the edge of its window still decodes; one microsecond beyond, the frame is not
// that protocol any more.
TEST(Analysis, DurationsJustInsideTheirWindowDecodeAndJustOutsideDoNot) {
    struct Edge {
        std::string protocol;
        std::vector<Param> params;
        std::size_t index; // the duration moved to its window's edge
        int repeats = 0;
    };
    const std::vector<Edge> edges = {
        {"NEC1", {{"D", 4}, {"S", 251}, {"F", 8}}, 0}, // lead mark
        {"NEC1", {{"D", 4}, {"S", 251}, {"F", 8}}, 3}, // a zero's space
        {"NEC1", {{"D", 4}, {"S", 251}, {"F", 8}}, 8}, // a one's mark
        {"Sony12", {{"D", 1}, {"F", 21}}, 2},          // a one's mark (pulse width)
        {"RCA", {{"D", 5}, {"F", 77}}, 5},             // a space
        {"Sony12", {{"D", 1}, {"F", 21}}, 28, 1},      // a zero's mark in a repeat
        {"RC5", {{"D", 5}, {"F", 9}, {"T", 0}}, 4},    // a bi-phase half-bit mark
        {"Sharp", {{"D", 3}, {"F", 77}}, 3},           // a one's space, no lead to fit the lag on
    };
    for (const Edge& edge : edges) {
        const Durations clean = *analysis::Render(edge.protocol, edge.params, edge.repeats);
        const analysis::Window window = Analyse(clean).decodes.at(0).windows.at(edge.index);
        for (const auto& [value, decodes] : {std::pair{window.low, true},
                                             {window.high, true},
                                             {window.low - 1, false},
                                             {window.high + 1, false}}) {
            SCOPED_TRACE(edge.protocol + " duration " + std::to_string(edge.index) + " = " +
                         std::to_string(value));
            Durations signal = clean;
            signal[edge.index] = value;
            const analysis::Result result = Analyse(signal);
            const bool found =
                std::any_of(result.decodes.begin(), result.decodes.end(), [&](const Decode& d) {
                    // The protocol itself: another row of the same signal has windows of its own.
                    return analysis::LoneName(edge.protocol) == analysis::LoneName(d.protocol) &&
                           d.params == edge.params && d.repeats == edge.repeats;
                });
            EXPECT_EQ(found, decodes);
        }
    }
}

// Captures at 60 µs lag, ±40 µs: early in a frame the lags still allowed span more than a
// symbol step of these four space lengths, so their middle alone would pick a wrong space.
TEST(Analysis, MultiLevelSymbolsReadRightWhileTheLagIsLoose) {
    struct Capture {
        std::string protocol;
        std::vector<Param> params;
        int repeats;
        Durations signal;
    };
    const std::vector<Capture> captures = {
        {"Nokia12", {{"D", 9}, {"F", 172}}, 1, {517, 217, 264, 590, 214, 410, 218, 553,
                                                224, 525, 233, 698, 213, 209, 200, 94753,
                                                484, 232, 219, 523, 267, 389, 259, 585,
                                                222, 529, 253, 740, 238, 211, 266}},
        {"Nokia",
         {{"D", 166}, {"S", 48}, {"F", 69}},
         1,
         {511, 194, 251, 575, 246, 554, 211, 409, 204, 556, 216, 186, 241, 702,
          200, 242, 229, 219, 216, 392, 248, 202, 239, 395, 199, 345, 212, 91547,
          502, 201, 258, 549, 228, 531, 253, 394, 204, 578, 219, 185, 239, 702,
          189, 231, 229, 227, 256, 411, 204, 232, 187, 408, 239, 345, 240}},
        // Three spaces high in their jitter also fit a reading a step longer at a lag of about
        // 110 µs; against the lag the whole frame averages (about 40 µs) they are the shorter.
        {"Nokia32",
         {{"D", 5}, {"S", 47}, {"F", 246}, {"T", 1}, {"X", 54}},
         0,
         {435, 212, 234, 288, 257, 269, 166, 402, 217, 433, 208, 207, 217, 545, 254, 707, 172, 713,
          205, 593, 245, 769, 166, 446, 222, 598, 176, 750, 210, 748, 167, 357, 211, 617, 202}},
    };
    for (const Capture& c : captures) {
        SCOPED_TRACE(c.protocol);
        const analysis::Result result = Analyse(c.signal);
        ASSERT_EQ(result.decodes.size(), 1u);
        EXPECT_EQ(result.decodes[0].protocol, c.protocol);
        EXPECT_EQ(result.decodes[0].params, c.params);
        EXPECT_EQ(result.decodes[0].repeats, c.repeats);
    }
}

TEST(Analysis, RandomNoiseDecodesAsNothing) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int32_t> length(1, 400);
    // Durations spread over every length a protocol uses, with short ones as likely as long.
    std::uniform_real_distribution<double> logDuration(std::log(50.0), std::log(20000.0));
    int decodes = 0;
    std::string first;
    for (int signal = 0; signal < 3000; ++signal) {
        Durations noise(static_cast<std::size_t>(length(random)));
        for (int32_t& d : noise)
            d = static_cast<int32_t>(std::exp(logDuration(random)));
        const analysis::Result result = Analyse(noise);
        if (!result.decodes.empty() && first.empty())
            first = analysis::Summary(result.decodes[0]);
        decodes += static_cast<int>(result.decodes.size());
    }
    EXPECT_EQ(decodes, 0) << first;
}

// A frame cut short, or with one bit of a complement, parity or check byte flipped, is not
// reported as its protocol.
TEST(Analysis, TruncatedFramesAndBrokenChecksAreNotTheirProtocol) {
    const auto foundAs = [](const Durations& signal, const std::string& protocol) {
        const analysis::Result result = Analyse(signal);
        return std::any_of(result.decodes.begin(), result.decodes.end(), [&](const Decode& d) {
            return SignalClass(d.protocol) == SignalClass(protocol);
        });
    };
    for (const ProtocolInfo& info : analysis::Protocols()) {
        SCOPED_TRACE(info.name);
        std::vector<Param> params;
        for (const analysis::ParamInfo& p : info.params)
            params.push_back({p.name, p.defaultValue.value_or((p.min + p.max) / 2)});
        const Durations clean = *analysis::Render(info.name, params, 0);
        for (const std::size_t cut : {std::size_t{1}, clean.size() / 2})
            EXPECT_FALSE(foundAs(Durations(clean.begin(), clean.end() - cut), info.name))
                << "cut " << cut;

        // The first bit of a checking field, flipped by giving it the other symbol's timing.
        const Decode decode = Analyse(clean).decodes.at(0);
        const auto isCheck = [](const analysis::Span& s) {
            return s.kind == analysis::Span::Kind::Field &&
                   (s.label.starts_with("~") || s.label.starts_with("C="));
        };
        const auto check = std::find_if(decode.spans.begin(), decode.spans.end(), isCheck);
        if (check == decode.spans.end())
            continue;
        const auto bitAt = [&](std::size_t index) {
            return *std::find_if(decode.spans.begin(), decode.spans.end(), [&](const auto& s) {
                return s.kind == analysis::Span::Kind::Bit && s.first == index;
            });
        };
        const analysis::Span bit = bitAt(check->first);
        const auto other =
            std::find_if(decode.spans.begin(), decode.spans.end(), [&](const auto& s) {
                // Bi-phase halves merge: a symbol of the other value can show the same two
                // durations here, which would change nothing; one that differs is taken.
                return s.kind == analysis::Span::Kind::Bit && s.label != bit.label &&
                       s.last == s.first + 1 &&
                       (clean[s.first] != clean[bit.first] ||
                        clean[s.first + 1] != clean[bit.first + 1]);
            });
        ASSERT_NE(other, decode.spans.end());
        Durations broken = clean;
        broken[bit.first] = clean[other->first];
        broken[bit.first + 1] = clean[other->first + 1];
        EXPECT_FALSE(foundAs(broken, info.name)) << "check bit at " << bit.first;
    }
}

TEST(Analysis, SummaryListsTheParametersInOrder) {
    const Durations nec = *analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 3);
    const analysis::Result result = Analyse(nec);
    ASSERT_EQ(result.decodes.size(), 1u);
    EXPECT_EQ(analysis::Summary(result.decodes[0]), "NEC1 D=4 S=251 F=8");
    EXPECT_EQ(result.decodes[0].repeatForm, analysis::RepeatForm::Ditto);
}

} // namespace

namespace {

Durations Scaled(Durations signal, double factor, std::size_t from = 0) {
    for (std::size_t i = from; i < signal.size(); ++i)
        signal[i] = static_cast<int32_t>(signal[i] * factor);
    return signal;
}

// Where published definitions of a protocol disagree, a signal sent by either decodes.
TEST(Analysis, EveryPublishedReadingDecodes) {
    struct Reading {
        std::string what;
        std::string protocol;
        std::vector<Param> params;
        int repeats;
        std::function<Durations(Durations, const Decode&)> change;
    };
    const auto spanOf = [](const Decode& d, analysis::Span::Kind kind, std::string_view label) {
        return *std::find_if(d.spans.begin(), d.spans.end(), [&](const analysis::Span& s) {
            return s.kind == kind && (label.empty() || s.label.starts_with(label));
        });
    };
    const std::vector<Reading> readings = {
        {"NECx1 ditto carrying D's lowest bit itself",
         "NECx1",
         {{"D", 5}, {"S", 5}, {"F", 9}},
         1,
         [&](Durations s, const Decode& d) {
             s[spanOf(d, analysis::Span::Kind::Repeat, "").first + 3] = 1692;
             return s;
         }},
        {"Apple pairing with the parity over F and PairID",
         "Apple",
         {{"D", 224}, {"S", 135}, {"F", 3}, {"PairID", 7}},
         0,
         [&](Durations s, const Decode& d) {
             const std::size_t bit = spanOf(d, analysis::Span::Kind::Field, "C=").first;
             s[bit + 1] = s[bit + 1] > 1000 ? 564 : 1692;
             return s;
         }},
        {"Samsung36 at a 500 us unit",
         "Samsung36",
         {{"D", 7}, {"S", 7}, {"F", 200}, {"E", 1}},
         0,
         [](Durations s, const Decode&) { return Scaled(s, 500.0 / 560.0, 2); }},
        {"RECS80 at a 180 us unit",
         "RECS80",
         {{"D", 3}, {"F", 33}, {"T", 1}},
         0,
         [](Durations s, const Decode&) { return Scaled(s, 180.0 / 158.0); }},
        {"Pioneer captured at a 530 us unit",
         "Pioneer",
         {{"D", 175}, {"S", 80}, {"F", 27}},
         0,
         [](Durations s, const Decode&) { return Scaled(s, 530.0 / 564.0); }},
    };
    for (const Reading& r : readings) {
        SCOPED_TRACE(r.what);
        const Durations clean = *analysis::Render(r.protocol, r.params, r.repeats);
        const analysis::Result result = Analyse(r.change(clean, Analyse(clean).decodes.at(0)));
        ASSERT_EQ(result.decodes.size(), 1u);
        EXPECT_EQ(result.decodes[0].protocol, r.protocol);
        EXPECT_EQ(result.decodes[0].params, r.params);
        EXPECT_EQ(result.decodes[0].repeats, r.repeats);
    }
}

// The receiver's lag is read off the signal: the windows of a distorted frame hold the nominal
// values shifted by it (marks later, spaces earlier) with at least the jitter's floor of room on
// both sides, and they move with the lag. (A window is where the duration still decodes with the
// others as received, so it is not centred on the lag where the lags allowed end at 0 or the
// largest lag.)
TEST(Analysis, WindowsFollowTheReceiversLag) {
    const Durations clean = *analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 0);
    constexpr int32_t kRoom = 100;
    analysis::Window unshifted{};
    for (const int32_t lag : {0, 60, 120, 150}) {
        const analysis::Result result = Analyse(Distorted(clean, lag, 0));
        ASSERT_EQ(result.decodes.size(), 1u) << lag;
        const analysis::Window mark = result.decodes[0].windows.at(2);
        const analysis::Window space = result.decodes[0].windows.at(3);
        EXPECT_GE(mark.nominal + lag - mark.low, kRoom) << lag;
        EXPECT_GE(mark.high - (mark.nominal + lag), kRoom) << lag;
        EXPECT_GE(space.nominal - lag - space.low, kRoom) << lag;
        EXPECT_GE(space.high - (space.nominal - lag), kRoom) << lag;
        if (lag == 0)
            unshifted = mark;
        else
            EXPECT_GT(mark.high, unshifted.high) << lag;
    }
}

} // namespace

namespace {

// The device simulator renders its remotes with code of its own. Where the table has a remote's
// protocol, both must give the same nominal frame, repeats included; the first ten remotes use
// their data sheets' rounded timings, a few microseconds off the table's, so their frames must
// decode as the expected code instead. Remotes come from the simulator's lists and names from the
// table, so a new remote or row is picked up by itself.
TEST(Analysis, SimulatorAndTableRenderTheSameFrames) {
    std::vector<irsim::Remote> remotes(std::begin(irsim::AllRemotes), std::end(irsim::AllRemotes));
    remotes.insert(remotes.end(), std::begin(irsim::IrpRemotes), std::end(irsim::IrpRemotes));
    const auto inTable = [](const std::string& name) {
        return analysis::FindProtocol(name) != nullptr ||
               analysis::LoneNameMembers(name) != std::vector<std::string>{name};
    };
    irsim::Receiver codes(17, irsim::Jitter{});
    int compared = 0;
    for (const irsim::Remote remote : remotes) {
        int differing = 0;
        std::string example;
        for (int i = 0; i < 300; ++i) {
            const irsim::RemoteCode code = codes.RandomCodeOf(remote);
            const analysistest::Expected expected = analysistest::Expect(code);
            if (std::none_of(expected.names.begin(), expected.names.end(), inTable))
                break; // a repeat code alone, or a protocol the table lacks
            const Durations nominal = irsim::NominalFrame(code);
            bool same = false;
            std::string table;
            if (irsim::TakesIrpParameters(remote)) {
                const auto row = analysistest::TableCodeOf(code);
                ASSERT_TRUE(row) << irsim::RemoteName(remote);
                Decode asked;
                asked.protocol = row->name;
                asked.params = row->params;
                table = analysis::Summary(asked) + " x" + std::to_string(code.repeats);
                const auto rendered = analysis::Render(row->name, row->params, code.repeats);
                same = rendered && std::equal(nominal.begin(), nominal.end(), rendered->begin(),
                                              rendered->end(), [](int32_t a, int32_t b) {
                                                  return std::abs(a - b) <= 1;
                                              });
            } else {
                const analysis::Result result = Analyse(nominal);
                table = result.decodes.empty() ? "nothing" : Summary(result.decodes[0]);
                same = analysistest::Correct(result, expected);
            }
            ++compared;
            if (!same && differing++ == 0)
                example = table;
        }
        EXPECT_EQ(differing, 0) << irsim::RemoteName(remote) << ", e.g. " << example;
    }
    EXPECT_GE(compared, 300 * 30);
}

} // namespace

namespace {

// Where two protocols fit one frame, the robust one is named, and the more specific one of equal
// robustness.
TEST(Analysis, TheMostRobustAndSpecificProtocolIsNamed) {
    struct Preference {
        std::string rendered;
        std::vector<Param> params;
        std::string named;
        Durations glitch = {}; // sent before the frame
    };
    const std::vector<Preference> preferences = {
        // The free fourth byte happens to be ~F: NEC's check holds.
        {"NEC1-f16", {{"D", 1}, {"S", 2}, {"F", 3}, {"E", 252}}, "NEC"},
        {"NEC1-f16", {{"D", 1}, {"S", 2}, {"F", 3}, {"E", 0}}, "NEC-f16"},
        // Apple's device code and parity fit.
        {"NEC1-f16", {{"D", 238}, {"S", 135}, {"F", 5}, {"E", 7}}, "Apple"},
        // Pioneer's device codes are Pioneer, others NEC (the carrier cannot be seen).
        {"NEC2", {{"D", 175}, {"S", 80}, {"F", 27}}, "Pioneer"},
        {"Pioneer", {{"D", 4}, {"S", 251}, {"F", 27}}, "NEC"},
        // A Kaseikyo frame with a member's OEM code is that member.
        {"Kaseikyo", {{"D", 0}, {"S", 1}, {"F", 2}, {"E", 0}, {"M", 170}, {"N", 90}}, "SharpDVD"},
        // Fujitsu has no check; its bytes passing Kaseikyo's nibble check keep it Fujitsu.
        {"Fujitsu", {{"D", 0}, {"S", 0}, {"F", 17}, {"E", 0}}, "Fujitsu"},
        // An X10 code below 16 is an X10-device frame, as one from 16 up is an X10-command one.
        {"X10", {{"F", 8}}, "X10-device"},
        {"X10", {{"F", 24}}, "X10-command"},
        // A glitch before a Sharp frame would make its first half a Mitsubishi frame.
        {"Sharp", {{"D", 3}, {"F", 77}}, "Sharp", {300, 900}},
    };
    for (const Preference& p : preferences) {
        Durations signal = p.glitch;
        const Durations frame = *analysis::Render(p.rendered, p.params, 0);
        signal.insert(signal.end(), frame.begin(), frame.end());
        const analysis::Result result = Analyse(signal);
        ASSERT_EQ(result.decodes.size(), 1u) << p.named;
        EXPECT_EQ(result.decodes[0].protocol, p.named);
    }
}

} // namespace

namespace {

// A frame sent again with its toggle changed (the key pressed anew) joins the decode as a toggled
// repeat, and its windows follow the changed bit.
TEST(Analysis, FramesWithTheToggleChangedAreToggledRepeats) {
    const std::vector<Param> params = {{"D", 5}, {"F", 9}, {"T", 0}};
    Durations signal = *analysis::Render("Thomson7", params, 2);
    const Decode held = Analyse(signal).decodes.at(0);
    ASSERT_EQ(held.repeatForm, analysis::RepeatForm::Frame);
    // T is the fifth bit; its space in the last repeat becomes a one's.
    const analysis::Span last = held.spans.back();
    ASSERT_EQ(last.kind, analysis::Span::Kind::Repeat);
    const std::size_t toggleSpace = last.first + 9;
    signal[toggleSpace] = 4500; // 9 units of 500 us: a one

    const analysis::Result result = Analyse(signal);
    ASSERT_EQ(result.decodes.size(), 1u);
    const Decode& pressed = result.decodes[0];
    EXPECT_EQ(pressed.params, params);
    EXPECT_EQ(pressed.repeats, 2);
    EXPECT_EQ(pressed.repeatForm, analysis::RepeatForm::Toggled);
    EXPECT_EQ(pressed.windows[toggleSpace].nominal, signal[toggleSpace]);
}

} // namespace

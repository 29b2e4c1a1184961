#include "analysis/Analysis.h"

#include <gmock/gmock.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace analysis {
namespace {

constexpr int32_t kHalf = 889; // RC5's half-bit

Durations Joined(std::initializer_list<Durations> parts) {
    Durations out;
    for (const Durations& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Marks lengthened and spaces shortened by `lag`, as receivers do.
Durations Lagged(Durations durations, int32_t lag) {
    for (std::size_t i = 0; i < durations.size(); ++i)
        durations[i] += i % 2 == 0 ? lag : -lag;
    return durations;
}

Durations Shortened(Durations durations, std::size_t by) {
    durations.resize(durations.size() - by);
    return durations;
}

Durations Rendered(std::string_view protocol, const std::vector<Param>& params, int repeats = 0) {
    return Render(protocol, params, repeats).value();
}

// An RC5 frame with D=0 and T=0 written out by hand: after the start bit (its space half unseen)
// the second start bit is a 1 for F < 64 (space, mark) or a 0 for F >= 64 (mark, space, so the
// first mark is two half-bits long); then T and the eleven 0 bits of D and F, mark then space,
// the last space running into the gap.
Durations Rc5ZeroFrame(bool extended) {
    Durations frame = extended ? Durations{2 * kHalf, kHalf, kHalf, kHalf}
                               : Durations{kHalf, kHalf, 2 * kHalf, kHalf};
    for (int bit = 0; bit < 10; ++bit)
        frame.insert(frame.end(), {kHalf, kHalf});
    frame.push_back(kHalf);
    return frame;
}

struct BiPhaseCase {
    std::string name;
    Durations durations;
    std::string summary; // of the first decode; empty: nothing decoded
    int repeats = 0;
    RepeatForm form = RepeatForm::None;
};

void PrintTo(const BiPhaseCase& c, std::ostream* out) {
    *out << c.name;
}

// Two renderings of one protocol with the given toggles, joined by the gap its repeats keep.
Durations TwoPresses(std::string_view protocol, std::vector<Param> params, int64_t first,
                     int64_t second) {
    params.push_back({"T", first});
    const Durations one = Rendered(protocol, params);
    const int32_t gap = Rendered(protocol, params, 1)[one.size()];
    params.back().value = second;
    return Joined({one, {gap}, Rendered(protocol, params)});
}

class BiPhaseAnalysisTest : public ::testing::TestWithParam<BiPhaseCase> {};

TEST_P(BiPhaseAnalysisTest, NamesTheFrameItsParametersAndRepeats) {
    const BiPhaseCase& c = GetParam();
    const Result result = Analyse(c.durations);
    if (c.summary.empty()) {
        EXPECT_THAT(result.decodes, ::testing::IsEmpty());
        return;
    }
    ASSERT_THAT(result.decodes, ::testing::SizeIs(1));
    const Decode& decode = result.decodes.front();
    EXPECT_EQ(Summary(decode), c.summary);
    EXPECT_EQ(decode.repeats, c.repeats);
    EXPECT_EQ(decode.repeatForm, c.form);
    EXPECT_EQ(decode.first, 0u);
    EXPECT_EQ(decode.last, c.durations.size() - 1);
    ASSERT_EQ(decode.windows.size(), c.durations.size());
    for (std::size_t i = 0; i < c.durations.size(); ++i)
        EXPECT_TRUE(c.durations[i] >= decode.windows[i].low &&
                    c.durations[i] <= decode.windows[i].high)
            << "duration " << i;
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, BiPhaseAnalysisTest,
    ::testing::Values(
        BiPhaseCase{"Rc5LeadingHalfBitUnseen", Rc5ZeroFrame(false), "RC5 D=0 F=0 T=0"},
        BiPhaseCase{"Rc5ExtendedMergesTheFirstMark", Rc5ZeroFrame(true), "RC5 D=0 F=64 T=0"},
        BiPhaseCase{"Rc5UnderReceiverLag", Lagged(Rc5ZeroFrame(true), 120), "RC5 D=0 F=64 T=0"},
        BiPhaseCase{"Rc5LastMarkMissing", Shortened(Rc5ZeroFrame(false), 2), ""},
        BiPhaseCase{"Rc5FollowedByMoreHalfBits", Joined({Rc5ZeroFrame(false), {kHalf, 2 * kHalf}}),
                    ""},
        BiPhaseCase{"Rc5SameToggleIsAFrameRepeat", TwoPresses("RC5", {{"D", 3}, {"F", 9}}, 0, 0),
                    "RC5 D=3 F=9 T=0", 1, RepeatForm::Frame},
        BiPhaseCase{"Rc5ChangedToggleIsToggled", TwoPresses("RC5", {{"D", 3}, {"F", 9}}, 0, 1),
                    "RC5 D=3 F=9 T=0", 1, RepeatForm::Toggled},
        BiPhaseCase{"Rc6DoubleTrailerMergedBothSides",
                    TwoPresses("RC6", {{"D", 0}, {"F", 255}}, 1, 0), "RC6 D=0 F=255 T=1", 1,
                    RepeatForm::Toggled},
        BiPhaseCase{"Rc5xPauseMergedWithHalfBits",
                    Rendered("RC5x", {{"D", 1}, {"S", 0}, {"F", 63}}, 2), "RC5x D=1 S=0 F=63 T=0",
                    2, RepeatForm::Frame},
        BiPhaseCase{"Rc6632WithTheMceCodeIsMce",
                    Rendered("RC6-6-32", {{"D", 5}, {"S", 15}, {"F", 12}, {"OEM1", 128}}),
                    "MCE D=5 S=15 F=12 T=0"},
        BiPhaseCase{"Rc6632WithAnotherCode",
                    Rendered("RC6-6-32", {{"D", 5}, {"S", 15}, {"F", 12}, {"OEM1", 7}}),
                    "RC6-6-32 D=5 S=15 F=12 OEM1=7 T=0"},
        // Neighbouring spaces lie 167 µs apart: a lag beyond half of that is read off the
        // frame's own marks.
        BiPhaseCase{
            "Nokia32UnderReceiverLag",
            Lagged(Rendered("Nokia32", {{"D", 255}, {"S", 0}, {"F", 0x1B}, {"X", 85}}), 130),
            "Nokia32 D=255 S=0 F=27 T=0 X=85"}),
    [](const auto& info) { return info.param.name; });

struct GenericCase {
    std::string name;
    Durations durations;
    std::string encoding;
    std::string bits;
    std::string hexLsb;
    std::string hexMsb;
    std::optional<std::pair<int32_t, int32_t>> header;
};

void PrintTo(const GenericCase& c, std::ostream* out) {
    *out << c.name;
}

// Bits in the order sent, each byte's lowest bit first.
std::string BitsOf(const std::vector<uint8_t>& bytes) {
    std::string bits;
    for (const uint8_t byte : bytes)
        for (int i = 0; i < 8; ++i)
            bits += (byte >> i) & 1 ? '1' : '0';
    return bits;
}

// An air conditioner's frame of no listed protocol: a header, then a mark and a short or long space
// per bit, then a closing mark.
Durations PulseDistance(const std::string& bits) {
    Durations out = {3100, 1600};
    for (const char bit : bits)
        out.insert(out.end(), {480, bit == '1' ? 1200 : 480});
    out.push_back(480);
    return out;
}

// A header, then a short or long mark per bit, each followed by the same space.
Durations PulseWidth(const std::string& bits) {
    Durations out = {3000, 1000};
    for (const char bit : bits)
        out.insert(out.end(), {bit == '1' ? 1000 : 500, 500});
    out.pop_back();
    return out;
}

const std::vector<uint8_t> kClimate = {0x23, 0xCB, 0x26, 0x01, 0x00, 0x24, 0x03,
                                       0x0B, 0x38, 0x00, 0x00, 0x00, 0x80, 0xB8};

class GenericAnalysisTest : public ::testing::TestWithParam<GenericCase> {};

TEST_P(GenericAnalysisTest, ReadsTheEncodingBitsAndHex) {
    const GenericCase& c = GetParam();
    const Generic generic = Analyse(c.durations).generic;
    EXPECT_EQ(generic.encoding, c.encoding);
    EXPECT_EQ(generic.bits, c.bits);
    EXPECT_EQ(generic.hexLsb, c.hexLsb);
    EXPECT_EQ(generic.hexMsb, c.hexMsb);
    EXPECT_EQ(generic.header, c.header);
}

INSTANTIATE_TEST_SUITE_P(
    UnlistedCodes, GenericAnalysisTest,
    ::testing::Values(GenericCase{"ClimatePulseDistance112Bits",
                                  Lagged(PulseDistance(BitsOf(kClimate)), 90), "pulse distance",
                                  BitsOf(kClimate), "23CB26010024030B3800000080B8",
                                  "C4D364800024C0D01C000000011D", std::pair{3190, 1510}},
                      GenericCase{"PulseWidthWithAShortLastByte", PulseWidth("110100001011"),
                                  "pulse width", "110100001011", "0BD", "D0B",
                                  std::pair{3000, 1000}},
                      GenericCase{"IrregularIsUnknown",
                                  {300, 700, 2700, 90, 1200, 1900, 4100, 350, 800},
                                  "unknown",
                                  "",
                                  "",
                                  "",
                                  std::nullopt}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace analysis

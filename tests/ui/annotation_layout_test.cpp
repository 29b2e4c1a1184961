// The protocol annotation's geometry and the frame clean-up, on hand-made analyses: the decoders
// themselves are tested with the analysis.

#include "ui/AnnotationLayout.h"
#include "ui/FrameCleanUp.h"

#include <gmock/gmock.h>

namespace ui {
namespace {

using analysis::Span;
using ::testing::ElementsAre;
using ::testing::FieldsAre;
using ::testing::IsEmpty;

// A lead (mark and space), two bits, a stop mark; the second bit's space is too long for its
// window and the stop mark runs backwards (a hand-edited file).
const std::vector<int32_t> Frame{9000, 4500, 560, 560, 560, 2000, -560};

analysis::Decode ShortDecode() {
    analysis::Decode decode;
    decode.protocol = "NEC1";
    decode.params = {{"D", 4}, {"S", 251}, {"F", 8}};
    decode.repeats = 3;
    decode.first = 0;
    decode.last = 6;
    decode.windows = {{9000, 8000, 10000}, {4500, 4000, 5000}, {560, 400, 700}, {560, 400, 700},
                      {560, 400, 700},     {1690, 1500, 1900}, {560, 400, 700}};
    decode.spans = {{Span::Kind::Lead, "", 0, 1},    {Span::Kind::Bit, "0", 2, 3},
                    {Span::Kind::Bit, "1", 4, 5},    {Span::Kind::Field, "D=4", 2, 5},
                    {Span::Kind::Trailer, "", 6, 6}, {Span::Kind::Bit, "x", 6, 9}};
    return decode;
}

TEST(AnnotationLayout, BoxesSitOnTheDrawnEdgesAndFlagDurationsOutsideTheirWindow) {
    analysis::Result result;
    result.decodes = {ShortDecode()};
    const AnnotationLayout layout = LayOutAnnotation(Frame, 0.1, result);

    // The span reaching past the frame is left out.
    EXPECT_THAT(layout.Symbols, ElementsAre(FieldsAre(Span::Kind::Lead, 0, 13500, "nagłówek"),
                                            FieldsAre(Span::Kind::Bit, 13500, 14620, "0"),
                                            FieldsAre(Span::Kind::Bit, 14620, 17180, "1"),
                                            FieldsAre(Span::Kind::Trailer, 17180, 16620, "stop")));
    EXPECT_THAT(layout.Fields, ElementsAre(FieldsAre(Span::Kind::Field, 13500, 17180, "D=4")));
    EXPECT_THAT(layout.Summary, ElementsAre(FieldsAre(0, "NEC1  D=4  S=251  F=8  ×3")));

    ASSERT_EQ(layout.Timings.size(), Frame.size());
    // Index, stretch, level, window of the closing edge, outside.
    EXPECT_THAT(layout.Timings[0], FieldsAre(0, 0, 9000, 0.1, 8000, 10000, false));
    EXPECT_THAT(layout.Timings[1], FieldsAre(1, 9000, 13500, 1.0, 13000, 14000, false));
    EXPECT_THAT(layout.Timings[5], FieldsAre(5, 15180, 17180, 1.0, 16680, 17080, true));
    EXPECT_THAT(layout.Timings[6], FieldsAre(6, 17180, 16620, 0.1, 16480, 16780, false));
}

TEST(AnnotationLayout, UnknownSignalsShowTheGenericReadingAndEmptyFramesNothing) {
    analysis::Result result;
    result.generic = {"pulse distance", {}, {}, std::nullopt, "0100", "2", "4"};
    const AnnotationLayout layout = LayOutAnnotation(Frame, 1.0, result);
    EXPECT_THAT(layout.Symbols, IsEmpty());
    EXPECT_THAT(layout.Timings, IsEmpty());
    EXPECT_THAT(
        layout.Summary,
        ElementsAre(FieldsAre(0, "Nieznany protokół: kodowanie odstępem impulsów, bitów: 4, MSB 4, LSB 2")));

    result.generic = {"unknown", {}, {}, std::nullopt, "", "", ""};
    EXPECT_THAT(LayOutAnnotation(Frame, 1.0, result).Summary,
                ElementsAre(FieldsAre(0, "Nieznany protokół")));
    EXPECT_THAT(LayOutAnnotation({}, 1.0, result).Summary, IsEmpty());
}

struct CleanCase {
    const char* name;
    std::vector<int32_t> durations;
    std::vector<std::pair<std::size_t, std::size_t>> decodes; // first, last
    std::vector<int32_t> nominal;                             // what each decode renders to
    std::optional<std::vector<int32_t>> clean;
};

void PrintTo(const CleanCase& c, std::ostream* os) {
    *os << c.name;
}

class FrameCleanUp : public ::testing::TestWithParam<CleanCase> {};

TEST_P(FrameCleanUp, ReplacesDecodedStretchesAndKeepsTheRest) {
    const CleanCase& c = GetParam();
    std::vector<analysis::Decode> decodes;
    for (const auto& [first, last] : c.decodes) {
        analysis::Decode decode;
        decode.first = first;
        decode.last = last;
        decodes.push_back(decode);
    }
    const auto nominal = [&](const analysis::Decode&) { return c.nominal; };
    EXPECT_EQ(CleanDurations(c.durations, decodes, nominal), c.clean);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, FrameCleanUp, ::testing::Values(
    CleanCase{"whole frame", {9100, 4400, 600}, {{0, 2}}, {9000, 4500, 560}, {{9000, 4500, 560}}},
    // Noise around the decode stays as captured.
    CleanCase{"kept around", {30, 40, 9100, 4400, 600, 7000, 50}, {{2, 4}}, {9000, 4500, 560},
              {{30, 40, 9000, 4500, 560, 7000, 50}}},
    // A stretch ending with its gap keeps the gap, so marks and spaces still alternate.
    CleanCase{"gap kept", {9100, 4400, 600, 7000, 50}, {{0, 3}}, {9000, 4500, 560},
              {{9000, 4500, 560, 7000, 50}}},
    CleanCase{"two decodes", {9100, 4400, 600, 7000, 9050, 4450, 590}, {{0, 2}, {4, 6}},
              {9000, 4500, 560}, {{9000, 4500, 560, 7000, 9000, 4500, 560}}},
    CleanCase{"nothing decoded", {9100, 4400, 600}, {}, {9000, 4500, 560}, std::nullopt},
    CleanCase{"not rendered", {9100, 4400, 600}, {{0, 2}}, {}, std::nullopt},
    CleanCase{"past the end", {9100, 4400, 600}, {{0, 3}}, {9000, 4500, 560}, std::nullopt},
    CleanCase{"out of order", {9100, 4400, 600, 7000, 9050}, {{2, 4}, {0, 2}},
              {9000, 4500, 560}, std::nullopt}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });
// clang-format on

} // namespace
} // namespace ui

#include "ui/ChartGeometry.h"

#include <QLineF>
#include <gmock/gmock.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace ui {
namespace {

struct StepCase {
    double RangeWidth;
    double AxisPixels;
    double LabelPixels;
    double Step;
};

void PrintTo(const StepCase& c, std::ostream* os) {
    *os << c.RangeWidth << " us over " << c.AxisPixels << " px, labels " << c.LabelPixels << " px";
}

class ChartLabelStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(ChartLabelStepTest, ChoosesTheSmallestStepWhoseLabelsFit) {
    const StepCase c = GetParam();
    EXPECT_DOUBLE_EQ(BottomAxisLabelStep(c.RangeWidth, c.AxisPixels, c.LabelPixels), c.Step);
}

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, ChartLabelStepTest, ::testing::Values(
    // Room for every label at 500: 10000 us over 800 px puts labels 40 px apart; exactly the
    // label plus the gap still fits, half a pixel more takes the next step.
    StepCase{10000, 800, 30, 500}, StepCase{10000, 800, 40 - LabelGapPixels, 500},
    StepCase{10000, 800, 40.5 - LabelGapPixels, 1000},
    // A full frame over a wide chart, the example frame, and through 2, 5 and 10 times a power
    // of ten.
    StepCase{300000, 750, 40, 20000}, StepCase{14060, 750, 36, 1000},
    StepCase{100000, 1000, 5, 2000}, StepCase{100000, 1000, 40, 5000},
    StepCase{100000, 1000, 85, 10000}, StepCase{1000000, 100, 2, 100000},
    // A short range that fits easily keeps the base step.
    StepCase{600, 800, 30, 500},
    // Nothing fits: the step grows past the range and stops there.
    StepCase{14060, 0, 30, 20000}, StepCase{14060, -5, 30, 20000}, StepCase{1000, 10, 400, 2000},
    // Degenerate ranges keep the base step.
    StepCase{0, 800, 30, 500}, StepCase{-100, 800, 30, 500}, StepCase{Inf, 800, 30, 500},
    StepCase{NaN, 800, 30, 500}, StepCase{1000, NaN, 30, 500}));
// clang-format on

TEST(ChartLabelStep, FollowsTheOneTwoFiveSequence) {
    double step = BaseLabelStep;
    const double expected[] = {1000, 2000, 5000, 10000, 20000, 50000, 100000, 200000, 500000, 1e6};
    for (const double next : expected) {
        step = NextLabelStep(step);
        EXPECT_DOUBLE_EQ(step, next);
    }
}

TEST(ChartLabelStep, ChosenStepAlwaysLeavesRoomUnlessItExceedsTheRange) {
    for (double range = 100; range < 1e9; range *= 3.7) {
        for (double pixels = 50; pixels < 3000; pixels *= 1.9) {
            const double step = BottomAxisLabelStep(range, pixels, 37);
            const bool fits = step * pixels / range >= 37 + LabelGapPixels;
            EXPECT_TRUE(fits || step > range) << range << " " << pixels;
            // The step before it in the sequence would not have fitted.
            double previous = 0;
            for (double s = BaseLabelStep; s < step; s = NextLabelStep(s)) {
                previous = s;
            }
            if (previous > 0) {
                EXPECT_LT(previous * pixels / range, 37 + LabelGapPixels) << range << " " << pixels;
            }
        }
    }
}

struct NumberCase {
    const char* Locale;
    double Value;
    const char* Text;
};

void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << c.Locale << " " << c.Value;
}

class ChartMarkNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ChartMarkNumberTest, FormatsGroupedWithAtMostThreeDecimals) {
    const NumberCase c = GetParam();
    EXPECT_EQ(FormatMarkNumber(c.Value, QLocale(QString::fromLatin1(c.Locale))).toStdString(),
              c.Text);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, ChartMarkNumberTest, ::testing::Values(
    NumberCase{"en_US", 0.1, "0.1"}, NumberCase{"en_US", 1.0, "1"}, NumberCase{"en_US", 0.0, "0"},
    NumberCase{"en_US", -0.0001, "0"}, NumberCase{"en_US", 4.0, "4"},
    NumberCase{"en_US", 1234.5678, "1,234.568"}, NumberCase{"en_US", -9000, "-9,000"},
    NumberCase{"en_US", 0.0005, "0.001"}, NumberCase{"en_US", 1234567, "1,234,567"},
    NumberCase{"en_US", -123456.7, "-123,456.7"},
    NumberCase{"en_US", 1e15, "1,000,000,000,000,000"},
    NumberCase{"C", 1000.25, "1,000.25"}, NumberCase{"de_DE", 14060.1, "14.060,1"},
    NumberCase{"pl_PL", 0.1, "0,1"}, NumberCase{"pl_PL", 1.0, "1"}, NumberCase{"pl_PL", 999, "999"},
    NumberCase{"pl_PL", 12345.5, "12\u00a0345,5"}, NumberCase{"pl_PL", 1234.5, "1\u00a0234,5"},
    NumberCase{"pl_PL", -5000, "-5\u00a0000"}));
// clang-format on

TEST(ChartAutomaticSpan, RunsFromSmallestToLargestXAndCentresASingleX) {
    const AxisSpan span = AutomaticSpan(-560, 14060);
    EXPECT_DOUBLE_EQ(span.Lower, -560);
    EXPECT_DOUBLE_EQ(span.Upper, 14060);
    const AxisSpan single = AutomaticSpan(0, 0);
    EXPECT_DOUBLE_EQ(single.Lower, -BaseLabelStep / 2);
    EXPECT_DOUBLE_EQ(single.Upper, BaseLabelStep / 2);
}

TEST(ChartDepth, IsThePercentOfTheSmallerSide) {
    EXPECT_DOUBLE_EQ(DepthPixels(QSizeF(811, 250), DepthPercent), 20);
    EXPECT_DOUBLE_EQ(DepthPixels(QSizeF(100, 400), DepthPercent), 8);
    EXPECT_DOUBLE_EQ(DepthPixels(QSizeF(0, 400), DepthPercent), 0);
    EXPECT_DOUBLE_EQ(DepthPixels(QSizeF(-5, 400), DepthPercent), 0);
    EXPECT_EQ(DepthOffset(20), QPointF(20, -20)); // back is up and to the right
}

TEST(ChartMarkPlacement, CentresTheBoxAboveAnEightPixelConnector) {
    const MarkPlacement mark = PlaceMark(QPointF(100, 50), QSizeF(30, 14));
    EXPECT_EQ(mark.ConnectorStart, QPointF(100, 50));
    EXPECT_EQ(mark.ConnectorEnd, QPointF(100, 42));
    EXPECT_DOUBLE_EQ(QLineF(mark.ConnectorStart, mark.ConnectorEnd).length(), 8.0);
    EXPECT_EQ(mark.Box, QRectF(85, 28, 30, 14));
}

} // namespace
} // namespace ui

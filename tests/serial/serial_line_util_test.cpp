#include "serial/SerialUtil.h"

#include <gmock/gmock.h>

#include <cerrno>
#include <chrono>
#include <ostream>
#include <thread>

namespace serial {
namespace {

struct LineEndCase {
    const char* text;
    std::ptrdiff_t position;
    const char* lineEnd;
};

void PrintTo(const LineEndCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.text);
}

class FindLineEndTest : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(FindLineEndTest, FindsFirstLineEndAndItsSequence) {
    const LineEndCase c = GetParam();
    std::string_view lineEnd = "stale";
    EXPECT_EQ(FindLineEnd(c.text, lineEnd), c.position);
    EXPECT_EQ(lineEnd, c.lineEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindLineEndTest,
    ::testing::Values(LineEndCase{"", -1, ""}, LineEndCase{"no end", -1, ""},
                      LineEndCase{"ab\r\ncd", 2, "\r\n"}, LineEndCase{"ab\n\rcd", 2, "\n\r"},
                      LineEndCase{"ab\rcd", 2, "\r"}, LineEndCase{"ab\ncd", 2, "\n"},
                      LineEndCase{"ab\r", 2, "\r"}, LineEndCase{"\n", 0, "\n"},
                      LineEndCase{"\r\r\n", 0, "\r"}, LineEndCase{"\n\n", 0, "\n"}));

struct TickCase {
    std::uint32_t earlier;
    std::uint32_t later;
    std::uint32_t expected;
};

void PrintTo(const TickCase& c, std::ostream* os) {
    *os << c.earlier << " -> " << c.later;
}

class TicksBetweenTest : public ::testing::TestWithParam<TickCase> {};

TEST_P(TicksBetweenTest, MeasuresDistance) {
    const TickCase c = GetParam();
    EXPECT_EQ(TicksBetween(c.earlier, c.later), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TicksBetweenTest,
                         ::testing::Values(TickCase{500, 500, 0}, TickCase{40, 100, 60},
                                           // swapped ticks without a wrap answer their distance
                                           TickCase{100, 40, 60},
                                           // 16 ms before the 32-bit wrap to 16 ms after it
                                           TickCase{0xFFFF'FFF0u, 0x10u, 32},
                                           TickCase{0xFFFF'FFFFu, 0, 1},
                                           // lower top half: no wrap, so the plain distance
                                           TickCase{0x7FFF'FFF0u, 0x10u, 0x7FFF'FFE0u}));

static_assert(TicksBetween(0xFFFF'FFF0u, 0x10u) == 32);

TEST(MillisecondTickTest, AdvancesWithWallTime) {
    const std::uint32_t before = MillisecondTick();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint32_t passed = TicksBetween(before, MillisecondTick());
    EXPECT_GE(passed, 49u);
    EXPECT_LT(passed, 2000u);
}

TEST(OsErrorTextTest, GivesTheSystemTextWithoutTrailingPunctuation) {
    EXPECT_EQ(OsErrorText(ENOENT), "No such file or directory");
    EXPECT_EQ(OsErrorText(EBUSY), "Device or resource busy");
    EXPECT_EQ(OsErrorText(EIO), "Input/output error");
    for (int code = 1; code < 200; ++code) {
        const std::string text = OsErrorText(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_LE(text.size(), 255u);
        EXPECT_THAT(text, ::testing::Not(::testing::EndsWith("."))) << code;
        EXPECT_THAT(text, ::testing::Not(::testing::EndsWith(" "))) << code;
    }
    EXPECT_THAT(OsErrorText(-200), ::testing::HasSubstr("-200"));
}

} // namespace
} // namespace serial

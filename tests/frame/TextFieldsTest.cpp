#include "frame/TextFields.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>

namespace frame {
namespace {

struct TakeCase {
    std::string text;
    char delimiter;
    std::string field;
    std::string rest;
};

// Case texts may hold line ends and tabs, which must stay out of test names.
void PrintTo(const TakeCase& c, std::ostream* out) {
    *out << c.text.size() << "-byte text";
}

using T = TakeCase;

class FrameTakeFieldTest : public ::testing::TestWithParam<TakeCase> {};

TEST_P(FrameTakeFieldTest, SplitsAtFirstDelimiterAndTrimsBlanksOnly) {
    const TakeCase& c = GetParam();
    std::string text = c.text;
    EXPECT_EQ(TakeField(text, c.delimiter), c.field);
    EXPECT_EQ(text, c.rest);

    std::string_view view = c.text;
    EXPECT_EQ(TakeField(view, c.delimiter), c.field);
    EXPECT_EQ(view, c.rest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameTakeFieldTest,
    ::testing::Values(T{"a,b,c", ',', "a", "b,c"}, T{"  a  ,  b , c  ", ',', "a", "b , c"},
                      T{"abc", ',', "abc", ""}, T{"  abc  ", ',', "abc", ""}, T{",x", ',', "", "x"},
                      T{"x,", ',', "x", ""}, T{"x,   ", ',', "x", ""}, T{"", ',', "", ""},
                      T{"\ta\t,\tb\t", ',', "\ta\t", "\tb\t"},
                      T{"+ATI: IR 1.0", ':', "+ATI", "IR 1.0"}, T{"a:b:c", ':', "a", "b:c"}));

struct IntCase {
    std::string text;
    std::optional<int32_t> value;
};

void PrintTo(const IntCase& c, std::ostream* out) {
    *out << c.text.size() << "-byte text";
}

constexpr std::nullopt_t No = std::nullopt;

using I = IntCase;

class FrameParseInt32Test : public ::testing::TestWithParam<IntCase> {};

TEST_P(FrameParseInt32Test, ReadsDecimalAndHexOrRefuses) {
    EXPECT_EQ(ParseInt32(GetParam().text), GetParam().value)
        << "text: \"" << GetParam().text << "\"";
    EXPECT_EQ(DurationFromField(GetParam().text), GetParam().value.value_or(0));
}

INSTANTIATE_TEST_SUITE_P(Accepted, FrameParseInt32Test,
                         ::testing::Values(I{"0", 0}, I{"560", 560}, I{"+560", 560}, I{"-5", -5},
                                           I{"000123", 123}, I{"$230", 0x230}, I{"x1f", 0x1f},
                                           I{"X1F", 0x1f}, I{"0x10", 16}, I{"0XaB", 0xab},
                                           I{"-$10", -16}, I{"+x10", 16},
                                           I{"2147483647", INT32_MAX}, I{"-2147483648", INT32_MIN},
                                           I{"$7FFFFFFF", INT32_MAX}, I{"-$80000000", INT32_MIN},
                                           I{"0000000000000000000000000000042", 42}));

INSTANTIATE_TEST_SUITE_P(
    Refused, FrameParseInt32Test,
    ::testing::Values(I{"", No}, I{"abc", No}, I{"+", No}, I{"-", No}, I{"$", No}, I{"0x", No},
                      I{"12 ", No}, I{" 12", No}, I{"1 2", No}, I{"\t5", No}, I{"12a", No},
                      I{"$12g", No}, I{"--5", No}, I{"$-5", No}, I{"1.5", No}, I{"2147483648", No},
                      I{"-2147483649", No}, I{"$80000000", No}, I{"$FFFFFFFF", No},
                      I{"99999999999999999999999999", No}, I{std::string("5\0", 2), No}));

} // namespace
} // namespace frame

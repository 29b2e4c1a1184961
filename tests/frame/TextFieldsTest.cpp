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
    ::testing::Values(
        TakeCase{"a,b,c", ',', "a", "b,c"}, TakeCase{"  a  ,  b , c  ", ',', "a", "b , c"},
        TakeCase{"abc", ',', "abc", ""}, TakeCase{"  abc  ", ',', "abc", ""},
        TakeCase{",x", ',', "", "x"}, TakeCase{"x,", ',', "x", ""}, TakeCase{"x,   ", ',', "x", ""},
        TakeCase{"", ',', "", ""}, TakeCase{"\ta\t,\tb\t", ',', "\ta\t", "\tb\t"},
        TakeCase{"+ATI: IR 1.0", ':', "+ATI", "IR 1.0"}, TakeCase{"a:b:c", ':', "a", "b:c"}));

struct IntCase {
    std::string text;
    std::optional<int32_t> value;
};

void PrintTo(const IntCase& c, std::ostream* out) {
    *out << c.text.size() << "-byte text";
}

class FrameParseInt32Test : public ::testing::TestWithParam<IntCase> {};

TEST_P(FrameParseInt32Test, ReadsDecimalAndHexOrRefuses) {
    EXPECT_EQ(ParseInt32(GetParam().text), GetParam().value)
        << "text: \"" << GetParam().text << "\"";
    EXPECT_EQ(DurationFromField(GetParam().text), GetParam().value.value_or(0));
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, FrameParseInt32Test,
    ::testing::Values(IntCase{"0", 0}, IntCase{"560", 560}, IntCase{"+560", 560}, IntCase{"-5", -5},
                      IntCase{"000123", 123}, IntCase{"$230", 0x230}, IntCase{"x1f", 0x1f},
                      IntCase{"X1F", 0x1f}, IntCase{"0x10", 16}, IntCase{"0XaB", 0xab},
                      IntCase{"-$10", -16}, IntCase{"+x10", 16}, IntCase{"2147483647", INT32_MAX},
                      IntCase{"-2147483648", INT32_MIN}, IntCase{"$7FFFFFFF", INT32_MAX},
                      IntCase{"-$80000000", INT32_MIN},
                      IntCase{"0000000000000000000000000000042", 42}));

INSTANTIATE_TEST_SUITE_P(
    Refused, FrameParseInt32Test,
    ::testing::Values(
        IntCase{"", std::nullopt}, IntCase{"abc", std::nullopt}, IntCase{"+", std::nullopt},
        IntCase{"-", std::nullopt}, IntCase{"$", std::nullopt}, IntCase{"0x", std::nullopt},
        IntCase{"12 ", std::nullopt}, IntCase{" 12", std::nullopt}, IntCase{"1 2", std::nullopt},
        IntCase{"\t5", std::nullopt}, IntCase{"12a", std::nullopt}, IntCase{"$12g", std::nullopt},
        IntCase{"--5", std::nullopt}, IntCase{"$-5", std::nullopt}, IntCase{"1.5", std::nullopt},
        IntCase{"2147483648", std::nullopt}, IntCase{"-2147483649", std::nullopt},
        IntCase{"$80000000", std::nullopt}, IntCase{"$FFFFFFFF", std::nullopt},
        IntCase{"99999999999999999999999999", std::nullopt},
        IntCase{std::string("5\0", 2), std::nullopt}));

} // namespace
} // namespace frame

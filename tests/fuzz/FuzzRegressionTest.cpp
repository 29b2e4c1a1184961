#include "fuzz/checks/AnalysisTarget.h"
#include "fuzz/checks/FormatsTarget.h"
#include "fuzz/checks/FrameTargets.h"
#include "fuzz/checks/FuzzCheck.h"
#include "fuzz/checks/IrpTarget.h"
#include "fuzz/checks/Reference.h"

#include "frame/FrameFile.h"
#include "frame/PulseFrame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

namespace frame::fuzz {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

struct Target {
    const char* name;
    CheckFunction check;
    friend void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }
};

const Target Targets[] = {
    {"device_lines", CheckDeviceLines},
    {"frame_file", CheckFrameFile},
    {"text_fields", CheckTextFields},
    {"c_table", CheckCTable},
    {"analysis", analysis::fuzz::CheckAnalysis},
    {"formats", CheckFormats},
    {"irp", analysis::fuzz::CheckIrp},
};

// The inputs kept in a folder, in a stable order; names starting with a dot are not inputs.
std::vector<fs::path> InputsIn(const fs::path& folder) {
    std::vector<fs::path> inputs;
    if (!fs::is_directory(folder)) {
        return inputs;
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && !entry.path().filename().string().starts_with('.')) {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Replay(const Target& target, const std::vector<fs::path>& inputs) {
    for (const fs::path& input : inputs) {
        try {
            target.check(ReadAll(input));
        } catch (const CheckFailure& failure) {
            ADD_FAILURE() << input << ": " << failure.what();
        }
    }
}

class Replays : public ::testing::TestWithParam<Target> {};

TEST_P(Replays, EverySeedPassesTheChecks) {
    const auto inputs = InputsIn(fs::path(DEKODER_FUZZ_DIR) / "seeds" / GetParam().name);
    // An empty or missing corpus would let this test pass without checking anything.
    ASSERT_GE(inputs.size(), 10u);
    Replay(GetParam(), inputs);
}

TEST_P(Replays, EveryKeptFindingPassesTheChecks) {
    const auto inputs = InputsIn(fs::path(DEKODER_FUZZ_DIR) / "regressions" / GetParam().name);
    if (inputs.empty()) {
        GTEST_SKIP() << "no finding kept for this target";
    }
    Replay(GetParam(), inputs);
}

INSTANTIATE_TEST_SUITE_P(FuzzTargets, Replays, ::testing::ValuesIn(Targets),
                         [](const auto& info) { return std::string(info.param.name); });

// Inputs longer than the fuzzers ever make: a file at the size limit and one byte over it
// (leading zeros let one duration line fill it), a device line of many thousand values, and
// numbers of many thousand digits.
TEST(FuzzLargeInputs, PassTheChecks) {
    for (const size_t size : {FrameFileSizeLimit, FrameFileSizeLimit + 1}) {
        EXPECT_NO_THROW(CheckFrameFile("1\r\n" + std::string(size - 8, '0') + "560\r\n"));
    }
    std::string line(DeviceSignature);
    for (int i = 0; i < 100000; ++i) {
        line += "," + std::to_string(i);
    }
    EXPECT_NO_THROW(CheckDeviceLines(line + "\r\n\x04\n\x06\n"));
    EXPECT_NO_THROW(CheckTextFields(std::string(100000, '9')));
    EXPECT_NO_THROW(CheckTextFields("-" + std::string(100000, '0') + "1"));
}

// The references must hold the rules themselves, or the fuzzers compare against the wrong thing.

struct NumberCase {
    const char* text;
    std::optional<int32_t> value;
};

TEST(FuzzReference, ReadsNumbersByTheRules) {
    // clang-format off
    const NumberCase cases[] = {
        {"560", 560}, {"+560", 560}, {"-5", -5}, {"$230", 560}, {"x230", 560}, {"X230", 560},
        {"0x230", 560}, {"0X230", 560}, {"$aBcD", 0xABCD}, {"0007", 7}, {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN}, {"-$80000000", INT32_MIN}, {"2147483648", std::nullopt},
        {"$80000000", std::nullopt}, {"", std::nullopt}, {" 5", std::nullopt}, {"5 ", std::nullopt},
        {"0x", std::nullopt}, {"$", std::nullopt}, {"-", std::nullopt}, {"--5", std::nullopt},
        {"0x0x5", std::nullopt}, {"\t5", std::nullopt}, {"1e3", std::nullopt},
        {"99999999999999999999", std::nullopt}};
    // clang-format on
    for (const NumberCase& c : cases) {
        EXPECT_EQ(ReferenceInt32(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(FuzzReference, ReadsDeviceLines) {
    const std::string s(DeviceSignature);
    EXPECT_THAT(ReadDeviceLine(s + ",560, 1690 ,,abc,-5", s).durations,
                ElementsAre(560, 1690, 0, 0, -5));
    EXPECT_EQ(ReadDeviceLine("  " + s + " ,9000", s).kind, ReferenceLine::Kind::Frame);
    EXPECT_THAT(ReadDeviceLine(s + ",9000, , ", s).durations, ElementsAre(9000, 0));
    EXPECT_THAT(ReadDeviceLine(s + ",", s).durations, IsEmpty());
    EXPECT_EQ(ReadDeviceLine("OK ", s).kind, ReferenceLine::Kind::Other);
    EXPECT_EQ(ReadDeviceLine("OK", s).kind, ReferenceLine::Kind::Acknowledgement);

    const ReferenceLine ident = ReadDeviceLine("+ATI: " + s + ",9000", s);
    EXPECT_TRUE(ident.identification);
    EXPECT_EQ(ident.identText, s + ",9000");
    EXPECT_THAT(ident.durations, ElementsAre(9000));
}

TEST(FuzzReference, SplitsFileLinesAtEveryLineEnd) {
    EXPECT_THAT(SplitFileLines("1\r\n5\r\n"), ElementsAre("1", "5"));
    EXPECT_THAT(SplitFileLines("1\n5\r6"), ElementsAre("1", "5", "6"));
    EXPECT_THAT(SplitFileLines("1\r\r\n"), ElementsAre("1", ""));
    EXPECT_THAT(SplitFileLines("1\n\r"), ElementsAre("1", ""));
    EXPECT_THAT(SplitFileLines(""), IsEmpty());
}

TEST(FuzzReference, TableParserTakesTheExactLayout) {
    const ParsedTable seven = ParseCTable(
        "uint16_t tab[7] PROGMEM = { \r\n\t9000,4500,560,560,560,\r\n\t1690,560 \r\n};");
    EXPECT_THAT(seven.error, IsEmpty());
    EXPECT_THAT(seven.values, ElementsAre(9000, 4500, 560, 560, 560, 1690, 560));
    EXPECT_THAT(ParseCTable("uint16_t tab[1] PROGMEM = { 9000 \r\n};").error, IsEmpty());
    EXPECT_THAT(ParseCTable("uint16_t tab[0] PROGMEM = {  \r\n};").error, IsEmpty());
    EXPECT_THAT(ParseCTable("uint16_t tab[6] PROGMEM = { \r\n\t1,2,3,4,5,6 \r\n};").error,
                IsEmpty());
}

TEST(FuzzReference, TableParserRefusesEveryLayoutFault) {
    const char* const broken[] = {
        // A line break before the last value.
        "uint16_t tab[6] PROGMEM = { \r\n\t1,2,3,4,5,\r\n\t6 \r\n};",
        // No TAB, a blank between values, a leading zero, a "-0".
        "uint16_t tab[2] PROGMEM = { \r\n1,2 \r\n};",
        "uint16_t tab[2] PROGMEM = { \r\n\t1, 2 \r\n};",
        "uint16_t tab[2] PROGMEM = { \r\n\t01,2 \r\n};",
        "uint16_t tab[2] PROGMEM = { \r\n\t-0,2 \r\n};",
        // A count that differs from the values, a missing closing, a final line break.
        "uint16_t tab[3] PROGMEM = { \r\n\t1,2 \r\n};",
        "uint16_t tab[2] PROGMEM = { \r\n\t1,2 \r\n}",
        "uint16_t tab[2] PROGMEM = { \r\n\t1,2 \r\n};\r\n",
        // A single value moved off the header line; an empty table without its blank.
        "uint16_t tab[1] PROGMEM = { \r\n\t9000 \r\n};",
        "uint16_t tab[0] PROGMEM = { \r\n};",
    };
    for (const char* text : broken) {
        EXPECT_THAT(ParseCTable(text).error, Not(IsEmpty())) << text;
    }
}

TEST(FuzzReference, EmissionParserChecksPositionsAndTheClosingCount) {
    EXPECT_THAT(ParseEmission({"AT+SND=1,9000\r", "AT+SND=2,-5\r", "AT+SND=0,2\r"}).durations,
                ElementsAre(9000, -5));
    EXPECT_THAT(ParseEmission({"AT+SND=0,0\r"}).error, IsEmpty());
    EXPECT_THAT(ParseEmission({"AT+SND=2,9000\r", "AT+SND=0,1\r"}).error, Not(IsEmpty()));
    EXPECT_THAT(ParseEmission({"AT+SND=1,9000\r", "AT+SND=0,2\r"}).error, Not(IsEmpty()));
    EXPECT_THAT(ParseEmission({"AT+SND=1,9000\r"}).error, Not(IsEmpty()));
    EXPECT_THAT(ParseEmission({"AT+SND=1,9000", "AT+SND=0,1\r"}).error, Not(IsEmpty()));
}

} // namespace
} // namespace frame::fuzz

#include "frame/CTable.h"
#include "frame/Emission.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <climits>
#include <numeric>
#include <ostream>

namespace frame {
namespace {

using ::testing::ElementsAre;

PulseFrame FrameOf(const std::vector<int32_t>& durations) {
    PulseFrame frame;
    std::copy(durations.begin(), durations.end(), frame.Durations.begin());
    frame.Count = static_cast<int32_t>(durations.size());
    return frame;
}

// Durations 1, 2, ..., n, so every value in the table shows its position.
std::vector<int32_t> Numbered(int n) {
    std::vector<int32_t> durations(static_cast<size_t>(n));
    std::iota(durations.begin(), durations.end(), 1);
    return durations;
}

TEST(FrameEmissionTest, EachPulseWithItsPositionThenTheCount) {
    EXPECT_THAT(
        FrameEmissionCommands(FrameOf({9000, 4500, 560})),
        ElementsAre("AT+SND=1,9000\r", "AT+SND=2,4500\r", "AT+SND=3,560\r", "AT+SND=0,3\r"));
    EXPECT_THAT(FrameEmissionCommands(FrameOf({100, -5})),
                ElementsAre("AT+SND=1,100\r", "AT+SND=2,-5\r", "AT+SND=0,2\r"));
    EXPECT_THAT(FrameEmissionCommands(PulseFrame{}), ElementsAre("AT+SND=0,0\r"));
}

TEST(FrameEmissionTest, OnlyCountedPulsesLeaveAndNeverMoreThanTheCapacity) {
    PulseFrame frame = FrameOf({1, 2, 3});
    frame.Count = 1;
    frame.Mode = ModeTransmitter;
    EXPECT_THAT(FrameEmissionCommands(frame), ElementsAre("AT+SND=1,1\r", "AT+SND=0,1\r"));

    frame = FrameOf(Numbered(FrameCapacity));
    frame.Count = FrameCapacity + 9;
    const auto commands = FrameEmissionCommands(frame);
    ASSERT_EQ(commands.size(), static_cast<size_t>(FrameCapacity) + 1);
    EXPECT_EQ(commands[300], "AT+SND=301,301\r");
    EXPECT_EQ(commands.back(), "AT+SND=0,301\r");
}

struct TableCase {
    std::vector<int32_t> durations;
    std::string text;
};

void PrintTo(const TableCase& c, std::ostream* out) {
    *out << "n = " << c.durations.size();
}

class FrameCTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(FrameCTableTest, LinesOfFiveWithTheLastValueNeverAlone) {
    EXPECT_EQ(CTableText(FrameOf(GetParam().durations)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, FrameCTableTest,
    ::testing::Values(
        TableCase{{9000}, "uint16_t tab[1] PROGMEM = { 9000 \r\n};"},
        TableCase{Numbered(2), "uint16_t tab[2] PROGMEM = { \r\n\t1,2 \r\n};"},
        TableCase{Numbered(5), "uint16_t tab[5] PROGMEM = { \r\n\t1,2,3,4,5 \r\n};"},
        TableCase{Numbered(6), "uint16_t tab[6] PROGMEM = { \r\n\t1,2,3,4,5,6 \r\n};"},
        TableCase{{9000, 4500, 560, 560, 560, 1690, 560},
                  "uint16_t tab[7] PROGMEM = { \r\n\t9000,4500,560,560,560,\r\n\t1690,560 \r\n};"},
        TableCase{Numbered(11),
                  "uint16_t tab[11] PROGMEM = { \r\n\t1,2,3,4,5,\r\n\t6,7,8,9,10,11 \r\n};"},
        TableCase{Numbered(12), "uint16_t tab[12] PROGMEM = { \r\n\t1,2,3,4,5,\r\n\t6,7,8,9,10,"
                                "\r\n\t11,12 \r\n};"},
        // Values are written as stored, whatever the element type of the table.
        TableCase{{-5, 70000, INT32_MIN},
                  "uint16_t tab[3] PROGMEM = { \r\n\t-5,70000,-2147483648 \r\n};"}));

TEST(FrameCTableTest, EmptyOrOutOfRangeCountReadsNothingOutsideTheFrame) {
    PulseFrame frame = FrameOf({1234});
    for (const int32_t count : {0, -3}) {
        frame.Count = count;
        EXPECT_EQ(CTableText(frame), "uint16_t tab[0] PROGMEM = {  \r\n};");
    }
    const std::string full = CTableText(FrameOf(Numbered(FrameCapacity)));
    EXPECT_TRUE(full.starts_with("uint16_t tab[301] PROGMEM = { \r\n\t1,2,3,4,5,\r\n"));
    EXPECT_TRUE(full.ends_with("\r\n\t296,297,298,299,300,301 \r\n};"));
    EXPECT_EQ(std::count(full.begin(), full.end(), '\t'), 60);
}

} // namespace
} // namespace frame

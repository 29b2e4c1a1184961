#include "tools/irsim/Protocol.h"

#include "frame/PulseFrame.h"

#include <gmock/gmock.h>

namespace irsim {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

TEST(IrsimChecksum, SumsBytesAsUnsigned) {
    EXPECT_EQ(ByteSum("AT"), 149u);
    EXPECT_EQ(ByteSum("\xFF\x01"), 256u);
    EXPECT_EQ(FrameWithChecksum("AT"), "$#149@AT");
}

TEST(IrsimSplitter, CutsAtCrAndCountsEmptyCommands) {
    CommandSplitter splitter({});
    auto commands = splitter.Feed("AT\r\rATI\r");
    ASSERT_THAT(commands, SizeIs(2));
    EXPECT_EQ(commands[0].text, "AT");
    EXPECT_EQ(commands[1].text, "ATI");
    EXPECT_EQ(splitter.EmptyCommands(), 1u);
    EXPECT_TRUE(commands[0].checksumOk);
    EXPECT_FALSE(commands[0].address.has_value());
}

TEST(IrsimSplitter, KeepsPartialCommandAcrossFeeds) {
    CommandSplitter splitter({});
    EXPECT_THAT(splitter.Feed("AT+S"), IsEmpty());
    EXPECT_EQ(splitter.PendingBytes(), 4u);
    const auto commands = splitter.Feed("ND=1,9000\r");
    ASSERT_THAT(commands, SizeIs(1));
    EXPECT_EQ(commands[0].text, "AT+SND=1,9000");
}

TEST(IrsimSplitter, LfIsNotALineEndButIsSkippedAtCommandStart) {
    CommandSplitter splitter({});
    const auto commands = splitter.Feed("AT\r\nATI\rA\nB\r");
    ASSERT_THAT(commands, SizeIs(3));
    EXPECT_EQ(commands[1].text, "ATI");
    EXPECT_EQ(commands[2].text, "A\nB");
}

TEST(IrsimSplitter, OverlongCommandIsDroppedUpToTheNextCr) {
    CommandSplitter splitter({});
    const std::string big(MaxCommandLength + 10, 'x');
    auto commands = splitter.Feed(big + "\rAT\r");
    ASSERT_THAT(commands, SizeIs(2));
    EXPECT_TRUE(commands[0].overlong);
    EXPECT_EQ(commands[0].text.size(), MaxCommandLength);
    EXPECT_FALSE(commands[1].overlong);
    EXPECT_EQ(commands[1].text, "AT");
}

struct ChecksumCase {
    const char* bytes;
    const char* text;
    bool framed;
    bool ok;
};

class IrsimChecksumFraming : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(IrsimChecksumFraming, ChecksTheSum) {
    CommandSplitter splitter({.requireChecksum = true, .busAddressing = false});
    const auto commands = splitter.Feed(GetParam().bytes);
    ASSERT_THAT(commands, SizeIs(1));
    EXPECT_EQ(commands[0].text, GetParam().text);
    EXPECT_EQ(commands[0].framed, GetParam().framed);
    EXPECT_EQ(commands[0].checksumOk, GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IrsimChecksumFraming,
    ::testing::Values(ChecksumCase{"$#149@AT\r", "AT", true, true},
                      // The program frames "AT\r" with its own CR counted; the extra CR follows.
                      ChecksumCase{"$#162@AT\r\r", "AT", true, true},
                      ChecksumCase{"$#150@AT\r", "AT", true, false},
                      ChecksumCase{"$#@AT\r", "$#@AT", false, false},
                      ChecksumCase{"$#99999999999@AT\r", "$#99999999999@AT", false, false},
                      ChecksumCase{"AT\r", "AT", false, false},
                      ChecksumCase{"$#0@\r", "", true, true}));

TEST(IrsimSplitter, AddressByteComesFirstThenFraming) {
    CommandSplitter splitter({.requireChecksum = true, .busAddressing = true});
    const auto commands = splitter.Feed(std::string("\x03$#149@AT\r\r\xFF$#149@AT\r", 21));
    ASSERT_THAT(commands, SizeIs(2));
    EXPECT_EQ(commands[0].address, 3);
    EXPECT_EQ(commands[0].text, "AT");
    EXPECT_TRUE(commands[0].checksumOk);
    EXPECT_EQ(commands[1].address, 255);
    EXPECT_EQ(splitter.EmptyCommands(), 1u);
}

TEST(IrsimSplitter, AddressMayBeAnyByteButCr) {
    CommandSplitter splitter({.requireChecksum = false, .busAddressing = true});
    const auto commands = splitter.Feed(std::string("\nAT\r\0ATI\r", 9));
    ASSERT_THAT(commands, SizeIs(2));
    EXPECT_EQ(commands[0].address, '\n');
    EXPECT_EQ(commands[0].text, "AT");
    EXPECT_EQ(commands[1].address, 0);
    EXPECT_EQ(commands[1].text, "ATI");
}

struct ParseCase {
    const char* text;
    Command::Kind kind;
    int position;
    int32_t value;
};

class IrsimParseCommand : public ::testing::TestWithParam<ParseCase> {};

TEST_P(IrsimParseCommand, Reads) {
    const Command command = ParseCommand(GetParam().text);
    EXPECT_EQ(command.kind, GetParam().kind) << GetParam().text;
    EXPECT_EQ(command.position, GetParam().position);
    EXPECT_EQ(command.value, GetParam().value);
}

using K = Command::Kind;
INSTANTIATE_TEST_SUITE_P(
    Cases, IrsimParseCommand,
    ::testing::Values(
        ParseCase{"AT", K::Attention, 0, 0}, ParseCase{"at", K::Attention, 0, 0},
        ParseCase{" AT ", K::Attention, 0, 0}, ParseCase{"ATI", K::Identify, 0, 0},
        ParseCase{"ab1", K::EmitCaptured, 0, 0},
        ParseCase{"AT+SND=1,9000", K::CollectPulse, 1, 9000},
        ParseCase{"AT+SND=2,-5", K::CollectPulse, 2, -5},
        ParseCase{"AT+SND= 3 , 560 ", K::CollectPulse, 3, 560},
        ParseCase{"AT+SND=301,1", K::CollectPulse, 301, 1}, ParseCase{"AT+SND=0,3", K::Emit, 0, 3},
        ParseCase{"AT+SND=0,0", K::Emit, 0, 0}, ParseCase{"AT+SND=302,1", K::Unknown, 0, 0},
        ParseCase{"AT+SND=-1,1", K::Unknown, 0, 0}, ParseCase{"AT+SND=0,302", K::Unknown, 0, 0},
        ParseCase{"AT+SND=0,-1", K::Unknown, 0, 0},
        ParseCase{"AT+SND=1,2147483648", K::Unknown, 0, 0},
        ParseCase{"AT+SND=1,0x10", K::Unknown, 0, 0}, ParseCase{"AT+SND=1", K::Unknown, 0, 0},
        ParseCase{"AT+SND=", K::Unknown, 0, 0}, ParseCase{"ATZ", K::Unknown, 0, 0},
        ParseCase{"", K::Unknown, 0, 0}));

TEST(IrsimParseInt32, AcceptsOnlyWholeDecimalNumbers) {
    EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseInt32("+7"), 7);
    EXPECT_EQ(ParseInt32("+-7"), std::nullopt);
    EXPECT_EQ(ParseInt32("7x"), std::nullopt);
    EXPECT_EQ(ParseInt32("-"), std::nullopt);
}

TEST(IrsimLines, FrameLineStartsWithTheSignatureAndEndsWithCrLf) {
    EXPECT_EQ(FrameLine({9000, 4500, -5}),
              std::string(frame::DeviceSignature) + ",9000,4500,-5\r\n");
    EXPECT_EQ(FrameLine({}), std::string(frame::DeviceSignature) + "\r\n");
    EXPECT_EQ(Line("OK"), "OK\r\n");
}

TEST(IrsimLines, DurationListsParse) {
    EXPECT_THAT(*ParseDurationList(" 9000, 4500 ,560,"), ElementsAre(9000, 4500, 560));
    EXPECT_THAT(*ParseDurationList(""), IsEmpty());
    EXPECT_EQ(ParseDurationList("9000,,560"), std::nullopt);
    EXPECT_EQ(ParseDurationList("9000;560"), std::nullopt);
}

} // namespace
} // namespace irsim

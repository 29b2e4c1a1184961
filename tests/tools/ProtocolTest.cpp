#include "tools/irsim/Protocol.h"

#include "frame/PulseFrame.h"

#include <gmock/gmock.h>

namespace irsim {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Texts(const std::vector<SplitCommand>& commands) {
    std::vector<std::string> texts;
    for (const SplitCommand& command : commands)
        texts.push_back(command.text);
    return texts;
}

TEST(IrsimChecksum, SumsBytesAsUnsigned) {
    EXPECT_EQ(ByteSum("AT"), 149u);
    EXPECT_EQ(ByteSum("\xFF\x01"), 256u);
    EXPECT_EQ(FrameWithChecksum("AT"), "$#149@AT");
}

TEST(IrsimSplitter, CutsAtCrCountsEmptyCommandsAndKeepsAPartialOne) {
    CommandSplitter splitter({});
    const auto commands = splitter.Feed("AT\r\rATI\r");
    EXPECT_THAT(Texts(commands), ElementsAre("AT", "ATI"));
    EXPECT_EQ(splitter.EmptyCommands(), 1u);
    EXPECT_TRUE(commands[0].checksumOk);
    EXPECT_FALSE(commands[0].address.has_value());

    EXPECT_THAT(splitter.Feed("AT+S"), IsEmpty());
    EXPECT_EQ(splitter.PendingBytes(), 4u);
    EXPECT_THAT(Texts(splitter.Feed("ND=1,9000\r")), ElementsAre("AT+SND=1,9000"));
    // LF ends nothing, but one at the start of a command (after a CR LF) is skipped.
    EXPECT_THAT(Texts(splitter.Feed("AT\r\nATI\rA\nB\r")), ElementsAre("AT", "ATI", "A\nB"));
}

TEST(IrsimSplitter, OverlongCommandIsDroppedUpToTheNextCr) {
    CommandSplitter splitter({});
    const auto commands = splitter.Feed(std::string(MaxCommandLength + 10, 'x') + "\rAT\r");
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_TRUE(commands[0].overlong);
    EXPECT_EQ(commands[0].text.size(), MaxCommandLength);
    EXPECT_FALSE(commands[1].overlong);
    EXPECT_EQ(commands[1].text, "AT");
}

TEST(IrsimSplitter, ChecksTheFramingSumWhenRequired) {
    struct Case {
        const char* bytes;
        const char* text;
        bool framed;
        bool ok;
    };
    for (const Case& c :
         {Case{"$#149@AT\r", "AT", true, true},
          // The program frames "AT\r" with its own CR counted; the extra CR follows.
          Case{"$#162@AT\r\r", "AT", true, true}, Case{"$#150@AT\r", "AT", true, false},
          Case{"$#@AT\r", "$#@AT", false, false},
          Case{"$#99999999999@AT\r", "$#99999999999@AT", false, false},
          Case{"AT\r", "AT", false, false}, Case{"$#0@\r", "", true, true}}) {
        SCOPED_TRACE(c.bytes);
        CommandSplitter splitter({.requireChecksum = true, .busAddressing = false});
        const auto commands = splitter.Feed(c.bytes);
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].text, c.text);
        EXPECT_EQ(commands[0].framed, c.framed);
        EXPECT_EQ(commands[0].checksumOk, c.ok);
    }
}

TEST(IrsimSplitter, AddressByteComesFirstAndMayBeAnyByteButCr) {
    CommandSplitter framed({.requireChecksum = true, .busAddressing = true});
    auto commands = framed.Feed(std::string("\x03$#149@AT\r\r\xFF$#149@AT\r", 21));
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].address, 3);
    EXPECT_EQ(commands[0].text, "AT");
    EXPECT_TRUE(commands[0].checksumOk);
    EXPECT_EQ(commands[1].address, 255);
    EXPECT_EQ(framed.EmptyCommands(), 1u);

    CommandSplitter plain({.requireChecksum = false, .busAddressing = true});
    commands = plain.Feed(std::string("\nAT\r\0ATI\r", 9));
    EXPECT_THAT(Texts(commands), ElementsAre("AT", "ATI"));
    EXPECT_EQ(commands[0].address, '\n');
    EXPECT_EQ(commands[1].address, 0);
}

TEST(IrsimParseCommand, ReadsCommandsAndRefusesMalformedOrOutOfRangeNumbers) {
    using K = Command::Kind;
    struct Case {
        const char* text;
        K kind;
        int position;
        int32_t value;
    };
    for (const Case& c : {Case{"AT", K::Attention, 0, 0},
                          Case{"at", K::Attention, 0, 0},
                          Case{" AT ", K::Attention, 0, 0},
                          Case{"ATI", K::Identify, 0, 0},
                          Case{"ab1", K::EmitCaptured, 0, 0},
                          Case{"AT+SND=1,9000", K::CollectPulse, 1, 9000},
                          Case{"AT+SND=2,-5", K::CollectPulse, 2, -5},
                          Case{"AT+SND= 3 , 560 ", K::CollectPulse, 3, 560},
                          Case{"AT+SND=301,1", K::CollectPulse, 301, 1},
                          Case{"AT+SND=0,3", K::Emit, 0, 3},
                          Case{"AT+SND=0,0", K::Emit, 0, 0},
                          Case{"AT+SND=302,1", K::Unknown, 0, 0},
                          Case{"AT+SND=-1,1", K::Unknown, 0, 0},
                          Case{"AT+SND=0,302", K::Unknown, 0, 0},
                          Case{"AT+SND=0,-1", K::Unknown, 0, 0},
                          Case{"AT+SND=1,2147483648", K::Unknown, 0, 0},
                          Case{"AT+SND=1,0x10", K::Unknown, 0, 0},
                          Case{"AT+SND=1", K::Unknown, 0, 0},
                          Case{"AT+SND=", K::Unknown, 0, 0},
                          Case{"ATZ", K::Unknown, 0, 0},
                          Case{"", K::Unknown, 0, 0}}) {
        const Command command = ParseCommand(c.text);
        EXPECT_EQ(command.kind, c.kind) << c.text;
        EXPECT_EQ(command.position, c.position) << c.text;
        EXPECT_EQ(command.value, c.value) << c.text;
    }
}

TEST(IrsimNumbers, OnlyWholeDecimalNumbersAndDurationLists) {
    EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseInt32("+7"), 7);
    for (const char* wrong : {"+-7", "7x", "-"})
        EXPECT_EQ(ParseInt32(wrong), std::nullopt) << wrong;
    EXPECT_THAT(*ParseDurationList(" 9000, 4500 ,560,"), ElementsAre(9000, 4500, 560));
    EXPECT_THAT(*ParseDurationList(""), IsEmpty());
    EXPECT_EQ(ParseDurationList("9000,,560"), std::nullopt);
    EXPECT_EQ(ParseDurationList("9000;560"), std::nullopt);
}

TEST(IrsimLines, FrameLineStartsWithTheSignatureAndEndsWithCrLf) {
    const std::string signature(frame::DeviceSignature);
    EXPECT_EQ(FrameLine({9000, 4500, -5}), signature + ",9000,4500,-5\r\n");
    EXPECT_EQ(FrameLine({}), signature + "\r\n");
    EXPECT_EQ(Line("OK"), "OK\r\n");
}

} // namespace
} // namespace irsim

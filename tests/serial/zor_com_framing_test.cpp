#include "serial/ATCommands.h"
#include "serial/ZorComFraming.h"

#include <gmock/gmock.h>

namespace serial {
namespace {

TEST(ZorComParseDecimal, AcceptsOnlyWholeDecimalNumbers) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"38400", 38400}, {"8", 8},       {"-3", -3},
        {"+7", 7},        {"", 9600},     {"abc", 9600},
        {"12x", 9600},    {" 12", 9600},  {"99999999999", 9600},
        {"+-1", 9600},    {"0x10", 9600}, {"+", 9600},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDecimal(c.text, 9600), c.expected) << '"' << c.text << '"';
    }
}

TEST(ZorComFrameCommand, AppliesChecksumAndBusAddress) {
    struct Case {
        const char* name;
        bool crc, rs485, general;
        const char* address;
        std::string expected;
    };
    const Case cases[] = {
        {"plain", false, false, false, "", "AT"},
        {"checksum", true, false, false, "", "$#149@AT"},
        {"address 3", false, true, false, "3", std::string("\x03") + "AT"},
        {"general call", false, true, true, "3", std::string("\xFF") + "AT"},
        {"empty address", false, true, false, "", std::string("\x10") + "AT"},
        {"not a number", false, true, false, "x1", std::string("\x10") + "AT"},
        {"modulo 256", false, true, false, "259", std::string("\x03") + "AT"},
        {"negative", false, true, false, "-1", std::string("\xFF") + "AT"},
        {"address then checksum", true, true, false, "3", std::string("\x03") + "$#149@AT"},
        {"general without bus", false, false, true, "3", "AT"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FrameCommand("AT", c.crc, c.rs485, c.general, c.address), c.expected) << c.name;
    }
}

TEST(ZorComFrameCommand, ChecksumCountsBytesUnsigned) {
    EXPECT_EQ(CommandChecksum("AT"), 65 + 84);
    EXPECT_EQ(CommandChecksum("\xFF\x01"), 256);
    EXPECT_EQ(FrameCommand("", true, false, false, ""), "$#0@");
    // A command that carries its own CR is summed with it.
    EXPECT_EQ(FrameCommand("AT\r", true, false, false, ""), "$#162@AT\r");
}

TEST(ZorComErrorTexts, ImmediateAndLimitTexts) {
    EXPECT_EQ(ImmediateErrorText(5, "Input/output error"), "err - Input/output error");
    EXPECT_EQ(ImmediateErrorText(9991, "Port owned by other process"),
              "err - Port owned by other process");
    EXPECT_EQ(ImmediateErrorText(9997, "Timeout during operation"),
              "9997 - Serial Eror: ErrTimeout");
    EXPECT_EQ(ImmediateErrorText(9999, "x"), "9999 - Serial Eror: ErrFrame");
    EXPECT_EQ(ImmediateErrorText(10003, "x"), "10003 - Serial Eror: ErrTxFull");
    EXPECT_EQ(ImmediateErrorText(10004, "x"), "10004 - Serial Eror: ");

    EXPECT_EQ(SendLimitErrorText(5, "Input/output error"), "err - Input/output error");
    EXPECT_EQ(SendLimitErrorText(9991, "Port owned by other process"),
              "err - Port owned by other process");
    EXPECT_EQ(SendLimitErrorText(9997, "Timeout during operation"), "999 - Serial ErrFrame");
}

TEST(ZorComATCommands, AssignCopiesTextsButNotEvents) {
    TATCommands source;
    auto& item = source.Add();
    item.ATcmd = "AT+X";
    item.OnATCommandRx = [](QObject*, const std::string&) {};
    source.Add().ATcmd = "ATI";

    TATCommands target;
    target.Add().ATcmd = "old";
    target.Assign(source);
    ASSERT_EQ(target.Count(), 2u);
    EXPECT_EQ(target.Items(0).ATcmd, "AT+X");
    EXPECT_EQ(target.Items(0).DisplayName(), "AT+X");
    EXPECT_FALSE(target.Items(0).OnATCommandRx);
    EXPECT_EQ(target.Items(1).ATcmd, "ATI");

    target.Assign(target);
    EXPECT_EQ(target.Count(), 2u);
}

} // namespace
} // namespace serial

// Commands and replies of the firmware in the simulated microcontroller.

#include "tests/firmware/FirmwareTestSupport.h"

#include <gmock/gmock.h>

namespace fwtest {
namespace {

using ::testing::ElementsAreArray;
using Lines = std::vector<std::string>;

class FirmwareCommandTest : public FirmwareTest {};

TEST_F(FirmwareCommandTest, AnswersEveryCommandInTurn) {
    struct Row {
        std::string sent;
        Lines replies;
    };
    const std::string overlong(200, 'A');
    const Row rows[] = {
        {"AT\r\r", {"OK"}}, // the program follows every command with a second CR
        {"at\r", {"OK"}},
        {" AT \r", {"OK"}},
        {"ATI\r", {"+ATI: Dekoder IR firmware 1.0"}},
        {"AT+DROP?\r", {"+DROP: 0", "OK"}},
        {"ab1\r", {"ERROR"}},        // nothing captured yet
        {"AT+SND=0,1\r", {"ERROR"}}, // position 1 never came
        {"AT+SND=1,560\r", {"OK"}},
        {"AT+SND=1,-2147483648\r", {"OK"}},
        {"AT+SND=1,2147483648\r", {"ERROR"}},
        {"AT+SND=302,5\r", {"ERROR"}},
        {"AT+SND=-1,5\r", {"ERROR"}},
        {"AT+SND=1\r", {"ERROR"}},
        {"AT+SND=0,302\r", {"ERROR"}},
        {"AT+SND=0,-1\r", {"ERROR"}},
        {"AT+SND= 1 , +9000 \r", {"OK"}},
        {"AT+SND=0,1\r", {"OK"}},
        {"AT+SND=0,1\r", {"ERROR"}}, // an emission uses up its set
        {"AT+SND=0,0\r", {"OK"}},
        {"hello\r", {"ERROR"}},
        {"\r\r\n\r", {}},
        {"\nAT\r", {"OK"}},
        {overlong + "\rAT\r", {"ERROR", "OK"}},
        {std::string("A\0T\xff\r", 5), {"ERROR"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sent);
        EXPECT_THAT(Exchange(row.sent, row.replies.size()), ElementsAreArray(row.replies));
    }
}

TEST_F(FirmwareCommandTest, AByteWithAFramingErrorSpoilsOnlyItsCommand) {
    device->Send("A");
    device->Send("T", true);
    EXPECT_THAT(Exchange("\r", 1), ElementsAreArray(Lines{"ERROR"}));
    EXPECT_THAT(Exchange("AT\r", 1), ElementsAreArray(Lines{"OK"}));
}

TEST_F(FirmwareCommandTest, AFloodOfGarbageNeverResetsTheDevice) {
    std::string garbage;
    for (int i = 0; i < 3000; ++i)
        garbage.push_back(char((i * 7919) % 256 == 13 ? 'x' : (i * 7919) % 256));
    device->Send(garbage);
    device->RunUs(garbage.size() * ByteUs + 10000);
    device->TakeLines();
    EXPECT_THAT(Exchange("\rAT\r", 2), ::testing::Contains("OK"));
}

} // namespace
} // namespace fwtest

// The firmware's portable logic compiled for the host: it reads commands exactly as the device
// simulator does, and signs its frame lines as the program expects.

#include "firmware/src/Commands.h"
#include "firmware/src/Config.h"
#include "frame/PulseFrame.h"
#include "tools/irsim/Protocol.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

using FwKind = fw::Command::Kind;
using SimKind = irsim::Command::Kind;

FwKind Expected(SimKind kind) {
    switch (kind) {
    case SimKind::Attention:
        return FwKind::Attention;
    case SimKind::Identify:
        return FwKind::Identify;
    case SimKind::CollectPulse:
        return FwKind::Collect;
    case SimKind::Emit:
        return FwKind::Emit;
    case SimKind::EmitCaptured:
        return FwKind::EmitCaptured;
    case SimKind::Unknown:
        break;
    }
    return FwKind::Invalid;
}

TEST(FirmwareLogicTest, ReadsCommandsAsTheDeviceSimulatorDoes) {
    const std::string_view commands[] = {
        "AT",
        "at",
        " AT\t",
        "ATI",
        "AtI",
        "ab1",
        "AB1",
        "ab2",
        "ATX",
        "",
        "AT+SND=",
        "AT+SND=1",
        "AT+SND=1,560",
        "AT+SND=301,1",
        "AT+SND=302,1",
        "AT+SND=0,301",
        "AT+SND=0,302",
        "AT+SND=0,-1",
        "AT+SND=-0,5",
        "AT+SND=+1,+5",
        "AT+SND=+-1,5",
        "AT+SND=1,-5",
        "AT+SND=1,2147483647",
        "AT+SND=1,2147483648",
        "AT+SND=1,-2147483648",
        "AT+SND=1,-2147483649",
        "AT+SND= 7 , 99 ",
        "AT+SND=1,5,6",
        "AT+SND=1,0x10",
        "AT+SND=,5",
        "AT+SND=1,",
        "at+snd=3,4",
        "AT+SND=00001,00002",
        "AT+SND=1,99999999999",
    };
    for (const std::string_view text : commands) {
        SCOPED_TRACE(text);
        const irsim::Command sim = irsim::ParseCommand(text);
        const fw::Command device = fw::ParseCommand(text.data(), uint8_t(text.size()));
        EXPECT_EQ(device.kind, Expected(sim.kind));
        if (sim.kind == SimKind::CollectPulse || sim.kind == SimKind::Emit) {
            EXPECT_EQ(device.position, sim.position);
            EXPECT_EQ(device.value, sim.value);
        }
    }
}

TEST(FirmwareLogicTest, SignsFrameLinesWithTheProgramsSignature) {
    EXPECT_EQ(std::string_view(fw::DeviceSignature), frame::DeviceSignature);
}

} // namespace

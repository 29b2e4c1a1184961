#pragma once

// The firmware in the simulator, as the tests drive it: command exchanges with time-outs that
// allow for simavr's slow UART, and frame lines read back into durations.

#include "firmware/sim/SimDevice.h"
#include "frame/PulseFrame.h"
#include "tools/irsim/Protocol.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fwtest {

// simavr counts 11 bits a byte: ~287 us a byte at 38400 baud.
inline constexpr uint64_t ByteUs = 287;

class FirmwareTest : public ::testing::Test {
protected:
    void SetUp() override {
        device = std::make_unique<fwsim::SimDevice>(fwsim::FirmwareElfPath());
        device->RunUs(2000); // start-up
    }
    void TearDown() override { EXPECT_FALSE(device->ResetSeen()) << "the firmware restarted"; }

    // Sends `command` and collects the lines that come back until `replies` lines have come (or
    // the time for them has passed), then a little longer to catch any surplus line.
    std::vector<std::string> Exchange(const std::string& command, std::size_t replies,
                                      bool framingError = false) {
        device->Send(command, framingError);
        std::vector<std::string> lines;
        const uint64_t budget = (command.size() + 40 * replies + 10) * ByteUs + 5000;
        device->RunUntil(
            [&] {
                for (auto& line : device->TakeLines())
                    lines.push_back(std::move(line));
                return lines.size() >= replies;
            },
            budget);
        device->RunUs(40 * ByteUs);
        for (auto& line : device->TakeLines())
            lines.push_back(std::move(line));
        return lines;
    }

    // The next line, which must be a frame line; its durations.
    std::optional<irsim::Durations> NextFrame(uint64_t maxUs) {
        const std::string line = device->RunUntilLine(maxUs);
        const std::string prefix = std::string(frame::DeviceSignature) + ",";
        if (line.compare(0, prefix.size(), prefix) != 0) {
            ADD_FAILURE() << "not a frame line: " << line;
            return std::nullopt;
        }
        return irsim::ParseDurationList(std::string_view(line).substr(prefix.size()));
    }

    std::unique_ptr<fwsim::SimDevice> device;
};

// Every duration within `tolerance` of the one expected at its place.
inline ::testing::AssertionResult DurationsNear(const irsim::Durations& got,
                                                const irsim::Durations& want, int tolerance) {
    if (got.size() != want.size())
        return ::testing::AssertionFailure()
               << got.size() << " durations instead of " << want.size();
    for (std::size_t i = 0; i < got.size(); ++i)
        if (std::abs(got[i] - want[i]) > tolerance)
            return ::testing::AssertionFailure()
                   << "duration " << i << ": " << got[i] << " instead of " << want[i];
    return ::testing::AssertionSuccess();
}

} // namespace fwtest

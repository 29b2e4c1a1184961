#pragma once

#include "serial/LircDevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace serial {

// An ioctl layer that answers from tables and records each setting it is given.
struct TLircFakeLog {
    std::vector<std::pair<TLircSetting, uint32_t>> Settings;
};

class TLircFakeControl final : public TLircControl {
public:
    TLircFakeControl(TLircFeatures features, std::map<TLircQuery, uint32_t> answers,
                     TLircFakeLog& log)
        : features_(features), answers_(std::move(answers)), log_(log) {}

    int GetFeatures(int, TLircFeatures& features) override {
        features = features_;
        return 0;
    }
    int Get(int, TLircQuery query, uint32_t& value) override {
        const auto found = answers_.find(query);
        if (found == answers_.end()) {
            return ENOTTY;
        }
        value = found->second;
        return 0;
    }
    int Set(int, TLircSetting setting, uint32_t value) override {
        log_.Settings.emplace_back(setting, value);
        return 0;
    }

private:
    TLircFeatures features_;
    std::map<TLircQuery, uint32_t> answers_;
    TLircFakeLog& log_;
};

// What a receiver and transmitter such as a USB transceiver tells.
inline TLircFeatures FullLircFeatures() {
    return {.ReceiveMode2 = true,
            .SendPulse = true,
            .SetSendCarrier = true,
            .SetSendDutyCycle = true,
            .SetReceiveTimeout = true,
            .ReceiveResolution = true};
}

// A device whose descriptor is one end of a socket pair; the test plays the kernel at the other.
struct TLircOnSocket {
    explicit TLircOnSocket(TLircFeatures features = FullLircFeatures(),
                           std::map<TLircQuery, uint32_t> answers = {{TLircQuery::ReceiveResolution,
                                                                      50}},
                           size_t maxDurations = 301) {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
        kernel.Reset(fds[1]);
        device = std::make_unique<TLircDevice>(
            UniqueFd(fds[0]), std::make_unique<TLircFakeControl>(features, answers, log),
            "lirc0 — mceusb", maxDurations);
        setupResult = device->Setup(reason);
    }

    void Send(const std::vector<uint32_t>& samples) { SendBytes(Bytes(samples)); }
    void SendBytes(const std::vector<std::byte>& bytes) {
        ASSERT_EQ(::write(kernel.Get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }
    static std::vector<std::byte> Bytes(const std::vector<uint32_t>& samples) {
        std::vector<std::byte> bytes(samples.size() * sizeof(uint32_t));
        std::memcpy(bytes.data(), samples.data(), bytes.size());
        return bytes;
    }
    // What the device wrote, as values.
    std::vector<uint32_t> Written() {
        std::vector<uint32_t> values(1024);
        const ssize_t got = ::read(kernel.Get(), values.data(), values.size() * sizeof(uint32_t));
        values.resize(got > 0 ? static_cast<size_t>(got) / sizeof(uint32_t) : 0);
        return values;
    }

    TLircFakeLog log; // declared before the device, which holds a reference to it
    UniqueFd kernel;
    std::unique_ptr<TLircDevice> device;
    std::string reason;
    int setupResult = -1;
};

} // namespace serial

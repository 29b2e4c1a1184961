#pragma once

#include "serial/LircDevice.h"

#include <map>
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

} // namespace serial

// The only source that includes the kernel's LIRC header; the rest of the LIRC code is portable.
// Requests and flags as documented in lirc(4) and the kernel's "LIRC Device Interface"
// (docs.kernel.org/userspace-api/media/rc/lirc-dev.html).
#include "serial/LircDevice.h"

#include <cerrno>
#include <linux/lirc.h>
#include <sys/ioctl.h>

namespace serial {
namespace {

static_assert(LIRC_MODE2_SPACE >> LircKindShift == uint32_t(TLircSampleKind::Space));
static_assert(LIRC_MODE2_PULSE >> LircKindShift == uint32_t(TLircSampleKind::Pulse));
static_assert(LIRC_MODE2_FREQUENCY >> LircKindShift == uint32_t(TLircSampleKind::Frequency));
static_assert(LIRC_MODE2_TIMEOUT >> LircKindShift == uint32_t(TLircSampleKind::Timeout));
static_assert(LIRC_MODE2_OVERFLOW >> LircKindShift == uint32_t(TLircSampleKind::Overflow));
static_assert(LIRC_VALUE_MASK == LircValueMask);

int Call(int fd, unsigned long request, uint32_t& value) {
    int result = 0;
    do {
        result = ::ioctl(fd, request, &value);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? errno : 0;
}

class TKernelLircControl final : public TLircControl {
public:
    int GetFeatures(int fd, TLircFeatures& features) override {
        uint32_t bits = 0;
        if (const int error = Call(fd, LIRC_GET_FEATURES, bits)) {
            return error;
        }
        features.ReceiveMode2 = (bits & LIRC_CAN_REC_MODE2) != 0;
        features.SendPulse = (bits & LIRC_CAN_SEND_PULSE) != 0;
        features.SetSendCarrier = (bits & LIRC_CAN_SET_SEND_CARRIER) != 0;
        features.SetSendDutyCycle = (bits & LIRC_CAN_SET_SEND_DUTY_CYCLE) != 0;
        features.SetReceiveTimeout = (bits & LIRC_CAN_SET_REC_TIMEOUT) != 0;
        features.ReceiveResolution = (bits & LIRC_CAN_GET_REC_RESOLUTION) != 0;
        return 0;
    }

    int Get(int fd, TLircQuery query, uint32_t& value) override {
        switch (query) {
        case TLircQuery::ReceiveResolution:
            return Call(fd, LIRC_GET_REC_RESOLUTION, value);
        case TLircQuery::MinTimeout:
            return Call(fd, LIRC_GET_MIN_TIMEOUT, value);
        case TLircQuery::MaxTimeout:
            return Call(fd, LIRC_GET_MAX_TIMEOUT, value);
        }
        return EINVAL;
    }

    int Set(int fd, TLircSetting setting, uint32_t value) override {
        switch (setting) {
        case TLircSetting::ReceiveMode2:
            value = LIRC_MODE_MODE2;
            return Call(fd, LIRC_SET_REC_MODE, value);
        case TLircSetting::SendPulse:
            value = LIRC_MODE_PULSE;
            return Call(fd, LIRC_SET_SEND_MODE, value);
        case TLircSetting::ReceiveTimeout:
            return Call(fd, LIRC_SET_REC_TIMEOUT, value);
        case TLircSetting::ReceiveTimeoutReports:
            return Call(fd, LIRC_SET_REC_TIMEOUT_REPORTS, value);
        case TLircSetting::SendCarrier:
            return Call(fd, LIRC_SET_SEND_CARRIER, value);
        case TLircSetting::SendDutyCycle:
            return Call(fd, LIRC_SET_SEND_DUTY_CYCLE, value);
        }
        return EINVAL;
    }
};

} // namespace

std::unique_ptr<TLircControl> MakeKernelLircControl() {
    return std::make_unique<TKernelLircControl>();
}

} // namespace serial

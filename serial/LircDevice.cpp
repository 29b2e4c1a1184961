#include "serial/LircDevice.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace serial {
namespace {

// printf-like formatting kept to the few texts below.
std::string Text(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (std::string_view part : parts) {
        text += part;
    }
    return text;
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

} // namespace

std::unique_ptr<TLircDevice> TLircDevice::Open(const std::string& devicePath, std::string label,
                                               size_t maxDurations, int& error,
                                               std::string& reason) {
    UniqueFd fd(::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.Valid()) {
        error = errno;
        return nullptr;
    }
    auto device = std::make_unique<TLircDevice>(std::move(fd), MakeKernelLircControl(),
                                                std::move(label), maxDurations);
    error = device->Setup(reason);
    return error == 0 ? std::move(device) : nullptr;
}

TLircDevice::TLircDevice(UniqueFd fd, std::unique_ptr<TLircControl> control, std::string label,
                         size_t maxDurations)
    : fd_(std::move(fd)), control_(std::move(control)), label_(std::move(label)),
      assembler_(FrameGapUs, maxDurations) {}

int TLircDevice::Setup(std::string& reason) {
    if (const int error = control_->GetFeatures(fd_.Get(), features_)) {
        return error; // ENOTTY: no LIRC device at all
    }
    if (!features_.ReceiveMode2 && !features_.SendPulse) {
        reason = Text({"Urządzenie ", label_,
                       " nie podaje czasów impulsów (umie tylko dekodować kody w jądrze), "
                       "więc program nie może z nim pracować."});
        return ENOTTY;
    }
    if (!features_.ReceiveMode2) {
        return 0; // a transmitter only
    }
    if (const int error = control_->Set(fd_.Get(), TLircSetting::ReceiveMode2, 0)) {
        return error;
    }
    if (features_.SetReceiveTimeout) {
        uint32_t timeout = FrameGapUs;
        uint32_t limit = 0;
        if (control_->Get(fd_.Get(), TLircQuery::MinTimeout, limit) == 0) {
            timeout = std::max(timeout, limit);
        }
        if (control_->Get(fd_.Get(), TLircQuery::MaxTimeout, limit) == 0 && limit > 0) {
            timeout = std::min(timeout, limit);
        }
        if (control_->Set(fd_.Get(), TLircSetting::ReceiveTimeout, timeout) == 0) {
            gapUs_ = timeout;
        }
    }
    // Older kernels send time-out samples only when asked; newer ones always do and may refuse
    // the request, which changes nothing.
    control_->Set(fd_.Get(), TLircSetting::ReceiveTimeoutReports, 1);
    if (features_.ReceiveResolution) {
        uint32_t resolution = 0;
        if (control_->Get(fd_.Get(), TLircQuery::ReceiveResolution, resolution) == 0) {
            resolutionUs_ = resolution;
        }
    }
    assembler_.SetGap(gapUs_);
    return 0;
}

std::string TLircDevice::LinkText() const {
    if (resolutionUs_ == 0) {
        return label_;
    }
    return Text({label_, ", ", std::to_string(resolutionUs_), " µs"});
}

int TLircDevice::ReadAvailable(std::vector<TLircEvent>& events) {
    std::array<std::byte, 4096> buffer;
    for (;;) {
        const ssize_t got = ::read(fd_.Get(), buffer.data(), buffer.size());
        if (got > 0) {
            assembler_.Feed(std::span(buffer.data(), static_cast<size_t>(got)), events);
            continue;
        }
        if (got == 0) {
            return ENODEV;
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
    }
}

std::string TLircDevice::Emit(std::span<const int32_t> durations, uint32_t carrierHz,
                              double dutyCycle) {
    if (!features_.SendPulse) {
        return Text({"Urządzenie ", label_,
                     " tylko odbiera podczerwień, nie nadaje. Nic nie zostało wysłane."});
    }
    // The device takes marks and spaces by their place: an odd count, a mark first and last.
    std::vector<uint32_t> values;
    values.reserve(durations.size());
    for (int32_t duration : durations) {
        values.push_back(static_cast<uint32_t>(std::abs(int64_t{duration})));
    }
    if (values.size() % 2 == 0 && !values.empty()) {
        values.pop_back();
    }
    if (values.empty()) {
        return "Ramka nie ma żadnego impulsu. Nic nie zostało wysłane.";
    }
    const auto refused = [this](std::string_view what, int error) {
        return Text({"Urządzenie ", label_, " nie przyjęło ", what, " (", ErrorText(error),
                     "). Nic nie zostało wysłane."});
    };
    if (const int error = control_->Set(fd_.Get(), TLircSetting::SendPulse, 0)) {
        return refused("trybu nadawania", error);
    }
    if (features_.SetSendCarrier && carrierHz > 0) {
        if (const int error = control_->Set(fd_.Get(), TLircSetting::SendCarrier, carrierHz)) {
            return refused(Text({"nośnej ", std::to_string(carrierHz), " Hz"}), error);
        }
    }
    if (features_.SetSendDutyCycle && dutyCycle > 0) {
        const auto percent =
            static_cast<uint32_t>(std::clamp(std::lround(dutyCycle * 100), 1L, 99L));
        if (const int error = control_->Set(fd_.Get(), TLircSetting::SendDutyCycle, percent)) {
            return refused(Text({"wypełnienia ", std::to_string(percent), " %"}), error);
        }
    }
    const size_t bytes = values.size() * sizeof(uint32_t);
    ssize_t written = -1;
    do {
        written = ::write(fd_.Get(), values.data(), bytes);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        return Text({"Nadawanie przez ", label_, " nie powiodło się: ", ErrorText(errno), "."});
    }
    if (static_cast<size_t>(written) != bytes) {
        return Text({"Urządzenie ", label_, " nadało tylko ",
                     std::to_string(written / sizeof(uint32_t)), " z ",
                     std::to_string(values.size()), " czasów ramki."});
    }
    return {};
}

} // namespace serial

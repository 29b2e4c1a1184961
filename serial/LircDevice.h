#pragma once

#include "serial/LircSamples.h"
#include "serial/UniqueFd.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace serial {

// What a LIRC device says it can do (LIRC_GET_FEATURES), reduced to what the program asks.
struct TLircFeatures {
    bool ReceiveMode2 = false;
    bool SendPulse = false;
    bool SetSendCarrier = false;
    bool SetSendDutyCycle = false;
    bool SetReceiveTimeout = false;
    bool ReceiveResolution = false;
};

// The device's ioctl requests the program makes, named after the kernel's (lirc(4) and the
// kernel's LIRC device interface documentation). Values are µs, Hz or percent as the kernel takes
// them; the modes are always mode2 to receive and pulse to send.
enum class TLircSetting {
    ReceiveMode2,          // LIRC_SET_REC_MODE, LIRC_MODE_MODE2
    SendPulse,             // LIRC_SET_SEND_MODE, LIRC_MODE_PULSE
    ReceiveTimeout,        // LIRC_SET_REC_TIMEOUT
    ReceiveTimeoutReports, // LIRC_SET_REC_TIMEOUT_REPORTS
    SendCarrier,           // LIRC_SET_SEND_CARRIER
    SendDutyCycle,         // LIRC_SET_SEND_DUTY_CYCLE
};
enum class TLircQuery {
    ReceiveResolution, // LIRC_GET_REC_RESOLUTION
    MinTimeout,        // LIRC_GET_MIN_TIMEOUT
    MaxTimeout,        // LIRC_GET_MAX_TIMEOUT
};

// The ioctl layer: the kernel's in LircKernel.cpp, a fake in the tests. Each call answers 0 or
// an errno value.
class TLircControl {
public:
    virtual ~TLircControl() = default;
    virtual int GetFeatures(int fd, TLircFeatures& features) = 0;
    virtual int Get(int fd, TLircQuery query, uint32_t& value) = 0;
    virtual int Set(int fd, TLircSetting setting, uint32_t value) = 0;
};

std::unique_ptr<TLircControl> MakeKernelLircControl();

// One open LIRC device: receives frames in mode2 and emits them in pulse mode. Reads and writes
// the descriptor itself (plain read and write, non-blocking); every ioctl goes through the control.
// Used on one thread.
class TLircDevice {
public:
    // How long a silence ends a frame where the device lets the program choose.
    static constexpr uint32_t FrameGapUs = 100'000;

    // Opens `devicePath` ("/dev/lirc0") read-write; `label` names it in the link text
    // ("lirc0 — mceusb"). On failure answers nullptr with the errno value in `error`, or with
    // ENOTTY and a reason in `reason` for a device that neither gives durations nor sends them.
    static std::unique_ptr<TLircDevice> Open(const std::string& devicePath, std::string label,
                                             size_t maxDurations, int& error, std::string& reason);

    // Sets up the device behind `fd` (non-blocking) through `control`; answers 0 or as Open.
    TLircDevice(UniqueFd fd, std::unique_ptr<TLircControl> control, std::string label,
                size_t maxDurations);
    int Setup(std::string& reason);

    int Descriptor() const { return fd_.Get(); }
    const TLircFeatures& Features() const { return features_; }
    // The label with the receiver's resolution where it tells it: "lirc0 — mceusb, 50 µs".
    std::string LinkText() const;
    // How long a silence ends a frame: the device's time-out as set, or FrameGapUs.
    uint32_t GapUs() const { return gapUs_; }

    // Reads what the device has ready. Answers 0, or the errno value when the device is gone
    // (ENODEV for a device that reports its end by an empty read).
    int ReadAvailable(std::vector<TLircEvent>& events);
    // Ends the frame in progress after a silence of GapUs.
    void EndFrame(std::vector<TLircEvent>& events) { assembler_.EndFrame(events); }
    bool InFrame() const { return assembler_.InFrame(); }

    // Emits `durations` (mark first; a trailing space is dropped) with the carrier and duty cycle
    // (0..1). Answers an empty text, or why nothing or not all was sent, in the user's language.
    std::string Emit(std::span<const int32_t> durations, uint32_t carrierHz, double dutyCycle);

private:
    UniqueFd fd_;
    std::unique_ptr<TLircControl> control_;
    std::string label_;
    TLircFeatures features_;
    uint32_t resolutionUs_ = 0;
    uint32_t gapUs_ = FrameGapUs;
    TLircFrameAssembler assembler_;
};

} // namespace serial

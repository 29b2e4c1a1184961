#pragma once

// The device's firmware running in a simulated ATmega328P at 16 MHz (simavr): a receiver module
// driven into PB0, the IR LED's pin PD3 recorded, UART0 as a byte stream, and any reset noticed.
// Time is simulated: nothing here waits for the wall clock.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

struct avr_t;
struct avr_irq_t;

namespace fwsim {

inline constexpr uint64_t CpuHz = 16'000'000;
inline constexpr uint64_t CyclesPerUs = CpuHz / 1'000'000;

class SimDevice {
public:
    // Loads the ELF; throws std::runtime_error when it cannot.
    explicit SimDevice(const std::string& elfPath);
    ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    uint64_t Cycle() const;
    uint64_t NowUs() const { return Cycle() / CyclesPerUs; }

    // The receiver reports `durations` (us, mark first) starting `delayUs` after the last level
    // change already queued (or after now). Marks pull PB0 low. Returns the start cycle.
    uint64_t Play(const std::vector<int32_t>& durations, uint64_t delayUs = 1000);
    // Cycle at which the last queued level change happens (now when none is queued).
    uint64_t PlayedUntil() const;

    // Bytes to UART0, delivered as fast as the simulated UART takes them. `framingError` marks
    // every byte of `bytes` as received with a framing error.
    void Send(const std::string& bytes, bool framingError = false);
    // Bytes that came out of UART0 so far.
    const std::string& Output() const { return output_; }
    // Complete lines (without CR LF) taken from Output() since the last call.
    std::vector<std::string> TakeLines();

    // Every level change of PD3 (OC2B, the IR LED), with its cycle.
    struct Level {
        uint64_t cycle;
        bool high;
    };
    const std::vector<Level>& LedLevels() const { return led_; }
    void ClearLedLevels() { led_.clear(); }

    // Runs for `us` of simulated time.
    void RunUs(uint64_t us);
    // Runs until `done` holds (checked every few microseconds) or `maxUs` have passed.
    bool RunUntil(const std::function<bool()>& done, uint64_t maxUs);
    // Runs until the next complete line or `maxUs`; the line without CR LF, empty on time-out.
    std::string RunUntilLine(uint64_t maxUs);

    // The firmware restarted (watchdog, jump to the reset vector) or the core stopped.
    bool ResetSeen() const { return resets_ > 0; }

private:
    void Step();
    static void OnUartOut(avr_irq_t* irq, uint32_t value, void* self);
    static void OnXon(avr_irq_t* irq, uint32_t value, void* self);
    static void OnXoff(avr_irq_t* irq, uint32_t value, void* self);
    static void OnLed(avr_irq_t* irq, uint32_t value, void* self);

    avr_t* avr_ = nullptr;
    avr_irq_t* receiverPin_ = nullptr;
    avr_irq_t* uartIn_ = nullptr;
    std::deque<std::pair<uint64_t, bool>> pinChanges_; // (cycle, low)
    std::deque<uint32_t> toUart_;
    bool uartFull_ = false;
    std::string output_;
    std::size_t taken_ = 0;
    std::vector<Level> led_;
    int resets_ = 0;
    bool started_ = false;
};

// The IR LED's envelope rebuilt from PD3's levels: marks are bursts of carrier, and a low level
// longer than `gapUs` is a space. Durations in us, mark first.
std::vector<int32_t> Envelope(const std::vector<SimDevice::Level>& levels, uint64_t gapUs = 80);

// Mean carrier frequency and duty over the full periods inside the marks.
struct CarrierMeasure {
    double hz = 0;
    double duty = 0;
};
CarrierMeasure MeasureCarrier(const std::vector<SimDevice::Level>& levels, uint64_t gapUs = 80);

// Where the built firmware is: $DEKODER_FIRMWARE_ELF, else the path the build compiled in.
std::string FirmwareElfPath();

} // namespace fwsim

#include "firmware/sim/SimDevice.h"

#include <cstdarg>
#include <cstdlib>
#include <stdexcept>

extern "C" {
#include <avr_ioport.h>
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_io.h>
}

namespace fwsim {

namespace {
// simavr reports loading and peripheral details on stdout; the tools' output is their own.
void Quiet(avr_t*, int, const char*, va_list) {}
} // namespace

SimDevice::SimDevice(const std::string& elfPath) {
    avr_global_logger_set(&Quiet);
    elf_firmware_t firmware{};
    if (elf_read_firmware(elfPath.c_str(), &firmware) != 0)
        throw std::runtime_error("cannot read firmware " + elfPath);
    avr_ = avr_make_mcu_by_name("atmega328p");
    if (avr_ == nullptr)
        throw std::runtime_error("simavr has no atmega328p");
    avr_init(avr_);
    avr_load_firmware(avr_, &firmware);
    avr_->frequency = CpuHz;

    uint32_t flags = 0;
    avr_ioctl(avr_, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~uint32_t(AVR_UART_FLAG_STDIO | AVR_UART_FLAG_POLL_SLEEP);
    avr_ioctl(avr_, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);

    uartIn_ = avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT),
                            &SimDevice::OnUartOut, this);
    avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XON),
                            &SimDevice::OnXon, this);
    avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XOFF),
                            &SimDevice::OnXoff, this);
    avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_IOPORT_GETIRQ('D'), 3), &SimDevice::OnLed,
                            this);
    receiverPin_ = avr_io_getirq(avr_, AVR_IOCTL_IOPORT_GETIRQ('B'), 0);
    // The receiver module's output idles high.
    avr_raise_irq(receiverPin_, 1);
}

SimDevice::~SimDevice() {
    if (avr_ != nullptr) {
        avr_terminate(avr_);
        std::free(avr_);
    }
}

uint64_t SimDevice::Cycle() const {
    return avr_->cycle;
}

uint64_t SimDevice::PlayedUntil() const {
    return pinChanges_.empty() ? Cycle() : pinChanges_.back().first;
}

uint64_t SimDevice::Play(const std::vector<int32_t>& durations, uint64_t delayUs) {
    const uint64_t start = PlayedUntil() + delayUs * CyclesPerUs;
    uint64_t at = start;
    bool mark = true;
    for (const int32_t d : durations) {
        pinChanges_.emplace_back(at, mark);
        at += uint64_t(d > 0 ? d : 0) * CyclesPerUs;
        mark = !mark;
    }
    if (!durations.empty() && mark == false)
        pinChanges_.emplace_back(at, false);
    return start;
}

void SimDevice::Send(const std::string& bytes, bool framingError) {
    for (const char c : bytes)
        toUart_.push_back(uint8_t(c) | (framingError ? UART_INPUT_FE : 0));
}

std::vector<std::string> SimDevice::TakeLines() {
    std::vector<std::string> lines;
    for (;;) {
        const auto end = output_.find("\r\n", taken_);
        if (end == std::string::npos)
            return lines;
        lines.push_back(output_.substr(taken_, end - taken_));
        taken_ = end + 2;
    }
}

void SimDevice::Step() {
    while (!pinChanges_.empty() && pinChanges_.front().first <= avr_->cycle) {
        avr_raise_irq(receiverPin_, pinChanges_.front().second ? 0 : 1);
        pinChanges_.pop_front();
    }
    while (!uartFull_ && !toUart_.empty()) {
        const uint32_t byte = toUart_.front();
        toUart_.pop_front();
        avr_raise_irq(uartIn_, byte);
    }
    const int state = avr_run(avr_);
    // The reset vector is only ever reached by a reset: the start-up code jumps past it.
    if (avr_->pc == 0 && started_)
        ++resets_;
    started_ = true;
    if (state == cpu_Done || state == cpu_Crashed)
        throw std::runtime_error("the simulated core stopped");
}

void SimDevice::RunUs(uint64_t us) {
    const uint64_t end = Cycle() + us * CyclesPerUs;
    while (Cycle() < end)
        Step();
}

bool SimDevice::RunUntil(const std::function<bool()>& done, uint64_t maxUs) {
    const uint64_t end = Cycle() + maxUs * CyclesPerUs;
    uint64_t nextCheck = 0;
    while (Cycle() < end) {
        Step();
        if (Cycle() >= nextCheck) {
            if (done())
                return true;
            nextCheck = Cycle() + 4 * CyclesPerUs;
        }
    }
    return done();
}

std::string SimDevice::RunUntilLine(uint64_t maxUs) {
    std::string line;
    RunUntil(
        [&] {
            if (output_.find("\r\n", taken_) == std::string::npos)
                return false;
            const auto end = output_.find("\r\n", taken_);
            line = output_.substr(taken_, end - taken_);
            taken_ = end + 2;
            return true;
        },
        maxUs);
    return line;
}

void SimDevice::OnUartOut(avr_irq_t*, uint32_t value, void* self) {
    static_cast<SimDevice*>(self)->output_.push_back(char(value));
}

void SimDevice::OnXon(avr_irq_t*, uint32_t, void* self) {
    static_cast<SimDevice*>(self)->uartFull_ = false;
}

void SimDevice::OnXoff(avr_irq_t*, uint32_t, void* self) {
    static_cast<SimDevice*>(self)->uartFull_ = true;
}

void SimDevice::OnLed(avr_irq_t*, uint32_t value, void* self) {
    auto& device = *static_cast<SimDevice*>(self);
    const bool high = value != 0;
    // simavr reports each change of the pin twice.
    if (!device.led_.empty() && device.led_.back().high == high)
        return;
    if (device.led_.empty() && !high)
        return;
    device.led_.push_back({device.avr_->cycle, high});
}

std::vector<int32_t> Envelope(const std::vector<SimDevice::Level>& levels, uint64_t gapUs) {
    std::vector<int32_t> envelope;
    if (levels.empty())
        return envelope;
    const auto us = [](uint64_t cycles) {
        return int32_t((cycles + CyclesPerUs / 2) / CyclesPerUs);
    };
    uint64_t markStart = levels.front().cycle;
    uint64_t lastFall = markStart;
    for (const SimDevice::Level& level : levels) {
        if (!level.high) {
            lastFall = level.cycle;
        } else if (level.cycle - lastFall > gapUs * CyclesPerUs) {
            envelope.push_back(us(lastFall - markStart));
            envelope.push_back(us(level.cycle - lastFall));
            markStart = level.cycle;
        }
    }
    envelope.push_back(us(lastFall - markStart));
    return envelope;
}

CarrierMeasure MeasureCarrier(const std::vector<SimDevice::Level>& levels, uint64_t gapUs) {
    uint64_t periodCycles = 0, highCycles = 0, periods = 0;
    for (std::size_t i = 0; i + 2 < levels.size(); i += 2) {
        const uint64_t period = levels[i + 2].cycle - levels[i].cycle;
        if (!levels[i].high || period > gapUs * CyclesPerUs)
            continue;
        periodCycles += period;
        highCycles += levels[i + 1].cycle - levels[i].cycle;
        ++periods;
    }
    if (periods == 0)
        return {};
    return {double(CpuHz) * double(periods) / double(periodCycles),
            double(highCycles) / double(periodCycles)};
}

std::string FirmwareElfPath() {
    if (const char* path = std::getenv("DEKODER_FIRMWARE_ELF"); path != nullptr && *path != '\0')
        return path;
#ifdef DEKODER_FIRMWARE_ELF_DEFAULT
    return DEKODER_FIRMWARE_ELF_DEFAULT;
#else
    return "dekoder-firmware.elf";
#endif
}

} // namespace fwsim

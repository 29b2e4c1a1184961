#include "firmware/sim/LiveDevice.h"

#include <unistd.h>

#include <array>
#include <chrono>
#include <stdexcept>

namespace fwsim {
namespace {

// Simulated time per slice: short enough that bytes cross the terminal without noticeable delay.
constexpr uint64_t SliceUs = 500;

} // namespace

LiveDevice::LiveDevice(const std::string& elfPath) : device_(elfPath) {
    thread_ = std::thread([this] { Run(); });
}

LiveDevice::~LiveDevice() {
    stop_ = true;
    thread_.join();
}

void LiveDevice::Play(const std::vector<int32_t>& durations) {
    const std::lock_guard lock(mutex_);
    device_.Play(durations);
}

bool LiveDevice::Idle() const {
    const std::lock_guard lock(mutex_);
    return device_.PlayedUntil() <= device_.Cycle() && toHost_.empty();
}

std::string LiveDevice::ReceivedBytes() const {
    const std::lock_guard lock(mutex_);
    return received_;
}

std::vector<SimDevice::Level> LiveDevice::LedLevels() const {
    const std::lock_guard lock(mutex_);
    return device_.LedLevels();
}

bool LiveDevice::ResetSeen() const {
    const std::lock_guard lock(mutex_);
    return device_.ResetSeen();
}

uint64_t LiveDevice::NowUs() const {
    const std::lock_guard lock(mutex_);
    return device_.NowUs();
}

void LiveDevice::Run() {
    using Clock = std::chrono::steady_clock;
    const auto wallStart = Clock::now();
    uint64_t simStartUs = 0;
    {
        const std::lock_guard lock(mutex_);
        simStartUs = device_.NowUs();
    }
    std::size_t sent = 0;
    std::array<char, 512> buffer{};
    while (!stop_) {
        uint64_t simUs = 0;
        {
            const std::lock_guard lock(mutex_);
            const ssize_t n = ::read(pty_.Master(), buffer.data(), buffer.size());
            if (n > 0) {
                const std::string bytes(buffer.data(), std::size_t(n));
                received_ += bytes;
                device_.Send(bytes);
            }
            device_.RunUs(SliceUs);
            toHost_ += device_.Output().substr(sent);
            sent = device_.Output().size();
            if (!toHost_.empty()) {
                const ssize_t written = ::write(pty_.Master(), toHost_.data(), toHost_.size());
                if (written > 0)
                    toHost_.erase(0, std::size_t(written));
            }
            simUs = device_.NowUs() - simStartUs;
        }
        const auto wallUs =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - wallStart).count();
        if (int64_t(simUs) > wallUs)
            std::this_thread::sleep_for(std::chrono::microseconds(int64_t(simUs) - wallUs));
    }
}

} // namespace fwsim

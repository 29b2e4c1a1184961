#include "serial/ZorComMainCall.h"

#include <cstring>
#include <thread>

namespace serial {

namespace {

using Clock = std::chrono::steady_clock;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Spins until ready() holds or `window` has passed; answers ready(). Between short runs of looks
// it gives way to other threads: on a busy machine the thread it waits for may need this very
// processor, and a pure spin then only delays it (measured: several times slower hand-overs).
template <class Ready>
bool SpinFor(std::chrono::microseconds window, Ready ready) {
    const Clock::time_point until = Clock::now() + window;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (ready()) {
                return true;
            }
            CpuRelax();
        }
        std::this_thread::yield();
        if (Clock::now() >= until) {
            return ready();
        }
    }
}

} // namespace

bool TMainCallChannel::CallSlot(Invoke invoke, const void* function, std::size_t size) {
    if (closed_.load()) {
        return false;
    }
    // The slot is the worker's while the state is Idle.
    invoke_ = invoke;
    std::memcpy(slot_, function, size);
    error_ = nullptr;
    state_.store(Posted);
    // Paired with RunPending's serving_ store and state_ load (all sequentially consistent):
    // either the main thread's last look sees this call, or this look sees it has stopped.
    if (!serving_.load()) {
        post_();
    }
    const auto settled = [this] { return state_.load() == Done || closed_.load(); };
    if (!SpinFor(SpinWindow, settled)) {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, settled);
    }
    int state = Posted;
    // Closed before the call started: it must never start now.
    if (state_.compare_exchange_strong(state, Idle)) {
        return false;
    }
    if (state == Running) {
        // Closed from inside the function itself; it finishes on its own, with its copy in the
        // slot, which no later call touches.
        return false;
    }
    std::exception_ptr error = std::move(error_);
    state_.store(Idle);
    if (error) {
        std::rethrow_exception(error);
    }
    return true;
}

bool TMainCallChannel::TryRunOne() {
    int state = Posted;
    if (closed_.load() || !state_.compare_exchange_strong(state, Running)) {
        return false;
    }
    try {
        invoke_(slot_);
    } catch (...) {
        error_ = std::current_exception();
    }
    state_.store(Done);
    Wake();
    return true;
}

void TMainCallChannel::RunPending() {
    const Clock::time_point until = Clock::now() + ServeBudget;
    serving_.store(true);
    bool ran = TryRunOne();
    while (ran && Clock::now() < until) {
        ran = SpinFor(SpinWindow, [this] { return state_.load() == Posted || closed_.load(); }) &&
              TryRunOne();
    }
    serving_.store(false);
    // A call made while we were giving up found us serving and posted nothing.
    TryRunOne();
}

void TMainCallChannel::Close() {
    closed_.store(true);
    Wake();
}

void TMainCallChannel::Wake() {
    // Taking the lock orders this wake-up after a waiter's last look at the state.
    { std::lock_guard lock(mutex_); }
    finished_.notify_all();
}

} // namespace serial

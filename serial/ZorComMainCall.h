#pragma once

// Blocking calls from the port worker into the main thread that the main thread can abandon.
//
// Call() hands a function to the main thread and waits until it has run there; an exception it
// throws is carried back and rethrown in the worker. Close() is the way out when the main thread
// must give the worker up without processing events: a waiting Call returns at once, a call not
// yet started is dropped, and every later Call returns false at once.
//
// One thread calls (the worker), one thread serves (the main thread, in RunPending). The function
// is copied into the channel's one slot, so a call allocates nothing of its own. The wake-ups are
// what a call costs, so both sides first look for a short while, giving way to other threads
// between looks: the worker for the function to return (a handler usually takes microseconds),
// the main thread, after a call, for the worker's next one (during a burst the next line follows
// within one pass of the worker). A call that finds the main thread looking is taken there without
// a posted wake-up. Both looks are short and bounded, and the main thread goes back to its event
// loop after ServeBudget even while calls keep coming, so timers, painting and input are never
// held up longer than that.
//
// Every hand-over goes through `state_` (release on one side, acquire on the other), so what the
// worker wrote before Call is visible to the function, and what the function wrote is visible to
// the worker after Call.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <type_traits>

namespace serial {

class TMainCallChannel {
public:
    // How long each side looks before it sleeps; how long the main thread serves calls in a row.
    static constexpr std::chrono::microseconds SpinWindow{60};
    static constexpr std::chrono::microseconds ServeBudget{4000};

    // Post: wakes the main thread (thread-safe); the main thread then calls RunPending().
    explicit TMainCallChannel(std::function<void()> Post) : post_(std::move(Post)) {}

    TMainCallChannel(const TMainCallChannel&) = delete;
    TMainCallChannel& operator=(const TMainCallChannel&) = delete;

    // Worker: runs Function on the main thread and waits. True when it ran; false when the
    // channel was closed first. Rethrows what Function threw. Function is copied into the
    // channel, so it must be small and trivially copyable (pointers and plain values).
    template <class F>
    bool Call(const F& Function) {
        static_assert(std::is_trivially_copyable_v<F> && std::is_trivially_destructible_v<F>);
        static_assert(sizeof(F) <= SlotSize && alignof(F) <= alignof(std::max_align_t));
        return CallSlot([](const void* slot) { (*static_cast<const F*>(slot))(); }, &Function,
                        sizeof(F));
    }

    // Main thread: runs the call waiting, if any, then the calls that follow it closely.
    void RunPending();
    // Any thread: abandons the waiting and all future calls.
    void Close();
    bool Closed() const { return closed_.load(); }

private:
    enum State : int { Idle, Posted, Running, Done };
    static constexpr std::size_t SlotSize = 4 * sizeof(void*);
    using Invoke = void (*)(const void*);

    bool CallSlot(Invoke invoke, const void* function, std::size_t size);
    // Runs the posted call, if there is one; false when there was none.
    bool TryRunOne();
    void Wake();

    std::function<void()> post_;
    std::atomic<int> state_{Idle};
    std::atomic<bool> closed_{false};
    // The main thread is spinning for the next call: a call needs no posted wake-up.
    std::atomic<bool> serving_{false};
    Invoke invoke_ = nullptr;
    alignas(std::max_align_t) unsigned char slot_[SlotSize]{};
    std::exception_ptr error_;
    std::mutex mutex_;
    std::condition_variable finished_;
};

} // namespace serial

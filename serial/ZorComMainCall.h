#pragma once

// Blocking calls from the port worker into the main thread that the main thread can abandon.
//
// Call() hands a function to the main thread (Post() wakes it, the component's customEvent then
// runs RunPending()) and waits until it has run there. An exception the function throws
// is carried back and rethrown in the worker. Close() is the way out when the main thread must wait
// for the worker without processing events: a waiting Call returns at once, queued calls are
// dropped without running, and every later Call returns false at once.
//
// The handshake goes through this class's std::mutex, never through the event queue alone, so
// every value the worker wrote before Call is visible to the function on the main thread.

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace serial {

class TMainCallChannel {
public:
    // Post: wakes the main thread (thread-safe); the main thread then calls RunPending().
    explicit TMainCallChannel(std::function<void()> Post) : post_(std::move(Post)) {}

    TMainCallChannel(const TMainCallChannel&) = delete;
    TMainCallChannel& operator=(const TMainCallChannel&) = delete;

    // Worker: runs Function on the receiver's thread and waits. True when it ran; false when the
    // channel was closed first. Rethrows what Function threw.
    bool Call(std::function<void()> Function);
    // Main thread: runs the calls queued so far.
    void RunPending();
    // Any thread: abandons the waiting and all future calls.
    void Close();
    bool Closed() const;

private:
    struct Pending {
        std::function<void()> function;
        std::exception_ptr error;
        bool done = false;
    };

    std::function<void()> post_;
    mutable std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<std::shared_ptr<Pending>> queue_;
    bool closed_ = false;
};

} // namespace serial

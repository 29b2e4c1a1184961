#pragma once

// TZorComThread: the worker of one active TZorComPort. It owns the serial driver and is its only
// user; it opens the port when the component asks for a connection, reads CR LF terminated lines,
// watches the four modem input lines, writes the queued commands one per pass and reports all of
// it through the component's dispatchers, each run on the main thread while the worker waits.
// A pass takes at most one line, so whatever a handler does about a line (a command queued, a
// stop) is seen before the next line is delivered.
//
// Thread contract
// - Worker thread: Execute() and everything it calls; the driver (except CancelWait); ErrorCode
//   and ErrorText (read by DoComError on the main thread while the worker waits for that call).
// - Main thread: construction, Start(), Join(), WaitFinished(), Abandon(), destruction, and the
//   requests below, which only set atomics or take the component's Lock: RequestStop,
//   SetStopRequest, RequestTimeOut, MarkTerminated, ApplyDTR/ApplyRTS, the queue operations.
// - The driver's CancelWait is the one driver call made from the main thread (the driver allows
// it).
// - The worker reaches its component only under ownerMutex_ (WithOwner), except through its call
//   channel, which runs on the main thread. Abandon() severs that link, so a worker given up while
//   stuck in the driver never touches the component again, and then frees itself when it ends.

#include "serial/SerialDriver.h"
#include "serial/ZorComMainCall.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace serial {

class TZorComPort;

class TZorComThread {
public:
    // Runs on the main thread: sets the component's Active and fires its OnActive at once. The
    // thread itself starts with Start().
    TZorComThread(TZorComPort& Owner, std::unique_ptr<SerialDriver> Driver, std::uint64_t Serial);
    // Joins the thread if it still runs; callers close the channel and stop it first.
    ~TZorComThread();

    TZorComThread(const TZorComThread&) = delete;
    TZorComThread& operator=(const TZorComThread&) = delete;

    void Start();
    void Join();
    // The main procedure has returned (its last step is the end notification to the component).
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    // Waits without processing events until Finished() or the time-out; answers Finished().
    bool WaitFinished(int timeoutMs);
    // Gives the worker up while it still runs: it no longer touches the component, its thread is
    // detached, and it frees itself (and its driver) when it ends. Answers false when it had ended
    // already; the caller then still owns it and frees it as usual.
    bool Abandon();

    // Asks the loop to end at the top of its next pass and cuts the driver's current wait short.
    void RequestStop();
    void SetStopRequest(bool Value) { stopRequest_.store(Value); }
    bool StopRequest() const { return stopRequest_.load(); }
    void RequestTimeOut() { timeOutRequest_.store(true); }
    // Together with the application's end this also ends the loop.
    void MarkTerminated() { terminated_.store(true); }
    bool LinkOpen() const { return linkOpen_.load(); }
    // Drives DTR / RTS to the opposite of Value; the worker applies it on its next pass, and only
    // while the port stays open.
    void ApplyDTR(bool Value);
    void ApplyRTS(bool Value);

    // Send queue; each call takes the component's Lock.
    void AppendCommand(const std::string& Command, bool GeneralCall);
    // Puts Command at the head when the queue is empty; false when it was not.
    bool InsertHeadIfEmpty(const std::string& Command, bool GeneralCall);
    bool QueueEmpty() const;
    std::vector<std::string> QueueCopy() const;

    int ErrorCode() const { return errorCode_; }
    const std::string& ErrorText() const { return errorText_; }
    std::uint64_t SerialNumber() const { return serialNumber_; }
    const std::shared_ptr<TMainCallChannel>& Channel() const { return channel_; }

private:
    struct QueuedCommand {
        std::string text;
        bool generalCall = false;
    };
    enum PendingLine : int { NoChange = -1, LineOff = 0, LineOn = 1 };
    enum Ownership : int { Owned, Abandoned, Ended };

    // Runs f(component) under the link's lock; false (f not run) once the worker is abandoned.
    template <class F>
    bool WithOwner(F f) {
        std::lock_guard lock(ownerMutex_);
        if (owner_ == nullptr) {
            return false;
        }
        f(*owner_);
        return true;
    }
    bool OwnerConnected();

    void Run();
    void Execute();
    void OpenLink();
    void ApplyPendingLines();
    void ReceivePass();
    void ReadInputLines();
    void SendPass(int& SendFailures);
    bool PeekHead(QueuedCommand& Head);
    void RemoveHead();
    void ReportError(int Code, std::string Text);
    void ThreadDelay(int Ms) { serial_->Pause(Ms); }
    // Runs a dispatcher of the component on the main thread and waits for it.
    void Synchronize(void (TZorComPort::*Dispatcher)());
    void SerialStatus(TSerialStatusReason Reason);

    // For the main thread and for calls that run on it; the worker itself goes through owner_.
    TZorComPort& component_;
    std::mutex ownerMutex_;
    TZorComPort* owner_; // null once abandoned
    std::atomic<int> ownership_{Owned};
    const std::uint64_t serialNumber_;
    std::shared_ptr<TMainCallChannel> channel_;
    std::atomic<bool> stopRequest_{false};
    std::atomic<bool> linkOpen_{false};
    std::atomic<bool> timeOutRequest_{false};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::mutex finishedMutex_;
    std::condition_variable finishedChanged_;
    std::atomic<int> pendingDTR_{NoChange};
    std::atomic<int> pendingRTS_{NoChange};
    int errorCode_ = 0;
    std::string errorText_;
    std::string txLine_;
    // The line being handed to the main thread; it swaps it into the component's RxLine.
    std::string received_;
    std::deque<QueuedCommand> sendQueue_; // guarded by the component's Lock
    // Declared last: destroyed first, while the fields its status hook writes still exist.
    std::unique_ptr<SerialDriver> serial_;
    std::thread thread_;
};

} // namespace serial

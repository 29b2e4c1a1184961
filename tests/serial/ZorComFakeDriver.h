#pragma once

// A scripted serial driver for the port component's tests. Its state lives in a shared object the
// test keeps, so it can be fed and inspected while a worker owns the driver and after the worker
// is gone. All members are thread-safe.

#include "serial/SerialDriver.h"
#include "serial/SerialErrors.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zortest {

struct FakeDriverState {
    mutable std::mutex mutex;
    std::condition_variable changed;

    // Script.
    int openError = 0;             // OpenPort fails with this code
    int configureError = 0;        // ConfigureLine fails with this code
    bool vanished = false;         // ReadLineSettings fails with EIO
    bool writable = true;          // WaitWritable's answer; false fails it with ErrTimeout
    bool draining = false;         // WaitWritable waits for a cancel, then fails with ErrTimeout
    std::deque<int> writeFailures; // each SendText takes the next code; 0 or none succeeds
    bool cts = false, dsr = false, dcd = false, ring = false;
    // ReceiveLine blocks this long and ignores cancelling (a driver stuck in a call).
    std::chrono::milliseconds stuckReceive{0};
    // ClosePort of an open port blocks until this is cleared (an adapter dying in its close).
    bool holdClose = false;

    // What happened.
    std::string incoming; // bytes the "device" sent, not yet taken
    bool open = false;
    int opens = 0;
    int closes = 0;
    bool destroyed = false;
    bool inStuckReceive = false;
    bool inHeldClose = false;
    bool inDrain = false;
    std::string written;                // every byte sent, in order
    std::vector<std::string> writes;    // each SendText's bytes
    std::vector<std::string> lineCalls; // "DTR0", "RTS1", ...
    std::vector<std::thread::id> lineCallThreads;
    std::string lastOpenName;
    int lastBaud = 0, lastDataBits = 0, lastStopBits = -1;
    char lastParity = 0;
    bool cancelPending = false;

    void Feed(const std::string& bytes) {
        {
            std::lock_guard lock(mutex);
            incoming += bytes;
        }
        changed.notify_all();
    }
    template <class F>
    auto With(F f) const {
        std::lock_guard lock(mutex);
        return f();
    }
    template <class F>
    auto Change(F f) {
        std::unique_lock lock(mutex);
        auto result = f();
        lock.unlock();
        changed.notify_all();
        return result;
    }
    // Waits without processing events until pred() holds (under the lock) or the time-out.
    template <class Pred>
    bool WaitFor(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, pred);
    }
};

class FakeDriver : public serial::SerialDriver {
public:
    explicit FakeDriver(std::shared_ptr<FakeDriverState> state) : s_(std::move(state)) {}
    ~FakeDriver() override {
        ClosePort();
        s_->Change([&] { return s_->destroyed = true; });
    }

    void OpenPort(const std::string& name) override {
        std::lock_guard lock(s_->mutex);
        s_->lastOpenName = name;
        if (s_->open) {
            SetError(serial::ErrAlreadyInUse);
            return;
        }
        if (s_->openError != 0) {
            SetError(s_->openError);
            return;
        }
        s_->open = true;
        ++s_->opens;
        SetError(0);
    }
    void ConfigureLine(int baudRate, int dataBits, char parity, int stopBits, bool, bool) override {
        std::lock_guard lock(s_->mutex);
        s_->lastBaud = baudRate;
        s_->lastDataBits = dataBits;
        s_->lastParity = parity;
        s_->lastStopBits = stopBits;
        SetError(!s_->open ? 9 : s_->configureError);
    }
    void ClosePort() override {
        {
            std::unique_lock lock(s_->mutex);
            if (s_->open && s_->holdClose) {
                s_->inHeldClose = true;
                s_->changed.notify_all();
                s_->changed.wait(lock, [&] { return !s_->holdClose; });
                s_->inHeldClose = false;
            }
            if (s_->open) {
                ++s_->closes;
            }
            s_->open = false;
            SetError(0);
        }
        if (hook_) {
            hook_(*this, serial::TSerialStatusReason::srClose, "");
        }
    }
    void PurgeBuffers() override {
        std::lock_guard lock(s_->mutex);
        SetError(s_->open ? 0 : 9);
    }

    bool WaitReadableOrBuffered(int timeoutMs) override {
        std::unique_lock lock(s_->mutex);
        WaitFor(lock, timeoutMs, [&] { return !s_->incoming.empty(); });
        SetError(0);
        return !s_->incoming.empty();
    }
    // Like the real driver, an output that does not drain is a time-out, not a success.
    bool WaitWritable(int) override {
        std::unique_lock lock(s_->mutex);
        if (s_->draining) {
            s_->inDrain = true;
            s_->changed.notify_all();
            WaitFor(lock, 60'000, [] { return false; });
            s_->inDrain = false;
            SetError(serial::ErrTimeout);
            return false;
        }
        SetError(s_->writable ? 0 : serial::ErrTimeout);
        return s_->writable;
    }
    std::string ReceiveLine(int timeoutMs) override {
        std::unique_lock lock(s_->mutex);
        if (s_->stuckReceive.count() > 0) {
            const auto stuck = s_->stuckReceive;
            s_->inStuckReceive = true;
            s_->changed.notify_all();
            lock.unlock();
            std::this_thread::sleep_for(stuck);
            lock.lock();
            s_->inStuckReceive = false;
        }
        WaitFor(lock, timeoutMs, [&] { return s_->incoming.find("\r\n") != std::string::npos; });
        const auto end = s_->incoming.find("\r\n");
        if (end == std::string::npos) {
            SetError(serial::ErrTimeout);
            return {};
        }
        std::string line = s_->incoming.substr(0, end);
        s_->incoming.erase(0, end + 2);
        s_->changed.notify_all();
        SetError(0);
        return line;
    }
    bool LineBuffered() const override {
        return s_->With([&] { return s_->incoming.find("\r\n") != std::string::npos; });
    }
    void SendText(std::string_view text) override {
        std::lock_guard lock(s_->mutex);
        if (!s_->open) {
            SetError(serial::ErrPortNotOpen);
            return;
        }
        int code = 0;
        if (!s_->writeFailures.empty()) {
            code = s_->writeFailures.front();
            s_->writeFailures.pop_front();
        }
        if (code == 0) {
            s_->written.append(text);
            s_->writes.emplace_back(text);
        }
        SetError(code);
        s_->changed.notify_all();
    }
    void ReadLineSettings() override {
        std::lock_guard lock(s_->mutex);
        SetError(s_->vanished ? 5 : (s_->open ? 0 : 9));
    }
    bool ClearToSend() override {
        return s_->With([&] { return s_->cts; });
    }
    bool DataSetReady() override {
        return s_->With([&] { return s_->dsr; });
    }
    bool CarrierDetect() override {
        return s_->With([&] { return s_->dcd; });
    }
    bool RingIndicator() override {
        return s_->With([&] { return s_->ring; });
    }
    void SetDTR(bool on) override { RecordLine(on ? "DTR1" : "DTR0"); }
    void SetRTS(bool on) override { RecordLine(on ? "RTS1" : "RTS0"); }

    bool Pause(int ms) override {
        std::unique_lock lock(s_->mutex);
        return !WaitFor(lock, ms, [] { return false; });
    }
    void CancelWait() override {
        {
            std::lock_guard lock(s_->mutex);
            s_->cancelPending = true;
        }
        s_->changed.notify_all();
    }
    bool PortOpen() const override {
        return s_->With([&] { return s_->open; });
    }
    int LastErrorCode() const override { return code_; }
    std::string LastErrorText() const override {
        if (code_ == 2) {
            return "No such file or directory";
        }
        if (code_ == 5) {
            return "Input/output error";
        }
        if (code_ == 9) {
            return "Bad file descriptor";
        }
        return std::string(serial::SerialErrorText(code_));
    }
    void SetOnStatus(serial::TSerialStatusHook hook) override { hook_ = std::move(hook); }

private:
    // Waits until ready() or a cancel or the time-out; true when it was cancelled.
    template <class Ready>
    bool WaitFor(std::unique_lock<std::mutex>& lock, int ms, Ready ready) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        s_->changed.wait_until(lock, until, [&] { return ready() || s_->cancelPending; });
        const bool cancelled = s_->cancelPending && !ready();
        if (cancelled) {
            s_->cancelPending = false;
        }
        return cancelled;
    }
    void RecordLine(const char* what) {
        std::lock_guard lock(s_->mutex);
        s_->lineCalls.emplace_back(what);
        s_->lineCallThreads.push_back(std::this_thread::get_id());
    }
    void SetError(int code) { code_ = code; }

    std::shared_ptr<FakeDriverState> s_;
    int code_ = 0;
    serial::TSerialStatusHook hook_;
};

} // namespace zortest

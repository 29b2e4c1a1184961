#pragma once

// TZorComPort: the component through which the main window talks to the infra-red device. It keeps
// the line settings and link options, owns one worker (TZorComThread) while Active, and delivers
// everything that happens on the link as events on its own (the main) thread. Two timers watch the
// link: CheckTimer queues CheckCmd after CheckInterval ms without a received line, TimeOutTimer
// drops the link after three intervals of silence.
//
// Thread contract
// - Main thread (the component's thread): every public member, every event, both timers, the
//   events' std::function members, ComThread, PortList, LastSent, RxLine and the ATCommands.
// - The worker reads: the line settings and framing options through SettingsSnapshot() (strings
//   guarded by settingsLock_), Connected/UseCRC/UseRS485/ParityBits/StopBits (atomics), and the
//   modem line states (atomics, worker-only writes). It writes Active and AT_WORK (atomics).
//   Everything else it changes (RxLine, the timer restart, every event) runs on the main thread
//   through its call channel while the worker waits (TMainCallChannel), one received line per call
//   (its RxLine, DoRxString and timer restart).
// - Lock guards the worker's send queue; both threads take it for every queue access and never
//   hold it while waiting for the other thread.
// - Blocking: the main thread never waits for the worker without processing events, except when it
//   shuts a worker down (destructor, the close hook after about 3 s): it then first closes the
//   worker's call channel, so no worker call can wait for the main thread any more, cancels the
//   driver's wait and joins, for at most about 2 s; a worker still stuck in the driver after that
//   is abandoned: it never touches the component again and frees itself and its driver when its
//   call returns. Do not destroy the component from inside one of its own handlers (use
//   deleteLater).

#include "serial/ATCommands.h"
#include "serial/SerialDriver.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace serial {

enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TStopBits { sbOneStopBit, sbTwoStopBits };

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TOnRxString = std::function<void(QObject* Sender, const std::string& ABuf)>;
using TOnSendStr = std::function<void(QObject* Sender, const std::string& AString)>;
using TOnComError = std::function<void(QObject* Sender, int Error, const std::string& Desc)>;

class TZorComThread;

// The settings a worker reads when it opens the port or frames a command; a copy, so no string is
// shared between the threads.
struct TZorComSettings {
    std::string ComPort;
    std::string BaudRate;
    std::string DataBits;
    TParityBits ParityBits = prNone;
    TStopBits StopBits = sbOneStopBit;
    bool UseCRC = false;
    bool UseRS485 = false;
    std::string RS485adr;
};

class TZorComPort : public QObject {
public:
    using DriverFactory = std::function<std::unique_ptr<SerialDriver>()>;

    explicit TZorComPort(QObject* owner = nullptr); // Qt parent = owner
    ~TZorComPort() override;

    TZorComPort(const TZorComPort&) = delete;
    TZorComPort& operator=(const TZorComPort&) = delete;

    // The loading phase: the owner applies the stored settings between these two calls.
    void BeginLoading();
    // After loading: hooks the owner's close query, then applies Active, _RTS and _DTR.
    void Loaded();
    bool Loading() const { return loading_; }

    bool Active() const { return active_.load(); }
    void SetActive(bool Value);
    bool Connected() const { return connected_.load(); }
    void SetConnected(bool Value);
    std::string ComPort() const;
    void SetComPort(const std::string& Value);
    std::string BaudRate() const;
    void SetBaudRate(const std::string& Value);
    std::string DataBits() const;
    void SetDataBits(const std::string& Value);
    TParityBits ParityBits() const;
    void SetParityBits(TParityBits Value);
    TStopBits StopBits() const;
    void SetStopBits(TStopBits Value);
    std::string CheckCmd() const { return checkCmd_; }
    void SetCheckCmd(const std::string& Value) { checkCmd_ = Value; }
    bool EnableCheckTimer() const { return enableCheckTimer_; }
    void SetEnableCheckTimer(bool Value);
    int CheckInterval() const { return checkInterval_; }
    void SetCheckInterval(int Value);
    bool _RTS() const { return rts_; }
    void Set_RTS(bool Value);
    bool _DTR() const { return dtr_; }
    void Set_DTR(bool Value);
    bool UseCRC() const;
    void SetUseCRC(bool Value);
    bool UseRS485() const;
    void SetUseRS485(bool Value);
    std::string RS485adr() const;
    void SetRS485adr(const std::string& Value);
    bool GeneralCall() const { return generalCall_; }
    void SetGeneralCall(bool Value) { generalCall_ = Value; }
    bool AT_WORK() const { return atWork_.load(); }
    const TATCommands& ATCommands() const { return atCommands_; }
    TATCommands& ATCommands() { return atCommands_; }
    void SetATCommands(const TATCommands& Value) { atCommands_.Assign(Value); }

    // Queues one command for the worker; dropped silently unless Active, Connected and open.
    void SendString(const std::string& AString, bool AGeneralCall);
    // Lists the system's serial ports into the component's own list and returns it.
    const std::vector<std::string>& GetComPortList();
    // Where new workers get their driver; the default makes a TSerialLine. Used by the next worker.
    void SetDriverFactory(DriverFactory factory);

    TNotifyEvent OnActive;
    TNotifyEvent OnConnected;
    TNotifyEvent OnDisconnected;
    TNotifyEvent OnGetCTS;
    TNotifyEvent OnGetDSR;
    TNotifyEvent OnGetDCD;
    TNotifyEvent OnGetRING;
    TNotifyEvent OnATTimeOut;
    TOnComError OnComError;
    TOnRxString OnRxString;
    TOnSendStr OnSendStr;

    // Dispatchers; main thread only. Each calls its event only when assigned, Sender = this.
    void DoActive();
    void DoConnected();
    void DoDisconnected();
    virtual void DoComError();
    virtual void DoRxString();
    void DoSendStr();
    void DoATTimeOut();
    void DoGetCTS();
    void DoGetDSR();
    void DoGetDCD();
    void DoGetRING();

    // The worker's end notification: joins and frees the finished worker.
    void ThreadTerminated();
    void CheckTimerTick();
    void TimeOutTimerTick();
    // The close hook: runs the kept close query, then stops the worker (at most about 3 s).
    void OwnerCloseQuery(QObject* Sender, bool& CanClose);
    void HookOwnerCloseQuery();
    void RestoreOwnerCloseQuery();

    // Read by the worker; a copy taken under the settings lock.
    TZorComSettings SettingsSnapshot() const;

    // State views for tests and the window.
    const std::string& RxLine() const { return rxLine_; }
    const std::string& LastSent() const { return lastSent_; }
    bool LineCTS() const { return lineCTS_.load(); }
    bool LineDSR() const { return lineDSR_.load(); }
    bool LineDCD() const { return lineDCD_.load(); }
    bool LineRING() const { return lineRING_.load(); }
    bool HasWorker() const { return comThread_ != nullptr; }
    // Identifies the current worker (0 when none); a new worker gets a new number.
    std::uint64_t WorkerSerial() const;
    // The worker's port is open (false when there is no worker).
    bool WorkerLinkOpen() const;
    // A copy of the worker's send queue, head first (empty when there is no worker).
    std::vector<std::string> PendingCommands() const;
    bool CheckTimerActive() const { return checkTimer_.isActive(); }
    int CheckTimerInterval() const { return checkTimer_.interval(); }
    bool TimeOutTimerActive() const { return timeOutTimer_.isActive(); }
    int TimeOutTimerInterval() const { return timeOutTimer_.interval(); }
    // The close hook's wait for the worker before it shuts it down (about 3 s).
    void SetCloseWaitLimitMs(int ms) { closeWaitLimitMs_ = ms; }
    // How long a shut-down waits for a worker stuck in the driver before abandoning it (2 s).
    void SetShutdownJoinLimitMs(int ms) { shutdownJoinLimitMs_ = ms; }
    // The worker's main procedure has returned (its end notice may still be queued).
    bool WorkerFinished() const;

    // The events a worker posts to the component: a call waits in its channel; its main
    // procedure has returned.
    static int MainCallEventType();
    static int ThreadEndEventType();

protected:
    void customEvent(QEvent* event) override;

private:
    friend class TZorComThread;

    // Thread-safe: posts an event of that type to the component.
    void PostEvent(int Type);
    void StopTimers();
    void StartNewWorker();
    // Ends the worker at once: closes its call channel, cancels its driver's wait and joins it.
    void ShutdownWorker();
    // After a received line, on the main thread: the worker's part that follows DoRxString.
    void RestartTimeOutTimer();

    // Guards the send queue of the worker (see the thread contract).
    mutable std::mutex Lock;

    bool loading_ = false;
    std::atomic<bool> active_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> atWork_{false};
    std::atomic<bool> appTerminating_{false};
    std::atomic<bool> lineCTS_{false};
    std::atomic<bool> lineDSR_{false};
    std::atomic<bool> lineDCD_{false};
    std::atomic<bool> lineRING_{false};

    mutable std::mutex settingsLock_;
    TZorComSettings settings_{"COM1", "9600", "8", prNone, sbOneStopBit, false, false, {}};

    std::string checkCmd_ = "AT";
    bool enableCheckTimer_ = false;
    int checkInterval_ = 5000;
    bool rts_ = true;
    bool dtr_ = true;
    bool generalCall_ = false;
    TATCommands atCommands_{this};

    std::string rxLine_;
    std::string lastSent_;
    std::vector<std::string> portList_;
    QTimer checkTimer_;
    QTimer timeOutTimer_;
    std::function<void(QObject*, bool&)> savedOnCloseQuery_;
    bool closeQueryHooked_ = false;
    int closeWaitLimitMs_ = 3010;
    int shutdownJoinLimitMs_ = 2000;

    // Qt hands posted events over under its own lock, which race checkers cannot see; the worker
    // bumps this after building an event and customEvent reads it first, so the hand-over is
    // visible to them as well.
    std::atomic<unsigned> postFence_{0};

    DriverFactory driverFactory_;
    std::uint64_t workerCount_ = 0;
    std::unique_ptr<TZorComThread> comThread_;
};

} // namespace serial

#include "serial/ZorComPort.h"

#include "serial/EnumComPorts.h"
#include "serial/SerialLine.h"
#include "serial/ZorComThread.h"
#include "settings/FormEvents.h"
#include "settings/ZorTools.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>

#include <algorithm>
#include <climits>

namespace serial {

namespace {

// QTimer takes an int period; three long intervals must not wrap round to a short one.
int TimeOutPeriod(int checkInterval) {
    const long long period = 3LL * checkInterval;
    return static_cast<int>(std::clamp<long long>(period, 0, INT_MAX));
}

// A period of zero or less means a timer that never fires; a zero QTimer would fire on every
// pass of the event loop instead, flooding the queue with check commands.
void StartTimer(QTimer& timer) {
    if (timer.interval() > 0) {
        timer.start();
    } else {
        timer.stop();
    }
}

void SetTimerPeriod(QTimer& timer, int period) {
    const bool running = timer.isActive();
    timer.setInterval(std::max(period, 0));
    // QTimer restarts a running timer on a new period; keep that, but never at zero.
    if (running) {
        StartTimer(timer);
    }
}

} // namespace

TZorComPort::TZorComPort(QObject* owner) : QObject(owner) {
    driverFactory_ = [] { return std::make_unique<TSerialLine>(); };
    EnumComPorts(portList_);

    SetTimerPeriod(checkTimer_, checkInterval_);
    connect(&checkTimer_, &QTimer::timeout, this, [this] { CheckTimerTick(); });
    SetTimerPeriod(timeOutTimer_, TimeOutPeriod(checkInterval_));
    connect(&timeOutTimer_, &QTimer::timeout, this, [this] { TimeOutTimerTick(); });
    // A new time-out timer runs; the after-loading step stops it until the first line.
    StartTimer(timeOutTimer_);

    if (const QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { appTerminating_.store(true); });
    }
}

TZorComPort::~TZorComPort() {
    // The owner no longer processes events here: stop the worker without waiting for its events.
    ShutdownWorker();
    StopTimers();
    checkTimer_.disconnect(this);
    timeOutTimer_.disconnect(this);
    RestoreOwnerCloseQuery();
}

int TZorComPort::MainCallEventType() {
    static const int type = QEvent::registerEventType();
    return type;
}

int TZorComPort::ThreadEndEventType() {
    static const int type = QEvent::registerEventType();
    return type;
}

void TZorComPort::PostEvent(int Type) {
    auto* event = new QEvent(static_cast<QEvent::Type>(Type));
    postFence_.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(this, event);
}

void TZorComPort::customEvent(QEvent* event) {
    postFence_.load(std::memory_order_acquire);
    const int type = static_cast<int>(event->type());
    if (type == MainCallEventType()) {
        if (comThread_) {
            // A handler may free the worker; the channel outlives it for this run.
            const std::shared_ptr<TMainCallChannel> channel = comThread_->Channel();
            channel->RunPending();
        }
    } else if (type == ThreadEndEventType()) {
        ThreadTerminated();
    } else {
        QObject::customEvent(event);
    }
}

void TZorComPort::BeginLoading() {
    loading_ = true;
}

void TZorComPort::Loaded() {
    const bool wasLoading = loading_;
    loading_ = false;
    if (wasLoading) {
        HookOwnerCloseQuery();
    }
    SetActive(Active());
    Set_RTS(rts_);
    Set_DTR(dtr_);
}

void TZorComPort::StopTimers() {
    checkTimer_.stop();
    timeOutTimer_.stop();
}

void TZorComPort::SetActive(bool Value) {
    if (Value == active_.load() && loading_) {
        return;
    }
    active_.store(Value);
    if (Value && !loading_) {
        // A worker that has ended but whose end notice is still queued is reclaimed now, so it
        // is replaced rather than revived.
        ThreadTerminated();
        if (comThread_) {
            // A stop still pending is cancelled: the worker runs on.
            comThread_->SetStopRequest(false);
        } else {
            StartNewWorker();
        }
        return;
    }
    StopTimers();
    if (comThread_) {
        comThread_->RequestStop();
        settings::Delay(200);
        if (comThread_) {
            comThread_->MarkTerminated();
        }
    }
}

void TZorComPort::StartNewWorker() {
    std::unique_ptr<SerialDriver> driver;
    try {
        driver = driverFactory_();
    } catch (...) {
        // No worker came to life, so the component is not active.
        active_.store(false);
        throw;
    }
    if (!driver) {
        // Without a driver there is nothing to run; the factory's fault, not the link's.
        active_.store(false);
        return;
    }
    comThread_ = std::make_unique<TZorComThread>(*this, std::move(driver), ++workerCount_);
    comThread_->SetStopRequest(false);
    comThread_->Start();
}

void TZorComPort::ShutdownWorker() {
    if (!comThread_) {
        return;
    }
    comThread_->Channel()->Close();
    comThread_->RequestStop();
    // A worker stuck in a kernel call (a vanishing USB adapter can hold a close or a drain for
    // seconds) is left to finish alone, so closing the window never hangs on it.
    if (!comThread_->WaitFinished(shutdownJoinLimitMs_) && comThread_->Abandon()) {
        static_cast<void>(comThread_.release()); // it frees itself when it ends
        return;
    }
    comThread_->Join();
    comThread_.reset();
}

void TZorComPort::ThreadTerminated() {
    // The event may be a late one of a worker already reclaimed; only a finished worker is joined,
    // so this never blocks on a running one.
    if (comThread_ && comThread_->Finished()) {
        comThread_->Join();
        comThread_.reset();
    }
}

void TZorComPort::SetConnected(bool Value) {
    if (Value == connected_.load()) {
        return;
    }
    if (comThread_) {
        // Waits until the worker is outside its queue section.
        std::lock_guard lock(Lock);
    }
    connected_.store(Value);
}

std::string TZorComPort::ComPort() const {
    std::lock_guard lock(settingsLock_);
    return settings_.ComPort;
}

void TZorComPort::SetComPort(const std::string& Value) {
    std::lock_guard lock(settingsLock_);
    settings_.ComPort = Value;
}

std::string TZorComPort::BaudRate() const {
    std::lock_guard lock(settingsLock_);
    return settings_.BaudRate;
}

void TZorComPort::SetBaudRate(const std::string& Value) {
    std::lock_guard lock(settingsLock_);
    settings_.BaudRate = Value;
}

std::string TZorComPort::DataBits() const {
    std::lock_guard lock(settingsLock_);
    return settings_.DataBits;
}

void TZorComPort::SetDataBits(const std::string& Value) {
    std::lock_guard lock(settingsLock_);
    settings_.DataBits = Value;
}

TParityBits TZorComPort::ParityBits() const {
    std::lock_guard lock(settingsLock_);
    return settings_.ParityBits;
}

void TZorComPort::SetParityBits(TParityBits Value) {
    std::lock_guard lock(settingsLock_);
    settings_.ParityBits = Value;
}

TStopBits TZorComPort::StopBits() const {
    std::lock_guard lock(settingsLock_);
    return settings_.StopBits;
}

void TZorComPort::SetStopBits(TStopBits Value) {
    std::lock_guard lock(settingsLock_);
    settings_.StopBits = Value;
}

bool TZorComPort::UseCRC() const {
    std::lock_guard lock(settingsLock_);
    return settings_.UseCRC;
}

void TZorComPort::SetUseCRC(bool Value) {
    std::lock_guard lock(settingsLock_);
    settings_.UseCRC = Value;
}

bool TZorComPort::UseRS485() const {
    std::lock_guard lock(settingsLock_);
    return settings_.UseRS485;
}

void TZorComPort::SetUseRS485(bool Value) {
    std::lock_guard lock(settingsLock_);
    settings_.UseRS485 = Value;
}

std::string TZorComPort::RS485adr() const {
    std::lock_guard lock(settingsLock_);
    return settings_.RS485adr;
}

void TZorComPort::SetRS485adr(const std::string& Value) {
    std::lock_guard lock(settingsLock_);
    settings_.RS485adr = Value;
}

TZorComSettings TZorComPort::SettingsSnapshot() const {
    std::lock_guard lock(settingsLock_);
    return settings_;
}

void TZorComPort::SetEnableCheckTimer(bool Value) {
    enableCheckTimer_ = Value;
    if (Value) {
        StartTimer(checkTimer_);
        StartTimer(timeOutTimer_);
    } else {
        StopTimers();
    }
}

void TZorComPort::SetCheckInterval(int Value) {
    checkInterval_ = Value;
    // The check timer takes the new period at its next tick.
    SetTimerPeriod(timeOutTimer_, TimeOutPeriod(Value));
}

void TZorComPort::Set_RTS(bool Value) {
    rts_ = Value;
    if (comThread_) {
        comThread_->ApplyRTS(Value);
    }
}

void TZorComPort::Set_DTR(bool Value) {
    dtr_ = Value;
    if (comThread_) {
        comThread_->ApplyDTR(Value);
    }
}

void TZorComPort::SendString(const std::string& AString, bool AGeneralCall) {
    if (!active_.load() || !connected_.load() || !comThread_ || comThread_->Finished() ||
        !comThread_->LinkOpen()) {
        return;
    }
    const bool general = AGeneralCall || generalCall_;
    lastSent_ = AString;
    DoSendStr();
    // The handler may have stopped the worker.
    if (comThread_) {
        comThread_->AppendCommand(AString, general);
    }
}

const std::vector<std::string>& TZorComPort::GetComPortList() {
    EnumComPorts(portList_);
    return portList_;
}

void TZorComPort::SetDriverFactory(DriverFactory factory) {
    driverFactory_ = std::move(factory);
}

std::uint64_t TZorComPort::WorkerSerial() const {
    return comThread_ ? comThread_->SerialNumber() : 0;
}

bool TZorComPort::WorkerFinished() const {
    return comThread_ && comThread_->Finished();
}

bool TZorComPort::WorkerLinkOpen() const {
    return comThread_ && comThread_->LinkOpen();
}

std::vector<std::string> TZorComPort::PendingCommands() const {
    return comThread_ ? comThread_->QueueCopy() : std::vector<std::string>{};
}

void TZorComPort::DoActive() {
    if (OnActive) {
        OnActive(this);
    }
}

void TZorComPort::DoConnected() {
    if (OnConnected) {
        OnConnected(this);
    }
}

void TZorComPort::DoDisconnected() {
    connected_.store(false);
    atWork_.store(false);
    if (OnDisconnected) {
        OnDisconnected(this);
    }
    if (comThread_) {
        std::lock_guard lock(Lock);
    }
}

void TZorComPort::DoComError() {
    if (OnComError && comThread_) {
        // Copies: the handler may free the worker.
        const int code = comThread_->ErrorCode();
        const std::string text = comThread_->ErrorText();
        OnComError(this, code, text);
    }
}

void TZorComPort::DoRxString() {
    if (OnRxString) {
        OnRxString(this, rxLine_);
    }
    timeOutTimer_.stop();
    checkTimer_.stop();
    if (enableCheckTimer_) {
        StartTimer(checkTimer_);
    }
}

void TZorComPort::RestartTimeOutTimer() {
    timeOutTimer_.stop();
    StartTimer(timeOutTimer_);
}

void TZorComPort::DoSendStr() {
    if (OnSendStr) {
        OnSendStr(this, lastSent_);
    }
}

void TZorComPort::DoATTimeOut() {
    if (OnATTimeOut) {
        OnATTimeOut(this);
    }
}

void TZorComPort::DoGetCTS() {
    if (OnGetCTS) {
        OnGetCTS(this);
    }
}

void TZorComPort::DoGetDSR() {
    if (OnGetDSR) {
        OnGetDSR(this);
    }
}

void TZorComPort::DoGetDCD() {
    if (OnGetDCD) {
        OnGetDCD(this);
    }
}

void TZorComPort::DoGetRING() {
    if (OnGetRING) {
        OnGetRING(this);
    }
}

void TZorComPort::CheckTimerTick() {
    if (!comThread_) {
        return;
    }
    SetTimerPeriod(checkTimer_, checkInterval_);
    comThread_->InsertHeadIfEmpty(checkCmd_, false);
}

void TZorComPort::TimeOutTimerTick() {
    if (active_.load() && connected_.load() && comThread_ && checkTimer_.isActive()) {
        comThread_->RequestTimeOut();
    }
    if (checkTimer_.isActive()) {
        DoATTimeOut();
    }
}

void TZorComPort::HookOwnerCloseQuery() {
    auto* form = dynamic_cast<settings::HookableForm*>(parent());
    if (!form || closeQueryHooked_) {
        return;
    }
    settings::FormEvents& events = form->Events();
    savedOnCloseQuery_ = events.OnCloseQuery;
    events.OnCloseQuery = [this](QObject* Sender, bool& CanClose) {
        OwnerCloseQuery(Sender, CanClose);
    };
    closeQueryHooked_ = true;
}

void TZorComPort::RestoreOwnerCloseQuery() {
    if (!closeQueryHooked_) {
        return;
    }
    closeQueryHooked_ = false;
    // Null once the owner's window part is gone (the component dies with its owner).
    if (auto* form = dynamic_cast<settings::HookableForm*>(parent())) {
        form->Events().OnCloseQuery = savedOnCloseQuery_;
    }
    savedOnCloseQuery_ = nullptr;
}

void TZorComPort::OwnerCloseQuery(QObject* Sender, bool& CanClose) {
    if (savedOnCloseQuery_) {
        savedOnCloseQuery_(Sender, CanClose);
    }
    auto* form = dynamic_cast<settings::HookableForm*>(parent());
    if (!CanClose || !form || !form->HasWindow()) {
        return;
    }
    if (!comThread_) {
        return;
    }
    comThread_->RequestStop();
    // The worker's last events are delivered while we wait; counted in rounds and in time, so a
    // slow handler cannot stretch the wait.
    QElapsedTimer waited;
    waited.start();
    for (int round = 0; round < 301 && comThread_ && waited.elapsed() < closeWaitLimitMs_;
         ++round) {
        settings::Delay(10);
    }
    // Still running after about 3 s: it is blocked in a driver call or a handler. End it in order,
    // without its remaining events, so the port is released before the window goes.
    ShutdownWorker();
}

} // namespace serial

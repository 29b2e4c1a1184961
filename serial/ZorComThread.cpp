#include "serial/ZorComThread.h"

#include "serial/SerialErrors.h"
#include "serial/ZorComFraming.h"
#include "serial/ZorComPort.h"

#include <mutex>
#include <utility>

namespace serial {

namespace {

constexpr char CR = '\r';

char ParityChar(TParityBits parity) {
    switch (parity) {
    case prOdd:
        return 'O';
    case prEven:
        return 'E';
    case prMark:
        return 'M';
    case prSpace:
        return 'S';
    case prNone:
        break;
    }
    return 'N';
}

int StopBitsCode(TStopBits stopBits) {
    return stopBits == sbTwoStopBits ? 2 : 0;
}

} // namespace

TZorComThread::TZorComThread(TZorComPort& Owner, std::unique_ptr<SerialDriver> Driver,
                             std::uint64_t Serial)
    : component_(Owner), owner_(&Owner), serialNumber_(Serial),
      channel_(std::make_shared<TMainCallChannel>([this] {
          WithOwner([](TZorComPort& owner) { owner.PostEvent(TZorComPort::MainCallEventType()); });
      })),
      serial_(std::move(Driver)) {
    // The port is not open yet; the error this leaves is overwritten by the next driver call.
    serial_->PurgeBuffers();
    serial_->SetOnStatus([this](SerialDriver&, TSerialStatusReason Reason, std::string_view) {
        SerialStatus(Reason);
    });
    Owner.active_.store(true);
    Owner.DoActive();
}

TZorComThread::~TZorComThread() {
    Join();
    // Closing the port from here reports srClose; nobody needs to hear it any more.
    serial_->SetOnStatus(nullptr);
}

void TZorComThread::Start() {
    thread_ = std::thread([this] { Run(); });
}

void TZorComThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool TZorComThread::WaitFinished(int timeoutMs) {
    std::unique_lock lock(finishedMutex_);
    return finishedChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [this] { return Finished(); });
}

bool TZorComThread::Abandon() {
    {
        // Waits for a component access in progress; none starts after this.
        std::lock_guard lock(ownerMutex_);
        owner_ = nullptr;
    }
    if (thread_.joinable()) {
        thread_.detach();
    }
    // Whoever comes second frees the worker: the thread when it ends later, else the caller.
    return ownership_.exchange(Abandoned) != Ended;
}

void TZorComThread::RequestStop() {
    stopRequest_.store(true);
    serial_->CancelWait();
}

void TZorComThread::ApplyDTR(bool Value) {
    if (linkOpen_.load()) {
        pendingDTR_.store(Value ? LineOff : LineOn);
    }
}

void TZorComThread::ApplyRTS(bool Value) {
    if (linkOpen_.load()) {
        pendingRTS_.store(Value ? LineOff : LineOn);
    }
}

void TZorComThread::AppendCommand(const std::string& Command, bool GeneralCall) {
    std::lock_guard lock(component_.Lock);
    sendQueue_.push_back({Command, GeneralCall});
}

bool TZorComThread::InsertHeadIfEmpty(const std::string& Command, bool GeneralCall) {
    std::lock_guard lock(component_.Lock);
    if (!sendQueue_.empty()) {
        return false;
    }
    sendQueue_.push_front({Command, GeneralCall});
    return true;
}

bool TZorComThread::QueueEmpty() const {
    std::lock_guard lock(component_.Lock);
    return sendQueue_.empty();
}

std::vector<std::string> TZorComThread::QueueCopy() const {
    std::lock_guard lock(component_.Lock);
    std::vector<std::string> texts;
    texts.reserve(sendQueue_.size());
    for (const auto& entry : sendQueue_) {
        texts.push_back(entry.text);
    }
    return texts;
}

bool TZorComThread::PeekHead(QueuedCommand& Head) {
    bool found = false;
    WithOwner([&](TZorComPort& owner) {
        std::lock_guard lock(owner.Lock);
        if (!sendQueue_.empty()) {
            Head = sendQueue_.front();
            found = true;
        }
    });
    return found;
}

void TZorComThread::RemoveHead() {
    WithOwner([&](TZorComPort& owner) {
        std::lock_guard lock(owner.Lock);
        if (!sendQueue_.empty()) {
            sendQueue_.pop_front();
        }
    });
}

bool TZorComThread::OwnerConnected() {
    bool connected = false;
    WithOwner([&](TZorComPort& owner) { connected = owner.Connected(); });
    return connected;
}

void TZorComThread::SerialStatus(TSerialStatusReason Reason) {
    if (Reason == TSerialStatusReason::srClose) {
        linkOpen_.store(false);
    }
}

void TZorComThread::Synchronize(void (TZorComPort::*Dispatcher)()) {
    // Runs only while the channel is open, and the component closes it before it lets the
    // worker go, so the pointer is good whenever the call runs.
    TZorComPort* const owner = &component_;
    channel_->Call([owner, Dispatcher] { (owner->*Dispatcher)(); });
}

void TZorComThread::ReportError(int Code, std::string Text) {
    errorCode_ = Code;
    errorText_ = std::move(Text);
    Synchronize(&TZorComPort::DoComError);
}

void TZorComThread::Run() {
    Execute();
    {
        std::lock_guard lock(finishedMutex_);
        finished_.store(true, std::memory_order_release);
    }
    finishedChanged_.notify_all();
    // The component joins and frees this worker when it handles the event.
    WithOwner([](TZorComPort& owner) { owner.PostEvent(TZorComPort::ThreadEndEventType()); });
    // The last touch of this object unless it was abandoned, in which case it is ours to free.
    if (ownership_.exchange(Ended) == Abandoned) {
        delete this;
    }
}

void TZorComThread::Execute() {
    try {
        if (OwnerConnected() && !linkOpen_.load()) {
            OpenLink();
        }
        int sendFailures = 0;
        WithOwner([](TZorComPort& owner) { owner.atWork_.store(false); });
        for (;;) {
            if (stopRequest_.load()) {
                break;
            }
            if (timeOutRequest_.exchange(false)) {
                linkOpen_.store(false);
                serial_->PurgeBuffers();
                serial_->ClosePort();
                Synchronize(&TZorComPort::DoDisconnected);
            }
            if (!linkOpen_.load() && OwnerConnected()) {
                OpenLink();
            }
            if (!linkOpen_.load()) {
                ThreadDelay(10);
            } else {
                ApplyPendingLines();
                ReceivePass();
                // Presence probe: fails once the device has gone away. It also clears a receive
                // time-out left by the pass above.
                serial_->ReadLineSettings();
                if (serial_->LastErrorCode() != 0) {
                    stopRequest_.store(true);
                    ReportError(serial_->LastErrorCode(), serial_->LastErrorText());
                    break;
                }
                ReadInputLines();
                SendPass(sendFailures);
            }
            if (terminated_.load()) {
                bool ending = false;
                WithOwner([&](TZorComPort& owner) { ending = owner.appTerminating_.load(); });
                if (ending) {
                    break;
                }
            }
        }
        if (linkOpen_.load()) {
            serial_->ClosePort();
            linkOpen_.store(false);
            Synchronize(&TZorComPort::DoDisconnected);
        }
        WithOwner([](TZorComPort& owner) { owner.active_.store(false); });
        Synchronize(&TZorComPort::DoActive);
    } catch (...) {
        // Active stays set: the component sees the worker gone and a new Active true starts
        // another.
        try {
            ReportError(-200, "Thread exception");
        } catch (...) {
            // A handler throwing again must not take the process down with this thread.
        }
    }
    try {
        Synchronize(&TZorComPort::DoDisconnected);
    } catch (...) {
    }
}

void TZorComThread::OpenLink() {
    TZorComSettings settings;
    WithOwner([&](TZorComPort& owner) { settings = owner.SettingsSnapshot(); });
    const int baud = ParseDecimal(settings.BaudRate, 9600);
    const int dataBits = ParseDecimal(settings.DataBits, 8);

    serial_->PurgeBuffers();
    serial_->OpenPort(settings.ComPort);
    if (serial_->LastErrorCode() != 0) {
        ReportError(serial_->LastErrorCode(), serial_->LastErrorText());
    }
    serial_->ConfigureLine(baud, dataBits, ParityChar(settings.ParityBits),
                           StopBitsCode(settings.StopBits), false, false);
    if (serial_->LastErrorCode() != 0) {
        ReportError(serial_->LastErrorCode(), serial_->LastErrorText());
        // The worker ends at the top of its next pass.
        stopRequest_.store(true);
        return;
    }
    linkOpen_.store(true);
    timeOutRequest_.store(false);
    // Line changes asked for before this open are void: the open leaves DTR and RTS asserted.
    pendingDTR_.store(NoChange);
    pendingRTS_.store(NoChange);
    Synchronize(&TZorComPort::DoConnected);
}

void TZorComThread::ApplyPendingLines() {
    const int dtr = pendingDTR_.exchange(NoChange);
    if (dtr != NoChange) {
        serial_->SetDTR(dtr == LineOn);
    }
    const int rts = pendingRTS_.exchange(NoChange);
    if (rts != NoChange) {
        serial_->SetRTS(rts == LineOn);
    }
}

void TZorComThread::ReceivePass() {
    if (!serial_->WaitReadableOrBuffered(2)) {
        return;
    }
    received_ = serial_->ReceiveLine(200);
    if (received_.empty()) {
        return;
    }
    // The component's RxLine is the main thread's; the line crosses over inside the call, and
    // AT_WORK and the time-out restart follow DoRxString there, before the worker goes on.
    TZorComThread* const self = this;
    TZorComPort* const owner = &component_;
    channel_->Call([self, owner] {
        owner->rxLine_.swap(self->received_);
        owner->DoRxString();
        // The handler may have shut this worker down: only the component is touched from here.
        owner->atWork_.store(true);
        owner->RestartTimeOutTimer();
    });
}

void TZorComThread::ReadInputLines() {
    struct InputLine {
        std::uint32_t bit;
        std::atomic<bool> TZorComPort::*state;
        void (TZorComPort::*dispatcher)();
    };
    static constexpr InputLine lines[] = {
        {mlCTS, &TZorComPort::lineCTS_, &TZorComPort::DoGetCTS},
        {mlDSR, &TZorComPort::lineDSR_, &TZorComPort::DoGetDSR},
        {mlDCD, &TZorComPort::lineDCD_, &TZorComPort::DoGetDCD},
        {mlRing, &TZorComPort::lineRING_, &TZorComPort::DoGetRING},
    };
    // One read of all four: on a USB adapter every read is a transfer on the bus.
    const std::uint32_t word = serial_->ReadModemLines();
    for (const auto& line : lines) {
        const bool value = (word & line.bit) != 0;
        bool changed = false;
        WithOwner(
            [&](TZorComPort& owner) { changed = (owner.*line.state).exchange(value) != value; });
        if (changed) {
            Synchronize(line.dispatcher);
        }
    }
}

void TZorComThread::SendPass(int& SendFailures) {
    QueuedCommand head;
    if (!PeekHead(head)) {
        return;
    }
    TZorComSettings settings;
    WithOwner([&](TZorComPort& owner) { settings = owner.SettingsSnapshot(); });
    txLine_ = FrameCommand(head.text, settings.UseCRC, settings.UseRS485, head.generalCall,
                           settings.RS485adr);
    if (settings.UseCRC) {
        serial_->SendText(txLine_ + CR);
    } else if (serial_->WaitWritable(100)) {
        serial_->SendText(txLine_ + CR);
    }
    const int code = serial_->LastErrorCode();
    // A stop cancels the wait in progress, which then ends as a time-out: that is no failed
    // write. The loop ends at the top of the next pass.
    if (code == ErrTimeout && stopRequest_.load()) {
        return;
    }
    if (!settings.UseCRC && code != 0) {
        ReportError(code, ImmediateErrorText(code, serial_->LastErrorText()));
    }
    if (code == 0) {
        RemoveHead();
        return;
    }
    ++SendFailures;
    if (code == ErrFrame || SendFailures <= 3) {
        return; // written again on the next pass
    }
    SendFailures = 0;
    ReportError(code, SendLimitErrorText(code, serial_->LastErrorText()));
    RemoveHead();
    Synchronize(&TZorComPort::DoDisconnected);
}

} // namespace serial

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
    : owner_(Owner), serialNumber_(Serial), channel_(std::make_shared<TMainCallChannel>([&Owner] {
          Owner.PostEvent(TZorComPort::MainCallEventType());
      })),
      serial_(std::move(Driver)) {
    // The port is not open yet; the error this leaves is overwritten by the next driver call.
    serial_->PurgeBuffers();
    serial_->SetOnStatus([this](SerialDriver&, TSerialStatusReason Reason, std::string_view) {
        SerialStatus(Reason);
    });
    owner_.active_.store(true);
    owner_.DoActive();
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
    std::lock_guard lock(owner_.Lock);
    sendQueue_.push_back({Command, GeneralCall});
}

bool TZorComThread::InsertHeadIfEmpty(const std::string& Command, bool GeneralCall) {
    std::lock_guard lock(owner_.Lock);
    if (!sendQueue_.empty()) {
        return false;
    }
    sendQueue_.push_front({Command, GeneralCall});
    return true;
}

bool TZorComThread::QueueEmpty() const {
    std::lock_guard lock(owner_.Lock);
    return sendQueue_.empty();
}

std::vector<std::string> TZorComThread::QueueCopy() const {
    std::lock_guard lock(owner_.Lock);
    std::vector<std::string> texts;
    texts.reserve(sendQueue_.size());
    for (const auto& entry : sendQueue_) {
        texts.push_back(entry.text);
    }
    return texts;
}

bool TZorComThread::PeekHead(QueuedCommand& Head) const {
    std::lock_guard lock(owner_.Lock);
    if (sendQueue_.empty()) {
        return false;
    }
    Head = sendQueue_.front();
    return true;
}

void TZorComThread::RemoveHead() {
    std::lock_guard lock(owner_.Lock);
    if (!sendQueue_.empty()) {
        sendQueue_.pop_front();
    }
}

void TZorComThread::SerialStatus(TSerialStatusReason Reason) {
    if (Reason == TSerialStatusReason::srClose) {
        linkOpen_.store(false);
    }
}

void TZorComThread::Synchronize(void (TZorComPort::*Dispatcher)()) {
    TZorComPort* const owner = &owner_;
    channel_->Call([owner, Dispatcher] { (owner->*Dispatcher)(); });
}

void TZorComThread::ReportError(int Code, std::string Text) {
    errorCode_ = Code;
    errorText_ = std::move(Text);
    Synchronize(&TZorComPort::DoComError);
}

void TZorComThread::Run() {
    Execute();
    finished_.store(true, std::memory_order_release);
    // The component joins and frees this worker when it handles the event.
    owner_.PostEvent(TZorComPort::ThreadEndEventType());
}

void TZorComThread::Execute() {
    try {
        if (owner_.Connected() && !linkOpen_.load()) {
            OpenLink();
        }
        int sendFailures = 0;
        owner_.atWork_.store(false);
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
            if (!linkOpen_.load() && owner_.Connected()) {
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
            if (terminated_.load() && owner_.appTerminating_.load()) {
                break;
            }
        }
        if (linkOpen_.load()) {
            serial_->ClosePort();
            linkOpen_.store(false);
            Synchronize(&TZorComPort::DoDisconnected);
        }
        owner_.active_.store(false);
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
    const TZorComSettings settings = owner_.SettingsSnapshot();
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
    std::string line = serial_->ReceiveLine(200);
    if (line.empty()) {
        return;
    }
    // Further lines already in the driver's buffer go in the same hand-over: during a burst one
    // main-thread wake-up then carries many lines instead of one. An empty line (or a failed
    // read) ends the batch as it ends a pass.
    std::vector<std::string> lines;
    lines.push_back(std::move(line));
    while (lines.size() < MaxLinesPerHandOver && serial_->LineBuffered()) {
        std::string next = serial_->ReceiveLine(200);
        if (next.empty()) {
            break;
        }
        lines.push_back(std::move(next));
    }
    TZorComPort* const owner = &owner_;
    channel_->Call([this, owner, channel = channel_, lines = std::move(lines)] {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            // A handler may have stopped the worker or shut it down; the lines left are dropped
            // as they would be by a stop between passes. A closed channel means this worker may
            // already be gone, so it is checked before the worker's own flag.
            if (i > 0 && (channel->Closed() || stopRequest_.load())) {
                return;
            }
            owner->rxLine_ = lines[i];
            owner->DoRxString();
            owner->atWork_.store(true);
            owner->RestartTimeOutTimer();
        }
    });
}

void TZorComThread::ReadInputLines() {
    struct InputLine {
        bool (SerialDriver::*read)();
        std::atomic<bool> TZorComPort::*state;
        void (TZorComPort::*dispatcher)();
    };
    static constexpr InputLine lines[] = {
        {&SerialDriver::ClearToSend, &TZorComPort::lineCTS_, &TZorComPort::DoGetCTS},
        {&SerialDriver::DataSetReady, &TZorComPort::lineDSR_, &TZorComPort::DoGetDSR},
        {&SerialDriver::CarrierDetect, &TZorComPort::lineDCD_, &TZorComPort::DoGetDCD},
        {&SerialDriver::RingIndicator, &TZorComPort::lineRING_, &TZorComPort::DoGetRING},
    };
    for (const auto& line : lines) {
        const bool value = (serial_.get()->*line.read)();
        if (value != (owner_.*line.state).load()) {
            (owner_.*line.state).store(value);
            Synchronize(line.dispatcher);
        }
    }
}

void TZorComThread::SendPass(int& SendFailures) {
    QueuedCommand head;
    if (!PeekHead(head)) {
        return;
    }
    const TZorComSettings settings = owner_.SettingsSnapshot();
    txLine_ = FrameCommand(head.text, settings.UseCRC, settings.UseRS485, head.generalCall,
                           settings.RS485adr);
    if (settings.UseCRC) {
        serial_->SendText(txLine_ + CR);
    } else {
        if (serial_->WaitWritable(100)) {
            serial_->SendText(txLine_ + CR);
        }
        if (serial_->LastErrorCode() != 0) {
            const int code = serial_->LastErrorCode();
            ReportError(code, ImmediateErrorText(code, serial_->LastErrorText()));
        }
    }
    const int code = serial_->LastErrorCode();
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

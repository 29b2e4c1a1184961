#include "src/Device.h"

#ifndef DEKODER_FIRMWARE_VERSION
#define DEKODER_FIRMWARE_VERSION "1.0"
#endif

namespace fw {

const char Identification[] = "Dekoder IR firmware " DEKODER_FIRMWARE_VERSION;

namespace {

// Writes `value` in decimal (at most 5 digits); returns the number of digits.
uint8_t FormatDecimal(uint16_t value, char* out) {
    char reversed[5];
    uint8_t n = 0;
    do {
        reversed[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (uint8_t i = 0; i < n; ++i)
        out[i] = reversed[n - 1 - i];
    return n;
}

// The emission's sources are plain functions (the timer interrupt calls them), so they reach the
// one device through this.
Device* device = nullptr;
} // namespace

uint32_t SetDuration(uint16_t index) {
    return device->sendSet_.At(index);
}

uint32_t CapturedDuration(uint16_t index) {
    return device->store_.LastDuration(index);
}

Device::Device() {
    device = this;
}

void Device::Run() {
    uint32_t tick = 0;
    bool mark = false;
    while (hal::TakeEdge(tick, mark))
        store_.Edge(tick, mark);
    if (hal::EdgesLost())
        store_.Abort(hal::ReceiverMark());
    uint32_t now = 0;
    if (hal::NowIfNoEdges(now))
        store_.Poll(now);

    if (emitting_ && !hal::Emitting()) {
        emitting_ = false;
        hal::ResumeCapture();
        store_.Abort(hal::ReceiverMark());
    }

    Write();

    uint8_t byte = 0;
    bool damaged = false;
    while (replyLength_ == 0 && hal::ReadByte(byte, damaged)) {
        if (damaged)
            reader_.Damage();
        if (reader_.Feed(byte))
            Execute();
    }
    hal::StatusLed(store_.Capturing() || inLine_ || emitting_);
}

void Device::Execute() {
    if (reader_.Damaged()) {
        Reply("ERROR");
        return;
    }
    const Command command = ParseCommand(reader_.Text(), reader_.Length());
    using Kind = Command::Kind;
    bool ok = false;
    switch (command.kind) {
    case Kind::Attention:
        ok = true;
        break;
    case Kind::Identify:
        Append("+ATI: ");
        Reply(Identification);
        return;
    case Kind::Drops: {
        Append("+DROP: ");
        char number[6];
        number[FormatDecimal(store_.Dropped(), number)] = '\0';
        Reply(number);
        Reply("OK");
        return;
    }
    case Kind::Collect:
        // The set being emitted must not change under the emission.
        ok = !emitting_ && sendSet_.Store(command.position, command.value);
        break;
    case Kind::Emit:
        ok = !emitting_ && sendSet_.TakeComplete(uint16_t(command.value)) &&
             StartEmission(&SetDuration, uint16_t(command.value));
        break;
    case Kind::EmitCaptured:
        ok = !emitting_ && store_.LastCount() > 0 &&
             StartEmission(&CapturedDuration, store_.LastCount());
        break;
    case Kind::Invalid:
        break;
    }
    Reply(ok ? "OK" : "ERROR");
}

bool Device::StartEmission(Emission::Source source, uint16_t count) {
    // The receiver would see the device's own light; a frame in capture is cut short (and counted
    // as dropped).
    store_.Abort(false);
    emission_.Start(source, count);
    hal::StartEmission(emission_);
    emitting_ = true;
    return true;
}

void Device::Append(const char* text) {
    // Room for the line end is always kept.
    while (*text != '\0' && replyLength_ + 2u < sizeof reply_)
        reply_[replyLength_++] = *text++;
}

void Device::EndLine() {
    reply_[replyLength_++] = '\r';
    reply_[replyLength_++] = '\n';
}

void Device::Reply(const char* text) {
    Append(text);
    EndLine();
}

void Device::Write() {
    for (;;) {
        if (inLine_) {
            if (!WriteLine())
                return;
            continue;
        }
        if (replyLength_ > 0) {
            if (!hal::WriteByte(uint8_t(reply_[replyPos_])))
                return;
            if (++replyPos_ == replyLength_)
                replyLength_ = replyPos_ = 0;
            continue;
        }
        if (!store_.HasFrame())
            return;
        inLine_ = true;
        nextDuration_ = 0;
        lineEndSent_ = false;
        text_ = DeviceSignature;
        pieceLength_ = sizeof DeviceSignature - 1;
        piecePos_ = 0;
    }
}

// Writes what fits of the current line; false when the transmit buffer is full.
bool Device::WriteLine() {
    while (piecePos_ < pieceLength_) {
        const uint8_t byte = uint8_t(text_ ? text_[piecePos_] : piece_[piecePos_]);
        if (!hal::WriteByte(byte))
            return false;
        ++piecePos_;
    }
    NextPiece();
    return true;
}

void Device::NextPiece() {
    text_ = nullptr;
    piecePos_ = 0;
    if (nextDuration_ < store_.FrameCount()) {
        piece_[0] = ',';
        pieceLength_ =
            uint8_t(1 + FormatDecimal(store_.FrameDuration(nextDuration_++), piece_ + 1));
    } else if (!lineEndSent_) {
        lineEndSent_ = true;
        piece_[0] = '\r';
        piece_[1] = '\n';
        pieceLength_ = 2;
    } else {
        inLine_ = false;
        store_.FrameWritten();
    }
}

} // namespace fw

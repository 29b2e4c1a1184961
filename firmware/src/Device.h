#pragma once

// The device's main loop, free of registers: receiver edges become frame lines, commands become
// replies and emissions. The hardware layer provides the functions in `hal`.

#include "src/Capture.h"
#include "src/Commands.h"
#include "src/Emitter.h"

namespace fw {

namespace hal {
// A byte from the PC; `damaged` when it came with a framing error or bytes before it were lost.
bool ReadByte(uint8_t& byte, bool& damaged);
// False when the transmit buffer is full.
bool WriteByte(uint8_t byte);
// The oldest receiver edge not yet taken.
bool TakeEdge(uint32_t& tick, bool& mark);
// The timer's time, only when no edge waits (so that no edge older than it is still unseen).
bool NowIfNoEdges(uint32_t& now);
// Starts sending `emission` out; receiver edges are ignored until it is over.
void StartEmission(Emission& emission);
bool Emitting();
// Listens to the receiver again.
void ResumeCapture();
// Whether the receiver shows a mark right now.
bool ReceiverMark();
// Whether edges were lost since the last call (more came than the main loop took).
bool EdgesLost();
void StatusLed(bool on);
} // namespace hal

// Text after "+ATI: ".
extern const char Identification[];

class Device {
public:
    Device();
    // One pass of the main loop; never waits.
    void Run();

    Emission& CurrentEmission() { return emission_; }

private:
    friend uint32_t SetDuration(uint16_t);
    friend uint32_t CapturedDuration(uint16_t);

    void Execute();
    void Append(const char* text);
    void EndLine();
    void Reply(const char* text);
    void Write();
    bool WriteLine();
    void NextPiece();
    bool StartEmission(Emission::Source source, uint16_t count);

    FrameStore store_;
    SendSet sendSet_;
    Emission emission_;
    LineReader reader_;
    bool emitting_ = false;

    // The reply waiting to be written; new commands wait until it is out.
    char reply_[40] = {};
    uint8_t replyLength_ = 0;
    uint8_t replyPos_ = 0;

    // The frame line being written, a piece (signature, one ",duration", the line end) at a time.
    bool inLine_ = false;
    uint16_t nextDuration_ = 0;
    char piece_[8] = {};
    const char* text_ = nullptr; // a piece taken from a fixed text instead of piece_
    uint8_t pieceLength_ = 0;
    uint8_t piecePos_ = 0;
    bool lineEndSent_ = false;
};

} // namespace fw

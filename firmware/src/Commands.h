#pragma once

// Commands from the PC: cut at CR, read case-insensitively, numbers checked.

#include "src/Config.h"

namespace fw {

struct Command {
    enum class Kind : uint8_t {
        Attention,    // "AT"
        Identify,     // "ATI"
        Collect,      // "AT+SND=p,d", p = 1..MaxDurations
        Emit,         // "AT+SND=0,n", n = 0..MaxDurations
        EmitCaptured, // "ab1"
        Drops,        // "AT+DROP?"
        Invalid,
    };
    Kind kind = Kind::Invalid;
    uint16_t position = 0;
    int32_t value = 0;
};

// Reads one command (blanks around it and around the numbers allowed).
Command ParseCommand(const char* text, uint8_t length);

// Collects bytes into command lines. A CR ends a command; a CR alone (the PC sends two) and an LF
// at the start of a command are ignored. A command that was too long or lost bytes (framing
// error, full receive buffer) is still ended by its CR, and then reported as damaged.
class LineReader {
public:
    // True when `byte` completed a command.
    bool Feed(uint8_t byte);
    // Bytes of the current command were lost or garbled.
    void Damage() { damaged_ = true; }

    const char* Text() const { return text_; }
    uint8_t Length() const { return length_; }
    bool Damaged() const { return damaged_; }

private:
    void Clear() {
        length_ = 0;
        damaged_ = false;
    }

    char text_[MaxCommandLength] = {};
    uint8_t length_ = 0;
    bool damaged_ = false;
    bool complete_ = false;
};

} // namespace fw

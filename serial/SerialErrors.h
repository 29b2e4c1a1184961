#pragma once

#include <string_view>

namespace serial {

// Error vocabulary of the serial line driver. Every driver operation leaves a code and its text:
//   0                 success, text "OK";
//   1 .. 9990         an operating-system error number (errno), passed through unchanged, with
//                     the system's text for it;
//   9991 .. 10003     the driver's own codes below.
// Which kind each own code is:
enum SerialError : int {
    ErrOK = 0,
    ErrAlreadyOwned = 9991,   // OS-level: the terminal this program runs in, or the console
    ErrAlreadyInUse = 9992,   // caller mistake: OpenPort on an instance that is already open
    ErrWrongParameter = 9993, // caller mistake (not produced by this driver)
    ErrPortNotOpen = 9994,    // caller mistake: read or write on a closed instance
    ErrNoDeviceAnswer = 9995, // device: DSR/CTS test failed
    ErrMaxBuffer = 9996,      // device: line longer than MaxLineLength
    ErrTimeout = 9997,        // device: nothing arrived, or a transfer did not complete in time
    ErrNotRead = 9998,        // device (not produced by this driver)
    ErrFrame = 9999,          // line error: framing
    ErrOverrun = 10000,       // line error: hardware overrun
    ErrRxOver = 10001,        // line error: receive buffer overflow
    ErrRxParity = 10002,      // line error: parity
    ErrTxFull = 10003,        // line error: transmit queue full
};

inline constexpr int FirstOwnError = ErrAlreadyOwned;
inline constexpr int LastOwnError = ErrTxFull;

// The name of an own code ("ErrTimeout"), or an empty view for any other code.
constexpr std::string_view SerialErrorName(int code) {
    switch (code) {
    case ErrAlreadyOwned: return "ErrAlreadyOwned";
    case ErrAlreadyInUse: return "ErrAlreadyInUse";
    case ErrWrongParameter: return "ErrWrongParameter";
    case ErrPortNotOpen: return "ErrPortNotOpen";
    case ErrNoDeviceAnswer: return "ErrNoDeviceAnswer";
    case ErrMaxBuffer: return "ErrMaxBuffer";
    case ErrTimeout: return "ErrTimeout";
    case ErrNotRead: return "ErrNotRead";
    case ErrFrame: return "ErrFrame";
    case ErrOverrun: return "ErrOverrun";
    case ErrRxOver: return "ErrRxOver";
    case ErrRxParity: return "ErrRxParity";
    case ErrTxFull: return "ErrTxFull";
    default: return {};
    }
}

// The text of an own code ("Timeout during operation"), "OK" for 0, or an empty view for an OS
// error number (whose text comes from the system).
constexpr std::string_view SerialErrorText(int code) {
    switch (code) {
    case ErrOK: return "OK";
    case ErrAlreadyOwned: return "Port owned by other process";
    case ErrAlreadyInUse: return "Instance already in use";
    case ErrWrongParameter: return "Wrong paramter at call";
    case ErrPortNotOpen: return "Instance not yet connected";
    case ErrNoDeviceAnswer: return "No device answer detected";
    case ErrMaxBuffer: return "Maximal buffer length exceeded";
    case ErrTimeout: return "Timeout during operation";
    case ErrNotRead: return "Reading of data failed";
    case ErrFrame: return "Receive framing error";
    case ErrOverrun: return "Receive Overrun Error";
    case ErrRxOver: return "Receive Queue overflow";
    case ErrRxParity: return "Receive Parity Error";
    case ErrTxFull: return "Tranceive Queue is full";
    default: return {};
    }
}

} // namespace serial

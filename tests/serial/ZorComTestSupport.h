#pragma once

// Shared pieces of the port component's tests: an event recorder and waits that keep the main
// thread's events flowing (the worker's events are delivered only while the main thread does).

#include "serial/ZorComPort.h"
#include "settings/ZorTools.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <string>
#include <vector>

namespace zortest {

// Waits, processing events, until pred() holds or timeoutMs have passed; returns pred().
template <class Pred>
bool WaitUntil(Pred pred, int timeoutMs = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs) {
            return pred();
        }
        settings::Delay(2);
    }
    return true;
}

inline void Pump(int ms) {
    settings::Delay(ms);
}

// Records every event of a component as a short text, in order, and notes any event that did not
// run on the main thread or with another Sender.
struct EventLog {
    std::vector<std::string> events;
    int offMainThread = 0;
    int wrongSender = 0;

    void Attach(serial::TZorComPort& port) {
        auto note = [this, &port](QObject* sender, std::string text) {
            if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
                ++offMainThread;
            }
            if (sender != &port) {
                ++wrongSender;
            }
            events.push_back(std::move(text));
        };
        port.OnActive = [note, &port](QObject* s) {
            note(s, port.Active() ? "Active1" : "Active0");
        };
        port.OnConnected = [note](QObject* s) { note(s, "Connected"); };
        port.OnDisconnected = [note](QObject* s) { note(s, "Disconnected"); };
        port.OnATTimeOut = [note](QObject* s) { note(s, "ATTimeOut"); };
        port.OnGetCTS = [note](QObject* s) { note(s, "CTS"); };
        port.OnGetDSR = [note](QObject* s) { note(s, "DSR"); };
        port.OnGetDCD = [note](QObject* s) { note(s, "DCD"); };
        port.OnGetRING = [note](QObject* s) { note(s, "RING"); };
        port.OnComError = [note](QObject* s, int code, const std::string& desc) {
            note(s, "Error " + std::to_string(code) + " " + desc);
        };
        port.OnRxString = [note](QObject* s, const std::string& line) { note(s, "Rx " + line); };
        port.OnSendStr = [note](QObject* s, const std::string& text) { note(s, "Send " + text); };
    }

    std::size_t Count(const std::string& text) const {
        std::size_t n = 0;
        for (const auto& e : events) {
            n += e == text ? 1 : 0;
        }
        return n;
    }
    std::size_t CountPrefix(const std::string& prefix) const {
        std::size_t n = 0;
        for (const auto& e : events) {
            n += e.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }
    // The events from the first one equal to `from` on (all when absent).
    std::vector<std::string> From(const std::string& from) const {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i] == from) {
                return {events.begin() + static_cast<std::ptrdiff_t>(i), events.end()};
            }
        }
        return events;
    }
};

} // namespace zortest

#pragma once

// Helpers for the window tests: waiting on the event loop, answering file dialogs, recording
// message boxes, and the simulated device on a pseudo-terminal.

#include "settings/MsgBox.h"
#include "settings/ZorTools.h"
#include "tests/support/TempConfigHome.h"
#include "tools/irsim/Simulator.h"
#include "ui/FormSeams.h"
#include "ui/Unit1.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace formtest {

// Every test starts with settings of its own, also when a test binary runs all its tests in one
// process: saved ports, folders and placements never leak from one test into the next.
class FreshSettingsPerTest final : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        config_ = std::make_unique<testsupport::TempConfigHome>();
    }
    void OnTestEnd(const ::testing::TestInfo&) override { config_.reset(); }

private:
    std::unique_ptr<testsupport::TempConfigHome> config_;
};

inline const bool FreshSettingsRegistered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshSettingsPerTest);
    return true;
}();

// Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`. The loop sleeps
// in the event dispatcher, so each worker event is handled the moment it is posted, as in the
// program's own message loop; a poll with sleeps in between would pace a flood instead.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return done();
        }
        settings::Delay(5);
    }
    return true;
}

// Lets queued work (repaints, posted events) run for a moment.
inline void Pump(int ms = 50) {
    WaitUntil([] { return false; }, ms);
}

// Answers the window's file dialogs from a queue (an empty answer cancels) and records what they
// were opened with.
class ScriptedDialogs final : public ui::FileDialogs {
public:
    struct Call {
        bool save;
        Request request;
    };
    std::deque<QString> answers;
    std::vector<Call> calls;

    QString GetSaveFileName(QWidget*, const Request& request) override {
        return Answer(true, request);
    }
    QString GetOpenFileName(QWidget*, const Request& request) override {
        return Answer(false, request);
    }

private:
    QString Answer(bool save, const Request& request) {
        calls.push_back({save, request});
        if (answers.empty()) {
            return {};
        }
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class RecordingUrlOpener final : public ui::UrlOpener {
public:
    std::vector<QString> opened;
    void Open(const QString& text) override { opened.push_back(text); }
};

// Records message boxes instead of showing them, for the life of the object.
class MessageBoxRecorder {
public:
    struct Box {
        QString text;
        QString caption;
        int flags;
    };
    std::vector<Box> boxes;

    MessageBoxRecorder() {
        previous_ =
            settings::SetMsgBoxHook([this](const QString& text, const QString& caption, int flags) {
                boxes.push_back({text, caption, flags});
                return settings::IDOK;
            });
    }
    ~MessageBoxRecorder() { settings::SetMsgBoxHook(previous_); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

private:
    settings::MsgBoxHook previous_;
};

// The window with scripted dialogs and a recording URL opener, keeping pointers to both.
struct Window {
    ScriptedDialogs* dialogs = nullptr;
    RecordingUrlOpener* url = nullptr;
    std::unique_ptr<ui::TForm1> form;

    ui::TForm1* operator->() const { return form.get(); }
    template <class T = QWidget>
    T* Find(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    // The popup menu's items by place: 0 emission strip, 2 caption, 4 BMP, 6 save frame,
    // 7 load frame, 9 invert, 11 C table.
    QAction* Item(int place) const { return form->PopupMenu1()->actions()[place]; }
    bool Show() const {
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }
};

inline Window MakeWindow(ui::DecodeEngine decoding = {}, serial::DeviceSourceFactory sources = {}) {
    Window window;
    ui::TForm1Seams seams;
    seams.Decoding = std::move(decoding);
    seams.DeviceSources = std::move(sources);
    auto dialogs = std::make_unique<ScriptedDialogs>();
    auto url = std::make_unique<RecordingUrlOpener>();
    window.dialogs = dialogs.get();
    window.url = url.get();
    seams.Dialogs = std::move(dialogs);
    seams.Url = std::move(url);
    window.form = std::make_unique<ui::TForm1>(std::move(seams));
    return window;
}

inline void SavePort(const QString& port) {
    settings::WriteRegString(QStringLiteral("Port komunikacyjny"), port, settings::AppKeyPath);
}

inline QString StoredString(const QString& name, const QString& keyPath = settings::AppKeyPath) {
    QString value;
    settings::ReadRegString(name, QStringLiteral("<missing>"), keyPath, value);
    return value;
}

// The simulated device on a pseudo-terminal reached through a link in a temporary folder. Exact
// durations (no receiver jitter) so that what is sent is what comes back.
class Device {
public:
    explicit Device(bool loopback = true) {
        irsim::SimulatorOptions options;
        options.loopback = loopback;
        options.jitter = irsim::Jitter{0, 0};
        options.linkPath = folder_.filePath(QStringLiteral("ttyIR")).toStdString();
        simulator_ = std::make_unique<irsim::Simulator>(std::move(options));
    }

    irsim::Simulator* operator->() const { return simulator_.get(); }
    QString Link() const { return QString::fromStdString(simulator_->LinkPath()); }

private:
    QTemporaryDir folder_;
    std::unique_ptr<irsim::Simulator> simulator_;
};

// The durations of the window's current frame.
inline std::vector<int32_t> Current(const ui::TForm1& form) {
    const frame::PulseFrame& frame = form.PulseFrame();
    return {frame.Durations.begin(), frame.Durations.begin() + frame.Count};
}

inline QString U(const char* text) {
    return QString::fromUtf8(text);
}

inline std::string FrameLine(const std::string& durations) {
    return std::string(frame::DeviceSignature) + (durations.empty() ? "" : ",") + durations;
}

} // namespace formtest

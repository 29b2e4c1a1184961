#pragma once

// The main window against the simulated device, with everything the fault tests watch: every line
// the port component delivers, every error it reports, the disconnections, and what the real line
// driver answers to each receive. The window's own handlers still run; the watchers are chained in
// front of them.

#include "tests/ui/FormTestSupport.h"

#include "frame/FrameCore.h"
#include "frame/PulseFrame.h"
#include "serial/SerialErrors.h"
#include "serial/SerialLine.h"
#include "settings/ZorTools.h"
#include "ui/ChartView.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace faulttest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using formtest::Pump;
using formtest::WaitUntil;

inline QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline const QString& Connecting() {
    static const QString text = Utf8(frame::TextConnecting);
    return text;
}
inline const QString& Disconnected() {
    static const QString text = Utf8(frame::TextDisconnected);
    return text;
}
// What panel 5 shows once the simulator has answered "ATI".
inline const QString& Identified() {
    static const QString text =
        Utf8(frame::TextLinkedIdent) + QStringLiteral("irsim IR transceiver 1.0");
    return text;
}

// Sanitizers keep freed memory in quarantine and shadow every byte, so resident-size bounds and
// rates measured there say nothing about the program itself.
inline constexpr bool Sanitized =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// The process's resident set in bytes, 0 when it cannot be read.
inline std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    if (!(statm >> pages >> resident)) {
        return 0;
    }
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// What the real line driver answered, shared by every driver the window's workers create. Written
// on the worker threads, read on the main thread.
struct DriverRecord {
    std::atomic<int> drivers{0};
    std::atomic<int> overlongRuns{0}; // receives that ended with ErrMaxBuffer
    std::atomic<std::size_t> longestLine{0};
    std::atomic<std::size_t> longestBuffer{0}; // the most bytes kept between two receives
    std::atomic<std::size_t> lastBuffer{0};    // the bytes kept after the latest receive
    std::atomic<int> writes{0};                // commands written without an error
};

// The real driver with a recorder in front of its receive; everything else is passed through.
class ObservedLine final : public serial::SerialDriver {
public:
    explicit ObservedLine(std::shared_ptr<DriverRecord> record)
        : record_(std::move(record)), line_(std::make_unique<serial::TSerialLine>()) {
        ++record_->drivers;
    }

    void OpenPort(const std::string& name) override { line_->OpenPort(name); }
    void ConfigureLine(int baudRate, int dataBits, char parity, int stopBits, bool softwareFlow,
                       bool hardwareFlow) override {
        line_->ConfigureLine(baudRate, dataBits, parity, stopBits, softwareFlow, hardwareFlow);
    }
    void ClosePort() override { line_->ClosePort(); }
    void PurgeBuffers() override { line_->PurgeBuffers(); }
    bool WaitReadableOrBuffered(int timeoutMs) override {
        return line_->WaitReadableOrBuffered(timeoutMs);
    }
    bool WaitWritable(int timeoutMs) override { return line_->WaitWritable(timeoutMs); }
    std::string ReceiveLine(int timeoutMs) override {
        std::string line = line_->ReceiveLine(timeoutMs);
        if (line_->LastErrorCode() == serial::ErrMaxBuffer) {
            ++record_->overlongRuns;
        }
        Raise(record_->longestLine, line.size());
        record_->lastBuffer = line_->LineBuffer().size();
        Raise(record_->longestBuffer, record_->lastBuffer);
        return line;
    }
    void SendText(std::string_view text) override {
        line_->SendText(text);
        if (line_->LastErrorCode() == 0) {
            ++record_->writes;
        }
    }
    void ReadLineSettings() override { line_->ReadLineSettings(); }
    bool ClearToSend() override { return line_->ClearToSend(); }
    bool DataSetReady() override { return line_->DataSetReady(); }
    bool CarrierDetect() override { return line_->CarrierDetect(); }
    bool RingIndicator() override { return line_->RingIndicator(); }
    void SetDTR(bool on) override { line_->SetDTR(on); }
    void SetRTS(bool on) override { line_->SetRTS(on); }
    bool Pause(int ms) override { return line_->Pause(ms); }
    void CancelWait() override { line_->CancelWait(); }
    bool PortOpen() const override { return line_->PortOpen(); }
    int LastErrorCode() const override { return line_->LastErrorCode(); }
    std::string LastErrorText() const override { return line_->LastErrorText(); }
    void SetOnStatus(serial::TSerialStatusHook hook) override {
        line_->SetOnStatus(std::move(hook));
    }

private:
    static void Raise(std::atomic<std::size_t>& most, std::size_t value) {
        std::size_t seen = most.load();
        while (value > seen && !most.compare_exchange_weak(seen, value)) {
        }
    }

    std::shared_ptr<DriverRecord> record_;
    std::unique_ptr<serial::TSerialLine> line_;
};

struct ComError {
    int code;
    std::string text;
};

// What the window was told by its port component, in order (main thread only).
struct LinkLog {
    std::vector<std::string> lines; // every OnRxString, unless only counted
    std::size_t lineCount = 0;
    std::vector<ComError> errors;
    int disconnections = 0;
    Clock::time_point lastDisconnection{};
    bool keepLines = true;
};

// The window built as the program builds it, connected to `device` through its link, shown (the
// port component stops its worker on close only for a window that exists on screen).
class LinkedWindow {
public:
    explicit LinkedWindow(formtest::Device& device)
        : device_(device), driver_(std::make_shared<DriverRecord>()) {
        formtest::SavePort(device.Link());
        ui::TForm1Seams seams;
        seams.Dialogs = std::make_unique<formtest::ScriptedDialogs>();
        seams.Url = std::make_unique<formtest::RecordingUrlOpener>();
        seams.DriverFactory = [record = driver_] { return std::make_unique<ObservedLine>(record); };
        form_ = std::make_unique<ui::TForm1>(std::move(seams));
        Watch();
        form_->show();
    }

    ui::TForm1* operator->() const { return form_.get(); }
    ui::TForm1& Form() const { return *form_; }
    serial::TZorComPort& Port() const { return *form_->ZorComPort1(); }
    const LinkLog& Log() const { return log_; }
    LinkLog& Log() { return log_; }
    const DriverRecord& Driver() const { return *driver_; }
    // Ends the window (and with it the port component's worker).
    void Destroy() { form_.reset(); }

    QString Panel(int index) const { return form_->PanelText(index); }
    QString LinkText() const { return Panel(frame::PanelLink); }

    // Runs `extra` after the window's own line handler, on every delivered line.
    void AfterEachLine(std::function<void(const std::string&)> extra) {
        afterLine_ = std::move(extra);
    }

    bool WaitLinkText(const QString& text, int timeoutMs = 8000) const {
        return WaitUntil([&] { return LinkText() == text; }, timeoutMs);
    }

    // Presses "Zastosuj" as the user does.
    void PressApply() const {
        auto* apply = form_->findChild<QAbstractButton*>(QStringLiteral("BitBtn4"));
        ASSERT_NE(apply, nullptr);
        apply->click();
    }

    // The device sends `durations`; true once the window holds and shows exactly that frame.
    ::testing::AssertionResult SendFrameAndWaitDrawn(const irsim::Durations& durations,
                                                     int timeoutMs = 8000) const {
        device_->SendFrame(durations);
        const bool drawn = WaitUntil([&] { return Shows(durations); }, timeoutMs);
        if (!drawn) {
            return ::testing::AssertionFailure()
                   << "frame of " << durations.size() << " pulses not drawn; count "
                   << form_->PulseFrame().Count << ", points " << form_->Chart1()->Points().size();
        }
        return ::testing::AssertionSuccess();
    }

    // The window's frame, pulse count panel and chart show exactly `durations`.
    bool Shows(const irsim::Durations& durations) const {
        const frame::PulseFrame& frame = form_->PulseFrame();
        if (frame.Count != static_cast<int32_t>(durations.size()) ||
            !std::equal(durations.begin(), durations.end(), frame.Durations.begin())) {
            return false;
        }
        const auto& points = form_->Chart1()->Points();
        if (points.size() != 1 + 2 * durations.size()) {
            return false;
        }
        // Each pulse's end carries its duration; the chart keeps points in time order, which
        // differs from the frame's order once a duration is negative.
        QStringList expected;
        QStringList ends;
        for (const int32_t d : durations) {
            expected << QString::number(d);
        }
        for (const auto& point : points) {
            if (!point.Label.isEmpty() && point.Label != QStringLiteral(".")) {
                ends << point.Label;
            }
        }
        expected.sort();
        ends.sort();
        if (ends != expected) {
            return false;
        }
        return Panel(frame::PanelPulseCount) == QString::number(durations.size());
    }

    // After a fault: "Zastosuj" restarts the link to the same port name, the device answers, and a
    // frame is drawn again.
    void ReconnectWithApply(const irsim::Durations& frame) {
        const std::uint64_t before = Port().WorkerSerial();
        PressApply();
        EXPECT_EQ(LinkText(), Connecting());
        EXPECT_TRUE(Port().Active());
        EXPECT_TRUE(Port().Connected());
        EXPECT_NE(Port().WorkerSerial(), before) << "a new worker serves the link";
        ASSERT_TRUE(WaitLinkText(Identified())) << LinkText().toStdString();
        EXPECT_TRUE(SendFrameAndWaitDrawn(frame));
        EXPECT_EQ(Panel(frame::PanelMode), Utf8(frame::TextReceiverView));
    }

private:
    void Watch() {
        serial::TZorComPort& port = Port();
        auto rx = port.OnRxString;
        port.OnRxString = [this, rx](QObject* sender, const std::string& line) {
            ++log_.lineCount;
            if (log_.keepLines) {
                log_.lines.push_back(line);
            }
            if (rx) {
                rx(sender, line);
            }
            if (afterLine_) {
                afterLine_(line);
            }
        };
        auto error = port.OnComError;
        port.OnComError = [this, error](QObject* sender, int code, const std::string& text) {
            log_.errors.push_back({code, text});
            if (error) {
                error(sender, code, text);
            }
        };
        auto down = port.OnDisconnected;
        port.OnDisconnected = [this, down](QObject* sender) {
            ++log_.disconnections;
            log_.lastDisconnection = Clock::now();
            if (down) {
                down(sender);
            }
        };
    }

    formtest::Device& device_;
    std::shared_ptr<DriverRecord> driver_;
    std::unique_ptr<ui::TForm1> form_;
    LinkLog log_;
    std::function<void(const std::string&)> afterLine_;
};

// The frame line the device sends for `durations`, without its CR LF.
inline std::string FrameText(const irsim::Durations& durations) {
    std::string line = irsim::FrameLine(durations);
    line.resize(line.size() - 2);
    return line;
}

} // namespace faulttest

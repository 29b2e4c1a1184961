// The port component with the real line driver against the device simulator on a pseudo-terminal.

#include "serial/ZorComPort.h"
#include "settings/FormEvents.h"
#include "tests/serial/ZorComTestSupport.h"
#include "tools/irsim/Simulator.h"

#include <QElapsedTimer>
#include <QThread>

#include <gmock/gmock.h>

namespace zortest {
namespace {

using serial::TZorComPort;
using ::testing::ElementsAre;
using namespace std::chrono_literals;

class FakeForm : public QObject, public settings::HookableForm {
public:
    settings::FormEvents& Events() override { return events; }
    bool HasWindow() const override { return true; }
    settings::FormEvents events;
};

class ZorComSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = std::make_unique<TZorComPort>(&form);
        log.Attach(*port);
        port->BeginLoading();
        port->SetBaudRate("38400");
        port->SetEnableCheckTimer(true);
        port->Loaded();
        port->SetComPort(sim->SlavePath());
    }
    void TearDown() override {
        port.reset();
        EXPECT_EQ(log.offMainThread, 0);
    }
    void Connect() {
        port->SetActive(true);
        port->SetConnected(true);
        ASSERT_TRUE(WaitUntil([&] { return log.Count("Connected") == 1; }));
    }
    bool Close() {
        bool canClose = true;
        form.events.OnCloseQuery(&form, canClose);
        return canClose;
    }

    std::unique_ptr<irsim::Simulator> sim = std::make_unique<irsim::Simulator>();
    FakeForm form;
    std::unique_ptr<TZorComPort> port;
    EventLog log;
};

TEST_F(ZorComSimTest, ConnectsAndTheDeviceAnswersTheConnectionCommands) {
    port->OnConnected = [&](QObject*) {
        log.events.push_back("Connected");
        port->SendString("AT\r", false);
        port->SendString("ATI\r", false);
    };
    Connect();
    ASSERT_TRUE(WaitUntil([&] { return sim->ReceivedBytes().size() >= 9; }));
    EXPECT_EQ(sim->ReceivedBytes(), "AT\r\rATI\r\r");
    ASSERT_TRUE(WaitUntil([&] { return log.CountPrefix("Rx ") == 2; }));
    EXPECT_THAT(log.events, ElementsAre("Active1", "Connected", "Send AT\r", "Send ATI\r", "Rx OK",
                                        "Rx +ATI: irsim IR transceiver 1.0"));
    EXPECT_TRUE(port->AT_WORK());
    // The first line started the link-check timers.
    EXPECT_TRUE(port->CheckTimerActive());
    EXPECT_TRUE(port->TimeOutTimerActive());
}

TEST_F(ZorComSimTest, DeliversLinesButNeverEmptyOnes) {
    Connect();
    sim->SendRaw("first\r\n\r\nsecond\r\n");
    sim->SendSplit("third\r\n", 3, 30ms);
    ASSERT_TRUE(WaitUntil([&] { return log.CountPrefix("Rx ") == 3; }));
    Pump(50);
    EXPECT_THAT(log.From("Rx first"), ElementsAre("Rx first", "Rx second", "Rx third"));
}

TEST_F(ZorComSimTest, FramingBytesOnTheLine) {
    struct Case {
        const char* name;
        bool crc, rs485, general;
        const char* address;
        std::string expected;
    };
    const Case cases[] = {
        {"checksum", true, false, false, "", "$#149@AT\r"},
        {"address 3", false, true, false, "3", std::string("\x03") + "AT\r"},
        {"general call", false, true, true, "3", std::string("\xFF") + "AT\r"},
        {"address not a number", false, true, false, "bus", std::string("\x10") + "AT\r"},
    };
    Connect();
    for (const auto& c : cases) {
        sim->ClearReceived();
        port->SetUseCRC(c.crc);
        port->SetUseRS485(c.rs485);
        port->SetRS485adr(c.address);
        port->SendString("AT", c.general);
        // Waits with the main thread's events flowing: the worker reports through them.
        EXPECT_TRUE(WaitUntil([&] { return sim->ReceivedBytes().size() >= c.expected.size(); }))
            << c.name;
        EXPECT_EQ(sim->ReceivedBytes(), c.expected) << c.name;
        EXPECT_EQ(log.CountPrefix("Error "), 0u) << ::testing::PrintToString(log.events);
    }
}

TEST_F(ZorComSimTest, SilentDeviceGetsCheckCommandsThenTheLinkIsDropped) {
    Connect();
    sim->SetSilent(true);
    port->SetCheckInterval(100);
    port->CheckTimerTick(); // the check timer takes the new period
    sim->SendLine("OK");
    ASSERT_TRUE(WaitUntil([&] { return log.Count("Rx OK") == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return log.Count("Disconnected") == 1; }));
    EXPECT_GE(sim->CommandTexts().size(), 2u); // the first tick's and at least one more
    for (const auto& command : sim->CommandTexts()) {
        EXPECT_EQ(command, "AT");
    }
    EXPECT_FALSE(port->Connected());
    EXPECT_FALSE(port->WorkerLinkOpen());
    ASSERT_TRUE(WaitUntil([&] { return log.Count("ATTimeOut") >= 2; }));
}

TEST_F(ZorComSimTest, VanishingDeviceIsReportedOnceAndTheWorkerEnds) {
    Connect();
    sim->HangUp();
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
    const auto tail = log.From("Connected");
    ASSERT_EQ(tail.size(), 5u) << ::testing::PrintToString(tail);
    EXPECT_THAT(tail[1], ::testing::StartsWith("Error "));
    EXPECT_NE(tail[1], "Error 0 OK");
    EXPECT_THAT(std::vector(tail.begin() + 2, tail.end()),
                ElementsAre("Disconnected", "Active0", "Disconnected"));
    EXPECT_EQ(log.CountPrefix("Error "), 1u);
    EXPECT_FALSE(port->Active());
}

TEST_F(ZorComSimTest, CloseEndsTheWorkerWithinThreeSecondsDuringAFlood) {
    Connect();
    std::size_t lines = 0;
    port->OnRxString = [&](QObject*, const std::string&) {
        ++lines;
        QThread::msleep(2); // a handler that takes its time
    };
    sim->Flood(20000);
    ASSERT_TRUE(WaitUntil([&] { return lines >= 20; }));
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(Close());
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_FALSE(port->HasWorker());
    EXPECT_FALSE(port->Active());
    EXPECT_EQ(log.From("Disconnected"),
              (std::vector<std::string>{"Disconnected", "Active0", "Disconnected"}));
}

TEST_F(ZorComSimTest, ReconnectsAfterTheApplicationRestartsTheLink) {
    Connect();
    port->SetActive(false);
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
    port->SetActive(true);
    port->SetConnected(true);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("Connected") == 2; }));
    port->SendString("ATI\r", false);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("Rx +ATI: irsim IR transceiver 1.0") == 1; }));
}

} // namespace
} // namespace zortest

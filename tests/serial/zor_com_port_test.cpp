// The port component and its worker against a scripted driver.

#include "serial/ZorComPort.h"
#include "settings/FormEvents.h"
#include "tests/serial/ZorComFakeDriver.h"
#include "tests/serial/ZorComTestSupport.h"

#include <QElapsedTimer>
#include <QEvent>

#include <gmock/gmock.h>

#include <deque>
#include <stdexcept>

namespace zortest {
namespace {

using serial::TZorComPort;
using ::testing::ElementsAre;

class ZorComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = std::make_unique<TZorComPort>();
        port->SetDriverFactory([state = fake] { return std::make_unique<FakeDriver>(state); });
        log.Attach(*port);
    }
    void TearDown() override {
        port.reset();
        EXPECT_EQ(log.offMainThread, 0);
        EXPECT_EQ(log.wrongSender, 0);
    }

    void Connect() {
        const auto before = log.Count("Connected");
        port->SetActive(true);
        port->SetConnected(true);
        ASSERT_TRUE(WaitUntil([&] { return log.Count("Connected") == before + 1; }));
    }
    void ClearWritten() {
        fake->Change([&] {
            fake->written.clear();
            return 0;
        });
    }
    void StopAndWait() {
        port->SetActive(false);
        ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
    }
    std::string Written() const {
        return fake->With([&] { return fake->written; });
    }

    std::shared_ptr<FakeDriverState> fake = std::make_shared<FakeDriverState>();
    std::unique_ptr<TZorComPort> port;
    EventLog log;
};

// --- Properties, timers, loading ----------------------------------------------------------------

TEST_F(ZorComPortTest, StartsWithDefaultsAndTimeOutTimerRunning) {
    EXPECT_FALSE(port->Active());
    EXPECT_FALSE(port->Connected());
    EXPECT_EQ(port->ComPort(), "COM1");
    EXPECT_EQ(port->BaudRate(), "9600");
    EXPECT_EQ(port->DataBits(), "8");
    EXPECT_EQ(port->ParityBits(), serial::prNone);
    EXPECT_EQ(port->StopBits(), serial::sbOneStopBit);
    EXPECT_EQ(port->CheckCmd(), "AT");
    EXPECT_EQ(port->CheckInterval(), 5000);
    EXPECT_TRUE(port->_RTS());
    EXPECT_TRUE(port->_DTR());
    EXPECT_FALSE(port->AT_WORK());
    EXPECT_EQ(port->ATCommands().Count(), 0u);
    EXPECT_EQ(port->ATCommands().Owner(), port.get());
    EXPECT_FALSE(port->CheckTimerActive());
    EXPECT_EQ(port->CheckTimerInterval(), 5000);
    EXPECT_TRUE(port->TimeOutTimerActive());
    EXPECT_EQ(port->TimeOutTimerInterval(), 15000);
}

TEST_F(ZorComPortTest, StoredCheckTimerIsStoppedAfterLoadingUntilFirstLine) {
    port->BeginLoading();
    port->SetBaudRate("38400");
    port->SetEnableCheckTimer(true);
    EXPECT_TRUE(port->CheckTimerActive());
    port->Loaded();
    EXPECT_FALSE(port->CheckTimerActive());
    EXPECT_FALSE(port->TimeOutTimerActive());
    EXPECT_FALSE(port->HasWorker());

    Connect();
    Pump(50);
    EXPECT_FALSE(port->CheckTimerActive());
    fake->Feed("OK\r\n");
    ASSERT_TRUE(WaitUntil([&] { return log.Count("Rx OK") == 1; }));
    EXPECT_TRUE(port->CheckTimerActive());
    EXPECT_TRUE(port->TimeOutTimerActive());
    EXPECT_TRUE(port->AT_WORK());
}

TEST_F(ZorComPortTest, CheckIntervalSetsTimeOutPeriodAtOnce) {
    port->SetCheckInterval(1000);
    EXPECT_EQ(port->TimeOutTimerInterval(), 3000);
    EXPECT_EQ(port->CheckTimerInterval(), 5000);
    port->SetCheckInterval(1'000'000'000);
    EXPECT_GT(port->TimeOutTimerInterval(), 1'000'000'000);
}

TEST_F(ZorComPortTest, ZeroCheckIntervalMeansTimersThatNeverFire) {
    port->SetCheckInterval(0);
    EXPECT_FALSE(port->TimeOutTimerActive());
    port->SetEnableCheckTimer(true);
    EXPECT_TRUE(port->CheckTimerActive()); // still at its first period
    EXPECT_FALSE(port->TimeOutTimerActive());
    Connect();
    port->CheckTimerTick(); // takes the zero period
    EXPECT_FALSE(port->CheckTimerActive());
    Pump(30);
    EXPECT_EQ(log.Count("ATTimeOut"), 0u);
    EXPECT_TRUE(port->Connected());
}

TEST_F(ZorComPortTest, FailingDriverFactoryLeavesTheComponentInactive) {
    port->SetDriverFactory([]() -> std::unique_ptr<serial::SerialDriver> {
        throw std::runtime_error("no descriptors");
    });
    EXPECT_THROW(port->SetActive(true), std::runtime_error);
    EXPECT_FALSE(port->Active());
    EXPECT_FALSE(port->HasWorker());
    EXPECT_TRUE(log.events.empty());
}

TEST_F(ZorComPortTest, ActiveWrittenWhileLoadingStartsNoWorker) {
    port->BeginLoading();
    port->SetActive(true);
    EXPECT_FALSE(port->HasWorker());
    EXPECT_TRUE(log.events.empty());
    port->Loaded();
    EXPECT_TRUE(port->HasWorker());
    EXPECT_THAT(log.events, ElementsAre("Active1"));
    StopAndWait();
}

// --- Start, lines, sending ----------------------------------------------------------------------

TEST_F(ZorComPortTest, StartOrderAndConnectionCommandsGetAnExtraCR) {
    port->SetComPort("/dev/fake0");
    port->SetBaudRate("38400");
    port->SetParityBits(serial::prEven);
    port->SetStopBits(serial::sbTwoStopBits);
    port->OnConnected = [&](QObject*) {
        log.events.push_back("Connected");
        port->SendString("AT\r", false);
        port->SendString("ATI\r", false);
    };
    port->SetActive(true);
    EXPECT_THAT(log.events, ElementsAre("Active1")); // fired at once, on the caller's thread
    EXPECT_TRUE(port->Active());
    port->SetConnected(true);
    ASSERT_TRUE(WaitUntil([&] { return Written() == "AT\r\rATI\r\r"; }));
    EXPECT_THAT(log.events, ElementsAre("Active1", "Connected", "Send AT\r", "Send ATI\r"));
    fake->With([&] {
        EXPECT_EQ(fake->lastOpenName, "/dev/fake0");
        EXPECT_EQ(fake->lastBaud, 38400);
        EXPECT_EQ(fake->lastDataBits, 8);
        EXPECT_EQ(fake->lastParity, 'E');
        EXPECT_EQ(fake->lastStopBits, 2);
        return 0;
    });
    EXPECT_EQ(port->LastSent(), "ATI\r");
}

TEST_F(ZorComPortTest, SettingsThatAreNotNumbersOpenWithDefaults) {
    port->SetBaudRate("fast");
    port->SetDataBits("");
    Connect();
    EXPECT_EQ(fake->With([&] { return fake->lastBaud; }), 9600);
    EXPECT_EQ(fake->With([&] { return fake->lastDataBits; }), 8);
}

TEST_F(ZorComPortTest, LinesAreDeliveredOnMainThreadAndEmptyOnesNever) {
    Connect();
    fake->Feed("first\r\n\r\nsecond\r\n");
    ASSERT_TRUE(WaitUntil([&] { return log.CountPrefix("Rx ") == 2; }));
    Pump(30);
    EXPECT_THAT(log.From("Rx first"), ElementsAre("Rx first", "Rx second"));
    EXPECT_EQ(port->RxLine(), "second");
    EXPECT_TRUE(port->AT_WORK());
}

TEST_F(ZorComPortTest, AnEmptyLineDoesNotRestartTheTimeOutTimer) {
    Connect();
    port->SetEnableCheckTimer(false);
    EXPECT_FALSE(port->TimeOutTimerActive());
    fake->Feed("\r\n");
    Pump(60);
    EXPECT_FALSE(port->TimeOutTimerActive());
    fake->Feed("x\r\n");
    ASSERT_TRUE(WaitUntil([&] { return port->TimeOutTimerActive(); }));
}

// One line per pass: what a handler does about a line (here a command queued) happens before the
// next line of the same chunk is delivered.
TEST_F(ZorComPortTest, ACommandQueuedOnALineLeavesBeforeTheNextLineArrives) {
    Connect();
    port->SetEnableCheckTimer(false);
    struct Seen {
        std::string line, rxLine, written;
        bool timeOutTimerActive;
    };
    std::vector<Seen> seen;
    port->OnRxString = [&](QObject*, const std::string& line) {
        seen.push_back({line, port->RxLine(), Written(), port->TimeOutTimerActive()});
        if (line == "a") {
            port->SendString("X\r", false);
        }
    };
    fake->Feed("a\r\nb\r\n");
    ASSERT_TRUE(WaitUntil([&] { return seen.size() == 2; }));
    ASSERT_EQ(seen[0].line, "a");
    EXPECT_EQ(seen[0].rxLine, "a");
    EXPECT_EQ(seen[0].written, "");
    EXPECT_FALSE(seen[0].timeOutTimerActive);
    ASSERT_EQ(seen[1].line, "b");
    EXPECT_EQ(seen[1].rxLine, "b");
    EXPECT_EQ(seen[1].written, "X\r\r");
    // Restarted after the first line, before the second reached its handler.
    EXPECT_TRUE(seen[1].timeOutTimerActive);
}

TEST_F(ZorComPortTest, ThrowingHandlerDropsTheLinesAfterIt) {
    Connect();
    std::vector<std::string> seen;
    port->OnRxString = [&](QObject*, const std::string& line) {
        seen.push_back(line);
        if (line == "b") {
            throw std::runtime_error("boom");
        }
    };
    fake->Feed("a\r\nb\r\nc\r\n");
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
    EXPECT_THAT(seen, ElementsAre("a", "b"));
    EXPECT_EQ(port->RxLine(), "b");
    EXPECT_THAT(log.From("Connected"),
                ElementsAre("Connected", "Error -200 Thread exception", "Disconnected"));
}

TEST_F(ZorComPortTest, StopInAHandlerDropsTheLinesAfterIt) {
    Connect();
    std::vector<std::string> seen;
    port->OnRxString = [&](QObject*, const std::string& line) {
        seen.push_back(line);
        if (line == "b") {
            port->SetActive(false);
        }
    };
    fake->Feed("a\r\nb\r\nc\r\nd\r\n");
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
    Pump(30);
    EXPECT_THAT(seen, ElementsAre("a", "b"));
    EXPECT_EQ(port->RxLine(), "b");
    EXPECT_FALSE(port->Active());
    EXPECT_EQ(log.Count("Active0"), 1u);
}

TEST_F(ZorComPortTest, SendStringIsRefusedUnlessConnectedAndOpen) {
    port->SendString("AT\r", false);
    port->SetActive(true);
    port->SendString("AT\r", false); // no connection asked for
    EXPECT_TRUE(port->PendingCommands().empty());
    EXPECT_EQ(log.CountPrefix("Send "), 0u);

    fake->Change([&] { return fake->openError = 2; });
    port->SetConnected(true);
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
    port->SendString("AT\r", false); // the open failed
    EXPECT_EQ(log.CountPrefix("Send "), 0u);
}

TEST_F(ZorComPortTest, FramingOfQueuedCommands) {
    struct Case {
        const char* name;
        bool crc, rs485, generalProperty, generalArg;
        const char* address;
        std::string expected;
    };
    const Case cases[] = {
        {"checksum", true, false, false, false, "", "$#149@AT\r"},
        {"address 3", false, true, false, false, "3", std::string("\x03") + "AT\r"},
        {"general call argument", false, true, false, true, "3", std::string("\xFF") + "AT\r"},
        {"general call property", false, true, true, false, "3", std::string("\xFF") + "AT\r"},
        {"address not a number", false, true, false, false, "", std::string("\x10") + "AT\r"},
        {"both", true, true, false, false, "3", std::string("\x03") + "$#149@AT\r"},
    };
    Connect();
    for (const auto& c : cases) {
        fake->Change([&] {
            fake->written.clear();
            return 0;
        });
        port->SetUseCRC(c.crc);
        port->SetUseRS485(c.rs485);
        port->SetGeneralCall(c.generalProperty);
        port->SetRS485adr(c.address);
        port->SendString("AT", c.generalArg);
        EXPECT_TRUE(WaitUntil([&] { return Written() == c.expected; }, 1000)) << c.name;
    }
}

TEST_F(ZorComPortTest, CheckCommandGoesToTheHeadOnlyOfAnEmptyQueue) {
    Connect();
    // Framing errors keep the command at the head for ever.
    fake->Change([&] {
        fake->writeFailures.assign(1000, serial::ErrFrame);
        return 0;
    });
    port->SendString("ab1\r", false);
    port->CheckTimerTick();
    EXPECT_THAT(port->PendingCommands(), ElementsAre("ab1\r"));
    StopAndWait();

    fake->Change([&] {
        fake->writeFailures.clear();
        return 0;
    });
    ClearWritten();
    Connect();
    port->CheckTimerTick();
    ASSERT_TRUE(WaitUntil([&] { return Written() == "AT\r"; }));
}

// --- Link check ----------------------------------------------------------------------------------

// The check timer takes a new CheckInterval at its next tick; one tick by hand sets it to 100 ms.
TEST_F(ZorComPortTest, CheckIntervalSendsCheckCommandAndDropsAfterThreeIntervals) {
    Connect();
    port->SetCheckInterval(100);
    port->SetEnableCheckTimer(true);
    port->CheckTimerTick();
    ASSERT_TRUE(WaitUntil([&] { return Written() == "AT\r"; }));
    ClearWritten();

    fake->Feed("OK\r\n");
    ASSERT_TRUE(WaitUntil([&] { return log.Count("Rx OK") == 1; }));
    QElapsedTimer sinceLine;
    sinceLine.start();
    ASSERT_TRUE(WaitUntil([&] { return Written() == "AT\r"; }));
    // Qt's coarse timers may fire up to 5 % early.
    EXPECT_GE(sinceLine.elapsed(), 90);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("Disconnected") == 1; }));
    EXPECT_GE(sinceLine.elapsed(), 280);
    EXPECT_FALSE(port->Connected());
    EXPECT_FALSE(port->AT_WORK());
    EXPECT_FALSE(port->WorkerLinkOpen());
    EXPECT_FALSE(fake->With([&] { return fake->open; }));
    EXPECT_TRUE(port->HasWorker()); // it waits for a new connection

    // The drop does not stop the timers: the time-out event repeats.
    ASSERT_TRUE(WaitUntil([&] { return log.Count("ATTimeOut") >= 3; }));
    EXPECT_EQ(fake->With([&] { return fake->opens; }), 1); // no reopening by itself
}

TEST_F(ZorComPortTest, LinesKeepTheLinkAliveAndNoCheckCommandIsSent) {
    Connect();
    port->SetCheckInterval(250);
    port->SetEnableCheckTimer(true);
    port->CheckTimerTick();
    ASSERT_TRUE(WaitUntil([&] { return Written() == "AT\r"; }));
    ClearWritten();
    for (int i = 0; i < 15; ++i) {
        fake->Feed("OK\r\n");
        Pump(40);
    }
    EXPECT_EQ(log.Count("Disconnected"), 0u);
    EXPECT_EQ(log.Count("ATTimeOut"), 0u);
    EXPECT_EQ(Written(), "");
    EXPECT_TRUE(port->Connected());
}

// --- Failures ------------------------------------------------------------------------------------

TEST_F(ZorComPortTest, FourthWriteFailureDropsCommandAndDisconnects) {
    fake->Change([&] {
        fake->writeFailures.assign({5, 5, 5, 5});
        return 0;
    });
    Connect();
    port->SendString("ab1\r", false);
    port->SendString("ATI\r", false);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("Disconnected") == 1; }));
    const std::string e = "Error 5 err - Input/output error";
    EXPECT_THAT(log.From("Send ab1\r"),
                ElementsAre("Send ab1\r", "Send ATI\r", e, e, e, e, e, "Disconnected"));
    // The port stays open and the rest of the queue still goes out.
    ASSERT_TRUE(WaitUntil([&] { return Written() == "ATI\r\r"; }));
    EXPECT_TRUE(port->WorkerLinkOpen());
    EXPECT_FALSE(port->Connected());
    port->SendString("AT\r", false);
    EXPECT_EQ(log.Count("Send AT\r"), 0u);
}

TEST_F(ZorComPortTest, FailuresCountOverTheWorkersLife) {
    fake->Change([&] {
        fake->writeFailures.assign({5, 5, 5, 0, 9997});
        return 0;
    });
    Connect();
    port->SendString("first\r", false);
    ASSERT_TRUE(WaitUntil([&] { return Written() == "first\r\r"; }));
    port->SendString("second\r", false);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("Disconnected") == 1; }));
    EXPECT_EQ(log.Count("Error 9997 9997 - Serial Eror: ErrTimeout"), 1u);
    EXPECT_EQ(log.Count("Error 9997 999 - Serial ErrFrame"), 1u);
    EXPECT_TRUE(port->PendingCommands().empty());
    EXPECT_EQ(Written(), "first\r\r");
}

TEST_F(ZorComPortTest, FramingErrorsNeverEndARetry) {
    fake->Change([&] {
        fake->writeFailures.assign(8, serial::ErrFrame);
        return 0;
    });
    Connect();
    port->SendString("ab1\r", false);
    ASSERT_TRUE(WaitUntil([&] { return Written() == "ab1\r\r"; }));
    EXPECT_EQ(log.Count("Error 9999 9999 - Serial Eror: ErrFrame"), 8u);
    EXPECT_EQ(log.Count("Disconnected"), 0u);
}

// How each kind of failed write is reported and counted; every case runs on a new worker, whose
// failures count from zero.
TEST_F(ZorComPortTest, WriteFailuresAreReportedAndCountedByKind) {
    const std::string io = "Error 5 err - Input/output error";
    const std::string frame = "Error 9999 9999 - Serial Eror: ErrFrame";
    const std::string timeOut = "Error 9997 9997 - Serial Eror: ErrTimeout";
    struct Case {
        const char* name;
        std::deque<int> failures;
        bool writable, crc;
        std::vector<std::string> events; // after "Send X"
        std::string written;
    };
    const Case cases[] = {
        {"a framing error counts toward the limit",
         {9999, 5, 5, 5},
         true,
         false,
         {frame, io, io, io, io, "Disconnected"},
         ""},
        {"an output that does not drain is a failed write",
         {},
         false,
         false,
         {timeOut, timeOut, timeOut, timeOut, "Error 9997 999 - Serial ErrFrame", "Disconnected"},
         ""},
        {"checksum-framed writes report no failure at once", {5, 5, 5}, true, true, {}, "$#88@X\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake->Change([&] {
            fake->writeFailures = c.failures;
            fake->writable = c.writable;
            fake->written.clear();
            return 0;
        });
        port->SetUseCRC(c.crc);
        log.events.clear();
        Connect();
        port->SendString("X", false);
        if (c.written.empty()) {
            ASSERT_TRUE(WaitUntil([&] { return log.Count("Disconnected") == 1; }));
        } else {
            ASSERT_TRUE(WaitUntil([&] { return Written() == c.written; }));
        }
        const std::vector<std::string> after = log.From("Send X");
        EXPECT_EQ(std::vector<std::string>(after.begin() + 1, after.end()), c.events);
        EXPECT_EQ(Written(), c.written);
        StopAndWait();
    }
}

TEST_F(ZorComPortTest, OpenFailureReportsTwiceAndEndsTheWorker) {
    fake->Change([&] { return fake->openError = 2; });
    port->SetActive(true);
    port->SetConnected(true);
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
    EXPECT_THAT(log.events, ElementsAre("Active1", "Error 2 No such file or directory",
                                        "Error 9 Bad file descriptor", "Active0", "Disconnected"));
    EXPECT_FALSE(port->Active());
}

TEST_F(ZorComPortTest, VanishedDeviceReportsOnceAndEndsInOrder) {
    Connect();
    fake->Change([&] { return fake->vanished = true; });
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
    EXPECT_THAT(log.From("Connected"), ElementsAre("Connected", "Error 5 Input/output error",
                                                   "Disconnected", "Active0", "Disconnected"));
    EXPECT_FALSE(port->Active());
    EXPECT_TRUE(fake->With([&] { return fake->destroyed && !fake->open; }));
}

TEST_F(ZorComPortTest, ThrowingHandlerEndsWorkerWithThreadException) {
    Connect();
    port->OnRxString = [](QObject*, const std::string&) { throw std::runtime_error("boom"); };
    fake->Feed("frame\r\n");
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
    EXPECT_THAT(log.From("Connected"),
                ElementsAre("Connected", "Error -200 Thread exception", "Disconnected"));
    EXPECT_TRUE(port->Active());
    EXPECT_TRUE(fake->With([&] { return fake->destroyed && !fake->open; }));

    const auto old = port->WorkerSerial();
    port->SetActive(true);
    EXPECT_TRUE(port->HasWorker());
    EXPECT_NE(port->WorkerSerial(), old);
    StopAndWait();
}

// Holds back the worker's end notices, as a main thread busy elsewhere would.
class EndNoticeHold : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        return event->type() == static_cast<QEvent::Type>(TZorComPort::ThreadEndEventType());
    }
};

TEST_F(ZorComPortTest, ReactivatingBeforeTheEndNoticeStartsANewWorker) {
    Connect();
    port->OnRxString = [](QObject*, const std::string&) { throw std::runtime_error("boom"); };
    auto hold = std::make_unique<EndNoticeHold>();
    port->installEventFilter(hold.get());
    fake->Feed("frame\r\n");
    ASSERT_TRUE(WaitUntil([&] { return port->WorkerFinished(); }));
    EXPECT_THAT(log.From("Error -200 Thread exception"),
                ElementsAre("Error -200 Thread exception", "Disconnected"));
    const auto old = port->WorkerSerial();
    port->SetActive(true);
    hold.reset();
    // The old worker's notice, late: the new worker stays.
    QCoreApplication::postEvent(
        port.get(), new QEvent(static_cast<QEvent::Type>(TZorComPort::ThreadEndEventType())));
    Pump(30);
    EXPECT_TRUE(port->HasWorker());
    EXPECT_NE(port->WorkerSerial(), old);
    StopAndWait();
}

// --- Stopping ------------------------------------------------------------------------------------

TEST_F(ZorComPortTest, StopWhileWaitingForConnection) {
    port->SetActive(true);
    Pump(30);
    port->SetActive(false);
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
    EXPECT_THAT(log.events, ElementsAre("Active1", "Active0", "Disconnected"));
    EXPECT_FALSE(port->Active());
}

// A stop also cuts short the wait for a command to drain; that is no failed write.
TEST_F(ZorComPortTest, StopWhileOpen) {
    const std::vector<std::string> orderlyEnd{"Disconnected", "Active0", "Disconnected"};
    for (const bool draining : {false, true}) {
        SCOPED_TRACE(draining ? "while a command drains" : "idle");
        log.events.clear();
        fake->Change([&] { return fake->draining = draining; });
        Connect();
        std::vector<std::string> expected{"Connected"};
        if (draining) {
            port->SendString("X", false);
            ASSERT_TRUE(fake->WaitFor([&] { return fake->inDrain; }));
            expected.emplace_back("Send X");
        }
        expected.insert(expected.end(), orderlyEnd.begin(), orderlyEnd.end());
        QElapsedTimer timer;
        timer.start();
        port->SetActive(false);
        EXPECT_LT(timer.elapsed(), 1000);
        ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }));
        EXPECT_EQ(log.From("Connected"), expected);
        EXPECT_FALSE(port->CheckTimerActive());
        EXPECT_FALSE(port->TimeOutTimerActive());
    }
    EXPECT_EQ(fake->With([&] { return fake->closes; }), 2);
}

TEST_F(ZorComPortTest, ActiveFalseThenTrueAtOnceKeepsTheOldWorker) {
    Connect();
    const auto worker = port->WorkerSerial();
    // Inside a handler the worker waits for us, so it cannot end during the 200 ms wait.
    port->OnRxString = [&](QObject*, const std::string&) {
        port->SetActive(false);
        port->SetActive(true);
    };
    fake->Feed("x\r\n");
    ASSERT_TRUE(WaitUntil([&] { return port->Active() && port->RxLine() == "x"; }));
    port->OnRxString = nullptr;
    Pump(100);
    EXPECT_EQ(port->WorkerSerial(), worker);
    EXPECT_TRUE(port->WorkerLinkOpen());
    port->SendString("AT\r", false);
    EXPECT_TRUE(WaitUntil([&] { return Written() == "AT\r\r"; }));
    EXPECT_EQ(log.Count("Active0"), 0u);
}

TEST_F(ZorComPortTest, DestroyingWhileTheWorkerWaitsForAHandlerDoesNotHang) {
    Connect();
    fake->Feed("x\r\n");
    // No events are processed from here on: the worker takes the line and blocks on delivering it.
    ASSERT_TRUE(fake->WaitFor([&] { return fake->incoming.empty(); }));
    QElapsedTimer timer;
    timer.start();
    port.reset();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(fake->With([&] { return fake->destroyed && !fake->open; }));
    EXPECT_EQ(log.Count("Rx x"), 0u);
}

// --- Modem lines ---------------------------------------------------------------------------------

TEST_F(ZorComPortTest, InputLineEventsFireOnChangeOnly) {
    fake->Change([&] { return fake->cts = fake->dcd = true; });
    Connect();
    ASSERT_TRUE(WaitUntil([&] { return log.Count("DCD") == 1; }));
    EXPECT_THAT(log.From("Connected"), ElementsAre("Connected", "CTS", "DCD"));
    fake->Change([&] { return fake->cts = false; });
    ASSERT_TRUE(WaitUntil([&] { return log.Count("CTS") == 2; }));
    EXPECT_FALSE(port->LineCTS());
    EXPECT_TRUE(port->LineDCD());
    Pump(30);
    EXPECT_EQ(log.Count("CTS"), 2u);
    EXPECT_EQ(log.Count("DSR"), 0u);
}

// The stored states are never reset: after a reconnection only a line that differs from the last
// state seen fires, and in the same order as ever (a CTS event would come before DSR).
TEST_F(ZorComPortTest, InputLineStatesAreKeptAcrossReconnections) {
    fake->Change([&] { return fake->cts = true; });
    Connect();
    ASSERT_TRUE(WaitUntil([&] { return log.Count("CTS") == 1; }));
    StopAndWait();
    fake->Change([&] { return fake->dsr = true; });
    log.events.clear();
    Connect();
    ASSERT_TRUE(WaitUntil([&] { return log.Count("DSR") == 1; }));
    EXPECT_THAT(log.events, ElementsAre("Active1", "Connected", "DSR"));
}

TEST_F(ZorComPortTest, DtrAndRtsAreDrivenByTheWorkerOnlyWhileOpen) {
    port->Set_DTR(true); // no worker: nothing happens
    port->SetActive(true);
    port->Set_DTR(false); // a worker, but no open port: nothing happens, now or at the open
    port->Set_RTS(false);
    Connect();
    fake->Feed("x\r\n"); // passes after the open go by
    ASSERT_TRUE(WaitUntil([&] { return log.Count("Rx x") == 1; }));
    EXPECT_TRUE(fake->With([&] { return fake->lineCalls.empty(); }));
    port->Set_DTR(true);
    port->Set_RTS(false);
    ASSERT_TRUE(WaitUntil([&] { return fake->With([&] { return fake->lineCalls.size(); }) == 2; }));
    fake->With([&] {
        EXPECT_THAT(fake->lineCalls, ElementsAre("DTR0", "RTS1"));
        for (const auto id : fake->lineCallThreads) {
            EXPECT_NE(id, std::this_thread::get_id());
        }
        return 0;
    });
}

// --- The owner's close query ---------------------------------------------------------------------

class FakeForm : public QObject, public settings::HookableForm {
public:
    settings::FormEvents& Events() override { return events; }
    bool HasWindow() const override { return window; }
    settings::FormEvents events;
    bool window = true;
};

class ZorComCloseTest : public ZorComPortTest {
protected:
    void SetUp() override {
        form.events.OnCloseQuery = [this](QObject*, bool& canClose) {
            log.events.push_back("Saved");
            if (refuse) {
                canClose = false;
            }
        };
        port = std::make_unique<TZorComPort>(&form);
        port->SetDriverFactory([state = fake] { return std::make_unique<FakeDriver>(state); });
        log.Attach(*port);
        port->BeginLoading();
        port->Loaded();
    }
    bool Close() {
        bool canClose = true;
        form.events.OnCloseQuery(&form, canClose);
        return canClose;
    }
    FakeForm form;
    bool refuse = false;
};

TEST_F(ZorComCloseTest, CloseQueryRunsSavedHandlerThenStopsTheWorker) {
    Connect();
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(Close());
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(port->HasWorker());
    EXPECT_THAT(log.From("Connected"),
                ElementsAre("Connected", "Saved", "Disconnected", "Active0", "Disconnected"));
    port.reset();
    Close(); // the kept handler is back in place
    EXPECT_EQ(log.Count("Saved"), 2u);
}

TEST_F(ZorComCloseTest, RefusedCloseOrNoWindowLeavesTheWorkerRunning) {
    Connect();
    refuse = true;
    EXPECT_FALSE(Close());
    EXPECT_TRUE(port->HasWorker());
    refuse = false;
    form.window = false;
    EXPECT_TRUE(Close());
    EXPECT_TRUE(port->HasWorker());
    StopAndWait();
}

TEST_F(ZorComCloseTest, HookIsTakenOnlyAfterLoading) {
    port.reset();
    port = std::make_unique<TZorComPort>(&form);
    port->Loaded(); // not loading: no hook
    Close();
    EXPECT_EQ(log.Count("Saved"), 1u);
    port->HookOwnerCloseQuery();
    port->HookOwnerCloseQuery(); // a second hook must not chain to itself
    Close();
    EXPECT_EQ(log.Count("Saved"), 2u);
}

TEST_F(ZorComCloseTest, StuckWorkerIsShutDownAfterTheWaitLimit) {
    Connect();
    fake->Change([&] { return fake->stuckReceive = std::chrono::milliseconds(600); });
    fake->Feed("x"); // an incomplete line: the worker enters the stuck receive
    ASSERT_TRUE(fake->WaitFor([&] { return fake->inStuckReceive; }));
    port->SetCloseWaitLimitMs(150);
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(Close());
    EXPECT_LT(timer.elapsed(), 1500);
    EXPECT_FALSE(port->HasWorker());
    EXPECT_TRUE(fake->With([&] { return fake->destroyed && !fake->open; }));
}

// A worker that hangs in the driver's close is left behind, so the window still closes; it frees
// itself and its driver when the close returns, after the component is gone.
TEST_F(ZorComCloseTest, WorkerStuckInTheDriversCloseIsLeftBehind) {
    Connect();
    fake->Change([&] { return fake->holdClose = true; });
    port->SetCloseWaitLimitMs(100);
    port->SetShutdownJoinLimitMs(100);
    EXPECT_TRUE(Close());
    EXPECT_FALSE(port->HasWorker());
    EXPECT_TRUE(fake->With([&] { return fake->inHeldClose && !fake->destroyed; }));
    port.reset();
    fake->Change([&] { return fake->holdClose = false; });
    EXPECT_TRUE(fake->WaitFor([&] { return fake->destroyed && !fake->open; }));
}

TEST_F(ZorComCloseTest, CloseFromInsideAHandlerDoesNotHang) {
    Connect();
    port->SetCloseWaitLimitMs(200);
    port->OnRxString = [&](QObject*, const std::string&) { Close(); };
    fake->Feed("x\r\n");
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }, 2000));
    EXPECT_TRUE(fake->With([&] { return fake->destroyed && !fake->open; }));
}

TEST_F(ZorComCloseTest, CloseFromInsideAHandlerDropsTheLinesAfterIt) {
    Connect();
    port->SetCloseWaitLimitMs(200);
    std::vector<std::string> seen;
    port->OnRxString = [&](QObject*, const std::string& line) {
        seen.push_back(line);
        Close();
    };
    fake->Feed("a\r\nb\r\nc\r\n");
    ASSERT_TRUE(WaitUntil([&] { return !port->HasWorker(); }, 2000));
    Pump(30);
    // The worker may be gone when the handler returns; no line may be delivered after it.
    EXPECT_THAT(seen, ElementsAre("a"));
    EXPECT_TRUE(fake->With([&] { return fake->destroyed && !fake->open; }));
}

} // namespace
} // namespace zortest

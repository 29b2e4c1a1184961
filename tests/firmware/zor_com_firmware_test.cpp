// The program's side against the firmware: the port component with the real line driver and the
// frame core on one end of a pseudo-terminal, the firmware in the simulated microcontroller on the
// other, in real time.

#include "firmware/sim/LiveDevice.h"
#include "frame/FrameCore.h"
#include "settings/FormEvents.h"
#include "tests/firmware/FirmwareTestSupport.h"
#include "tests/serial/ZorComTestSupport.h"
#include "tools/irsim/Remotes.h"

#include <gmock/gmock.h>

namespace zortest {
namespace {

using serial::TZorComPort;

class FakeForm : public QObject, public settings::HookableForm {
public:
    settings::FormEvents& Events() override { return events; }
    bool HasWindow() const override { return true; }
    settings::FormEvents events;
};

struct Panels : frame::StatusSink {
    void SetPanelText(int index, std::string_view text) override { texts[index] = text; }
    std::map<int, std::string> texts;
};
struct NoChart : frame::ChartSink {
    void ClearSeries() override {}
    void AddPoint(double, double, std::string_view) override {}
    void SetBottomAxisAutomatic() override {}
};
struct ToPort : frame::CommandSink {
    void SendCommand(std::string_view command) override {
        port->SendString(std::string(command), false);
    }
    TZorComPort* port = nullptr;
};

TEST(ZorComFirmwareTest, TheProgramTalksToTheFirmwareAsToItsDevice) {
    fwsim::LiveDevice device(fwsim::FirmwareElfPath());
    FakeForm form;
    frame::PulseFrame pulses;
    Panels panels;
    NoChart chart;
    ToPort commands;
    frame::FrameCore core(pulses, panels, chart, commands);
    TZorComPort port(&form);
    commands.port = &port;
    port.OnConnected = [&](QObject*) { core.ZorComPort1Connected(); };
    port.OnRxString = [&](QObject*, const std::string& line) { core.ZorComPort1RxString(line); };
    port.BeginLoading();
    port.SetBaudRate("38400");
    port.Loaded();
    port.SetComPort(device.SlavePath());
    port.SetActive(true);
    port.SetConnected(true);

    // The handshake: two commands, each followed by the worker's second CR.
    ASSERT_TRUE(WaitUntil([&] { return core.LinkConfirmed(); }, 10000));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return panels.texts[frame::PanelLink].find("Dekoder IR firmware") != std::string::npos;
        },
        10000));
    EXPECT_EQ(device.ReceivedBytes(), "AT\r\rATI\r\r");

    // A frame from the receiver reaches the frame core.
    const auto nec = irsim::NominalFrame({irsim::Remote::Nec, 0x04, 0x08});
    device.Play(nec);
    ASSERT_TRUE(WaitUntil([&] { return core.FramesTaken() == 1; }, 10000));
    EXPECT_TRUE(fwtest::DurationsNear(core.LastFrameLine(), nec, 1));
    EXPECT_EQ(panels.texts[frame::PanelPulseCount], std::to_string(nec.size()));

    // "Emituj ramkę z wykresu": the frame goes out on the LED pin.
    core.EmitujWykresExecute();
    // Done when the LED has been dark for a millisecond after the frame's last mark.
    const auto emitted = [&] {
        const auto levels = device.LedLevels();
        return fwsim::Envelope(levels).size() == nec.size() && !levels.back().high &&
               device.NowUs() > levels.back().cycle / fwsim::CyclesPerUs + 1000;
    };
    ASSERT_TRUE(WaitUntil(emitted, 20000));
    // A carrier period and 2 us, as the emission test allows, and here one UART interrupt (4 us)
    // more: the replies going out during the emission can delay the switching interrupt.
    EXPECT_TRUE(fwtest::DurationsNear(fwsim::Envelope(device.LedLevels()), nec, 2 + 27 + 4));

    port.SetActive(false);
    EXPECT_FALSE(device.ResetSeen());
}

} // namespace
} // namespace zortest

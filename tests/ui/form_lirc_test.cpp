// A Linux IR transceiver (/dev/lirc0) in the main window: its descriptor is one end of a socket
// pair the test writes samples into, its ioctls a fake.

#include "tests/serial/LircTestSupport.h"
#include "tests/ui/FormTestSupport.h"

#include "analysis/Analysis.h"
#include "serial/LircSource.h"
#include "ui/DecodeMenu.h"
#include "ui/DecodeOverlay.h"
#include "ui/DeviceLink.h"
#include "ui/FrameHistory.h"
#include "ui/FrameWorkbench.h"
#include "ui/PortComboBox.h"

#include <QLabel>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>

namespace {

using formtest::Current;
using formtest::MessageBoxRecorder;
using formtest::U;
using formtest::WaitUntil;
using serial::LircSample;
using serial::TLircSetting;
using Kind = serial::TLircSampleKind;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// The samples a receiver reads for `durations`, then its time-out.
std::vector<uint32_t> Samples(const std::vector<int32_t>& durations,
                              std::optional<uint32_t> carrierHz = std::nullopt) {
    std::vector<uint32_t> samples{LircSample(Kind::Space, 16777215)};
    for (size_t i = 0; i < durations.size(); ++i) {
        samples.push_back(LircSample(i % 2 == 0 ? Kind::Pulse : Kind::Space,
                                     static_cast<uint32_t>(durations[i])));
    }
    if (carrierHz) {
        samples.push_back(LircSample(Kind::Frequency, *carrierHz));
    }
    samples.push_back(LircSample(Kind::Timeout, 100000));
    return samples;
}

class LircWindow : public ::testing::Test {
protected:
    LircWindow()
        : lirc(serial::FullLircFeatures(), {{serial::TLircQuery::ReceiveResolution, 50}}, 4096) {}

    void SetUp() override {
        formtest::SavePort(QStringLiteral("lirc0"));
        window = formtest::MakeWindow(
            {},
            [this](serial::DeviceKind kind, const std::string& port,
                   serial::DeviceSourceEvents events) -> std::unique_ptr<serial::DeviceSource> {
                if (kind != serial::DeviceKind::Lirc) {
                    return nullptr;
                }
                opened = port;
                return serial::MakeLircSource(
                    [this](int&, std::string&) { return std::move(lirc.device); }, port,
                    std::move(events));
            });
        ASSERT_TRUE(WaitUntil([&] {
            return window->PanelText(frame::PanelLink) ==
                   U("<----> Połączony     lirc0 — mceusb, 50 µs");
        }));
        lirc.log.Settings.clear();
    }

    const ui::FrameHistory& History() const { return window->Workbench()->History(); }

    QString Hint() const {
        const auto* line = window.Find<QLabel>("PortHint");
        return line->isVisibleTo(window.form.get()) ? line->text() : QString();
    }

    serial::TLircOnSocket lirc;
    std::string opened;
    formtest::Window window;
};

TEST_F(LircWindow, FramesArriveDecodedAndEnterTheHistory) {
    EXPECT_EQ(opened, "/dev/lirc0");
    window->DecodeItems()->Dekodujprotok1->setChecked(true);
    const auto nec = analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 0);
    ASSERT_TRUE(nec);
    lirc.Send(Samples(*nec));
    ASSERT_TRUE(WaitUntil([&] { return History().Size() == 1; }));
    EXPECT_EQ(Current(*window.form), *nec);
    EXPECT_TRUE(window->Core().FrameReceived());
    ASSERT_FALSE(window->Decoder()->Layout().Summary.empty());
    EXPECT_THAT(window->Decoder()->Layout().Summary.front().Text, HasSubstr("NEC"));
}

TEST_F(LircWindow, EmissionWritesTheDurationsOnTheCarrier) {
    const std::vector<int32_t> frame{9000, 4500, 560, 560, 560};
    lirc.Send(Samples(frame, 36000));
    ASSERT_TRUE(WaitUntil([&] { return History().Size() == 1; }));

    // The captured code and the chart drawn from it keep the carrier the receiver measured.
    window->EmitujKod()->trigger();
    EXPECT_THAT(lirc.Written(), ElementsAreArray(frame.begin(), frame.end()));
    window->EmitujWykres()->trigger();
    EXPECT_THAT(lirc.Written(), ElementsAreArray(frame.begin(), frame.end()));
    EXPECT_EQ(lirc.log.Settings,
              (std::vector<std::pair<TLircSetting, uint32_t>>{{TLircSetting::SendPulse, 0},
                                                              {TLircSetting::SendCarrier, 36000},
                                                              {TLircSetting::SendDutyCycle, 33},
                                                              {TLircSetting::SendPulse, 0},
                                                              {TLircSetting::SendCarrier, 36000},
                                                              {TLircSetting::SendDutyCycle, 33}}));
}

TEST_F(LircWindow, AnOverlongFrameIsRefusedAndNothingChanges) {
    const std::vector<int32_t> first{9000, 4500, 560};
    lirc.Send(Samples(first));
    ASSERT_TRUE(WaitUntil([&] { return History().Size() == 1; }));
    lirc.Send(Samples(std::vector<int32_t>(frame::FrameCapacity + 2, 600)));
    ASSERT_TRUE(WaitUntil([&] { return !Hint().isEmpty(); }));
    EXPECT_EQ(Hint(), ui::OverlongSignalText(U("Sygnał z urządzenia lirc0 — mceusb, 50 µs"),
                                             frame::FrameCapacity + 2));
    EXPECT_EQ(History().Size(), 1);
    EXPECT_EQ(Current(*window.form), first);
}

TEST_F(LircWindow, AVanishedDeviceEndsTheLinkAndTheWindowGoesOn) {
    lirc.kernel.Reset();
    ASSERT_TRUE(WaitUntil([&] {
        return window->PanelText(frame::PanelLink) ==
               QString::fromUtf8(frame::TextDisconnected.data(),
                                 static_cast<qsizetype>(frame::TextDisconnected.size()));
    }));
    window->ZorComPort1RxString(nullptr, formtest::FrameLine("9000,4500,560"));
    EXPECT_EQ(Current(*window.form), (std::vector<int32_t>{9000, 4500, 560}));
    MessageBoxRecorder boxes;
    window->EmitujWykres()->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_THAT(boxes.boxes[0].text.toStdString(), HasSubstr("nie jest połączone"));
}

// The drop-down lists the LIRC devices after the serial ports, with their drivers beside them.
TEST(LircPortBox, ListsTheDevicesWithTheirDrivers) {
    QTemporaryDir folder;
    const std::filesystem::path rc = folder.path().toStdString();
    std::filesystem::create_directories(rc / "rc0" / "lirc0");
    std::ofstream(rc / "rc0" / "uevent") << "NAME=rc-rc6-mce\nDRV_NAME=mceusb\n";
    ui::PortComboBox box;
    box.setEditable(true);
    box.SetLircClass(rc);
    box.setEditText(QStringLiteral("ttyS0"));
    box.SetPorts({"ttyS0"});
    ASSERT_EQ(box.count(), 2);
    EXPECT_EQ(box.itemText(1), U("lirc0"));
    EXPECT_EQ(box.model()->index(1, 1).data().toString(), U("mceusb"));
    EXPECT_EQ(box.currentText(), U("ttyS0"));
}

} // namespace

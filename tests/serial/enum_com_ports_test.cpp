#include "serial/EnumComPorts.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <strings.h>
#include <unistd.h>

namespace serial {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A throw-away tree shaped like /sys: class/tty/<name> entries, their devices and drivers.
class FakeSysfs {
public:
    FakeSysfs()
        : m_Root(fs::temp_directory_path() / ("dekoder-sysfs-" + std::to_string(::getpid()) + "-" +
                                              std::to_string(++s_Count))) {
        fs::create_directories(TtyClass());
    }
    ~FakeSysfs() {
        std::error_code ec;
        fs::remove_all(m_Root, ec);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    fs::path TtyClass() const { return m_Root / "class" / "tty"; }

    // A terminal without a device (a virtual console, ptmx).
    void AddVirtual(const std::string& name) { fs::create_directories(TtyClass() / name); }

    // A port whose device is bound to `driverPath` (relative to the root, as in /sys/bus/...);
    // `type` is written when not empty.
    void AddPort(const std::string& name, const std::string& driverPath, const std::string& type) {
        const fs::path device = m_Root / "devices" / name;
        fs::create_directories(device);
        fs::create_directories(m_Root / driverPath);
        fs::create_directory_symlink(fs::relative(m_Root / driverPath, device), device / "driver");
        const fs::path entry = TtyClass() / name;
        fs::create_directories(entry);
        fs::create_directory_symlink(fs::relative(device, entry), entry / "device");
        if (!type.empty()) {
            std::ofstream(entry / "type") << type << "\n";
        }
    }

    struct Usb {
        std::string vendorId, productId, manufacturer, product;
    };

    // A USB serial port as usb-serial and cdc-acm drivers place it: the tty below an interface of
    // the USB device that carries the vendor's strings. `byId`, when given, links to the port.
    void AddUsbPort(const std::string& name, const Usb& usb, const std::string& byId = {}) {
        const fs::path usbDevice = m_Root / "devices" / "usb1" / ("1-" + name);
        const fs::path device = usbDevice / "1-1:1.0" / name;
        fs::create_directories(device);
        const auto write = [&](const char* file, const std::string& text) {
            if (!text.empty()) {
                std::ofstream(usbDevice / file) << text << "\n";
            }
        };
        write("idVendor", usb.vendorId);
        write("idProduct", usb.productId);
        write("manufacturer", usb.manufacturer);
        write("product", usb.product);
        const fs::path entry = TtyClass() / name;
        fs::create_directories(entry);
        fs::create_directory_symlink(fs::relative(device, entry), entry / "device");
        if (!byId.empty()) {
            fs::create_directories(ById());
            fs::create_symlink("../../" + name, ById() / byId);
        }
    }

    fs::path ById() const { return m_Root / "serial" / "by-id"; }

private:
    static inline int s_Count = 0;
    fs::path m_Root;
};

class EnumComPortsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnumMessageHook([this](std::string_view m) { messages.emplace_back(m); });
    }
    void TearDown() override { SetEnumMessageHook({}); }

    FakeSysfs sysfs;
    std::vector<std::string> messages;
};

constexpr const char* Platform8250 = "bus/platform/drivers/serial8250";
constexpr const char* SerialBase = "bus/serial-base/drivers/port";

TEST_F(EnumComPortsTest, ListsPortsWithADeviceSortedIgnoringCase) {
    sysfs.AddVirtual("tty1");
    sysfs.AddVirtual("ptmx");
    sysfs.AddPort("ttyS0", Platform8250, "4");
    sysfs.AddPort("ttyS10", Platform8250, "4");
    sysfs.AddPort("ttyS2", SerialBase, "4");
    sysfs.AddPort("ttyUSB0", "bus/usb-serial/drivers/ftdi_sio", "");
    sysfs.AddPort("ttyACM0", "bus/usb/drivers/cdc_acm", "");
    sysfs.AddPort("ttyama1", "bus/amba/drivers/uart-pl011", "");

    std::vector<std::string> list{"stale"};
    EnumComPorts(list, sysfs.TtyClass());
    EXPECT_THAT(list, ElementsAre("ttyACM0", "ttyama1", "ttyS0", "ttyS10", "ttyS2", "ttyUSB0"));
    EXPECT_THAT(messages, IsEmpty());
}

TEST_F(EnumComPortsTest, LeavesOutUartPortsWithoutAUart) {
    sysfs.AddPort("ttyS0", SerialBase, "4");
    sysfs.AddPort("ttyS1", SerialBase, "0");
    sysfs.AddPort("ttyS3", Platform8250, "0");
    // type 0 means nothing for other drivers, and a missing type file hides no port
    sysfs.AddPort("ttyACM0", "bus/usb/drivers/cdc_acm", "0");
    sysfs.AddPort("ttyS4", Platform8250, "");

    std::vector<std::string> list;
    EnumComPorts(list, sysfs.TtyClass());
    EXPECT_THAT(list, ElementsAre("ttyACM0", "ttyS0", "ttyS4"));
}

TEST_F(EnumComPortsTest, NoPortsGivesAnEmptyListWithoutMessage) {
    sysfs.AddVirtual("console");
    std::vector<std::string> list{"/dev/ttyS9"};
    EnumComPorts(list, sysfs.TtyClass());
    EXPECT_THAT(list, IsEmpty());
    EXPECT_THAT(messages, IsEmpty());
}

TEST_F(EnumComPortsTest, UnreadableSourceGivesTheMessageAndAnEmptyList) {
    std::vector<std::string> list{"/dev/ttyS9"};
    EnumComPorts(list, sysfs.TtyClass() / "missing");
    EXPECT_THAT(list, IsEmpty());
    EXPECT_THAT(messages, ElementsAre("Problem with COM ports reg enumeration"));
}

TEST_F(EnumComPortsTest, ExceptionKeepsTheEarlierList) {
    SetEnumMessageHook([](std::string_view) { throw std::runtime_error("hook failed"); });
    std::vector<std::string> list{"/dev/ttyS9"};
    EXPECT_NO_THROW(EnumComPorts(list, sysfs.TtyClass() / "missing"));
    EXPECT_THAT(list, ElementsAre("/dev/ttyS9"));
}

TEST_F(EnumComPortsTest, DescribesUsbPortsByTheirStringsAndTheirById) {
    constexpr const char* Ftdi = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    sysfs.AddUsbPort("ttyUSB0", {"0403", "6001", "FTDI", "FT232R USB UART"}, Ftdi);
    sysfs.AddUsbPort("ttyUSB1", {"067b", "2303", "Prolific", "Prolific USB-Serial Controller"});
    sysfs.AddUsbPort("ttyUSB2", {"1a86", "7523", "", ""}, "usb-1a86_USB_Serial-if00-port0");
    sysfs.AddUsbPort("ttyACM0", {"2341", "0043", "Arduino", ""});
    sysfs.AddUsbPort("ttyACM1", {"0483", "5740", "Flipper Devices Inc.", "Flipper Ab1c"});
    sysfs.AddPort("ttyS0", Platform8250, "4");

    const struct {
        const char* name;
        const char* description;
        const char* byId;
        const char* usbIds = "";
    } cases[] = {
        {"ttyUSB0", "FTDI FT232R USB UART", Ftdi, "0403:6001"},
        {"/dev/ttyUSB0", "FTDI FT232R USB UART", Ftdi, "0403:6001"},
        // a maker already named in the product is not repeated
        {"ttyUSB1", "Prolific USB-Serial Controller", "", "067b:2303"},
        // without strings the ids stand in
        {"ttyUSB2", "USB 1a86:7523", "usb-1a86_USB_Serial-if00-port0", "1a86:7523"},
        {"ttyACM0", "Arduino", "", "2341:0043"},
        // its product string is the owner's name for it
        {"ttyACM1", "Flipper Zero", "", "0483:5740"},
        {"ttyS0", "", ""},
        {"ttyNONE", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        const TComPortDetails details = DescribeComPort(c.name, sysfs.TtyClass(), sysfs.ById());
        EXPECT_EQ(details.Description, c.description) << c.name;
        EXPECT_EQ(details.ById, c.byId) << c.name;
        EXPECT_EQ(details.UsbIds, c.usbIds) << c.name;
    }
}

TEST(EnumComPortsSystemTest, RealTreeNeverFailsAndGivesKernelNames) {
    std::vector<std::string> list;
    EnumComPorts(list);
    for (const std::string& name : list) {
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        DescribeComPort(name); // never throws, whatever the machine has
    }
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end(), [](const auto& a, const auto& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }));
}

} // namespace
} // namespace serial

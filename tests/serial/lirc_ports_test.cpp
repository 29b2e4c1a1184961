#include "serial/LircPorts.h"

#include <gmock/gmock.h>

#include <fstream>
#include <unistd.h>

namespace serial {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A throw-away tree shaped like /sys/class/rc: rcN entries holding their lircN device.
class FakeRcClass {
public:
    FakeRcClass()
        : root_(fs::temp_directory_path() /
                ("dekoder-rc-" + std::to_string(::getpid()) + "-" + std::to_string(++count_))) {
        fs::create_directories(root_ / "class" / "rc");
    }
    ~FakeRcClass() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path Class() const { return root_ / "class" / "rc"; }

    // An rc device; `uevent` is written when not empty, `driver` becomes its device's driver link.
    void Add(const std::string& rc, const std::string& lirc, const std::string& uevent,
             const std::string& driver = {}) {
        const fs::path entry = Class() / rc;
        fs::create_directories(entry);
        if (!lirc.empty()) {
            fs::create_directories(entry / lirc);
        }
        if (!uevent.empty()) {
            std::ofstream(entry / "uevent") << uevent;
        }
        if (!driver.empty()) {
            const fs::path target = root_ / "bus" / "drivers" / driver;
            fs::create_directories(target);
            fs::create_directories(entry / "device");
            fs::create_directory_symlink(target, entry / "device" / "driver");
        }
    }

private:
    fs::path root_;
    static inline int count_ = 0;
};

TEST(LircPorts, ListsTheLircDevicesOfTheRcClassInNumberOrder) {
    FakeRcClass sys;
    sys.Add("rc0", "lirc10", "NAME=rc-rc6-mce\nDRV_NAME=mceusb\nDEV_NAME=Media Center\n");
    sys.Add("rc1", "lirc2", "", "gpio_ir_recv");
    sys.Add("rc2", "", "DRV_NAME=cx88xx\n"); // decodes in hardware: no lirc device
    sys.Add("rc3", "lirc3", "NAME=rc-empty\n");
    EXPECT_THAT(EnumLircPorts(sys.Class()), ElementsAre("lirc2", "lirc3", "lirc10"));

    struct Case {
        const char* name;
        std::string label;
    };
    for (const Case& c :
         {Case{"lirc10", "lirc10 — mceusb"}, Case{"/dev/lirc2", "lirc2 — gpio_ir_recv"},
          Case{"lirc3", "lirc3"}, Case{"lirc7", "lirc7"}}) {
        EXPECT_EQ(LircPortLabel(c.name, sys.Class()), c.label) << c.name;
    }
    EXPECT_THAT(EnumLircPorts(sys.Class() / "missing"), IsEmpty());
}

TEST(LircPorts, TellsLircNamesFromSerialPorts) {
    for (const char* name : {"lirc0", "/dev/lirc12"}) {
        EXPECT_TRUE(IsLircPortName(name)) << name;
    }
    for (const char* name : {"ttyUSB0", "lirc", "lircx", "/dev/lirc0/x", "mylirc0", ""}) {
        EXPECT_FALSE(IsLircPortName(name)) << name;
    }
}

} // namespace
} // namespace serial

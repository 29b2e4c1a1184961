#include "serial/PortHints.h"
#include "serial/SerialErrors.h"

#include <gmock/gmock.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <unistd.h>

namespace serial {
namespace {

namespace fs = std::filesystem;

// Replaces every "%1" of `pattern` with `path`.
std::string WithPath(std::string pattern, const std::string& path) {
    for (std::size_t at = pattern.find("%1"); at != std::string::npos;
         at = pattern.find("%1", at + path.size())) {
        pattern.replace(at, 2, path);
    }
    return pattern;
}

TEST(PortHints, EachCauseHasItsOwnText) {
    // A process table where minicom holds the port, reached also through a by-id link.
    const fs::path root =
        fs::temp_directory_path() / ("dekoder-port-hints-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    const auto device = root / "ttyUSB0";
    std::ofstream(device).put('\n');
    fs::create_symlink(device, root / "usb-FTDI-if00-port0");
    const auto proc = root / "proc";
    for (const auto& [pid, command, file] :
         {std::tuple{"4242", "minicom", device}, std::tuple{"77", "bash", root / "other"}}) {
        fs::create_directories(proc / pid / "fd");
        std::ofstream(proc / pid / "comm") << command << "\n";
        fs::create_symlink(file, proc / pid / "fd" / "3");
    }
    fs::create_directories(proc / "self" / "fd");

    const std::string busy = "Port %1 jest zajęty przez: minicom (PID 4242).";
    const struct {
        int error;
        fs::path opened;
        std::string hint; // %1: the path opened
    } cases[] = {
        {ENOENT, device, "Nie ma portu %1: sprawdź nazwę portu i czy urządzenie jest podłączone."},
        {EBUSY, device, busy},
        {EBUSY, root / "usb-FTDI-if00-port0", busy},
        {EBUSY, root / "ttyS9", "Port %1 jest zajęty przez inny program."},
        {EACCES, device,
         "Brak uprawnień do portu %1: dodaj użytkownika do grupy dialout (sudo usermod -aG "
         "dialout $USER) i zaloguj się ponownie."},
        {EACCES, root / "lirc0",
         "Brak uprawnień do urządzenia %1: dodaj użytkownika do grupy video (sudo adduser $USER "
         "video) i zaloguj się ponownie."},
        {ENOTTY, device, "%1 nie jest portem szeregowym."},
        {ErrAlreadyOwned, device,
         "%1 to terminal, w którym działa program, albo konsola systemu, a nie port urządzenia: "
         "wybierz port odbiornika."},
        {ENOTTY, root / "lirc0", "%1 nie jest odbiornikiem podczerwieni LIRC."},
        {EIO, device, "Błąd portu %1: 5 Input/output error."},
    };
    for (const auto& c : cases) {
        const std::string opened = c.opened.string();
        EXPECT_EQ(
            PortErrorHint(opened, c.error, std::strerror(c.error), FindPortHolders(c.opened, proc)),
            WithPath(c.hint, opened))
            << c.error << " " << c.opened;
    }
    // A name is quoted as it is, even one that looks like a placeholder.
    EXPECT_EQ(PortErrorHint("/dev/ttyUSB%2", EIO, "Input/output error", {}),
              "Błąd portu /dev/ttyUSB%2: 5 Input/output error.");
    EXPECT_EQ(DeviceSilentHint(device.string()),
              WithPath("Port %1 otwarty, ale urządzenie milczy: brak odpowiedzi na AT i ATI.",
                       device.string()));
    fs::remove_all(root);
}

} // namespace
} // namespace serial

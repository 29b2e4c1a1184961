#include "serial/PortHints.h"

#include "serial/LircPorts.h"
#include "serial/SerialErrors.h"

#include <cerrno>

namespace serial {

std::string PortErrorHint(std::string_view devicePath, int error, std::string_view desc,
                          const std::vector<TPortHolder>& holders) {
    const std::string path(devicePath);
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "Nie ma portu " + path + ": sprawdź nazwę portu i czy urządzenie jest podłączone.";
    case EBUSY: {
        if (holders.empty()) {
            return "Port " + path + " jest zajęty przez inny program.";
        }
        std::string names;
        for (const TPortHolder& holder : holders) {
            if (!names.empty()) {
                names += ", ";
            }
            names += holder.Command + " (PID " + std::to_string(holder.Pid) + ")";
        }
        return "Port " + path + " jest zajęty przez: " + names + ".";
    }
    case EACCES:
    case EPERM:
        // Debian gives IR devices to the video group, serial ports to dialout.
        if (IsLircPortName(path)) {
            return "Brak uprawnień do urządzenia " + path +
                   ": dodaj użytkownika do grupy video (sudo adduser $USER video) i zaloguj się "
                   "ponownie.";
        }
        return "Brak uprawnień do portu " + path +
               ": dodaj użytkownika do grupy dialout (sudo usermod -aG dialout $USER) i zaloguj "
               "się ponownie.";
    case ENOTTY:
        if (IsLircPortName(path)) {
            return path + " nie jest odbiornikiem podczerwieni LIRC.";
        }
        return path + " nie jest portem szeregowym.";
    case ErrAlreadyOwned:
        return path + " to terminal, w którym działa program, albo konsola systemu, a nie port "
                      "urządzenia: wybierz port odbiornika.";
    default:
        return "Błąd portu " + path + ": " + std::to_string(error) + " " + std::string(desc) + ".";
    }
}

std::string PortErrorHint(std::string_view devicePath, int error, std::string_view desc) {
    // Only a busy port needs the scan of the process table.
    return PortErrorHint(devicePath, error, desc,
                         error == EBUSY ? FindPortHolders(devicePath) : std::vector<TPortHolder>{});
}

std::string DeviceSilentHint(std::string_view devicePath) {
    return "Port " + std::string(devicePath) +
           " otwarty, ale urządzenie milczy: brak odpowiedzi na AT i ATI.";
}

} // namespace serial

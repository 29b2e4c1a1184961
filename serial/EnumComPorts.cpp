#include "serial/EnumComPorts.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <mutex>
#include <utility>

namespace serial {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view EnumFailureMessage = "Problem with COM ports reg enumeration";

std::mutex& HookMutex() {
    static std::mutex mutex;
    return mutex;
}

TEnumMessageHook& Hook() {
    static TEnumMessageHook hook;
    return hook;
}

void ShowMessage(std::string_view message) {
    TEnumMessageHook hook;
    {
        const std::lock_guard lock(HookMutex());
        hook = Hook();
    }
    if (hook) {
        hook(message);
    } else {
        std::cerr << message << std::endl;
    }
}

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The 8250 driver registers a fixed number of ports whether or not a UART sits behind them; older
// kernels bind them to the "serial8250" driver, newer ones put them on the "serial-base" bus.
bool IsGenericUartPort(const fs::path& device) {
    std::error_code ec;
    const fs::path driver = fs::read_symlink(device / "driver", ec);
    if (ec) {
        return false;
    }
    return std::any_of(driver.begin(), driver.end(), [](const fs::path& part) {
        return part == "serial8250" || part == "serial-base";
    });
}

bool HasNoUart(const fs::path& entry) {
    std::ifstream typeFile(entry / "type");
    std::string type;
    if (!typeFile || !std::getline(typeFile, type)) {
        return false; // unknown: better listed than hidden
    }
    return Trimmed(type) == "0";
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return static_cast<unsigned char>(u >= 'A' && u <= 'Z' ? u - 'A' + 'a' : u);
        };
        return lower(x) < lower(y);
    });
}

} // namespace

void SetEnumMessageHook(TEnumMessageHook hook) {
    const std::lock_guard lock(HookMutex());
    Hook() = std::move(hook);
}

void EnumComPorts(std::vector<std::string>& List, const std::filesystem::path& sysfsRoot) {
    try {
        std::vector<std::string> found;
        std::error_code ec;
        fs::directory_iterator it(sysfsRoot, ec);
        if (ec) {
            ShowMessage(EnumFailureMessage);
        } else {
            for (; it != fs::directory_iterator(); it.increment(ec)) {
                if (ec) {
                    break;
                }
                const fs::path entry = it->path();
                const fs::path device = entry / "device";
                std::error_code statusError;
                if (!fs::exists(device, statusError)) {
                    continue; // virtual terminals, ptmx, console: no device behind them
                }
                if (IsGenericUartPort(device) && HasNoUart(entry)) {
                    continue;
                }
                const std::string name = entry.filename().string();
                const std::string_view bare = Trimmed(name);
                if (!bare.empty()) {
                    found.push_back("/dev/" + std::string(bare));
                }
            }
        }
        std::stable_sort(found.begin(), found.end(), LessIgnoringCase);
        List = std::move(found);
    } catch (...) {
        // The list keeps what it had; the caller carries on with it.
    }
}

} // namespace serial

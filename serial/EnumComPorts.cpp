#include "serial/EnumComPorts.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
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

// The first line of a small attribute file, trimmed; nothing when it cannot be read.
std::optional<std::string> ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    return std::string(Trimmed(line));
}

bool HasNoUart(const fs::path& entry) {
    // unknown: better listed than hidden
    return ReadAttribute(entry / "type").value_or("") == "0";
}

unsigned char LowerAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return static_cast<unsigned char>(u >= 'A' && u <= 'Z' ? u - 'A' + 'a' : u);
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return LowerAscii(x) < LowerAscii(y);
    });
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [](char x, char y) { return LowerAscii(x) == LowerAscii(y); }) != text.end();
}

struct UsbDetails {
    std::string description;
    std::string ids;
};

// Devices known by their ids whose own strings do not say what they are.
constexpr std::pair<std::string_view, std::string_view> KnownUsbDevices[] = {
    {"0483:5740", "Flipper Zero"},
};

// A USB serial port's tty device sits below the USB interface, which sits below the USB device
// that carries the vendor's strings; a few levels up is as far as any driver nests it.
UsbDetails UsbDevice(const fs::path& entry) {
    constexpr int MaxLevels = 4;
    std::error_code ec;
    fs::path dir = fs::canonical(entry / "device", ec);
    for (int level = 0; !ec && level < MaxLevels && dir.has_relative_path(); ++level) {
        const std::optional<std::string> vendorId = ReadAttribute(dir / "idVendor");
        if (vendorId) {
            std::string ids = *vendorId + ":" + ReadAttribute(dir / "idProduct").value_or("");
            std::transform(ids.begin(), ids.end(), ids.begin(), LowerAscii);
            for (const auto& [knownIds, name] : KnownUsbDevices) {
                if (ids == knownIds) {
                    return {std::string(name), ids};
                }
            }
            const std::string maker = ReadAttribute(dir / "manufacturer").value_or("");
            const std::string product = ReadAttribute(dir / "product").value_or("");
            if (product.empty() && maker.empty()) {
                return {"USB " + *vendorId + ":" + ReadAttribute(dir / "idProduct").value_or(""),
                        ids};
            }
            if (maker.empty() || ContainsIgnoringCase(product, maker)) {
                return {product, ids};
            }
            return {product.empty() ? maker : maker + " " + product, ids};
        }
        dir = dir.parent_path();
    }
    return {};
}

// The by-id links point at "../../ttyUSB0"; several may lead to one port, and the first in name
// order is taken so the answer does not depend on the directory's order.
std::string ByIdName(const fs::path& byIdDir, std::string_view name) {
    std::string found;
    std::error_code ec;
    for (fs::directory_iterator it(byIdDir, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        const std::string link = it->path().filename().string();
        if (!linkError && target.filename() == name && (found.empty() || link < found)) {
            found = link;
        }
    }
    return found;
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
                    found.emplace_back(bare);
                }
            }
        }
        std::stable_sort(found.begin(), found.end(), LessIgnoringCase);
        List = std::move(found);
    } catch (...) {
        // The list keeps what it had; the caller carries on with it.
    }
}

TComPortDetails DescribeComPort(std::string_view name, const std::filesystem::path& sysfsRoot,
                                const std::filesystem::path& byIdDir) {
    const std::string kernelName = fs::path(name).filename().string();
    if (kernelName.empty()) {
        return {};
    }
    try {
        UsbDetails usb = UsbDevice(sysfsRoot / kernelName);
        return {std::move(usb.description), ByIdName(byIdDir, kernelName), std::move(usb.ids)};
    } catch (...) {
        return {}; // out of memory: the list shows the bare name
    }
}

} // namespace serial

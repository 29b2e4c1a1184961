#include "serial/LircPorts.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <optional>

namespace serial {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view LircPrefix = "lirc";

// The number of "lircN", or nothing for any other name.
std::optional<unsigned> LircNumber(std::string_view name) {
    if (!name.starts_with(LircPrefix) || name.size() == LircPrefix.size()) {
        return std::nullopt;
    }
    name.remove_prefix(LircPrefix.size());
    unsigned number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (error != std::errc() || end != name.data() + name.size()) {
        return std::nullopt;
    }
    return number;
}

// Every rc device holds its lirc device as a child entry of the same name.
std::optional<fs::path> RcDeviceOf(std::string_view name, const fs::path& rcClass) {
    std::error_code ec;
    for (fs::directory_iterator it(rcClass, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        std::error_code statusError;
        if (fs::exists(it->path() / name, statusError)) {
            return it->path();
        }
    }
    return std::nullopt;
}

// The rc core puts the driver's name into the device's uevent as DRV_NAME.
std::string UeventDriver(const fs::path& rcDevice) {
    constexpr std::string_view Key = "DRV_NAME=";
    std::ifstream in(rcDevice / "uevent");
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(Key)) {
            return line.substr(Key.size());
        }
    }
    return {};
}

} // namespace

bool IsLircPortName(std::string_view name) {
    const size_t slash = name.rfind('/');
    return LircNumber(slash == std::string_view::npos ? name : name.substr(slash + 1)).has_value();
}

std::vector<std::string> EnumLircPorts(const fs::path& rcClass) {
    std::vector<std::pair<unsigned, std::string>> found;
    try {
        std::error_code ec;
        for (fs::directory_iterator rc(rcClass, ec); !ec && rc != fs::directory_iterator();
             rc.increment(ec)) {
            std::error_code inner;
            for (fs::directory_iterator it(rc->path(), inner);
                 !inner && it != fs::directory_iterator(); it.increment(inner)) {
                std::string name = it->path().filename().string();
                if (const auto number = LircNumber(name)) {
                    found.emplace_back(*number, std::move(name));
                }
            }
        }
    } catch (...) {
        return {}; // out of memory: no LIRC devices listed
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& entry : found) {
        names.push_back(std::move(entry.second));
    }
    return names;
}

std::string LircDriverName(std::string_view name, const fs::path& rcClass) {
    const fs::path kernelName = fs::path(name).filename();
    try {
        const std::optional<fs::path> rcDevice = RcDeviceOf(kernelName.string(), rcClass);
        if (!rcDevice) {
            return {};
        }
        std::string driver = UeventDriver(*rcDevice);
        if (driver.empty()) {
            std::error_code ec;
            driver = fs::read_symlink(*rcDevice / "device" / "driver", ec).filename().string();
        }
        return driver;
    } catch (...) {
        return {};
    }
}

std::string LircPortLabel(std::string_view name, const fs::path& rcClass) {
    const std::string kernelName = fs::path(name).filename().string();
    const std::string driver = LircDriverName(kernelName, rcClass);
    return driver.empty() ? kernelName : kernelName + " — " + driver;
}

} // namespace serial

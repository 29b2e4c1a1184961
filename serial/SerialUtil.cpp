#include "serial/SerialUtil.h"

#include <cstring>
#include <ctime>

namespace serial {

std::ptrdiff_t FindLineEnd(std::string_view text, std::string_view& lineEnd) {
    const std::size_t pos = text.find_first_of("\r\n");
    if (pos == std::string_view::npos) {
        lineEnd = {};
        return -1;
    }
    const char first = text[pos];
    const bool pairFollows = pos + 1 < text.size() && text[pos + 1] != first &&
                             (text[pos + 1] == '\r' || text[pos + 1] == '\n');
    if (pairFollows) {
        lineEnd = first == '\r' ? std::string_view("\r\n") : std::string_view("\n\r");
    } else {
        lineEnd = first == '\r' ? std::string_view("\r") : std::string_view("\n");
    }
    return static_cast<std::ptrdiff_t>(pos);
}

std::uint32_t MillisecondTick() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000u;
    return static_cast<std::uint32_t>(ms);
}

namespace {

// glibc offers either strerror_r flavour depending on feature macros; accept both.
[[maybe_unused]] const char* PickText(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* PickText(const char* result, const char*) {
    return result;
}

} // namespace

std::string OsErrorText(int errorNumber) {
    char buffer[256] = {};
    const char* raw = PickText(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
    std::string text =
        raw != nullptr ? std::string(raw) : "Unknown error " + std::to_string(errorNumber);
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.pop_back();
    }
    if (text.size() > 255) {
        text.resize(255);
    }
    return text;
}

} // namespace serial

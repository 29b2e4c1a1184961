#include "serial/PortHolders.h"

#include <algorithm>
#include <charconv>
#include <fstream>

namespace serial {
namespace {

namespace fs = std::filesystem;

bool ParsePid(const std::string& text, int& pid) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, pid);
    return error == std::errc() && stop == end && pid > 0;
}

bool HasOpen(const fs::path& processDir, const fs::path& device) {
    std::error_code ec;
    for (fs::directory_iterator it(processDir / "fd", ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        std::error_code linkError;
        if (fs::read_symlink(it->path(), linkError) == device && !linkError) {
            return true;
        }
    }
    return false;
}

std::string CommandOf(const fs::path& processDir) {
    std::ifstream in(processDir / "comm");
    std::string command;
    std::getline(in, command);
    return command;
}

} // namespace

std::vector<TPortHolder> FindPortHolders(const std::filesystem::path& devicePath,
                                         const std::filesystem::path& procRoot) {
    std::vector<TPortHolder> holders;
    std::error_code ec;
    const fs::path device = fs::weakly_canonical(devicePath, ec);
    if (ec || device.empty()) {
        return holders;
    }
    for (fs::directory_iterator it(procRoot, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        int pid = 0;
        if (ParsePid(it->path().filename().string(), pid) && HasOpen(it->path(), device)) {
            holders.push_back({pid, CommandOf(it->path())});
        }
    }
    std::sort(holders.begin(), holders.end(),
              [](const TPortHolder& a, const TPortHolder& b) { return a.Pid < b.Pid; });
    return holders;
}

} // namespace serial

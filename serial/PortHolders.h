#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace serial {

// A process that has a device open.
struct TPortHolder {
    int Pid = 0;
    std::string Command; // the process's name as the kernel keeps it ("minicom")

    friend bool operator==(const TPortHolder&, const TPortHolder&) = default;
};

// The processes that hold `devicePath` open, found the way fuser finds them: through the
// descriptor links under `procRoot`/<pid>/fd, in pid order. A symbolic link in `devicePath` is
// followed first, since the descriptors name the device itself. Processes whose descriptors this
// user may not read are not seen; nothing is reported when the tree cannot be read.
std::vector<TPortHolder> FindPortHolders(const std::filesystem::path& devicePath,
                                         const std::filesystem::path& procRoot = "/proc");

} // namespace serial

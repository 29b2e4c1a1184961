#include "frame/FrameFile.h"

#include "frame/Pulses.h"
#include "frame/TextFields.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace frame {

namespace {

std::string ErrorText(std::string_view action, const std::string& path, int error) {
    return std::string(action) + " \"" + path + "\". " + std::generic_category().message(error);
}

[[noreturn]] void ThrowCreateError(const std::string& path, int error) {
    throw FileError(ErrorText("Cannot create file", path, error));
}

[[noreturn]] void ThrowOpenError(const std::string& path, int error) {
    throw FileError(ErrorText("Cannot open file", path, error));
}

// Owns one file descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Closes now so that the result can be checked; returns 0 or an errno value.
    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

// Removes the temporary file unless the save went through.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    void Set(std::string path) { path_ = std::move(path); }
    const std::string& Path() const { return path_; }
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

// The file the save really replaces: the target of a symbolic link, so the link itself survives.
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a fresh file beside the target; the name is unique within this process and O_EXCL
// guards against anything else that happens to use it.
Descriptor CreateTemporary(const std::string& folder, TemporaryFile& temporary) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "/.dekoder-" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter.fetch_add(1)) + ".tmp";
        Descriptor fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.Valid()) {
            temporary.Set(std::move(name));
            return fd;
        }
        if (errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return Descriptor(-1);
}

// Returns 0 or an errno value.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return 0;
}

void ClearNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
}

void SyncFolder(const std::string& folder) {
    // Makes the rename itself durable; a folder that cannot be synced does not undo the save.
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) {
        ::fsync(fd.Get());
    }
}

// Writes into the existing file itself. A regular file is synced so that a reported success is
// on disk; a device or a pipe has nothing to sync.
void WriteInPlace(const std::string& path, const std::string& target, std::string_view text) {
    // Non-blocking only for the open itself, so a pipe nobody reads fails instead of hanging.
    Descriptor fd(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        ThrowCreateError(path, errno);
    }
    ClearNonBlocking(fd.Get());
    if (const int error = WriteAll(fd.Get(), text)) {
        ThrowCreateError(path, error);
    }
    struct stat written {};
    if (::fstat(fd.Get(), &written) == 0 && S_ISREG(written.st_mode) && ::fsync(fd.Get()) != 0) {
        ThrowCreateError(path, errno);
    }
    if (const int error = fd.Close()) {
        ThrowCreateError(path, error);
    }
}

// The folder refuses new files (no write permission, a read-only mount) while the file itself
// may still be writable.
bool FolderRefusesFiles(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// Returns the next line and moves `rest` past its line end (CR LF, LF or CR).
std::string_view NextLine(std::string_view& rest) {
    const auto end = rest.find_first_of("\r\n");
    if (end == std::string_view::npos) {
        const std::string_view line = rest;
        rest = {};
        return line;
    }
    const std::string_view line = rest.substr(0, end);
    const bool crlf = rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n';
    rest.remove_prefix(end + (crlf ? 2 : 1));
    return line;
}

std::optional<int32_t> LineValue(std::string_view line) {
    const auto first = line.find_first_not_of(' ');
    return ParseInt32(first == std::string_view::npos ? std::string_view{} : line.substr(first));
}

// The reader cannot tell a line that is not a number from one holding -1: both end the durations.
constexpr int32_t StopValue = -1;

} // namespace

std::string FrameFileText(const PulseFrame& frame) {
    std::string text = std::to_string(frame.Mode) + "\r\n";
    for (const int32_t d : Pulses(frame)) {
        text += std::to_string(d);
        text += "\r\n";
    }
    return text;
}

void WriteFrameFile(const std::string& path, const PulseFrame& frame) {
    WriteFileAtomically(path, FrameFileText(frame));
}

void WriteFileAtomically(const std::string& path, std::string_view text) {
    const std::string target = ResolveTarget(path);

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode)) {
        // A device or a pipe cannot be replaced by a file; it is written as it is.
        WriteInPlace(path, target, text);
        return;
    }
    // Replacing goes through the folder, so a file its owner protected from writing would be
    // replaced anyway; refuse it as writing into it would be refused.
    if (exists && S_ISREG(existing.st_mode) && ::access(target.c_str(), W_OK) != 0) {
        ThrowCreateError(path, errno);
    }

    const std::string folder = FolderOf(target);
    TemporaryFile temporary;
    Descriptor fd = CreateTemporary(folder, temporary);
    if (!fd.Valid()) {
        const int error = errno;
        // A writable file in a folder the user may not add files to is still replaced, by
        // writing into it; only the safety of the side file is lost.
        if (exists && S_ISREG(existing.st_mode) && FolderRefusesFiles(error)) {
            WriteInPlace(path, target, text);
            return;
        }
        ThrowCreateError(path, error);
    }
    // A replaced file keeps its permissions.
    if (exists && S_ISREG(existing.st_mode)) {
        ::fchmod(fd.Get(), existing.st_mode & 07777);
    }
    if (const int error = WriteAll(fd.Get(), text)) {
        ThrowCreateError(path, error);
    }
    if (::fsync(fd.Get()) != 0) {
        ThrowCreateError(path, errno);
    }
    if (const int error = fd.Close()) {
        ThrowCreateError(path, error);
    }
    if (::rename(temporary.Path().c_str(), target.c_str()) != 0) {
        ThrowCreateError(path, errno);
    }
    temporary.Keep();
    SyncFolder(folder);
}

std::optional<LoadedFrame> ParseFrameFile(std::string_view bytes) {
    if (bytes.size() > FrameFileSizeLimit) {
        return std::nullopt;
    }
    if (bytes.empty()) {
        return std::nullopt;
    }

    LoadedFrame loaded;
    std::string_view rest = bytes;
    loaded.Mode = LineValue(NextLine(rest)).value_or(0);

    while (!rest.empty()) {
        const auto value = LineValue(NextLine(rest));
        if (!value || *value == StopValue) {
            return std::nullopt;
        }
        if (loaded.Durations.size() == static_cast<size_t>(FrameCapacity)) {
            return std::nullopt;
        }
        loaded.Durations.push_back(*value);
    }

    // A file without a single duration never comes from a save (an empty frame is not saved);
    // taking it would only throw the current frame away.
    if (loaded.Durations.empty() || loaded.Durations.back() < 0) {
        return std::nullopt;
    }
    return loaded;
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit) {
    // Non-blocking for the open itself, so a pipe without a writer cannot hang the program; a
    // terminal chosen by mistake must not become the program's controlling terminal either.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.Valid()) {
        ThrowOpenError(path, errno);
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        ThrowOpenError(path, errno);
    }
    if (S_ISDIR(st.st_mode)) {
        ThrowOpenError(path, EISDIR);
    }
    // A pipe or a device may never end, or block on the first read.
    if (!S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    ClearNonBlocking(fd.Get());

    // Reading stops one byte beyond the limit: that is enough to know the file is too large.
    std::string bytes;
    char chunk[16 * 1024];
    while (bytes.size() <= limit) {
        const size_t wanted = std::min(sizeof chunk, limit + 1 - bytes.size());
        const ssize_t got = ::read(fd.Get(), chunk, wanted);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowOpenError(path, errno);
        }
        if (got == 0) {
            break;
        }
        bytes.append(chunk, static_cast<size_t>(got));
    }
    return bytes;
}

std::optional<LoadedFrame> ReadFrameFile(const std::string& path) {
    const std::optional<std::string> bytes = ReadRegularFile(path, FrameFileSizeLimit);
    if (!bytes) {
        return std::nullopt;
    }
    return ParseFrameFile(*bytes);
}

} // namespace frame

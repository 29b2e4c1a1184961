#pragma once

#include "frame/FrameEvents.h"
#include "frame/PulseFrame.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace frame {

// A file that could not be created, written, opened or read. The text is ready for the user:
// Cannot create file "<path>". <reason>   or   Cannot open file "<path>". <reason>
// where the reason is the system's text for the error.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A frame as read from a file: the display mode of its first line and its durations; the carrier
// where the file's format keeps one (the frame file does not).
struct LoadedFrame {
    int32_t Mode = 0;
    std::vector<int32_t> Durations;
    std::optional<SignalCarrier> Carrier;
};

// Largest frame file that is read. A file this program writes is at most about 4 KiB (302 lines of
// at most 13 bytes); the reader also allows leading blanks and zeros, so the bound leaves ample
// room for hand-edited files while a huge or endless file (a device, a pipe) is never read whole.
// Larger files are rejected.
inline constexpr std::size_t FrameFileSizeLimit = 256 * 1024;

// The file's bytes: the mode, then each valid duration, every line ended by CR LF.
std::string FrameFileText(const PulseFrame& frame);

// Writes `bytes` to `path`, replacing any file there only once the new one is complete on disk:
// a failed or interrupted save leaves an existing file as it was. A replaced file keeps its
// permissions, a file the caller may not write is refused, a symbolic link is written through, and
// a device or a pipe is written in place (a pipe without a reader fails rather than blocks). A
// writable file in a folder that refuses new files is written in place too, without that safety.
// Throws FileError ("Cannot create file ...") on any failure.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Writes the frame file (FrameFileText) with WriteFileAtomically's guarantees and errors.
void WriteFrameFile(const std::string& path, const PulseFrame& frame);

// Reads a frame file's bytes; nullopt when the file is rejected. Lines may end in CR LF, LF or CR.
// Every line is a signed 32-bit number (leading blanks allowed, see ParseInt32); a first line that
// is not one gives mode 0. The durations are read from the second line on; the file is rejected
// when a duration line is not a number or is -1, when the last duration is negative, when it holds
// no duration line at all, when it holds more durations than a frame can, or when it is larger than
// FrameFileSizeLimit.
std::optional<LoadedFrame> ParseFrameFile(std::string_view bytes);

// Reads the regular file at `path`: at most `limit` + 1 bytes, so the caller can tell a file that
// is too large. The open never blocks and only a regular file is read, so a pipe without a writer
// or a device (a terminal, /dev/lirc0) cannot hang the caller: anything else gives nullopt. Throws
// FileError ("Cannot open file ...") when the file cannot be opened or read, or is a folder.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit);

// Reads and parses the file at `path` (ReadRegularFile). Throws FileError ("Cannot open file ...")
// when it cannot be opened or read; nullopt when it is rejected or is not a regular file.
std::optional<LoadedFrame> ReadFrameFile(const std::string& path);

} // namespace frame

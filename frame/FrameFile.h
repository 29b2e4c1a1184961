#pragma once

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

// A frame as read from a file: the display mode of its first line and its durations.
struct LoadedFrame {
    int32_t Mode = 0;
    std::vector<int32_t> Durations;
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
// a device or a pipe is written in place (a pipe without a reader fails rather than blocks).
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

// Reads and parses the file at `path`. Throws FileError ("Cannot open file ...") when it cannot be
// opened or read; nullopt when it is rejected.
std::optional<LoadedFrame> ReadFrameFile(const std::string& path);

} // namespace frame

#include "analysis/Formats.h"

// Placeholder until the readers and writers land.
namespace analysis::formats {

FormatError::FormatError(int line, const std::string& what)
    : std::runtime_error("line " + std::to_string(line) + ": " + what), line_(line) {}

std::vector<Signal> Read(Format, std::string_view) {
    throw FormatError(1, "not supported yet");
}

std::string Write(Format, std::span<const Signal>) {
    throw FormatError(0, "not supported yet");
}

std::optional<Format> FormatFromName(std::string_view) {
    return std::nullopt;
}

} // namespace analysis::formats

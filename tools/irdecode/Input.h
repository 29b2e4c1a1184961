#pragma once

// How irdecode reads a signal from one line of text.

#include "analysis/Analysis.h"

#include <stdexcept>
#include <string_view>

namespace irdecode {

// A line that is not a signal; the text says why and is ready for the user.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The durations of one line: numbers separated by commas and/or blanks, signs ignored; or a frame
// line as the device sends it (its signature, then the durations, read as the program reads them).
// An empty line is an empty signal. Throws InputError.
analysis::Durations ParseSignalLine(std::string_view line);

} // namespace irdecode

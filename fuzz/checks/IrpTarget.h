#pragma once

// The IRP notation engine under arbitrary protocol text.

#include <string_view>

namespace analysis::fuzz {

// The input is IRP text. Compiling must give a protocol or a ParseError inside the text, never a
// crash or an exception; a protocol keeps its text, and where it renders with its parameters at
// their lowest (defaults where given) the durations are positive and mark-first, and decoding
// them finds matches that lie inside the signal with one window per duration they cover.
// Throws frame::fuzz::CheckFailure.
void CheckIrp(std::string_view input);

} // namespace analysis::fuzz

#pragma once

// The renderers of the remotes that take IRP parameters (Remote::Nec1 onwards).

#include "tools/irsim/Remotes.h"

namespace irsim {

// The nominal frame and its repeats; parameters cut to the remote's widths.
Durations IrpFrame(const RemoteCode& code);

} // namespace irsim

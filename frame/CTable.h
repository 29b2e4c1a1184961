#pragma once

#include "frame/PulseFrame.h"

#include <string>

namespace frame {

// The frame's durations as a C array definition in program memory, for firmware work:
// "uint16_t tab[n] PROGMEM = { ", then the values separated by commas with CR LF TAB before the
// first value and before every fifth one after it (never before the last value), then " \r\n};".
// Values are written as stored, even negative or above 65535. An empty frame gives the header and
// the closing text with no value between them.
std::string CTableText(const PulseFrame& frame);

} // namespace frame

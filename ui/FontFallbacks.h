#pragma once

namespace ui {

// Maps the fonts the windows are designed with (Tahoma, Verdana, Bookman Old Style, Arial,
// Courier New) to close relatives that a Linux desktop has, for when the named ones are missing.
// Safe to call more than once.
void InstallFontFallbacks();

} // namespace ui

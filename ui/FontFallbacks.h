#pragma once

class QWidget;

namespace ui {

// Maps the fonts the windows are designed with (Tahoma, Verdana, Bookman Old Style, Arial,
// Courier New) to close relatives that a Linux desktop has, for when the named ones are missing.
// Safe to call more than once.
void InstallFontFallbacks();

// A relative is often wider than the font it stands in for, and the designed controls have fixed
// widths. Gives `window` and each of its controls whose font is of a missing family the size at
// which the relative standing in fits the designed texts into their controls. Call once, right
// after the controls are made from the window's description.
void FitFallbackFonts(QWidget& window);

} // namespace ui

#pragma once

namespace testsupport {

// Shows the window tests the project's own font configuration (the DejaVu core faces only, drawn
// alike everywhere) instead of the machine's. Call before the application object is made.
void PinFonts();

} // namespace testsupport

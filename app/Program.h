#pragma once

#include "ui/Unit1.h"

#include <functional>

namespace ui {
class TForm2;
}

namespace app {

// Called once both windows exist, before the event loop starts (tests and the screenshot tool
// drive the windows from here).
using ProgramStarted = std::function<void(ui::TForm1& Form1, ui::TForm2& Form2)>;

// The program on an existing application object: creates Form1, then Form2 hidden, shows Form1,
// runs the event loop until Form1 has closed, and destroys Form2 before Form1. Returns the loop's
// exit code.
int RunProgram(ui::TForm1Seams seams = {}, const ProgramStarted& started = {});

} // namespace app

#include "app/Program.h"

#include "ui/frmCodeCu.h"

#include <QApplication>

#include <memory>

namespace app {

int RunProgram(ui::TForm1Seams seams, const ProgramStarted& started) {
    auto Form1 = std::make_unique<ui::TForm1>(std::move(seams));
    auto Form2 = std::make_unique<ui::TForm2>();
    Form1->SetForm2(Form2.get());
    // Only the main window's closing ends the program.
    Form2->setAttribute(Qt::WA_QuitOnClose, false);
    if (started) {
        started(*Form1, *Form2);
    }
    Form1->show();
    const int exitCode = QApplication::exec();
    Form2.reset();
    Form1.reset();
    return exitCode;
}

} // namespace app

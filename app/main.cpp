#include "app/DekoderApplication.h"
#include "app/Program.h"

// The program reads no command line of its own.
int main(int argc, char** argv) {
    app::DekoderApplication application(argc, argv);
    return app::RunProgram();
}

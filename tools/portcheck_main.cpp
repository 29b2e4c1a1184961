// portcheck: opens a serial port the way the program does and, when that fails, says why in the
// window's words. Scripts run it before handing a port to another program (scripts/flash.sh),
// so the user reads the same cause in both places.
//
//   portcheck PORT    prints the device's path and ends with 0 when the port can be used;
//                     prints the cause to standard error and ends with 1 when it cannot.

#include "serial/PortHints.h"
#include "serial/SerialLine.h"

#include <iostream>
#include <string_view>

int main(int argc, char** argv) {
    if (argc != 2 || std::string_view(argv[1]).empty() || argv[1][0] == '-') {
        std::cerr << "usage: portcheck PORT   (ttyUSB0, /dev/ttyACM0, COM1)\n";
        return 2;
    }
    serial::TSerialLine line;
    line.OpenPort(argv[1]);
    if (!line.PortOpen()) {
        std::cerr << serial::PortErrorHint(line.DevicePath(), line.LastErrorCode(),
                                           line.LastErrorText())
                  << '\n';
        return 1;
    }
    std::cout << line.DevicePath() << '\n';
    return 0;
}

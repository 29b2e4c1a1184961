#include "avr/Hardware.h"
#include "src/Device.h"

#include <avr/interrupt.h>
#include <avr/wdt.h>

// After a watchdog reset the watchdog stays on with its shortest period: switch it off before the
// C++ start-up code runs, or the device would reset forever.
extern "C" void DisableWatchdogAtStart() __attribute__((naked, used, section(".init3")));
extern "C" void DisableWatchdogAtStart() {
    MCUSR = 0;
    wdt_disable();
}

namespace {
fw::Device device;
}

int main() {
    HardwareSetup();
    // The main loop never waits, so a pass takes microseconds; a hang resets the device.
    wdt_enable(WDTO_250MS);
    sei();
    for (;;) {
        wdt_reset();
        device.Run();
    }
}

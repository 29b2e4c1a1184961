#pragma once

// Sets up the pins, timers and the UART; interrupts are enabled by the caller.
void HardwareSetup();

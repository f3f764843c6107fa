#pragma once
// The serial ioctls that need the kernel's own termios definitions. They live in their own
// translation unit: <asm/termbits.h> and the C library's <termios.h> define the same names.

#include <cstdint>

namespace quillon_tty {

struct BaudResult {
    int error = 0;        // errno of the failed ioctl, 0 when both succeeded
    uint32_t actual = 0;  // output rate the port reports after the change
};

// Sets input and output rate to exactly `baud` (termios2, BOTHER) and reads back what the port
// took.
BaudResult SetExactBaud(int fd, uint32_t baud);

// Asks the driver for its lowest latency (ASYNC_LOW_LATENCY); false when the port has no such
// setting.
bool RequestLowLatency(int fd);

}  // namespace quillon_tty

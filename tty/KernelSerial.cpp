#include "KernelSerial.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace quillon_tty {

BaudResult SetExactBaud(int fd, uint32_t baud)
{
    BaudResult result;
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        result.error = errno;
        return result;
    }
    t.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0) {
        result.error = errno;
        return result;
    }
    // A driver that cannot make the rate falls back to another one and says so in the settings.
    struct termios2 now {};
    if (ioctl(fd, TCGETS2, &now) != 0) {
        result.error = errno;
        return result;
    }
    result.actual = now.c_ospeed;
    return result;
}

bool RequestLowLatency(int fd)
{
    struct serial_struct serial {};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return false;
    if (serial.flags & ASYNC_LOW_LATENCY)
        return true;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

}  // namespace quillon_tty

#pragma once
/* The D2XX functions of the kernel serial backend (libquillon-tty.so), with the Linux ABI the
 * utility binds: DWORD and ULONG are 32-bit unsigned, FT_STATUS is 32-bit unsigned, FT_HANDLE is
 * an opaque pointer.
 *
 * Devices are the USB serial ports the kernel lists under <sysfs>/class/tty whose USB device has
 * idVendor 0403: the description is the USB product string, the serial number the USB serial
 * string. Device numbers follow the serial number, then the USB interface, then the port name
 * (ttyUSB2 before ttyUSB10). The device node is <dev>/<port name>.
 *   QUILLON_TTY_SYSFS_ROOT  stands for /sys (default "/sys")
 *   QUILLON_TTY_DEV_ROOT    stands for /dev (default "/dev"); a node there may be a symbolic link,
 *                           e.g. to a pseudo-terminal
 * Both are read at every listing and open.
 *
 * Statuses: 0 OK, 1 invalid handle (unknown or closed), 2 device not found, 3 device not opened
 * (the node cannot be opened or is not a serial port; the reason goes to stderr), 4 I/O error
 * (the device is gone: every later call on the handle but FT_Close gives it), 6 invalid
 * parameter, 7 invalid baud rate (the port refuses the rate; the reason goes to stderr).
 * FT_ListDevices and time-outs behave as the simulator's header describes. FT_SetLatencyTimer
 * writes the port's sysfs latency_timer, or asks for low latency through TIOCSSERIAL, and never
 * fails for it; FT_SetUSBParameters changes nothing. One handle may be used by two threads at a
 * time (one writing, one reading); FT_Close wakes a read or write that waits on the handle.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t QTTY_DWORD;
typedef uint32_t QTTY_ULONG;
typedef uint32_t QTTY_FT_STATUS;
typedef void* QTTY_FT_HANDLE;

enum {
    QTTY_FT_OK = 0,
    QTTY_FT_INVALID_HANDLE = 1,
    QTTY_FT_DEVICE_NOT_FOUND = 2,
    QTTY_FT_DEVICE_NOT_OPENED = 3,
    QTTY_FT_IO_ERROR = 4,
    QTTY_FT_INVALID_PARAMETER = 6,
    QTTY_FT_INVALID_BAUD_RATE = 7,
};

#define QTTY_FT_OPEN_BY_SERIAL_NUMBER 1u
#define QTTY_FT_OPEN_BY_DESCRIPTION 2u
#define QTTY_FT_LIST_NUMBER_ONLY 0x80000000u
#define QTTY_FT_LIST_BY_INDEX 0x40000000u
#define QTTY_FT_LIST_ALL 0x20000000u
#define QTTY_FT_PURGE_RX 1u
#define QTTY_FT_PURGE_TX 2u

QTTY_FT_STATUS FT_Open(int deviceNumber, QTTY_FT_HANDLE* handle);
QTTY_FT_STATUS FT_OpenEx(void* arg, QTTY_DWORD flags, QTTY_FT_HANDLE* handle);
QTTY_FT_STATUS FT_ListDevices(void* arg1, void* arg2, QTTY_DWORD flags);
QTTY_FT_STATUS FT_Close(QTTY_FT_HANDLE h);
QTTY_FT_STATUS FT_Read(QTTY_FT_HANDLE h, void* buf, QTTY_DWORD toRead, QTTY_DWORD* got);
QTTY_FT_STATUS FT_Write(QTTY_FT_HANDLE h, void* buf, QTTY_DWORD toWrite, QTTY_DWORD* written);
QTTY_FT_STATUS FT_SetTimeouts(QTTY_FT_HANDLE h, QTTY_ULONG readMs, QTTY_ULONG writeMs);
QTTY_FT_STATUS FT_ResetDevice(QTTY_FT_HANDLE h);
QTTY_FT_STATUS FT_Purge(QTTY_FT_HANDLE h, QTTY_ULONG mask);
QTTY_FT_STATUS FT_GetQueueStatus(QTTY_FT_HANDLE h, QTTY_DWORD* rxBytes);
QTTY_FT_STATUS FT_SetBaudRate(QTTY_FT_HANDLE h, QTTY_ULONG baud);
QTTY_FT_STATUS FT_SetLatencyTimer(QTTY_FT_HANDLE h, unsigned char ms);
QTTY_FT_STATUS FT_SetUSBParameters(QTTY_FT_HANDLE h, QTTY_ULONG inSize, QTTY_ULONG outSize);

#ifdef __cplusplus
}
#endif

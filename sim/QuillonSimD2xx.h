#pragma once
/* The D2XX functions the simulator exports, with the Linux ABI of the vendor library (no vendor
 * header is used): DWORD and ULONG are 32-bit unsigned, FT_STATUS is 32-bit unsigned, FT_HANDLE
 * is an opaque pointer. Only the simulator and its tests include this. */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t QSIM_DWORD;
typedef uint32_t QSIM_ULONG;
typedef uint32_t QSIM_FT_STATUS;
typedef void* QSIM_FT_HANDLE;

enum {
    QSIM_FT_OK = 0,
    QSIM_FT_INVALID_HANDLE = 1,
    QSIM_FT_DEVICE_NOT_FOUND = 2,
    QSIM_FT_DEVICE_NOT_OPENED = 3,
    QSIM_FT_IO_ERROR = 4,
    QSIM_FT_INVALID_PARAMETER = 6,
    QSIM_FT_OTHER_ERROR = 18,
};

#define QSIM_FT_OPEN_BY_SERIAL_NUMBER 1u
#define QSIM_FT_OPEN_BY_DESCRIPTION 2u
#define QSIM_FT_LIST_NUMBER_ONLY 0x80000000u
#define QSIM_FT_LIST_BY_INDEX 0x40000000u
#define QSIM_FT_LIST_ALL 0x20000000u
#define QSIM_FT_PURGE_RX 1u
#define QSIM_FT_PURGE_TX 2u

QSIM_FT_STATUS FT_Open(int deviceNumber, QSIM_FT_HANDLE* handle);
QSIM_FT_STATUS FT_OpenEx(void* arg, QSIM_DWORD flags, QSIM_FT_HANDLE* handle);
QSIM_FT_STATUS FT_ListDevices(void* arg1, void* arg2, QSIM_DWORD flags);
QSIM_FT_STATUS FT_Close(QSIM_FT_HANDLE h);
QSIM_FT_STATUS FT_Read(QSIM_FT_HANDLE h, void* buf, QSIM_DWORD toRead, QSIM_DWORD* got);
QSIM_FT_STATUS FT_Write(QSIM_FT_HANDLE h, void* buf, QSIM_DWORD toWrite, QSIM_DWORD* written);
QSIM_FT_STATUS FT_SetTimeouts(QSIM_FT_HANDLE h, QSIM_ULONG readMs, QSIM_ULONG writeMs);
QSIM_FT_STATUS FT_ResetDevice(QSIM_FT_HANDLE h);
QSIM_FT_STATUS FT_Purge(QSIM_FT_HANDLE h, QSIM_ULONG mask);
QSIM_FT_STATUS FT_GetQueueStatus(QSIM_FT_HANDLE h, QSIM_DWORD* rxBytes);
QSIM_FT_STATUS FT_SetBaudRate(QSIM_FT_HANDLE h, QSIM_ULONG baud);
QSIM_FT_STATUS FT_SetLatencyTimer(QSIM_FT_HANDLE h, unsigned char ms);
QSIM_FT_STATUS FT_SetUSBParameters(QSIM_FT_HANDLE h, QSIM_ULONG inSize, QSIM_ULONG outSize);

#ifdef __cplusplus
}
#endif

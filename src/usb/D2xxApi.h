#pragma once
// The D2XX driver interface as this program binds it at run time. No vendor header is used: the
// types and the thirteen entry points are declared here with the ABI of the Linux library.

#include <cstdint>

using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using FT_STATUS = std::uint32_t;
using FT_HANDLE = void*;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;

inline constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
inline constexpr DWORD FT_LIST_ALL = 0x20000000;

inline constexpr ULONG FT_PURGE_RX = 1;

using FT_OpenFn = FT_STATUS (*)(int deviceNumber, FT_HANDLE* handle);
using FT_OpenExFn = FT_STATUS (*)(void* arg, DWORD flags, FT_HANDLE* handle);
using FT_ListDevicesFn = FT_STATUS (*)(void* arg1, void* arg2, DWORD flags);
using FT_CloseFn = FT_STATUS (*)(FT_HANDLE h);
using FT_WriteFn = FT_STATUS (*)(FT_HANDLE h, void* buf, DWORD toWrite, DWORD* written);
using FT_ReadFn = FT_STATUS (*)(FT_HANDLE h, void* buf, DWORD toRead, DWORD* got);
using FT_SetTimeoutsFn = FT_STATUS (*)(FT_HANDLE h, ULONG readMs, ULONG writeMs);
using FT_ResetDeviceFn = FT_STATUS (*)(FT_HANDLE h);
using FT_PurgeFn = FT_STATUS (*)(FT_HANDLE h, ULONG mask);
using FT_GetQueueStatusFn = FT_STATUS (*)(FT_HANDLE h, DWORD* rxBytes);
using FT_SetBaudRateFn = FT_STATUS (*)(FT_HANDLE h, ULONG baud);
using FT_SetLatencyTimerFn = FT_STATUS (*)(FT_HANDLE h, unsigned char ms);
using FT_SetUSBParametersFn = FT_STATUS (*)(FT_HANDLE h, ULONG inSize, ULONG outSize);

#include "ListingDriver.h"

#include <malloc.h>

#include <cstdio>
#include <cstring>

#include "usb/D2xxApi.h"

namespace {
ListingScript g_script{};
ListingSeen g_seen{};

// Names differ by method so that a test sees which one was asked for.
void NameOf(uint32_t index, DWORD flags, char* buffer)
{
    std::snprintf(buffer, 64, "%s %u", (flags & FT_OPEN_BY_SERIAL_NUMBER) ? "SN" : "Desc", index);
}
}  // namespace

extern "C" {

void ListingDriver_Set(ListingScript script)
{
    g_script = script;
    g_seen = {};
}

ListingSeen ListingDriver_Seen(void)
{
    return g_seen;
}

FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags)
{
    if (flags & FT_LIST_NUMBER_ONLY) {
        *static_cast<DWORD*>(arg1) = g_script.counted;
        return FT_OK;
    }
    g_seen.flags = flags;
    // A real driver walks the array up to its NULL entry. The walk stays inside the array's heap
    // block (the binding allocates it), so an array without its NULL is a clean failure here
    // rather than a write through whatever lies behind it.
    char** buffers = static_cast<char**>(arg1);
    const size_t slots = malloc_usable_size(buffers) / sizeof(char*);
    uint32_t n = 0;
    while (n < slots && buffers[n] != nullptr) ++n;
    g_seen.buffers = n;
    g_seen.terminated = n < slots;
    if (!g_seen.terminated)
        return FT_IO_ERROR;
    if (g_script.listStatus != FT_OK)
        return g_script.listStatus;
    uint32_t filled = 0;
    while (filled < n && filled < g_script.present && filled < g_script.fillAtMost) {
        NameOf(filled, flags, buffers[filled]);
        ++filled;
    }
    if (arg2)
        *static_cast<DWORD*>(arg2) =
            g_script.claimListed < 0 ? filled : static_cast<DWORD>(g_script.claimListed);
    return FT_OK;
}

// The rest exist so that the binding loads the library; nothing is ever attached to them.
FT_STATUS FT_Open(int, FT_HANDLE*)
{
    return FT_DEVICE_NOT_OPENED;
}
FT_STATUS FT_OpenEx(void*, DWORD, FT_HANDLE*)
{
    return FT_DEVICE_NOT_OPENED;
}
FT_STATUS FT_Close(FT_HANDLE)
{
    return FT_INVALID_HANDLE;
}
FT_STATUS FT_Write(FT_HANDLE, void*, DWORD, DWORD*)
{
    return FT_INVALID_HANDLE;
}
FT_STATUS FT_Read(FT_HANDLE, void*, DWORD, DWORD*)
{
    return FT_INVALID_HANDLE;
}
FT_STATUS FT_SetTimeouts(FT_HANDLE, ULONG, ULONG)
{
    return FT_INVALID_HANDLE;
}
FT_STATUS FT_ResetDevice(FT_HANDLE)
{
    return FT_INVALID_HANDLE;
}
FT_STATUS FT_Purge(FT_HANDLE, ULONG)
{
    return FT_INVALID_HANDLE;
}
FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD*)
{
    return FT_INVALID_HANDLE;
}
FT_STATUS FT_SetBaudRate(FT_HANDLE, ULONG)
{
    return FT_INVALID_HANDLE;
}
FT_STATUS FT_SetLatencyTimer(FT_HANDLE, unsigned char)
{
    return FT_INVALID_HANDLE;
}
FT_STATUS FT_SetUSBParameters(FT_HANDLE, ULONG, ULONG)
{
    return FT_INVALID_HANDLE;
}
}

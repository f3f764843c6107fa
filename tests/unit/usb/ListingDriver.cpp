#include "ListingDriver.h"

#include <malloc.h>

#include <cstdio>

#include "usb/D2xxApi.h"

namespace {
ListingScript g_script{};
ListingSeen g_seen{};
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
    // A real driver walks the array up to its NULL entry; this walk stays inside the array's heap
    // block, so an array without its NULL fails cleanly instead of writing past it.
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
    for (; filled < n && filled < g_script.present && filled < g_script.fillAtMost; ++filled) {
        // Names differ by method so that a test sees which one was asked for.
        std::snprintf(buffers[filled], 64, "%s %u",
                      (flags & FT_OPEN_BY_SERIAL_NUMBER) ? "SN" : "Desc", filled);
    }
    if (arg2)
        *static_cast<DWORD*>(arg2) =
            g_script.claimListed < 0 ? filled : static_cast<DWORD>(g_script.claimListed);
    return FT_OK;
}

// The rest only let the binding load the library; nothing is ever attached to them.
#define LISTING_STUB(name) \
    FT_STATUS name() { return FT_INVALID_HANDLE; }
LISTING_STUB(FT_Open) LISTING_STUB(FT_OpenEx) LISTING_STUB(FT_Close) LISTING_STUB(FT_Write)
LISTING_STUB(FT_Read) LISTING_STUB(FT_SetTimeouts) LISTING_STUB(FT_ResetDevice) LISTING_STUB(FT_Purge)
LISTING_STUB(FT_GetQueueStatus) LISTING_STUB(FT_SetBaudRate) LISTING_STUB(FT_SetLatencyTimer)
LISTING_STUB(FT_SetUSBParameters)
}

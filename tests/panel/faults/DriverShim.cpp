#include "DriverShim.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>

#include "usb/D2xxApi.h"

namespace {

std::atomic<QuillonShimHook> g_hook{nullptr};

// Opening the simulator file the test process already loaded gives the same instance, so the
// test's QuillonSim_ calls steer what the panel sees through this library.
void* Real(const char* name)
{
    static void* const sim = dlopen(QUILLON_SIM_PATH, RTLD_NOW | RTLD_LOCAL);
    void* symbol = sim != nullptr ? dlsym(sim, name) : nullptr;
    if (symbol == nullptr)
        std::abort();
    return symbol;
}

}  // namespace

extern "C" void QuillonShim_SetHook(QuillonShimHook hook)
{
    g_hook.store(hook);
}

// The builds without an entry point hide it with a version script.
#define QUILLON_SHIM(name, params, args)                                  \
    extern "C" FT_STATUS name params                                      \
    {                                                                     \
        if (const QuillonShimHook hook = g_hook.load())                   \
            hook(#name);                                                  \
        static const auto real = reinterpret_cast<name##Fn>(Real(#name)); \
        return real args;                                                 \
    }

QUILLON_SHIM(FT_Open, (int number, FT_HANDLE* handle), (number, handle))
QUILLON_SHIM(FT_OpenEx, (void* arg, DWORD flags, FT_HANDLE* handle), (arg, flags, handle))
QUILLON_SHIM(FT_ListDevices, (void* arg1, void* arg2, DWORD flags), (arg1, arg2, flags))
QUILLON_SHIM(FT_Close, (FT_HANDLE h), (h))
QUILLON_SHIM(FT_Read, (FT_HANDLE h, void* buf, DWORD n, DWORD* got), (h, buf, n, got))
QUILLON_SHIM(FT_Write, (FT_HANDLE h, void* buf, DWORD n, DWORD* written), (h, buf, n, written))
QUILLON_SHIM(FT_SetTimeouts, (FT_HANDLE h, ULONG readMs, ULONG writeMs), (h, readMs, writeMs))
QUILLON_SHIM(FT_ResetDevice, (FT_HANDLE h), (h))
QUILLON_SHIM(FT_Purge, (FT_HANDLE h, ULONG mask), (h, mask))
QUILLON_SHIM(FT_GetQueueStatus, (FT_HANDLE h, DWORD* queued), (h, queued))
QUILLON_SHIM(FT_SetBaudRate, (FT_HANDLE h, ULONG baud), (h, baud))
QUILLON_SHIM(FT_SetLatencyTimer, (FT_HANDLE h, unsigned char ms), (h, ms))
QUILLON_SHIM(FT_SetUSBParameters, (FT_HANDLE h, ULONG in, ULONG out), (h, in, out))

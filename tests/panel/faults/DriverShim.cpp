#include "DriverShim.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "usb/D2xxApi.h"

namespace {

std::atomic<QuillonShimHook> g_hook{nullptr};

// The simulator the test process has already loaded: opening the same file gives the same
// instance, so the test's QuillonSim_ calls steer what the panel sees through this library.
template <typename Fn>
Fn Real(const char* name)
{
    static void* const sim = dlopen(QUILLON_SIM_PATH, RTLD_NOW | RTLD_LOCAL);
    void* symbol = sim != nullptr ? dlsym(sim, name) : nullptr;
    if (symbol == nullptr) {
        std::fprintf(stderr, "driver shim: no %s in %s\n", name, QUILLON_SIM_PATH);
        std::abort();
    }
    return reinterpret_cast<Fn>(symbol);
}

void Hook(const char* name)
{
    if (const QuillonShimHook hook = g_hook.load())
        hook(name);
}

}  // namespace

#define QUILLON_SHIM(name, params, args)                \
    extern "C" FT_STATUS name params                    \
    {                                                   \
        Hook(#name);                                    \
        static const auto real = Real<name##Fn>(#name); \
        return real args;                               \
    }

extern "C" void QuillonShim_SetHook(QuillonShimHook hook)
{
    g_hook.store(hook);
}

#ifndef QUILLON_SHIM_WITHOUT_FT_Open
QUILLON_SHIM(FT_Open, (int number, FT_HANDLE* handle), (number, handle))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_OpenEx
QUILLON_SHIM(FT_OpenEx, (void* arg, DWORD flags, FT_HANDLE* handle), (arg, flags, handle))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_ListDevices
QUILLON_SHIM(FT_ListDevices, (void* arg1, void* arg2, DWORD flags), (arg1, arg2, flags))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_Close
QUILLON_SHIM(FT_Close, (FT_HANDLE h), (h))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_Read
QUILLON_SHIM(FT_Read, (FT_HANDLE h, void* buf, DWORD n, DWORD* got), (h, buf, n, got))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_Write
QUILLON_SHIM(FT_Write, (FT_HANDLE h, void* buf, DWORD n, DWORD* written), (h, buf, n, written))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_SetTimeouts
QUILLON_SHIM(FT_SetTimeouts, (FT_HANDLE h, ULONG readMs, ULONG writeMs), (h, readMs, writeMs))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_ResetDevice
QUILLON_SHIM(FT_ResetDevice, (FT_HANDLE h), (h))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_Purge
QUILLON_SHIM(FT_Purge, (FT_HANDLE h, ULONG mask), (h, mask))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_GetQueueStatus
QUILLON_SHIM(FT_GetQueueStatus, (FT_HANDLE h, DWORD* queued), (h, queued))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_SetBaudRate
QUILLON_SHIM(FT_SetBaudRate, (FT_HANDLE h, ULONG baud), (h, baud))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_SetLatencyTimer
QUILLON_SHIM(FT_SetLatencyTimer, (FT_HANDLE h, unsigned char ms), (h, ms))
#endif
#ifndef QUILLON_SHIM_WITHOUT_FT_SetUSBParameters
QUILLON_SHIM(FT_SetUSBParameters, (FT_HANDLE h, ULONG in, ULONG out), (h, in, out))
#endif

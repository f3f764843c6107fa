#pragma once
// The fault tests' driver library: the thirteen D2XX entry points forwarded to the simulator
// that the test links, and a hook, when set, run before every call so a test can pull the cable at
// an exact step, and a read status to report with the bytes. Built complete (libquillon-shim.so)
// and without each entry point in turn (libquillon-shim-without-FT_Read.so, ...).

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*QuillonShimHook)(const char* entryPoint);
typedef void (*QuillonShimSetHookFn)(QuillonShimHook hook);
/* The hook runs on the calling thread; NULL removes it. */
void QuillonShim_SetHook(QuillonShimHook hook);

typedef void (*QuillonShimSetReadStatusFn)(unsigned status);
/* An FT_Read that returns bytes returns this status with them, as a driver may report an I/O
 * error together with what it did receive (0: the simulator's own status). */
void QuillonShim_SetReadStatus(unsigned status);

#ifdef __cplusplus
}
#endif

#pragma once
// The fault tests' driver library: the thirteen D2XX entry points forwarded to the simulator
// that the test links, so QuillonSim_ steers the controller the panel talks to. A build may leave
// one entry point out, and a hook, when set, runs before every call, so a test can pull the cable
// at an exact step. Built once complete (libquillon-shim.so) and once without each entry point
// (libquillon-shim-without-FT_Read.so, ...).

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*QuillonShimHook)(const char* entryPoint);
typedef void (*QuillonShimSetHookFn)(QuillonShimHook hook);
/* The hook runs on the calling thread; NULL removes it. */
void QuillonShim_SetHook(QuillonShimHook hook);

#ifdef __cplusplus
}
#endif

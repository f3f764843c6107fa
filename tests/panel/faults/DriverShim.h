#pragma once
// The fault tests' driver library: the thirteen D2XX entry points forwarded to the simulator the
// test links, each first running a hook, when set, so a test can pull the cable at an exact call.
// Built complete (libquillon-shim.so) and without each entry point in turn.

extern "C" {
typedef void (*QuillonShimHook)(const char* entryPoint);
typedef void (*QuillonShimSetHookFn)(QuillonShimHook hook);
void QuillonShim_SetHook(QuillonShimHook hook);  // runs on the calling thread; NULL removes it
}

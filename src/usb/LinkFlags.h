#pragma once
// Link flags shared between the user-interface thread and the link-exercise worker.

#include <atomic>

extern std::atomic<int> g_bUsbOpen;
extern std::atomic<int> g_bBlinkRunning;
extern std::atomic<int> g_nBlinkSpeed;

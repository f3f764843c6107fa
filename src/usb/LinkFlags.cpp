#include "usb/LinkFlags.h"

std::atomic<int> g_bUsbOpen{0};
std::atomic<int> g_bBlinkRunning{0};
std::atomic<int> g_nBlinkSpeed{0};

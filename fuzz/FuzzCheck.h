#pragma once
// A broken invariant stops the run with its text and the line, so libFuzzer keeps the input.

#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "protocol/PanelState.h"

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Every field of the panel state, to compare two states whole.
inline auto PanelFields(const PanelState& p)
{
    return std::tie(p.m_strUsbStatus, p.m_nReceivedBytes, p.m_strDevice, p.m_nOpenBy, p.m_nNdSteps,
                    p.m_nShutterState, p.m_nShutterMode, p.m_nSyncPolarity, p.m_nTimerSelect,
                    p.m_strMinutes, p.m_strSeconds, p.m_strHours, p.m_strMs, p.m_strTenthMs,
                    p.m_nFreeRunOption, p.m_strRepeatNumber, p.m_strLeftCycles, p.m_nTriggerMode,
                    p.m_nClientHeight, p.m_nScrollPos, p.m_rcWindow.left, p.m_rcWindow.top,
                    p.m_rcWindow.right, p.m_rcWindow.bottom);
}

#pragma once
// Every field of the panel state, to compare two states whole.

#include <tuple>

#include "protocol/PanelState.h"

inline auto PanelFields(const PanelState& p)
{
    return std::tie(p.m_strUsbStatus, p.m_nReceivedBytes, p.m_strDevice, p.m_nOpenBy, p.m_nNdSteps,
                    p.m_nShutterState, p.m_nShutterMode, p.m_nSyncPolarity, p.m_nTimerSelect,
                    p.m_strMinutes, p.m_strSeconds, p.m_strHours, p.m_strMs, p.m_strTenthMs,
                    p.m_nFreeRunOption, p.m_strRepeatNumber, p.m_strLeftCycles, p.m_nTriggerMode,
                    p.m_nClientHeight, p.m_nScrollPos, p.m_rcWindow.left, p.m_rcWindow.top,
                    p.m_rcWindow.right, p.m_rcWindow.bottom);
}

inline bool SamePanel(const PanelState& a, const PanelState& b)
{
    return PanelFields(a) == PanelFields(b);
}

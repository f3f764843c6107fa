// Open and Close, and the three shutter modes. The mode buttons also show one transition's time
// under "Opening " and "Closing " and recompute the cycle time, which holds two transitions.

#include <cstdio>

#include "panel/CShutterPanelDlg.h"
#include "protocol/CNdStepsDlg.h"
#include "protocol/Frames.h"
#include "timing/IntegerReading.h"
#include "timing/TimeRecord.h"

namespace {

// One step of the neutral-density filter: 38 ms over 144 steps.
constexpr double kMsPerNdStep = 0.2638888888888889;

void ShowTransitionTimes(CShutterPanelDlg& dlg, const std::string& text)
{
    dlg.SetDlgItemText(IDC_OPENING_TIME, text);
    dlg.SetDlgItemText(IDC_CLOSING_TIME, text);
}

void SetShutterState(CShutterPanelDlg& dlg, int state)
{
    if (dlg.BeginCommand()) {
        dlg.m_nShutterState = state;
        dlg.WriteFrame(ShutterFrame(state));
    }
    dlg.EndCommand();
}

// Fast and Soft: the mode frame, the step count off the ND caption, the fixed transition time.
void SetPlainMode(CShutterPanelDlg& dlg, int mode, const char* transition)
{
    if (dlg.BeginCommand()) {
        dlg.m_nShutterMode = mode;
        dlg.WriteFrame(ModeFrame(mode, dlg.m_nNdSteps));
        dlg.SetDlgItemText(IDC_ND, "Neutral Density");
        ShowTransitionTimes(dlg, transition);
        RecomputeCycleTime(dlg.m_nShutterMode, dlg.m_nNdSteps);
        dlg.ShowCycleTime();
    }
    dlg.EndCommand();
}

}  // namespace

void CShutterPanelDlg::OnShutterOpen()
{
    SetShutterState(*this, 0);
}

void CShutterPanelDlg::OnShutterClose()
{
    SetShutterState(*this, 1);
}

void CShutterPanelDlg::OnFast()
{
    SetPlainMode(*this, 0, "12 ms");
}

void CShutterPanelDlg::OnSoft()
{
    SetPlainMode(*this, 1, "70 ms");
}

void CShutterPanelDlg::OnNeutralDensity()
{
    if (BeginCommand()) {
        CNdStepsDlg dlg(GetPrompts(), this);
        // Cancelled: nothing sent, and the panel is left as the click left it.
        if (!RunModalDialog(dlg))
            return;
        const int steps = LowByte(ReadInteger(dlg.m_strSteps));
        m_nShutterMode = 2;
        m_nNdSteps = steps;
        WriteFrame(NdModeFrame(steps));
        SetDlgItemText(IDC_ND, "Neutral Density - " + std::to_string(steps));
        char transition[32];
        std::snprintf(transition, sizeof transition, "%.2f ms", steps * kMsPerNdStep);
        ShowTransitionTimes(*this, transition);
        RecomputeCycleTime(m_nShutterMode, m_nNdSteps);
        ShowCycleTime();
    }
    EndCommand();
}

// Open and Close, and the three shutter modes. The mode buttons also show one transition's time
// under "Opening " and "Closing " and recompute the cycle time, which holds two transitions.

#include <cstdio>

#include "panel/CShutterPanelDlg.h"
#include "protocol/CNdStepsDlg.h"
#include "protocol/Frames.h"
#include "protocol/ModeCaptions.h"
#include "timing/IntegerReading.h"
#include "timing/TimeRecord.h"

namespace {

// One step of the neutral-density filter: 38 ms over 144 steps.
constexpr double kMsPerNdStep = 0.2638888888888889;

void SetShutterState(CShutterPanelDlg& dlg, int state)
{
    if (dlg.BeginCommand()) {
        dlg.m_nShutterState = state;
        dlg.WriteFrame(ShutterFrame(state));
    }
    dlg.EndCommand();
}

// Fast and Soft: the mode frame, the step count off the ND caption, the fixed transition time.
void SetPlainMode(CShutterPanelDlg& dlg, int mode)
{
    if (dlg.BeginCommand()) {
        dlg.m_nShutterMode = mode;
        dlg.WriteFrame(ModeFrame(mode, dlg.m_nNdSteps));
        ShowModeCaptions(dlg, mode, dlg.m_nNdSteps);
        RecomputeCycleTime(dlg.m_nShutterMode, dlg.m_nNdSteps);
        dlg.ShowCycleTime();
    }
    dlg.EndCommand();
}

}  // namespace

void ShowModeCaptions(CShutterPanelDlg& dlg, int shutterMode, int ndSteps)
{
    std::string transition = shutterMode == 1 ? "70 ms" : "12 ms";
    if (shutterMode == 2) {
        dlg.SetDlgItemText(IDC_ND, "Neutral Density - " + std::to_string(ndSteps));
        char text[32];
        std::snprintf(text, sizeof text, "%.2f ms", ndSteps * kMsPerNdStep);
        transition = text;
    } else {
        dlg.SetDlgItemText(IDC_ND, "Neutral Density");
    }
    dlg.SetDlgItemText(IDC_OPENING_TIME, transition);
    dlg.SetDlgItemText(IDC_CLOSING_TIME, transition);
}

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
    SetPlainMode(*this, 0);
}

void CShutterPanelDlg::OnSoft()
{
    SetPlainMode(*this, 1);
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
        ShowModeCaptions(*this, m_nShutterMode, steps);
        RecomputeCycleTime(m_nShutterMode, m_nNdSteps);
        ShowCycleTime();
    }
    EndCommand();
}

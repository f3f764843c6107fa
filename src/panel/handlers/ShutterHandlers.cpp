// Open and Close, and the three shutter modes. The mode buttons also show one transition's time
// under "Opening " and "Closing " and recompute the cycle time, which holds two transitions.

#include "panel/CShutterPanelDlg.h"
#include "panel/CNdStepsDlg.h"
#include "protocol/Operations.h"
#include "timing/IntegerReading.h"

void CShutterPanelDlg::OnShutterOpen()
{
    if (BeginCommand())
        SetShutterState(Host(), 0);
    EndCommand();
}

void CShutterPanelDlg::OnShutterClose()
{
    if (BeginCommand())
        SetShutterState(Host(), 1);
    EndCommand();
}

void CShutterPanelDlg::OnFast()
{
    if (BeginCommand())
        SetPlainMode(Host(), 0);
    EndCommand();
}

void CShutterPanelDlg::OnSoft()
{
    if (BeginCommand())
        SetPlainMode(Host(), 1);
    EndCommand();
}

void CShutterPanelDlg::OnNeutralDensity()
{
    if (BeginCommand()) {
        CNdStepsDlg dlg(GetPrompts(), this);
        // Cancelled: nothing sent, and the panel is left as the click left it.
        if (!RunModalDialog(dlg))
            return;
        SetNdMode(Host(), ReadInteger(dlg.m_strSteps));
    }
    EndCommand();
}

// The trigger input and the sync output: a check box switches each on or off, a radio group
// chooses how. Choosing a button with the link ready ticks its box; unticking clears the group.

#include "panel/CShutterPanelDlg.h"
#include "protocol/Operations.h"

namespace {

void Choose(CShutterPanelDlg& dlg, Signal signal, int value)
{
    if (dlg.BeginCommand())
        ChooseSignal(dlg.Host(), signal, value);
    dlg.EndCommand();
}

// Decided by the field as pulled, not by the box, which has already toggled itself.
void Toggle(CShutterPanelDlg& dlg, Signal signal)
{
    dlg.BeginCommand();
    ToggleSignal(dlg.Host(), signal);
    dlg.EndCommand();
}

}  // namespace

void CShutterPanelDlg::OnEnableHigh()
{
    Choose(*this, Signal::Trigger, 0);
}
void CShutterPanelDlg::OnEnableLow()
{
    Choose(*this, Signal::Trigger, 1);
}
void CShutterPanelDlg::OnRisingEdge()
{
    Choose(*this, Signal::Trigger, 2);
}
void CShutterPanelDlg::OnFallingEdge()
{
    Choose(*this, Signal::Trigger, 3);
}
void CShutterPanelDlg::OnHighForOpen()
{
    Choose(*this, Signal::Sync, 0);
}
void CShutterPanelDlg::OnLowForOpen()
{
    Choose(*this, Signal::Sync, 1);
}
void CShutterPanelDlg::OnTriggerPulse()
{
    Toggle(*this, Signal::Trigger);
}
void CShutterPanelDlg::OnSyncPulse()
{
    Toggle(*this, Signal::Sync);
}

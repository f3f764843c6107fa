// The trigger input and the sync output: a check box switches each on or off, a radio group
// chooses how. Choosing a button with the link ready ticks its box; unticking clears the group.

#include "panel/CShutterPanelDlg.h"
#include "protocol/Frames.h"

namespace {

struct Signal {
    int PanelState::*field;
    int box;
    int onByDefault;  // what ticking the box selects
    Frame (*frame)(int);
};

constexpr Signal kTrigger{&PanelState::m_nTriggerMode, IDC_TRIGGER_PULSE, 0, &TriggerFrame};
constexpr Signal kSync{&PanelState::m_nSyncPolarity, IDC_SYNC_PULSE, 1, &SyncFrame};

void Choose(CShutterPanelDlg& dlg, const Signal& signal, int value)
{
    if (dlg.BeginCommand()) {
        dlg.*signal.field = value;
        if (!dlg.IsDlgButtonChecked(signal.box))
            dlg.CheckDlgButton(signal.box, true);
        dlg.WriteFrame(signal.frame(value));
    }
    dlg.EndCommand();
}

// Decided by the field as pulled, not by the box, which has already toggled itself.
void Toggle(CShutterPanelDlg& dlg, const Signal& signal)
{
    const bool ready = dlg.BeginCommand();
    int& field = dlg.*signal.field;
    if (field == -1) {
        // Switching a signal on goes out even before the link is ready.
        field = signal.onByDefault;
        dlg.CheckDlgButton(signal.box, true);
        dlg.WriteFrame(signal.frame(field));
    } else {
        dlg.CheckDlgButton(signal.box, false);
        field = -1;
        if (ready)
            dlg.WriteFrame(signal.frame(field));
    }
    dlg.EndCommand();
}

}  // namespace

void CShutterPanelDlg::OnEnableHigh()
{
    Choose(*this, kTrigger, 0);
}
void CShutterPanelDlg::OnEnableLow()
{
    Choose(*this, kTrigger, 1);
}
void CShutterPanelDlg::OnRisingEdge()
{
    Choose(*this, kTrigger, 2);
}
void CShutterPanelDlg::OnFallingEdge()
{
    Choose(*this, kTrigger, 3);
}
void CShutterPanelDlg::OnHighForOpen()
{
    Choose(*this, kSync, 0);
}
void CShutterPanelDlg::OnLowForOpen()
{
    Choose(*this, kSync, 1);
}
void CShutterPanelDlg::OnTriggerPulse()
{
    Toggle(*this, kTrigger);
}
void CShutterPanelDlg::OnSyncPulse()
{
    Toggle(*this, kSync);
}

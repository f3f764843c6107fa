// Commands for the controller as a whole, and Clear. Status, Reset and Restore Default arm the
// reply decoder so that the controller's status reply updates the panel.

#include "framework/Prompts.h"
#include "panel/CShutterPanelDlg.h"
#include "panel/ReceivedList.h"
#include "protocol/Frames.h"
#include "protocol/Operations.h"

namespace {

constexpr const char* kSaveConfigText =
    "This will save all the current configurations to Quillon controller,\n"
    "the new configurations will be the initial setting when the controller\n"
    "power up next time!\n\nClick OK to save or Cancel to dismiss?";
constexpr const char* kRestoreDefaultText =
    "This will restore the factory default configurations for Quillon controller!\n"
    "Are you sure?\n\nClick OK to restore or Cancel to dismiss?";

bool Confirmed(CShutterPanelDlg& dlg, const char* text)
{
    return dlg.GetPrompts().MessageBox(text, "Warning", MbIcon::Information, MbButtons::OkCancel) ==
           MbResult::Ok;
}

}  // namespace

void CShutterPanelDlg::OnStatus()
{
    if (BeginCommand())
        RequestStatus(Host());
    EndCommand();
}

void CShutterPanelDlg::OnOnline()
{
    SendCommand(SingleByteFrame(cmd::kOnline));
}

void CShutterPanelDlg::OnControllerInfo()
{
    // The controller's echo 0xFD starts the identity reply in the decoder.
    SendCommand(SingleByteFrame(cmd::kControllerInfo));
}

void CShutterPanelDlg::OnPowerOn()
{
    SendCommand(SingleByteFrame(cmd::kPowerOn));
}

void CShutterPanelDlg::OnPowerOff()
{
    SendCommand(SingleByteFrame(cmd::kPowerOff));
}

void CShutterPanelDlg::OnReset()
{
    if (BeginCommand())
        ResetController(Host());
    EndCommand();
}

void CShutterPanelDlg::OnRestoreDefault()
{
    if (BeginCommand() && Confirmed(*this, kRestoreDefaultText))
        RestoreDefaults(Host());
    EndCommand();
}

void CShutterPanelDlg::OnSaveToController()
{
    if (BeginCommand() && Confirmed(*this, kSaveConfigText))
        SendPlain(Host(), SettingsFrame(cmd::kSaveConfig));
    EndCommand();
}

void CShutterPanelDlg::OnClear()
{
    UpdateData(true);
    m_nReceivedBytes = 0;
    m_listReceived->ResetContent();
    UpdateData(false);
    RepaintNow();
}

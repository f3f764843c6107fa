// Free run and Apply. Apply sends the panel's whole configuration: the shutter frame here, then
// the reply decoder sends each further frame once the controller has answered the previous one.

#include "framework/Prompts.h"
#include "panel/CShutterPanelDlg.h"
#include "protocol/Frames.h"
#include "protocol/Operations.h"

namespace {

void Warn(CShutterPanelDlg& dlg, const std::string& text)
{
    dlg.GetPrompts().MessageBox(text, "Warning", MbIcon::Exclamation, MbButtons::Ok);
}

// A repeat text the controller must not get asks for another.
void WarnRetype(CShutterPanelDlg& dlg, const OpResult& result)
{
    if (result.kind == OpResult::Refused)
        Warn(dlg, std::string(result.refusal) + " Please retype.");
}

// Go and On Trigger Pulse: the run's cycles are counted from the controller's reports, which
// needs a repeat number to count down from.
void StartCountedRun(CShutterPanelDlg& dlg, int option)
{
    if (dlg.BeginCommand()) {
        if (const OpResult result = StartFreeRun(dlg.Host(), option);
            result.kind == OpResult::Refused)
            Warn(dlg, result.refusal);
    }
    dlg.EndCommand();
}

}  // namespace

void CShutterPanelDlg::OnApply()
{
    // No pull: the transfer starts from the fields as last pulled.
    WarnRetype(*this, StartTransfer(Host()));
    EndCommand();
}

void CShutterPanelDlg::OnOnPowerUp()
{
    if (BeginCommand())
        StartFreeRun(Host(), 0);
    EndCommand();
}

void CShutterPanelDlg::OnOnTrigger()
{
    StartCountedRun(*this, 1);
}

void CShutterPanelDlg::OnGo()
{
    StartCountedRun(*this, 2);
}

void CShutterPanelDlg::OnSendRepeat()
{
    if (BeginCommand())
        WarnRetype(*this, SendRepeat(Host()));
    EndCommand();
}

void CShutterPanelDlg::OnStop()
{
    // The run ends in the decoder when the controller reports it.
    SendCommand(SingleByteFrame(cmd::kStop));
}

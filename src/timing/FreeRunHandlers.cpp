// Free run and Apply. Apply sends the panel's whole configuration: the shutter frame here, then
// the reply decoder sends each further frame once the controller has answered the previous one.

#include "framework/Prompts.h"
#include "panel/CShutterPanelDlg.h"
#include "protocol/DecoderState.h"
#include "protocol/Frames.h"

namespace {

void WarnRetype(CShutterPanelDlg& dlg, const char* reason)
{
    dlg.GetPrompts().MessageBox(std::string(reason) + " Please retype.", "Warning",
                                MbIcon::Exclamation, MbButtons::Ok);
}

}  // namespace

void CShutterPanelDlg::OnApply()
{
    // No pull: the transfer starts from the fields as last pulled.
    if (UsbReady()) {
        if (const char* reason = RepeatNumberRefusal(m_strRepeatNumber)) {
            // Refused before anything goes out, rather than half a configuration sent.
            WarnRetype(*this, reason);
        } else {
            // Unsent, the frame gets no answer: no transfer waits for one, nor for an earlier
            // one.
            const bool sent = WriteFrame(ShutterFrame(m_nShutterState));
            g_nTransferExpected = sent ? 2 : -1;
            g_nTransferReceived = sent ? 0 : -1;
        }
    }
    EndCommand();
}

namespace {

// Go and On Trigger Pulse: the run's cycles are counted from the controller's reports, which
// needs a repeat number to count down from.
void StartCountedRun(CShutterPanelDlg& dlg, int option)
{
    if (dlg.BeginCommand()) {
        if (dlg.m_strRepeatNumber.empty()) {
            dlg.GetPrompts().MessageBox("Please set the repeat number first, then try again!",
                                        "Warning", MbIcon::Exclamation, MbButtons::Ok);
        } else {
            dlg.m_nFreeRunOption = option;
            // No run starts on a frame that did not go out, and counting one would keep every
            // later reply from the list.
            if (dlg.WriteFrame(FreeRunFrame(option))) {
                g_nFreeRunKind = option;
                g_nFreeRunStartState = dlg.m_nShutterState;
            }
        }
    }
    dlg.EndCommand();
}

}  // namespace

void CShutterPanelDlg::OnOnPowerUp()
{
    if (BeginCommand()) {
        m_nFreeRunOption = 0;
        WriteFrame(FreeRunFrame(0));
    }
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
    if (BeginCommand()) {
        if (const char* reason = RepeatNumberRefusal(m_strRepeatNumber)) {
            WarnRetype(*this, reason);
        } else {
            RepeatCount count = SendRepeatCount(m_strRepeatNumber);
            m_strRepeatNumber = std::move(count.repeatNumber);
            WriteFrame(count.frame);
            m_strLeftCycles = m_strRepeatNumber;
        }
    }
    EndCommand();
}

void CShutterPanelDlg::OnStop()
{
    // The run ends in the decoder when the controller reports it.
    SendCommand(SingleByteFrame(cmd::kStop));
}

// Free run and Apply. Apply sends the panel's whole configuration: the shutter frame here, then
// the reply decoder sends each further frame once the controller has answered the previous one.

#include "panel/CShutterPanelDlg.h"
#include "protocol/DecoderState.h"
#include "protocol/Frames.h"

void CShutterPanelDlg::OnApply()
{
    // No pull: the transfer starts from the fields as last pulled.
    if (UsbReady()) {
        g_nTransferExpected = 2;
        WriteFrame(ShutterFrame(m_nShutterState));
        g_nTransferReceived = 0;
    }
    EndCommand();
}

void CShutterPanelDlg::OnOnPowerUp() {}
void CShutterPanelDlg::OnOnTrigger() {}
void CShutterPanelDlg::OnGo() {}
void CShutterPanelDlg::OnSendRepeat() {}
void CShutterPanelDlg::OnStop() {}

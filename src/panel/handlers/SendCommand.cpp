// The one procedure every command of the panel follows, in pieces for the commands that depart
// from it.

#include "panel/CShutterPanelDlg.h"
#include "protocol/Frames.h"
#include "protocol/Operations.h"
#include "usb/ControllerLink.h"

bool CShutterPanelDlg::BeginCommand()
{
    UpdateData(true);
    return UsbReady();
}

bool CShutterPanelDlg::WriteFrame(const Frame& frame)
{
    return ::WriteFrame(m_usb, frame);
}

void CShutterPanelDlg::EndCommand()
{
    m_usb.SetTimeouts(100, 100);
    UpdateData(false);
    RepaintNow();
}

void CShutterPanelDlg::SendCommand(const Frame& frame)
{
    if (BeginCommand())
        SendPlain(Host(), frame);
    EndCommand();
}

bool CShutterPanelDlg::RunModalDialog(CDialog& dlg)
{
    ModalScope scope(*this);
    if (m_options.runDialog)
        return m_options.runDialog(dlg);
    return dlg.DoModal() == QDialog::Accepted;
}

// The one procedure every command of the panel follows, in pieces for the commands that depart
// from it.

#include "panel/CShutterPanelDlg.h"
#include "protocol/Frames.h"

bool CShutterPanelDlg::BeginCommand()
{
    UpdateData(true);
    return UsbReady();
}

bool CShutterPanelDlg::WriteFrame(const Frame& frame)
{
    // A frame is one write; the controller reports nothing useful about a failed one, and the
    // decoder notices a lost link at its next tick. A frame that did not go out whole gets no
    // answer, which the caller must not wait for.
    Frame bytes = frame;
    DWORD written = 0;
    const FT_STATUS status = m_usb.Write(bytes.data(), static_cast<DWORD>(bytes.size()), &written);
    return status == FT_OK && written == bytes.size();
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
        WriteFrame(frame);
    EndCommand();
}

bool CShutterPanelDlg::RunModalDialog(CDialog& dlg)
{
    ModalScope scope(*this);
    if (m_options.runDialog)
        return m_options.runDialog(dlg);
    return dlg.DoModal() == QDialog::Accepted;
}

// Panel handlers of the link exercise.
#include "panel/CShutterPanelDlg.h"
#include "usb/LinkExercise.h"
#include "usb/LinkFlags.h"

void CShutterPanelDlg::OnBlinkLeds()
{
    if (g_bUsbOpen == 0) {
        return;
    }
    EnableTestControls(false);
    EnableDlgItem(IDC_BLINK_OFF, true);
    EnableDlgItem(IDC_SPEED, true);
    EnableDlgItem(IDOK, false);
    if (!m_blink) {
        m_blink = std::make_unique<LinkExercise>(LinkExercise::WriteThrough(m_usb));
    }
    // With a worker still running (the button comes back after a successful "Open") that
    // worker goes on; a second one would interleave its bytes with the first.
    m_blink->Start();
}

void CShutterPanelDlg::OnBlinkOff()
{
    g_bBlinkRunning = 0;
    if (m_blink) {
        m_blink->Stop();
    }
    EnableTestControls(true);
    EnableDlgItem(IDOK, true);
}

void CShutterPanelDlg::OnReleasedCaptureSpeed()
{
    g_nBlinkSpeed = m_sliderSpeed.GetPos();
}

void CShutterPanelDlg::StopBlinkWorker()
{
    if (m_blink) {
        m_blink->StopAndJoin();
    }
}

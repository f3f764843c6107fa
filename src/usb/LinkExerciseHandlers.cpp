// Panel handlers of the link exercise. (Placeholder bodies until the exercise lands.)
#include "panel/CShutterPanelDlg.h"
#include "usb/LinkExercise.h"

void CShutterPanelDlg::OnBlinkLeds() {}
void CShutterPanelDlg::OnBlinkOff() {}
void CShutterPanelDlg::OnReleasedCaptureSpeed() {}
void CShutterPanelDlg::StopBlinkWorker()
{
    if (m_blink)
        m_blink->StopAndJoin();
}

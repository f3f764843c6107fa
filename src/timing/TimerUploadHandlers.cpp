// "Set Timer on Controller": sends the editor's time as the selected record and stores it there.
// The only way typed times reach a record, and only while the link is ready.

#include "panel/CShutterPanelDlg.h"
#include "protocol/Frames.h"
#include "timing/TimeRecord.h"

void CShutterPanelDlg::OnSetTimer()
{
    if (BeginCommand() && m_nTimerSelect != -1) {
        const TimeRecord editor{m_strHours, m_strMinutes, m_strSeconds, m_strMs, m_strTenthMs};
        const bool closed = m_nTimerSelect == 0;
        const Frame frame = EncodeTimeFrame(closed ? TimeKind::Closed : TimeKind::Exposure, editor);
        (closed ? g_closedTime : g_exposureTime) = editor;
        RecomputeCycleTime(m_nShutterMode, m_nNdSteps);
        WriteFrame(frame);
        if (closed)
            ShowClosedTime();
        else
            ShowExposureTime();
        ShowCycleTime();
    }
    EndCommand();
}

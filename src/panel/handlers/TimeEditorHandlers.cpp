// Panel handlers of the time editor: the selector, the five edit fields and their trackbars,
// and the three time displays.
#include <string>

#include "framework/Prompts.h"
#include "panel/CShutterPanelDlg.h"
#include "timing/IntegerReading.h"
#include "timing/TimeRecord.h"

namespace {

// The editor's fields below the hours, by their place in a time record.
struct LowerField {
    std::string PanelState::*text;
    CSliderCtrl CShutterPanelDlg::*slider;
    std::size_t field;
};

constexpr LowerField kMinutes{&PanelState::m_strMinutes, &CShutterPanelDlg::m_sliderMinutes, 1};
constexpr LowerField kSeconds{&PanelState::m_strSeconds, &CShutterPanelDlg::m_sliderSeconds, 2};
constexpr LowerField kMs{&PanelState::m_strMs, &CShutterPanelDlg::m_sliderMs, 3};
constexpr LowerField kTenthMs{&PanelState::m_strTenthMs, &CShutterPanelDlg::m_sliderTenthMs, 4};
constexpr LowerField kLowerFields[] = {kMinutes, kSeconds, kMs, kTenthMs};

void Warn(CShutterPanelDlg& dlg, const std::string& text)
{
    dlg.GetPrompts().MessageBox(text, "Warning", MbIcon::Exclamation, MbButtons::Ok);
}

void WarnRetype(CShutterPanelDlg& dlg, const char* reason)
{
    Warn(dlg, std::string(reason) + " Please retype.");
}

bool HoursAtMaximum(const CShutterPanelDlg& dlg)
{
    return AtFiveHours(dlg.m_strHours);
}

// Five hours is the whole range: nothing may be added below it.
void ClearLowerFields(CShutterPanelDlg& dlg)
{
    for (const LowerField& f : kLowerFields) {
        (dlg.*f.text).clear();
        (dlg.*f.slider).SetPos(0);
    }
}

void CheckTypedValue(CShutterPanelDlg& dlg, const LowerField& f)
{
    dlg.UpdateData(true);
    std::string& text = dlg.*f.text;
    if (HoursAtMaximum(dlg)) {
        Warn(dlg, kFiveHoursReached);
        text.clear();
    } else if (const char* reason = TimeTextRefusal(f.field, text)) {
        WarnRetype(dlg, reason);
        text.clear();
    }
    (dlg.*f.slider).SetPos(ReadInteger(text));
    dlg.UpdateData(false);
}

void TakeTrackbarValue(CShutterPanelDlg& dlg, const LowerField& f)
{
    dlg.UpdateData(true);
    CSliderCtrl& slider = dlg.*f.slider;
    if (HoursAtMaximum(dlg)) {
        Warn(dlg, kFiveHoursReached);
        slider.SetPos(0);
    } else {
        dlg.*f.text = std::to_string(slider.GetPos());
    }
    dlg.UpdateData(false);
}

}  // namespace

void CShutterPanelDlg::LoadEditorFromRecord(int index)
{
    const TimeRecord& record = index == 1 ? g_exposureTime : g_closedTime;
    m_strHours = record.hours;
    m_strMinutes = record.minutes;
    m_strSeconds = record.seconds;
    m_strMs = record.milliseconds;
    m_strTenthMs = record.tenthMs;
    // Out-of-range texts (from a file or the controller) leave the trackbar at its nearest end.
    m_sliderHours.SetPos(ReadInteger(record.hours));
    m_sliderMinutes.SetPos(ReadInteger(record.minutes));
    m_sliderSeconds.SetPos(ReadInteger(record.seconds));
    m_sliderMs.SetPos(ReadInteger(record.milliseconds));
    m_sliderTenthMs.SetPos(ReadInteger(record.tenthMs));
}

void CShutterPanelDlg::ShowClosedTime(const std::string& separator)
{
    SetDlgItemText(IDC_CLOSED_DISPLAY,
                   ComposeTime(FormatTimeRecord(g_closedTime, false), separator));
}

void CShutterPanelDlg::ShowExposureTime(const std::string& separator)
{
    SetDlgItemText(IDC_EXPOSURE_DISPLAY,
                   ComposeTime(FormatTimeRecord(g_exposureTime, false), separator));
}

void CShutterPanelDlg::ShowCycleTime()
{
    SetDlgItemText(IDC_CYCLE_DISPLAY, ComposeCycleTime(g_cycleTime));
}

void CShutterPanelDlg::ShowTimeDisplays(const std::string& separator)
{
    ShowClosedTime(separator);
    ShowExposureTime(separator);
    ShowCycleTime();
}

void CShutterPanelDlg::OnSelchangeTimer()
{
    UpdateData(true);
    // Unsaved edits are dropped on purpose: only an upload stores the editor into a record.
    if (const int sel = m_comboTimer.GetCurSel(); sel != -1) {
        m_nTimerSelect = sel;
        LoadEditorFromRecord(sel);
    }
    UpdateData(false);
    RepaintNow();
}

void CShutterPanelDlg::OnChangeHours()
{
    UpdateData(true);
    if (const char* reason = TimeTextRefusal(0, m_strHours)) {
        WarnRetype(*this, reason);
        m_strHours.clear();
    }
    if (HoursAtMaximum(*this)) {
        ClearLowerFields(*this);
    }
    m_sliderHours.SetPos(ReadInteger(m_strHours));
    UpdateData(false);
}

void CShutterPanelDlg::OnChangeMinutes()
{
    CheckTypedValue(*this, kMinutes);
}
void CShutterPanelDlg::OnChangeSeconds()
{
    CheckTypedValue(*this, kSeconds);
}
void CShutterPanelDlg::OnChangeMs()
{
    CheckTypedValue(*this, kMs);
}
void CShutterPanelDlg::OnChangeTenthMs()
{
    CheckTypedValue(*this, kTenthMs);
}

void CShutterPanelDlg::OnReleasedHours()
{
    UpdateData(true);
    const int pos = m_sliderHours.GetPos();
    if (pos == 5) {
        ClearLowerFields(*this);
    }
    m_strHours = std::to_string(pos);
    UpdateData(false);
}

void CShutterPanelDlg::OnReleasedMinutes()
{
    TakeTrackbarValue(*this, kMinutes);
}
void CShutterPanelDlg::OnReleasedSeconds()
{
    TakeTrackbarValue(*this, kSeconds);
}
void CShutterPanelDlg::OnReleasedMs()
{
    TakeTrackbarValue(*this, kMs);
}
void CShutterPanelDlg::OnReleasedTenthMs()
{
    TakeTrackbarValue(*this, kTenthMs);
}

// Panel handlers of the time editor. (Placeholder bodies until the editor lands.)
#include "panel/CShutterPanelDlg.h"

void CShutterPanelDlg::OnSelchangeTimer() {}
void CShutterPanelDlg::OnChangeHours() {}
void CShutterPanelDlg::OnChangeMinutes() {}
void CShutterPanelDlg::OnChangeSeconds() {}
void CShutterPanelDlg::OnChangeMs() {}
void CShutterPanelDlg::OnChangeTenthMs() {}
void CShutterPanelDlg::OnReleasedHours() {}
void CShutterPanelDlg::OnReleasedMinutes() {}
void CShutterPanelDlg::OnReleasedSeconds() {}
void CShutterPanelDlg::OnReleasedMs() {}
void CShutterPanelDlg::OnReleasedTenthMs() {}

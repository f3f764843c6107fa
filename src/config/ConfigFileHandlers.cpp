// "Save Config." and "Load Config.".

#include "panel/CShutterPanelDlg.h"

void CShutterPanelDlg::OnSaveConfig() {}

void CShutterPanelDlg::OnLoadConfig() {}

// Panel handlers of the device connection. (Placeholder bodies until the connection lands.)
#include "panel/CShutterPanelDlg.h"

void CShutterPanelDlg::StartUsb() {}
FT_STATUS CShutterPanelDlg::OpenDevice()
{
    return FT_DEVICE_NOT_OPENED;
}
void CShutterPanelDlg::OnOpen() {}
void CShutterPanelDlg::OnSearch() {}
void CShutterPanelDlg::OnOpenByDescription() {}
void CShutterPanelDlg::OnOpenBySerial() {}
void CShutterPanelDlg::OnOpenByNumber() {}
void CShutterPanelDlg::OnChangeDevice() {}
void CShutterPanelDlg::OnSelchangeReceived() {}

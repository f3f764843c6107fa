// "Set Timer on Controller": sends the editor's time as the selected record and stores it there.
// The only way typed times reach a record, and only while the link is ready.

#include "panel/CShutterPanelDlg.h"
#include "protocol/Operations.h"

void CShutterPanelDlg::OnSetTimer()
{
    if (BeginCommand())
        UploadTimer(Host());
    EndCommand();
}

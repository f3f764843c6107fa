#include "panel/CAboutDlg.h"

#include <QIcon>

#include "panel/PanelTemplate.h"

CAboutDlg::CAboutDlg(Prompts& prompts, const QIcon& icon, QWidget* parent)
    : CDialog(AboutTemplate(), prompts, parent)
{
    setWindowIcon(icon);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setObjectName("aboutBox");
}

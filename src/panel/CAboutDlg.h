#pragma once
#include "framework/Dialog.h"

class QIcon;

// The about box: the program's name and version, a notice line, the icon and OK.
class CAboutDlg : public CDialog {
    Q_OBJECT
public:
    CAboutDlg(Prompts& prompts, const QIcon& icon, QWidget* parent = nullptr);
};

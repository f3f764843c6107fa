#include "panel/CNdStepsDlg.h"

#include "framework/Prompts.h"
#include "protocol/Frames.h"

namespace {

// clang-format off
const DialogTemplate& StepsTemplate()
{
    static const DialogTemplate t{"Neutral Density Shutter", 186, 62, {
        {IDC_STATIC, ControlKind::Label, "Please Enter Steps between 0-144", 12, 10, 162, 8, true},
        {IDC_ND_STEPS, ControlKind::Edit, "", 12, 22, 162, 12, true, kStyleNone,
         "Please Enter Steps between 0-144"},
        {IDOK, ControlKind::DefPushButton, "OK", 70, 42, 50, 14, true},
        {IDCANCEL, ControlKind::PushButton, "Cancel", 124, 42, 50, 14, false},
    }};
    return t;
}
// clang-format on

}  // namespace

CNdStepsDlg::CNdStepsDlg(Prompts& prompts, QWidget* parent)
    : CDialog(StepsTemplate(), prompts, parent)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setObjectName("ndStepsDialog");
}

void CNdStepsDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_ND_STEPS, m_strSteps);
}

void CNdStepsDlg::OnOK()
{
    UpdateData(true);
    if (const char* reason = NdStepsRefusal(m_strSteps)) {
        const char* request =
            m_strSteps.empty() ? " Please enter the number!" : " Please try again!";
        GetPrompts().MessageBox(reason + std::string(request), "Warning", MbIcon::Exclamation,
                                MbButtons::Ok);
        return;
    }
    CDialog::OnOK();
}

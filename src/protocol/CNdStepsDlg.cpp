#include "protocol/CNdStepsDlg.h"

#include "framework/Prompts.h"
#include "timing/IntegerReading.h"

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
    const int steps = ReadInteger(m_strSteps);
    const char* refusal = nullptr;
    if (steps > 144) {
        refusal = "Steps must be less than 145. Please try again!";
    } else if (steps < 0) {
        // Only the low 8 bits would go out: -5 would ask the controller for 251 steps.
        refusal = "Steps must be between 0 and 144. Please try again!";
    } else if (m_strSteps.empty()) {
        refusal = "No steps. Please enter the number!";
    }
    if (refusal) {
        GetPrompts().MessageBox(refusal, "Warning", MbIcon::Exclamation, MbButtons::Ok);
        return;
    }
    CDialog::OnOK();
}

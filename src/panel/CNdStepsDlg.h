#pragma once
// "Neutral Density Shutter": asks for the step count Neutral Density sends (0 to 144).

#include <string>

#include "framework/Dialog.h"

inline constexpr int IDC_ND_STEPS = 1075;

class CNdStepsDlg : public CDialog {
    Q_OBJECT
public:
    explicit CNdStepsDlg(Prompts& prompts, QWidget* parent = nullptr);

    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;

    std::string m_strSteps;
};

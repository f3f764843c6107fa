#pragma once
// "Diagnose Connection": the report --diagnose prints, for an operator who started the program
// from the desktop's menu and never sees its standard error. Selectable, with a Copy button.

#include <string>
#include <vector>

#include "framework/Dialog.h"

class QPlainTextEdit;

inline constexpr int IDC_DIAGNOSIS_REPORT = 1201;
inline constexpr int IDC_DIAGNOSIS_COPY = 1202;

class CDiagnosisDlg : public CDialog {
    Q_OBJECT
public:
    CDiagnosisDlg(Prompts& prompts, std::string report, QWidget* parent = nullptr);

    bool OnInitDialog() override;
    // The whole report to the clipboard, whatever part of it is selected.
    void OnCopy();

protected:
    QWidget* CreateCustomControl(const ControlTemplate& ctl, QWidget* parent) override;

private:
    std::string m_report;
    QPlainTextEdit* m_text = nullptr;
};

// What --diagnose prints: a heading with the program's name and version, then the diagnosis of
// the driver candidates and the USB devices.
std::string ConnectionReport(const std::string& appName, const std::string& version,
                             const std::vector<std::string>& driverCandidates);

#include "panel/CDiagnosisDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QPlainTextEdit>

#include "usb/Diagnosis.h"

namespace {
// clang-format off
const DialogTemplate& DiagnosisTemplate()
{
    static const DialogTemplate t{"Diagnose Connection", 340, 220, {
        {IDC_DIAGNOSIS_REPORT, ControlKind::ListBox, "", 7, 7, 326, 186, true, kStyleNone, "Connection report"},
        {IDC_DIAGNOSIS_COPY, ControlKind::PushButton, "Copy", 229, 199, 50, 14, true},
        {IDOK, ControlKind::DefPushButton, "Close", 283, 199, 50, 14, false},
    }};
    return t;
}
// clang-format on
}  // namespace

CDiagnosisDlg::CDiagnosisDlg(Prompts& prompts, std::string report, QWidget* parent)
    : CDialog(DiagnosisTemplate(), prompts, parent), m_report(std::move(report))
{
    setObjectName("diagnosisBox");
    Map(IDC_DIAGNOSIS_COPY, Notification::Clicked, &CDiagnosisDlg::OnCopy);
}

QWidget* CDiagnosisDlg::CreateCustomControl(const ControlTemplate&, QWidget* parent)
{
    m_text = new QPlainTextEdit(parent);
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    return m_text;
}

bool CDiagnosisDlg::OnInitDialog()
{
    // The report lines up its details by indentation.
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setPlainText(QString::fromStdString(m_report));
    return CDialog::OnInitDialog();
}

void CDiagnosisDlg::OnCopy()
{
    QApplication::clipboard()->setText(QString::fromStdString(m_report));
}

std::string ConnectionReport(const std::string& appName, const std::string& version,
                             const std::vector<std::string>& driverCandidates)
{
    return appName + " " + version + ": what it finds on this machine\n\n" +
           Diagnose(driverCandidates, SystemRoots::FromEnvironment(), DiagnosisHost::Real());
}

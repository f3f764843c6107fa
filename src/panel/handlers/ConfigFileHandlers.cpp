// "Save Config." and "Load Config.": the panel's controller settings to and from a .cfg file.
// Neither talks to the controller; Apply sends what was loaded.

#include "config/ConfigFile.h"
#include "framework/Prompts.h"
#include "framework/SaveFile.h"
#include "panel/CShutterPanelDlg.h"
#include "protocol/Operations.h"
#include "timing/TimeRecord.h"

namespace {

constexpr const char* kFilter = "Quillon Config (*.cfg)|*.cfg|All Files (*.*)|*.*||";
constexpr const char* kDefaultExt = "cfg";

void Warn(CShutterPanelDlg& dlg, const std::string& text)
{
    dlg.GetPrompts().MessageBox(text, "Warning", MbIcon::Exclamation, MbButtons::Ok);
}

}  // namespace

void CShutterPanelDlg::OnSaveConfig()
{
    if (!UpdateData(true))
        return;
    const std::optional<std::string> path = GetPrompts().SaveFileName(kFilter, kDefaultExt);
    if (!path)
        return;
    const std::vector<std::uint8_t> bytes =
        EncodeConfigFile(ConfigFromPanel(*this, g_closedTime, g_exposureTime));
    const std::optional<std::string> failure =
        SaveFileWhole(*path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    if (failure)
        Warn(*this, "Cannot save the configuration to " + *path + ".\n" + *failure);
}

void CShutterPanelDlg::OnLoadConfig()
{
    const std::optional<std::string> path = GetPrompts().OpenFileName(kFilter, kDefaultExt);
    if (!path)
        return;
    // Checked whole before anything is taken over: a short file, or one with a value the panel
    // would refuse, changes nothing.
    const ConfigFileRead read = ReadConfigFileAt(*path);
    if (!read.failure.empty()) {
        Warn(*this, "Cannot load the configuration from " + *path + ".\n" + read.failure);
        return;
    }
    const ConfigLoad& load = read.load;
    if (load.endedEarly) {
        GetPrompts().MessageBox("An attempt was made to access " + *path + " past its end.",
                                AppName(), MbIcon::Stop, MbButtons::Ok);
        return;
    }
    if (!load.config) {
        Warn(*this, "Cannot load the configuration from " + *path + ".\n" + load.refusal);
        return;
    }
    ApplyConfigFile(*load.config, *this, g_closedTime, g_exposureTime);

    // No mode: the captions keep showing whatever mode was shown before.
    if (m_nShutterMode != -1)
        ShowModeCaptions(Host(), m_nShutterMode, m_nNdSteps);
    CheckDlgButton(IDC_TRIGGER_PULSE, m_nTriggerMode != -1);
    CheckDlgButton(IDC_SYNC_PULSE, m_nSyncPolarity != -1);
    m_comboTimer.SetCurSel(
        m_nTimerSelect >= 0 && m_nTimerSelect < m_comboTimer.GetCount() ? m_nTimerSelect : -1);
    LoadEditorFromRecord(m_nTimerSelect);

    RecomputeCycleTime(m_nShutterMode, m_nNdSteps);
    ShowClosedTime(":");
    ShowExposureTime(":");
    ShowCycleTime();
    UpdateData(false);
}

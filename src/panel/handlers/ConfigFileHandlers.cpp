// "Save Config." and "Load Config.": the panel's controller settings to and from a .cfg file.
// Neither talks to the controller; Apply sends what was loaded.

#include <QFile>
#include <QFileInfo>
#include <QString>

#include "config/ConfigFile.h"
#include "framework/Prompts.h"
#include "framework/SaveFile.h"
#include "panel/CShutterPanelDlg.h"
#include "protocol/Operations.h"
#include "timing/TimeRecord.h"

namespace {

constexpr const char* kFilter = "Quillon Config (*.cfg)|*.cfg|All Files (*.*)|*.*||";
constexpr const char* kDefaultExt = "cfg";

// Far beyond any file the panel writes (its texts come from edit fields); a larger pick is not a
// configuration, and reading it whole could exhaust memory.
constexpr qint64 kMaxReadBytes = 16 * 1024 * 1024;

void Warn(CShutterPanelDlg& dlg, const std::string& text)
{
    dlg.GetPrompts().MessageBox(text, "Warning", MbIcon::Exclamation, MbButtons::Ok);
}

std::string Reason(const QFileDevice& file)
{
    return file.errorString().toStdString();
}

// The whole file, or nothing after telling the operator why.
std::optional<QByteArray> ReadConfigBytes(CShutterPanelDlg& dlg, const std::string& path)
{
    QFile file(QString::fromStdString(path));
    const QFileInfo info(file);
    // A pipe or a device would block or never end; only a plain file can be a configuration.
    if (info.exists() && !info.isFile()) {
        Warn(dlg, "Cannot load the configuration from " + path + ".\nIt is not a regular file.");
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        Warn(dlg, "Cannot load the configuration from " + path + ".\n" + Reason(file));
        return std::nullopt;
    }
    QByteArray bytes = file.read(kMaxReadBytes);
    if (file.error() != QFileDevice::NoError) {
        Warn(dlg, "Cannot load the configuration from " + path + ".\n" + Reason(file));
        return std::nullopt;
    }
    return bytes;
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
    const std::optional<QByteArray> bytes = ReadConfigBytes(*this, *path);
    if (!bytes)
        return;
    // Decoded and checked whole before anything is taken over: a short file, or one with a
    // value the panel would refuse, changes nothing.
    const ConfigLoad load = LoadConfigFile(
        {reinterpret_cast<const std::uint8_t*>(bytes->constData()), std::size_t(bytes->size())},
        *this, g_closedTime, g_exposureTime);
    if (load.endedEarly && bytes->size() >= kMaxReadBytes) {
        Warn(*this, "Cannot load the configuration from " + *path +
                        ".\nThe file is too large to be a configuration.");
        return;
    }
    if (load.endedEarly) {
        GetPrompts().MessageBox("An attempt was made to access " + *path + " past its end.",
                                AppName(), MbIcon::Stop, MbButtons::Ok);
        return;
    }
    if (!load.config) {
        Warn(*this, "Cannot load the configuration from " + *path + ".\n" + load.refusal);
        return;
    }

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

// Panel handlers of the device connection: choosing, opening, checking and listing devices, and
// the operator's choice kept in the profile.
#include <QLineEdit>
#include <iostream>

#include "framework/Profile.h"
#include "framework/Prompts.h"
#include "panel/CShutterPanelDlg.h"
#include "panel/ReceivedList.h"
#include "protocol/DecoderState.h"
#include "usb/DeviceConnection.h"
#include "usb/Diagnosis.h"
#include "usb/LinkFlags.h"

namespace {

void Warn(CShutterPanelDlg& panel, const char* text)
{
    panel.GetPrompts().MessageBox(text, panel.AppName(), MbIcon::Exclamation, MbButtons::Ok);
}

void TellTerminal(const PanelOptions& options, const std::string& line)
{
    if (options.terminalLine) {
        options.terminalLine(line);
    } else {
        std::cerr << line << std::endl;
    }
}

// The entry is written at every keystroke; a profile that cannot be written is told once, not at
// each of them.
void WriteSetting(CShutterPanelDlg& panel, const char* key, const std::string& value)
{
    Profile& profile = panel.GetProfile();
    if (profile.WriteProfileString(kProfileSection, key, value))
        return;
    if (const auto failure = profile.TakeFailure())
        panel.GetPrompts().MessageBox(*failure, "Warning", MbIcon::Exclamation, MbButtons::Ok);
}

}  // namespace

FT_STATUS CShutterPanelDlg::OpenDevice()
{
    UpdateData(true);
    const OpenTarget target = ResolveOpenTarget(m_nOpenBy, m_strDevice);
    switch (target.kind) {
        case OpenTarget::Kind::PromptInEntry:
            if (auto* entry = Item<QLineEdit>(IDC_DEVICE)) {
                entry->setFocus();
                entry->selectAll();
            }
            Warn(*this, kMsgEnterDevice);
            return FT_DEVICE_NOT_OPENED;
        case OpenTarget::Kind::BadDeviceNumber:
            Warn(*this, kMsgBadDeviceNumber);
            return FT_DEVICE_NOT_OPENED;
        default:
            break;
    }
    // The status line shows the failure; the terminal gets the reason, when there is one to tell.
    if (const UsbReach reach = CheckUsbReach(m_usb); !reach.Reachable()) {
        TellTerminal(m_options, NoUsbHint(AppName(), reach));
        return FT_DEVICE_NOT_OPENED;
    }
    const FT_STATUS status = OpenTargetDevice(m_usb, target, m_strDevice);
    if (status != FT_OK && m_usb.Loaded()) {
        if (const auto hint =
                OpenFailureHint(AppName(), m_usb.LibraryPath(), SystemRoots::FromEnvironment(),
                                DiagnosisHost::Real())) {
            TellTerminal(m_options, *hint);
        }
    }
    return status;
}

void CShutterPanelDlg::MarkLinkReady()
{
    // The open purged whatever the controller had sent: a reply, transfer answer or run report
    // awaited from before will not come, and waiting for it would take the next replies for it.
    ResetDecoderState();
    m_strUsbStatus = kUsbReady;
    EnableTestControls(true);
    g_bUsbOpen = 1;
}

void CShutterPanelDlg::StartUsb()
{
    m_usb.LoadD2xx(m_options.driverCandidates);
    UpdateData(true);
    if (OpenDevice() != FT_OK) {
        m_strUsbStatus = kStatusStartFailed;
        g_bUsbOpen = 0;
        EnableDlgItem(IDC_OPEN, true);
    } else {
        const HandshakeResult handshake = ConfigureAndHandshake(m_usb);
        if (handshake.answered) {
            MarkLinkReady();
        } else {
            // The device stays open: "Open" closes it before trying again.
            m_strUsbStatus = kStatusStartNoAnswer + HandshakeSuffix(handshake);
            g_bUsbOpen = 0;
            EnableDlgItem(IDC_OPEN, true);
        }
    }
    m_usb.SetTimeouts(100, 100);
    UpdateData(false);
    RepaintNow();
}

void CShutterPanelDlg::OnOpen()
{
    UpdateData(true);
    m_strUsbStatus = kStatusReset;
    UpdateData(false);
    RepaintNow();

    m_usb.Close();
    if (OpenDevice() != FT_OK) {
        m_strUsbStatus = kStatusOpenFailed;
        g_bUsbOpen = 0;
    } else {
        const HandshakeResult handshake =
            ConfigureAndHandshake(m_usb, [this](unsigned ms) { WaitMs(ms); });
        if (handshake.answered) {
            MarkLinkReady();
        } else {
            m_strUsbStatus = kStatusOpenNoAnswer + HandshakeSuffix(handshake);
            g_bUsbOpen = 0;
            m_usb.Close();
        }
    }
    m_usb.SetTimeouts(100, 100);
    UpdateData(false);
    RepaintNow();
}

void CShutterPanelDlg::OnSearch()
{
    // The link's flag stays as it is: the next poll finds the handle closed and reports it.
    m_usb.Close();
    UpdateData(true);
    m_strUsbStatus = kStatusSearchClosed;
    m_nReceivedBytes = 0;
    m_strDevice.clear();
    m_listReceived->ResetContent();
    UpdateData(false);
    RepaintNow();

    const SearchResult result = SearchDevices(m_usb, m_nOpenBy);
    if (result.countFailed) {
        Warn(*this, kMsgCountFailed);
        return;
    }
    for (const std::string& line : result.lines) {
        m_listReceived->AddString(line);
    }
}

void CShutterPanelDlg::SelectOpenMethod(int method)
{
    WriteSetting(*this, kProfileOpenBy, std::to_string(method));
    UpdateData(true);
    m_strDevice =
        GetProfile().GetProfileString(kProfileSection, DeviceProfileKey(method), kDevicePrompt);
    UpdateData(false);
    RepaintNow();
}

void CShutterPanelDlg::OnOpenByDescription()
{
    SelectOpenMethod(0);
}
void CShutterPanelDlg::OnOpenBySerial()
{
    SelectOpenMethod(1);
}
void CShutterPanelDlg::OnOpenByNumber()
{
    SelectOpenMethod(2);
}

void CShutterPanelDlg::OnChangeDevice()
{
    UpdateData(true);
    if (const char* key = DeviceProfileKey(m_nOpenBy)) {
        WriteSetting(*this, key, m_strDevice);
    }
    // An empty entry opens device 0, so the method follows it.
    if (m_strDevice.empty()) {
        m_nOpenBy = 2;
    }
    UpdateData(false);
    RepaintNow();
}

void CShutterPanelDlg::OnSelchangeReceived()
{
    UpdateData(true);
    // Nothing selected: the entry keeps its text rather than being wiped.
    if (const int selected = m_listReceived->GetCurSel(); selected >= 0) {
        m_strDevice = m_listReceived->GetText(selected);
    }
    UpdateData(false);
    RepaintNow();
    if (const char* key = DeviceProfileKey(m_nOpenBy)) {
        WriteSetting(*this, key, m_strDevice);
    }
}

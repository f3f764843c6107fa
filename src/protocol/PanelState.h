#pragma once
// The panel's plain value fields, free of Qt so that core code can take them by reference.

#include <string>

inline constexpr const char* kDevicePrompt = "Enter device Description or Serial Number here.";
inline constexpr const char* kUsbReady = "USB ready for communication.";

struct PanelState {
    std::string m_strUsbStatus;
    int m_nReceivedBytes = 0;
    std::string m_strDevice = kDevicePrompt;
    int m_nOpenBy = 0;
    int m_nNdSteps = 0;
    int m_nShutterState = -1;
    int m_nShutterMode = -1;
    int m_nSyncPolarity = -1;
    int m_nTimerSelect = -1;
    std::string m_strMinutes;
    std::string m_strSeconds;
    std::string m_strHours;
    std::string m_strMs;
    std::string m_strTenthMs;
    int m_nFreeRunOption = -1;
    std::string m_strRepeatNumber;
    std::string m_strLeftCycles;
    int m_nTriggerMode = -1;

    // Scrolling state, set by OnInitDialog.
    int m_nClientHeight = 0;
    int m_nScrollPos = 0;
    struct Rect {
        int left = 0, top = 0, right = 0, bottom = 0;
    } m_rcWindow;

    bool UsbReady() const { return m_strUsbStatus == kUsbReady; }
};

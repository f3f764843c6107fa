#pragma once
// A panel on the fault tests' driver library (DriverShim.h) in front of the simulator, on the
// simulator's manual clock; a hook pulls the cable at an exact driver call.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "QuillonSim.h"
#include "faults/DriverShim.h"
#include "panel/ReceivedList.h"
#include "protocol/DecoderState.h"
#include "support/PanelHarness.h"
#include "support/SimCalls.h"
#include "timing/TimeRecord.h"
#include "usb/LinkFlags.h"

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

inline constexpr const char* kReadyText = "USB ready for communication.";
inline constexpr const char* kLostText = "USB not open.";

// Runs before each driver call the panel makes, on the caller's thread, while a FaultPanel lives.
inline std::function<void(const std::string& entryPoint)> g_beforeCall;

class FaultPanel {
public:
    // Not started; the profile names device number 0.
    explicit FaultPanel(const std::string& library = BuildLibrary("libquillon-shim.so"))
        : h({library})
    {
        QuillonSim_Reset();
        ResetGlobals();
        m_shim = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        SetHook(&CallHook);
        h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 2);
        h.profile->WriteProfileString("MyTiveloAp", "DevNmbr", "0");
        // The handshake's pauses on "Open" pass on the simulator's clock.
        h.options.waitMs = [](unsigned ms) { QuillonSim_Advance(ms); };
    }
    ~FaultPanel()
    {
        g_beforeCall = nullptr;
        h.panel.reset();
        SetHook(nullptr);
        SetReadStatus(0);
        if (m_shim != nullptr)
            dlclose(m_shim);
        ResetGlobals();
    }
    FaultPanel(const FaultPanel&) = delete;
    FaultPanel& operator=(const FaultPanel&) = delete;

    void ByDescription()
    {
        h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 0);
        h.profile->WriteProfileString("MyTiveloAp", "DescString", "Quillon SC");
    }
    void Start()
    {
        h.Start();
        h.panel->PollTimer().stop();  // ticks come from the test alone
    }
    // Starts with a ready link and forgets what the start-up did.
    void StartReady()
    {
        Start();
        ASSERT_EQ(Status(), kReadyText);
        Settle();
    }

    CShutterPanelDlg& Panel() { return *h.panel; }
    std::string Text(int id) { return h.panel->GetDlgItemText(id); }
    std::string Status() { return Text(IDC_USB_STATUS); }
    bool Checked(int id) { return h.panel->IsDlgButtonChecked(id); }
    int Received() { return h.panel->m_nReceivedBytes; }

    void Tick() { h.panel->PollReplies(); }
    void TickUntilQuiet()
    {
        TickUntilQueueEmpty([this] { Tick(); });
    }
    // Decodes what is waiting, clears the list, and forgets every prompt and call so far.
    void Settle()
    {
        TickUntilQuiet();
        h.Click(IDC_CLEAR);
        h.prompts.Clear();
        QuillonSim_ClearCallLog();
    }
    void SetReadStatus(unsigned status)
    {
        if (auto set = m_shim ? reinterpret_cast<QuillonShimSetReadStatusFn>(
                                    dlsym(m_shim, "QuillonShim_SetReadStatus"))
                              : nullptr)
            set(status);
    }
    static void Inject(const Bytes& bytes) { QuillonSim_Inject(0, bytes.data(), bytes.size()); }

    Strings Lines()
    {
        Strings lines;
        for (int i = 0; i < h.panel->m_listReceived->GetCount(); ++i)
            lines.push_back(h.panel->m_listReceived->GetText(i));
        return lines;
    }
    // Every byte is listed once and counted once.
    void ExpectCountMatchesList()
    {
        EXPECT_EQ(Text(IDC_RECEIVED_BYTES), std::to_string(Received()));
        EXPECT_EQ(Received(), h.panel->m_listReceived->GetCount());
    }
    // No reply of any kind is awaited.
    static void ExpectDecoderIdle()
    {
        EXPECT_EQ(g_nStatusIndex, -1);
        EXPECT_EQ(g_nInfoIndex, -1);
        EXPECT_EQ(g_nStatusAfterReset, 0);
        EXPECT_EQ(g_nTransferReceived, -1);
        EXPECT_EQ(g_nTransferExpected, -1);
    }
    static QuillonSimState Controller()
    {
        QuillonSimState s{};
        QuillonSim_GetState(0, &s);
        return s;
    }

    PanelHarness h;

private:
    static void ResetGlobals()
    {
        g_beforeCall = nullptr;
        ResetDecoderState();
        ResetTimeRecords();
        g_bBlinkRunning = 0;
        g_nBlinkSpeed = 0;
    }
    void SetHook(QuillonShimHook hook)
    {
        if (m_shim == nullptr)
            return;
        if (auto set = reinterpret_cast<QuillonShimSetHookFn>(dlsym(m_shim, "QuillonShim_SetHook")))
            set(hook);
    }
    static void CallHook(const char* entryPoint)
    {
        if (g_beforeCall)
            g_beforeCall(entryPoint);
    }

    void* m_shim = nullptr;
};

// "70  0x46": a list line for each byte.
inline Strings ByteLines(const Bytes& bytes)
{
    Strings lines;
    for (uint8_t b : bytes) {
        char line[16];
        std::snprintf(line, sizeof line, "%d  0x%.2X", b, b);
        lines.push_back(line);
    }
    return lines;
}

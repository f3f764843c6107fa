#pragma once
// A panel on a driver library in front of the simulator (the simulator itself, or the fault
// tests' shim, whose hook runs before each driver call), its profile naming device 0, on the
// simulator's manual clock, its ticks driven by the test alone.

#include <dlfcn.h>

#include <QApplication>
#include <QScreen>

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
inline std::function<void(const std::string& entryPoint)> g_beforeCall;

struct LinkPanel {
    explicit LinkPanel(const std::string& library = BuildLibrary("libquillon-sim.so"))
        : h({library}), shim(dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
        QuillonSim_Reset();
        ResetGlobals();
        SetHook([](const char* call) { g_beforeCall ? g_beforeCall(call) : void(); });
        h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 2);
        h.profile->WriteProfileString("MyTiveloAp", "DevNmbr", "0");
        h.options.waitMs = [](unsigned ms) { QuillonSim_Advance(ms); };
        h.options.terminalLine = [this](const std::string& line) { terminal.push_back(line); };
    }
    ~LinkPanel()
    {
        h.panel.reset();
        SetHook(nullptr);
        if (shim != nullptr)
            dlclose(shim);
        ResetGlobals();
    }
    static void ResetGlobals()
    {
        g_beforeCall = nullptr;
        ResetDecoderState();
        ResetTimeRecords();
        g_bBlinkRunning = g_nBlinkSpeed = 0;
    }
    void SetHook(QuillonShimHook hook)
    {
        if (auto set = (QuillonShimSetHookFn)(shim ? dlsym(shim, "QuillonShim_SetHook") : nullptr))
            set(hook);
    }
    void Start()
    {
        h.Start();
        h.panel->PollTimer().stop();
    }
    // Starts with a ready link and forgets what the start-up did.
    void StartReady()
    {
        Start();
        ASSERT_EQ(Status(), kReadyText);
        Settle();
    }
    CShutterPanelDlg& P() { return *h.panel; }
    std::string Text(int id) { return h.panel->GetDlgItemText(id); }
    std::string Status() { return Text(IDC_USB_STATUS); }
    bool Enabled(int id) { return h.panel->IsDlgItemEnabled(id); }
    void Tick() { h.panel->PollReplies(); }
    void TickUntilQuiet()
    {
        TickUntilQueueEmpty([this] { Tick(); });
    }
    // Decodes what is waiting, clears the list, forgets every prompt and call so far.
    void Settle()
    {
        TickUntilQuiet();
        h.Click(IDC_CLEAR);
        h.prompts.Clear();
        QuillonSim_ClearCallLog();
    }
    Strings Lines()
    {
        Strings lines;
        for (int i = 0; i < h.panel->m_listReceived->GetCount(); ++i)
            lines.push_back(h.panel->m_listReceived->GetText(i));
        return lines;
    }
    static void Inject(const Bytes& b) { QuillonSim_Inject(0, b.data(), b.size()); }
    // No reply of any kind is awaited.
    static void ExpectDecoderIdle()
    {
        EXPECT_EQ(g_nStatusIndex, -1);
        EXPECT_EQ(g_nInfoIndex, -1);
        EXPECT_EQ(g_nStatusAfterReset, 0);
        EXPECT_EQ(g_nTransferReceived, -1);
    }

    PanelHarness h;
    void* shim;
    Strings terminal;
};

// A widget's pixels in the window as the screen shows them, against the widget drawn now.
inline bool ShownAsRendered(QWidget* w)
{
    for (int pass = 0; pass < 5; ++pass) QApplication::processEvents();
    const QPoint at = w->mapTo(w->window(), QPoint(0, 0));
    return w->screen()
               ->grabWindow(w->window()->winId(), at.x(), at.y(), w->width(), w->height())
               .toImage()
               .convertToFormat(QImage::Format_RGB32) ==
           w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// "70  0x46": the list line of each byte.
inline Strings ByteLines(const Bytes& bytes)
{
    Strings lines;
    for (uint8_t b : bytes) lines.push_back(QString::asprintf("%d  0x%.2X", b, b).toStdString());
    return lines;
}

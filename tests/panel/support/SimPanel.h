#pragma once
// A panel on the simulated controller (device 0, manual clock; StartReady: the link is ready and
// every prompt and call so far forgotten), or, with sim false, on no driver at all.

#include "protocol/DecoderState.h"
#include "support/PanelHarness.h"
#include "support/SimCalls.h"
#include "timing/TimeRecord.h"
#include "usb/LinkFlags.h"

struct SimPanel : PanelHarness {
    explicit SimPanel(bool sim = true)
        : PanelHarness(sim ? std::vector{BuildLibrary("libquillon-sim.so")}
                           : std::vector<std::string>{})
    {
        QuillonSim_Reset();
        ResetDecoderState();
        ResetTimeRecords();
        g_bBlinkRunning = 0;
        if (sim) {
            profile->WriteProfileInt("MyTiveloAp", "SerDesc", 2);
            profile->WriteProfileString("MyTiveloAp", "DevNmbr", "0");
        }
    }
    void StartReady()
    {
        Start();
        EXPECT_EQ(Text(IDC_USB_STATUS), "USB ready for communication.");
        panel->PollTimer().stop();  // the test ticks
        Settle();
    }
    std::string Text(int id) const { return panel->GetDlgItemText(id); }
    void Tick() { panel->PollReplies(); }
    void TickUntilQuiet()
    {
        TickUntilQueueEmpty([this] { Tick(); });
    }
    void Settle()
    {
        TickUntilQuiet();
        prompts.Clear();
        QuillonSim_ClearCallLog();
    }
    void MakeLinkNotReady()
    {
        panel->SetDlgItemText(IDC_USB_STATUS, "USB not responding");
        Settle();
    }
};

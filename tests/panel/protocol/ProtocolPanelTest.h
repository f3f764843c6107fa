#pragma once
// A panel whose link to the simulated controller is ready, on the simulator's manual clock.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <string>
#include <vector>

#include "QuillonSim.h"
#include "panel/PanelTemplate.h"
#include "protocol/DecoderState.h"
#include "support/PanelHarness.h"
#include "support/SimCalls.h"
#include "timing/TimeRecord.h"
#include "usb/LinkFlags.h"

class ProtocolPanelTest : public ::testing::Test {
protected:
    ProtocolPanelTest() : h({BuildLibrary("libquillon-sim.so")}) {}

    void SetUp() override
    {
        QuillonSim_Reset();
        ResetDecoderState();
        ResetTimeRecords();
        g_bBlinkRunning = 0;
        h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 2);
        h.profile->WriteProfileString("MyTiveloAp", "DevNmbr", "0");
        h.Start();
        ASSERT_EQ(Text(IDC_USB_STATUS), "USB ready for communication.");
        Settle();
    }
    void TearDown() override
    {
        h.panel.reset();
        ResetDecoderState();
        ResetTimeRecords();
    }

    CShutterPanelDlg& Panel() { return *h.panel; }
    std::string Text(int id) { return h.panel->GetDlgItemText(id); }
    bool Checked(int id) { return h.panel->IsDlgButtonChecked(id); }
    static std::string CallLog() { return SimCallLog(); }
    // The frames written since the last call, in hexadecimal.
    static std::vector<std::string> Writes() { return SimWrites(); }

    void Tick() { h.panel->PollReplies(); }
    void TickUntilQuiet()
    {
        TickUntilQueueEmpty([this] { Tick(); });
    }
    // Decodes what is waiting and forgets every prompt and call so far.
    void Settle()
    {
        TickUntilQuiet();
        h.prompts.Clear();
        QuillonSim_ClearCallLog();
    }
    void MakeLinkNotReady()
    {
        h.panel->SetDlgItemText(IDC_USB_STATUS, "USB not responding");
        Settle();
    }
    // What assistive technology hears matches the screen: a control is named by what it shows,
    // an entry by its label with its text as value, the timer selector by its label.
    void ExpectAnnouncedAsShown()
    {
        for (const ControlTemplate& ctl : PanelTemplate().controls) {
            if (ctl.id == IDC_STATIC || ctl.kind == ControlKind::Trackbar ||
                ctl.kind == ControlKind::ListBox)
                continue;
            QAccessibleInterface* a =
                QAccessible::queryAccessibleInterface(h.panel->GetDlgItem(ctl.id));
            const std::string shown =
                QString::fromStdString(Text(ctl.id)).remove('&').toStdString();
            const bool labelled = !ctl.accessibleName.empty();
            EXPECT_EQ(a->text(QAccessible::Name).toStdString(),
                      labelled ? ctl.accessibleName : shown)
                << ctl.id;
            if (labelled) {
                EXPECT_EQ(a->text(QAccessible::Value).toStdString(), shown) << ctl.id;
            }
        }
    }
    void Inject(std::vector<uint8_t> bytes) { QuillonSim_Inject(0, bytes.data(), bytes.size()); }
    QuillonSimState SimState()
    {
        QuillonSimState s{};
        EXPECT_EQ(QuillonSim_GetState(0, &s), 0);
        return s;
    }

    PanelHarness h;
};

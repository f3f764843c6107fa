// What the controller's answers do to the panel, end to end through the simulated controller:
// status and identity replies, the owed status request, the configuration transfer paced by the
// answers, and ticks held off while an operation has a box open.

#include <QComboBox>
#include <QCoreApplication>

#include "ProtocolPanelTest.h"
#include "panel/ReceivedList.h"

namespace {

using Strings = std::vector<std::string>;

class ReceiveSideTest : public ProtocolPanelTest {
protected:
    // Open, Enable on Low, High for Open, closed 1.5 s, exposure 2.1234 s, Go, 5 repeats, powered.
    static void SetExampleState(int mode, int steps)
    {
        QuillonSimState s{0, 1, mode, steps, 2, 1, {0, 0, 1, 500, 0}, {0, 0, 2, 123, 4}, 3, 5, 0, 0,
                          1, 0};
        QuillonSim_SetState(0, &s);
    }

    void ExpectExamplePanel()
    {
        for (int id : {IDC_SHUTTER_OPEN, IDC_TRIGGER_PULSE, IDC_ENABLE_LOW, IDC_SYNC_PULSE,
                       IDC_HIGH_FOR_OPEN, IDC_GO})
            EXPECT_TRUE(Checked(id)) << id;
        EXPECT_EQ(Text(IDC_REPEAT), "5");
        EXPECT_EQ(Text(IDC_LEFT_CYCLES), "5");
        EXPECT_EQ(h.Item<QComboBox>(IDC_TIMER_SELECT)->currentIndex(), 1);
        EXPECT_EQ(Text(IDC_CLOSED_DISPLAY), "00 : 00 : 01 : 500 : 0");
        EXPECT_EQ(Text(IDC_EXPOSURE_DISPLAY), "00 : 00 : 02 : 123 : 4");
        // The editor shows the exposure time.
        EXPECT_EQ((Strings{Text(IDC_HOURS), Text(IDC_MINUTES), Text(IDC_SECONDS), Text(IDC_MS),
                           Text(IDC_TENTH_MS)}),
                  (Strings{"0", "0", "2", "123", "4"}));
        EXPECT_EQ(Panel().m_sliderMs.GetPos(), 123);
    }
};

TEST_F(ReceiveSideTest, StatusReplyTakesTheControllersStateInBothLayouts)
{
    struct Case {
        int mode, steps, modeButton;
        const char* ndCaption;
        const char* transition;
        const char* cycle;
    };
    const Case cases[] = {
        {0, 0, IDC_FAST, "Neutral Density", "12 ms", "Cycle Time - 00:00:03:647:4"},
        {2, 144, IDC_ND, "Neutral Density - 144", "38.00 ms", "Cycle Time - 00:00:03:699:4"},
        {1, 0, IDC_SOFT, "Neutral Density", "70 ms", "Cycle Time - 00:00:03:763:4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ndCaption);
        SetExampleState(c.mode, c.steps);
        h.Click(IDC_STATUS);
        EXPECT_EQ(Writes(), Strings{"CC"});
        TickUntilQuiet();
        EXPECT_EQ(g_nStatusIndex, -1);
        EXPECT_EQ(Text(IDC_RECEIVED_BYTES), "20");
        EXPECT_EQ(Panel().m_listReceived->GetText(0), "204  0xCC");
        EXPECT_TRUE(Checked(c.modeButton));
        EXPECT_EQ(Text(IDC_ND), c.ndCaption);
        EXPECT_EQ(Text(IDC_OPENING_TIME), c.transition);
        EXPECT_EQ(Text(IDC_CLOSING_TIME), c.transition);
        EXPECT_EQ(Text(IDC_CYCLE_DISPLAY), c.cycle);
        ExpectExamplePanel();
        ExpectAnnouncedAsShown();
        h.Click(IDC_CLEAR);
        Settle();
    }
}

TEST_F(ReceiveSideTest, AtMostSixHundredBytesATick)
{
    std::vector<uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i % 7 + 1);
    Inject(bytes);
    Tick();
    EXPECT_EQ(Text(IDC_RECEIVED_BYTES), "600");
    Tick();
    EXPECT_EQ(Text(IDC_RECEIVED_BYTES), "1000");
    const std::string log = CallLog();
    EXPECT_NE(log.find("FT_Read(600)\n"), std::string::npos);
    EXPECT_NE(log.find("FT_Read(400)\n"), std::string::npos);
    ReceivedList& list = *Panel().m_listReceived;
    ASSERT_EQ(list.GetCount(), 1000);
    EXPECT_EQ(list.GetText(599), "5  0x05");
    EXPECT_EQ(list.GetText(999), "6  0x06");
    QuillonSim_ClearCallLog();
    Tick();
    EXPECT_EQ(CallLog().find("FT_Read"), std::string::npos) << "an empty queue reads nothing";
}

// The controller's ready marker after Reset or Restore Default makes the panel ask for the status.
TEST_F(ReceiveSideTest, ResetAndRestoreDefaultOweAStatusRequest)
{
    SetExampleState(1, 0);
    h.Click(IDC_RESET);
    TickUntilQuiet();
    EXPECT_EQ(Writes(), Strings{"FB"});
    QuillonSim_Advance(QUILLON_SIM_RESET_MARKER_MS);
    Tick();
    EXPECT_EQ(Writes(), Strings{"CC"});
    TickUntilQuiet();
    EXPECT_TRUE(Checked(IDC_SOFT)) << "Reset keeps the settings";
    ExpectExamplePanel();

    h.Click(IDC_RESTORE_DEFAULT);
    TickUntilQuiet();
    EXPECT_EQ(Writes(), Strings{"FA C0"});
    QuillonSim_Advance(QUILLON_SIM_RESTORE_MARKER_MS);
    Tick();
    EXPECT_EQ(Writes(), Strings{"CC"});
    TickUntilQuiet();
    for (int id : {IDC_FAST, IDC_SHUTTER_CLOSE, IDC_LOW_FOR_OPEN}) EXPECT_TRUE(Checked(id)) << id;
    EXPECT_EQ(Text(IDC_REPEAT), "0");
    EXPECT_EQ(Text(IDC_EXPOSURE_DISPLAY), "00 : 00 : 00 : 000 : 0");
}

TEST_F(ReceiveSideTest, IdentityReplyListsTwoTextLines)
{
    h.Click(IDC_CONTROLLER_INFO);
    TickUntilQuiet();
    ReceivedList& list = *Panel().m_listReceived;
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetText(0), "253  0xFD");
    EXPECT_EQ(list.GetText(1), "QSC10001");
    EXPECT_EQ(list.GetText(2), QUILLON_SIM_FIRMWARE);
    EXPECT_EQ(Text(IDC_RECEIVED_BYTES), "13");
}

// A tick while an operation's box is open would decode into fields its push then overwrites.
TEST_F(ReceiveSideTest, NoTickPollsWhileAnOperationHasABoxOpen)
{
    SetExampleState(0, 0);
    h.Click(IDC_STATUS);  // the reply is queued, not yet decoded
    Writes();
    int boxes = 0;
    h.prompts.whileOpen = [&](const ScriptedPrompts::Record&) {
        ++boxes;
        Tick();
        QCoreApplication::processEvents();
        EXPECT_EQ(CallLog(), "") << "polled while a box was open";
    };
    h.prompts.answers = {MbResult::Cancel};
    h.Click(IDC_SAVE_TO_CONTROLLER);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(Text(IDC_RECEIVED_BYTES), "0");
    h.prompts.whileOpen = nullptr;
    TickUntilQuiet();
    ExpectExamplePanel();
}

// A silent controller: the test answers each frame and watches the next go out exactly when the
// last expected byte has come.
TEST_F(ReceiveSideTest, TransferSendsEachFrameWhenThePreviousOneIsAnswered)
{
    h.Click(IDC_RISING_EDGE);  // changed before the transfer's trigger step: it sends A2 below
    h.TypeText(IDC_REPEAT, "Continuous");
    h.Click(IDC_GO);
    h.Click(IDC_ENABLE_LOW);  // pulls the panel: the repeat text and Go are in the fields now
    Settle();
    g_closedTime = {"1", "2", "3", "456", "7"};
    g_exposureTime = {"0", "0", "59", "999", "9"};
    Panel().m_nShutterMode = 2;  // as a status reply would leave it
    Panel().m_nNdSteps = 144;
    Panel().UpdateData(false);
    QuillonSim_SetSilent(0, 1);

    h.Click(IDC_CLEAR);
    h.TypeText(IDC_REPEAT, "9");  // Apply does not pull: its push puts "Continuous" back
    h.Click(IDC_APPLY);
    EXPECT_EQ(Writes(), Strings{"AC"});
    EXPECT_EQ(Text(IDC_REPEAT), "Continuous");
    const std::pair<int, const char*> steps[] = {
        {2, "DE 90"},       {3, "FA A2"},       {3, "FA B2"}, {3, "FA 11 02 03 45 67"},
        {7, "FA 20 00 3B 99 99"}, {7, "FA F0 FF FF"}, {5, "FA F3"},
    };
    for (const auto& [answer, frame] : steps) {
        SCOPED_TRACE(frame);
        for (int i = 0; i < answer - 1; ++i) Inject({0x30});
        Tick();
        EXPECT_EQ(Writes(), Strings{});
        Inject({0x0D});
        Tick();
        EXPECT_EQ(Writes(), Strings{frame});
    }
    EXPECT_EQ(g_nTransferReceived, -1);
    EXPECT_EQ(g_nTransferExpected, -1);
    EXPECT_EQ(g_nFreeRunKind, 2) << "the Go run is counted";
    EXPECT_EQ(g_nFreeRunStartState, 1);
    EXPECT_EQ(Text(IDC_RECEIVED_BYTES), "30");
}

}  // namespace

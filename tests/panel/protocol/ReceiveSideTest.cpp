// What the controller's answers do to the panel, end to end through the simulated controller:
// status and identity replies, the owed status request after Reset, the configuration transfer
// paced by the answers, and ticks held off while an operation has a box open.

#include <QComboBox>
#include <QCoreApplication>

#include "ProtocolPanelTest.h"
#include "panel/ReceivedList.h"

namespace {

using Strings = std::vector<std::string>;

class ReceiveSideTest : public ProtocolPanelTest {
protected:
    // The settings of the status-reply example: open, Fast, Enable on Low, High for Open,
    // closed 1.5 s, exposure 2.1234 s, Go, 5 repeats.
    static QuillonSimState ExampleState(int mode, int steps)
    {
        QuillonSimState s{};
        s.shutterOpen = 1;
        s.mode = mode;
        s.ndSteps = steps;
        s.trigger = 2;
        s.sync = 1;
        const int closed[5] = {0, 0, 1, 500, 0};
        const int exposure[5] = {0, 0, 2, 123, 4};
        std::copy(closed, closed + 5, s.closedTime);
        std::copy(exposure, exposure + 5, s.exposureTime);
        s.freeRunOption = 3;
        s.repeatCount = 5;
        s.powered = 1;
        return s;
    }

    void ExpectExamplePanel()
    {
        EXPECT_TRUE(Checked(IDC_SHUTTER_OPEN));
        EXPECT_TRUE(Checked(IDC_TRIGGER_PULSE));
        EXPECT_TRUE(Checked(IDC_ENABLE_LOW));
        EXPECT_TRUE(Checked(IDC_SYNC_PULSE));
        EXPECT_TRUE(Checked(IDC_HIGH_FOR_OPEN));
        EXPECT_TRUE(Checked(IDC_GO));
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
        int mode, steps;
        int modeButton;
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
        const QuillonSimState state = ExampleState(c.mode, c.steps);
        QuillonSim_SetState(0, &state);
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
        h.Click(IDC_CLEAR);
        Settle();
    }
}

TEST_F(ReceiveSideTest, AReplySplitOverTicksDecodesTheSame)
{
    const QuillonSimState state = ExampleState(2, 144);
    QuillonSim_SetState(0, &state);
    QuillonSim_SetSilent(0, 1);
    h.Click(IDC_STATUS);
    const std::vector<uint8_t> reply = {0xCC, 0xAA, 0xDE, 0x90, 0x00, 0xA2, 0xB1, 0x10, 0x00, 0x01,
                                        0x50, 0x00, 0x20, 0x00, 0x02, 0x12, 0x34, 0xF3, 0x00, 0x05};
    for (uint8_t b : reply) {
        Inject({b});
        Tick();
    }
    EXPECT_EQ(Text(IDC_CYCLE_DISPLAY), "Cycle Time - 00:00:03:699:4");
    ExpectExamplePanel();
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

TEST_F(ReceiveSideTest, ResetOwesAStatusRequestUntilTheControllerIsReady)
{
    const QuillonSimState state = ExampleState(0, 0);
    QuillonSim_SetState(0, &state);
    h.Click(IDC_RESET);
    TickUntilQuiet();
    EXPECT_EQ(Writes(), Strings{"FB"});
    QuillonSim_Advance(QUILLON_SIM_RESET_MARKER_MS);
    Tick();  // the 0x0D: the panel asks for the status by itself
    EXPECT_EQ(Writes(), Strings{"CC"});
    TickUntilQuiet();
    ExpectExamplePanel();

    // Status before the marker: that reply is decoded first, and the owed request still waits
    // for the next 0x0D (the reply's own last byte is part of the reply).
    h.Click(IDC_RESET);
    h.Click(IDC_STATUS);
    TickUntilQuiet();
    EXPECT_EQ(Writes(), (Strings{"FB", "CC"}));
    EXPECT_EQ(g_nStatusAfterReset, 1);
    QuillonSim_Advance(QUILLON_SIM_RESET_MARKER_MS);
    TickUntilQuiet();
    EXPECT_EQ(Writes(), Strings{"CC"});
    EXPECT_EQ(g_nStatusAfterReset, 0);
    EXPECT_EQ(g_nStatusIndex, -1);
}

TEST_F(ReceiveSideTest, RestoreDefaultShowsTheFactorySettings)
{
    const QuillonSimState state = ExampleState(1, 0);
    QuillonSim_SetState(0, &state);
    h.Click(IDC_STATUS);
    TickUntilQuiet();
    ASSERT_TRUE(Checked(IDC_SOFT));
    h.Click(IDC_RESTORE_DEFAULT);
    QuillonSim_Advance(QUILLON_SIM_RESTORE_MARKER_MS);
    TickUntilQuiet();
    TickUntilQuiet();
    EXPECT_EQ(Writes(), (Strings{"CC", "FA C0", "CC"}));
    EXPECT_TRUE(Checked(IDC_FAST));
    EXPECT_TRUE(Checked(IDC_SHUTTER_CLOSE));
    EXPECT_TRUE(Checked(IDC_LOW_FOR_OPEN));
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

// An operation that has pulled the panel and shows a box pushes afterwards; a tick in between
// would decode into fields that the push then overwrites.
TEST_F(ReceiveSideTest, NoTickPollsWhileAnOperationHasABoxOpen)
{
    const QuillonSimState state = ExampleState(0, 0);
    QuillonSim_SetState(0, &state);
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

// A controller that answers nothing by itself: the test answers each frame byte by byte and
// watches the next frame go out exactly when the last expected byte has come.
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
    h.Click(IDC_APPLY);
    EXPECT_EQ(Writes(), Strings{"AC"});
    const std::pair<int, const char*> steps[] = {
        {2, "DE 90"},
        {3, "FA A2"},
        {3, "FA B2"},
        {3, "FA 11 02 03 45 67"},
        {7, "FA 20 00 3B 99 99"},
        {7, "FA F0 FF FF"},
        {5, "FA F3"},
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

TEST_F(ReceiveSideTest, TransferBringsTheControllerToThePanelsSettings)
{
    g_closedTime = {"0", "0", "1", "250", "5"};
    g_exposureTime = {"0", "1", "0", "0", "3"};
    h.TypeText(IDC_REPEAT, "300");
    h.Click(IDC_ON_POWER_UP);
    h.Click(IDC_SHUTTER_OPEN);
    h.Click(IDC_SOFT);
    h.Click(IDC_FALLING_EDGE);
    h.Click(IDC_HIGH_FOR_OPEN);
    // Back to the factory state, so the transfer is what sets the controller.
    h.Click(IDC_RESTORE_DEFAULT);
    QuillonSim_Advance(QUILLON_SIM_RESTORE_MARKER_MS);
    TickUntilQuiet();
    TickUntilQuiet();
    g_nStatusIndex = -1;
    h.Click(IDC_SHUTTER_OPEN);
    Settle();
    // The status reply put the panel back to the defaults too: set it up again.
    h.TypeText(IDC_REPEAT, "300");
    h.Click(IDC_ON_POWER_UP);
    h.Click(IDC_SOFT);
    h.Click(IDC_FALLING_EDGE);
    h.Click(IDC_HIGH_FOR_OPEN);
    g_closedTime = {"0", "0", "1", "250", "5"};
    g_exposureTime = {"0", "1", "0", "0", "3"};
    Settle();
    QuillonSimState reset{};
    QuillonSim_GetState(0, &reset);
    reset.mode = 0;
    reset.trigger = 1;
    reset.sync = 2;
    reset.repeatCount = 0;
    QuillonSim_SetState(0, &reset);

    h.Click(IDC_APPLY);
    TickUntilQuiet();
    QuillonSimState s{};
    QuillonSim_GetState(0, &s);
    EXPECT_EQ(s.shutterOpen, 1);
    EXPECT_EQ(s.mode, 1);
    EXPECT_EQ(s.trigger, 4);
    EXPECT_EQ(s.sync, 1);
    EXPECT_EQ((std::vector<int>(s.closedTime, s.closedTime + 5)),
              (std::vector<int>{0, 0, 1, 250, 5}));
    EXPECT_EQ((std::vector<int>(s.exposureTime, s.exposureTime + 5)),
              (std::vector<int>{0, 1, 0, 0, 3}));
    EXPECT_EQ(s.repeatCount, 300);
    EXPECT_EQ(s.freeRunOption, 1);
    EXPECT_EQ(g_nTransferReceived, -1);
    EXPECT_EQ(g_nFreeRunKind, 0) << "a power-up run is not counted";
}

TEST_F(ReceiveSideTest, ApplyWithoutAModeStallsAndApplyStartsAgain)
{
    Panel().CheckDlgButton(IDC_FAST, false);
    Panel().CheckDlgButton(IDC_SHUTTER_CLOSE, false);
    h.Click(IDC_CLEAR);  // a pull: neither Open nor Close, no mode
    Settle();
    h.Click(IDC_APPLY);
    TickUntilQuiet();
    EXPECT_EQ(Writes(), Strings{"AC"}) << "neither Open nor Close sends Close";
    Inject({0x01, 0x02, 0x0D});
    TickUntilQuiet();
    EXPECT_EQ(Writes(), Strings{});
    EXPECT_EQ(g_nTransferReceived, 5);
    EXPECT_EQ(g_nTransferExpected, 2);

    h.Click(IDC_SHUTTER_OPEN);
    h.Click(IDC_FAST);
    Settle();
    h.Click(IDC_APPLY);
    EXPECT_EQ(Writes(), Strings{"AA"});
    EXPECT_EQ(g_nTransferReceived, 0);
    EXPECT_EQ(g_nTransferExpected, 2);
}

// Apply starts from the fields as last pulled: text typed since is put back by its push.
TEST_F(ReceiveSideTest, ApplyDoesNotTakeInTextTypedSinceTheLastPull)
{
    h.TypeText(IDC_REPEAT, "7");
    h.Click(IDC_CLEAR);
    h.TypeText(IDC_REPEAT, "9");
    QuillonSim_SetSilent(0, 1);
    h.Click(IDC_APPLY);
    EXPECT_EQ(Text(IDC_REPEAT), "7");
}

}  // namespace

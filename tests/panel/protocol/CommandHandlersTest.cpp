// The command buttons against the simulated controller: the bytes each writes, the readiness
// gate, the pulse boxes, the mode captions, the steps dialog and the confirmation boxes.

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "ProtocolPanelTest.h"
#include "panel/ReceivedList.h"
#include "panel/CNdStepsDlg.h"

namespace {

using Strings = std::vector<std::string>;

// Every button that writes one fixed frame (confirmations answered with OK).
constexpr std::pair<int, const char*> kCommands[] = {
    {IDC_SHUTTER_OPEN, "AA"},       {IDC_SHUTTER_CLOSE, "AC"},        {IDC_FAST, "DC"},
    {IDC_SOFT, "DD"},               {IDC_ENABLE_HIGH, "FA A1"},       {IDC_ENABLE_LOW, "FA A2"},
    {IDC_RISING_EDGE, "FA A3"},     {IDC_FALLING_EDGE, "FA A4"},      {IDC_HIGH_FOR_OPEN, "FA B1"},
    {IDC_LOW_FOR_OPEN, "FA B2"},    {IDC_STATUS, "CC"},               {IDC_ONLINE, "EE"},
    {IDC_CONTROLLER_INFO, "FD"},    {IDC_POWER_ON, "CE"},             {IDC_POWER_OFF, "CF"},
    {IDC_RESET, "FB"},              {IDC_RESTORE_DEFAULT, "FA C0"},   {IDC_SAVE_TO_CONTROLLER, "FA C1"},
};

constexpr const char* kTimeouts = "FT_SetTimeouts(100,100)\n";

class CommandHandlersTest : public ProtocolPanelTest {
protected:
    // The steps dialog as an operator runs it: each entry typed and OK pressed, then Cancel.
    void SetUp() override
    {
        h.options.runDialog = [this](CDialog& dlg) {
            ++stepsShown;
            dlg.Create();
            dlg.show();
            EXPECT_EQ(dlg.windowTitle(), "Neutral Density Shutter");
            // The operation holds its pull while the dialog is open: no tick may decode now.
            QuillonSim_ClearCallLog();
            h.panel->PollReplies();
            EXPECT_EQ(CallLog(), "") << "a tick polled while the steps dialog was open";
            for (const std::string& entry : runDialogEntries) {
                dlg.Item<QLineEdit>(IDC_ND_STEPS)->setText(QString::fromStdString(entry));
                QTest::mouseClick(dlg.Item<QPushButton>(IDOK), Qt::LeftButton);
                if (dlg.result() == QDialog::Accepted)
                    return true;
            }
            QTest::mouseClick(dlg.Item<QPushButton>(IDCANCEL), Qt::LeftButton);
            return false;
        };
        ProtocolPanelTest::SetUp();
    }

    Strings runDialogEntries;
    int stepsShown = 0;
};

TEST_F(CommandHandlersTest, EachButtonWritesItsFrameThenSetsTheTimeouts)
{
    for (const auto& [id, frame] : kCommands) {
        SCOPED_TRACE(frame);
        h.Click(id);
        const std::string log = CallLog();
        EXPECT_EQ(Writes(), Strings{frame});
        EXPECT_TRUE(log.ends_with(kTimeouts)) << log;
        Settle();
    }
    EXPECT_EQ(SimState().saved, 1) << "the controller took the frames";
    EXPECT_EQ(SimState().powered, 0);
}

TEST_F(CommandHandlersTest, ClosedGateSendsNothingChangesNoTextAndStillSetsTimeouts)
{
    MakeLinkNotReady();
    const auto texts = [this] {
        return Strings{Text(IDC_ND), Text(IDC_OPENING_TIME), Text(IDC_CYCLE_DISPLAY)};
    };
    const Strings before = texts();
    runDialogEntries = {"10"};
    h.panel->m_comboTimer.SetCurSel(0);
    std::vector<int> ids = {IDC_ND, IDC_SET_TIMER, IDC_APPLY};
    for (const auto& [id, frame] : kCommands) ids.push_back(id);
    for (int id : ids) {
        SCOPED_TRACE(id);
        h.Click(id);
        EXPECT_EQ(CallLog(), kTimeouts);
        EXPECT_EQ(Writes(), Strings{});
    }
    EXPECT_EQ(stepsShown, 0);
    EXPECT_TRUE(h.prompts.records.empty()) << "no confirmation while the link is not ready";
    EXPECT_EQ(texts(), before);
    EXPECT_EQ(g_nStatusIndex, -1);
    EXPECT_EQ(g_nStatusAfterReset, 0);
    EXPECT_EQ(g_nTransferReceived, -1);
    // The clicked buttons keep their marks all the same.
    EXPECT_TRUE(Checked(IDC_LOW_FOR_OPEN));
    EXPECT_EQ(Panel().m_nSyncPolarity, 1);
}

TEST_F(CommandHandlersTest, PulseBoxesAndSignalChoices)
{
    struct Step {
        int click;  // 0: the link stops being ready
        Strings frames;
        std::vector<int> checked, unchecked;
    };
    // At start the sync box is ticked with Low for Open.
    const Step steps[] = {
        {IDC_SYNC_PULSE, {"FA B0"}, {}, {IDC_SYNC_PULSE, IDC_LOW_FOR_OPEN}},  // clears the group
        {IDC_TRIGGER_PULSE, {"FA A0"}, {}, {IDC_TRIGGER_PULSE}},
        {IDC_FALLING_EDGE, {"FA A4"}, {IDC_TRIGGER_PULSE, IDC_FALLING_EDGE}, {}},  // ticks its box
        {IDC_ENABLE_LOW, {"FA A2"}, {IDC_ENABLE_LOW}, {}},
        {IDC_ENABLE_LOW, {"FA A2"}, {IDC_ENABLE_LOW}, {}},
        {0, {}, {}, {}},
        // Ticking goes out even before the link is ready, with the default choice.
        {IDC_SYNC_PULSE, {"FA B2"}, {IDC_SYNC_PULSE, IDC_LOW_FOR_OPEN}, {}},
        {IDC_SYNC_PULSE, {}, {}, {IDC_SYNC_PULSE, IDC_LOW_FOR_OPEN}},  // unticking waits
        {IDC_HIGH_FOR_OPEN, {}, {IDC_HIGH_FOR_OPEN}, {IDC_SYNC_PULSE}},  // box left alone
        {IDC_SYNC_PULSE, {}, {}, {IDC_SYNC_PULSE, IDC_HIGH_FOR_OPEN}},
        {IDC_TRIGGER_PULSE, {}, {}, {IDC_TRIGGER_PULSE, IDC_ENABLE_LOW}},
        {IDC_TRIGGER_PULSE, {"FA A1"}, {IDC_TRIGGER_PULSE, IDC_ENABLE_HIGH}, {}},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        if (s.click == 0) {
            MakeLinkNotReady();
            continue;
        }
        h.Click(s.click);
        EXPECT_EQ(Writes(), s.frames);
        for (int id : s.checked) EXPECT_TRUE(Checked(id)) << id;
        for (int id : s.unchecked) EXPECT_FALSE(Checked(id)) << id;
    }
    EXPECT_EQ(Panel().m_nSyncPolarity, -1);
    EXPECT_EQ(Panel().m_nTriggerMode, 0);
}

TEST_F(CommandHandlersTest, ModesShowTheirTransitionTimesAndTheCycleTime)
{
    struct Case {
        int id;
        const char* steps;  // typed into the steps dialog
        const char* frame;
        const char* ndCaption;
        const char* transition;
        const char* cycle;
    };
    const Case cases[] = {
        {IDC_ND, "144", "DE 90", "Neutral Density - 144", "38.00 ms", "00:00:00:076:0"},
        {IDC_FAST, "", "DC", "Neutral Density", "12 ms", "00:00:00:024:0"},
        {IDC_ND, "0", "DE 00", "Neutral Density - 0", "0.00 ms", "00:00:00:000:0"},
        {IDC_SOFT, "", "DD", "Neutral Density", "70 ms", "00:00:00:140:0"},
        {IDC_ND, "1", "DE 01", "Neutral Density - 1", "0.26 ms", "00:00:00:000:6"},
        {IDC_ND, "50", "DE 32", "Neutral Density - 50", "13.19 ms", "00:00:00:026:4"},
        // Text without digits reads as 0 and passes.
        {IDC_ND, "abc", "DE 00", "Neutral Density - 0", "0.00 ms", "00:00:00:000:0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        runDialogEntries = {c.steps};
        h.Click(c.id);
        EXPECT_EQ(Writes(), Strings{c.frame});
        EXPECT_EQ(Text(IDC_ND), c.ndCaption);
        EXPECT_EQ(Text(IDC_OPENING_TIME), c.transition);
        EXPECT_EQ(Text(IDC_CLOSING_TIME), c.transition);
        EXPECT_EQ(Text(IDC_CYCLE_DISPLAY), std::string("Cycle Time - ") + c.cycle);
        ExpectAnnouncedAsShown();
        Settle();
    }
    EXPECT_EQ(stepsShown, 5);
    EXPECT_EQ(Panel().m_nNdSteps, 0) << "the last steps sent";
}

TEST_F(CommandHandlersTest, StepsDialogRefusesBadEntriesAndCancelSendsNothing)
{
    runDialogEntries = {"144"};
    h.Click(IDC_ND);
    Settle();

    runDialogEntries = {"145", "", "-5", "-1", "999"};
    h.Click(IDC_ND);
    EXPECT_EQ(h.prompts.MessageTexts(),
              (Strings{"Steps must be less than 145. Please try again!",
                       "No steps. Please enter the number!",
                       "Steps must be between 0 and 144. Please try again!",
                       "Steps must be between 0 and 144. Please try again!",
                       "Steps must be less than 145. Please try again!"}));
    for (const auto& r : h.prompts.records) {
        EXPECT_EQ(r.caption, "Warning");
        EXPECT_EQ(r.icon, MbIcon::Exclamation);
    }
    // Cancelled: nothing written, not even the time-outs; the last steps sent still stand.
    EXPECT_EQ(CallLog(), "");
    EXPECT_EQ(Panel().m_nNdSteps, 144);
    EXPECT_EQ(Text(IDC_ND), "Neutral Density - 144");
    EXPECT_EQ(Text(IDC_OPENING_TIME), "38.00 ms");
    EXPECT_TRUE(Checked(IDC_ND));
}

TEST_F(CommandHandlersTest, StoringAndRestoringAskFirst)
{
    const std::pair<int, const char*> cases[] = {
        {IDC_SAVE_TO_CONTROLLER,
         "This will save all the current configurations to Quillon controller,\n"
         "the new configurations will be the initial setting when the controller\n"
         "power up next time!\n\nClick OK to save or Cancel to dismiss?"},
        {IDC_RESTORE_DEFAULT,
         "This will restore the factory default configurations for Quillon controller!\n"
         "Are you sure?\n\nClick OK to restore or Cancel to dismiss?"},
    };
    for (const auto& [id, text] : cases) {
        h.prompts.answers = {MbResult::Cancel};
        h.Click(id);
        ASSERT_EQ(h.prompts.records.size(), 1u);
        const auto& box = h.prompts.records[0];
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "Warning");
        EXPECT_EQ(box.icon, MbIcon::Information);
        EXPECT_EQ(box.buttons, MbButtons::OkCancel);
        EXPECT_EQ(CallLog(), kTimeouts) << "cancelled: nothing sent";
        Settle();
    }
    // A cancelled restore owes no status request.
    Inject({0x0D});
    TickUntilQuiet();
    EXPECT_EQ(Writes(), Strings{});
    EXPECT_EQ(SimState().saved, 0);
}

TEST_F(CommandHandlersTest, ClearEmptiesTheListAndTheCountWithOrWithoutALink)
{
    for (bool ready : {true, false}) {
        if (!ready)
            MakeLinkNotReady();
        Inject({1, 2, 3});
        TickUntilQuiet();
        ASSERT_EQ(Text(IDC_RECEIVED_BYTES), "3");
        h.Click(IDC_CLEAR);
        EXPECT_EQ(Text(IDC_RECEIVED_BYTES), "0");
        EXPECT_EQ(Panel().m_listReceived->GetCount(), 0);
        EXPECT_EQ(Writes(), Strings{});
    }
}

TEST_F(CommandHandlersTest, SetTimerSendsTheEditorAsTheSelectedRecord)
{
    struct Case {
        int timer;      // -1: nothing selected
        Strings typed;  // hours, minutes, seconds, ms, tenths
        Strings frames;
        const char* display;
    };
    const Case cases[] = {
        {-1, {"1", "2", "3", "4", "5"}, {}, nullptr},
        {0, {"", "", "", "", ""}, {"FA 10 00 00 00 00"}, "00:00:00:000:0"},
        {0, {"5", "", "", "", ""}, {"FA 15 00 00 00 00"}, "05:00:00:000:0"},
        {1, {"", "", "", "999", "9"}, {"FA 20 00 00 99 99"}, "00:00:00:999:9"},
        {1, {"", "07", "59", "7", "0"}, {"FA 20 07 3B 00 70"}, "00:007:59:007:0"},
    };
    const int edits[] = {IDC_HOURS, IDC_MINUTES, IDC_SECONDS, IDC_MS, IDC_TENTH_MS};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timer);
        if (c.timer >= 0) {
            h.panel->m_comboTimer.SetCurSel(c.timer);
            h.panel->Notify(IDC_TIMER_SELECT, Notification::SelChange);
        }
        for (int i = 0; i < 5; ++i) h.TypeText(edits[i], c.typed[std::size_t(i)]);
        const TimeRecord before = c.timer == 1 ? g_exposureTime : g_closedTime;
        const int otherDisplay = c.timer == 1 ? IDC_CLOSED_DISPLAY : IDC_EXPOSURE_DISPLAY;
        h.panel->SetDlgItemText(otherDisplay, "kept");
        h.Click(IDC_SET_TIMER);
        EXPECT_EQ(Text(otherDisplay), "kept") << "only the uploaded record's display changes";
        EXPECT_EQ(Writes(), c.frames);
        const TimeRecord& stored = c.timer == 1 ? g_exposureTime : g_closedTime;
        if (!c.display) {
            EXPECT_EQ(stored, before);
            continue;
        }
        EXPECT_EQ(stored, (TimeRecord{c.typed[0], c.typed[1], c.typed[2], c.typed[3], c.typed[4]}));
        EXPECT_EQ(Text(c.timer == 1 ? IDC_EXPOSURE_DISPLAY : IDC_CLOSED_DISPLAY), c.display);
        EXPECT_EQ(Text(IDC_HOURS), c.typed[0]) << "the editor keeps its texts";
        Settle();
    }
    EXPECT_EQ(Text(IDC_CYCLE_DISPLAY), "Cycle Time - 05:07:59:031:0");
}

}  // namespace

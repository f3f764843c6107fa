// The free-run buttons against the simulated controller: the repeat count, the ways to start a
// run, STOP, and the cycles counted down as the controller reports them.

#include "framework/Prompts.h"
#include "panel/CNdStepsDlg.h"
#include "protocol/ProtocolPanelTest.h"

namespace {

using Strings = std::vector<std::string>;

constexpr const char* kSetRepeatFirst = "Please set the repeat number first, then try again!";

class FreeRunTest : public ProtocolPanelTest {
protected:
    void SetUp() override
    {
        // The steps dialog answers with runSteps and OK.
        h.options.runDialog = [this](CDialog& dlg) {
            auto* steps = static_cast<CNdStepsDlg*>(&dlg);
            steps->m_strSteps = runSteps;
            return true;
        };
        ProtocolPanelTest::SetUp();
    }
    std::string runSteps = "0";
};

TEST_F(FreeRunTest, SendToControllerTurnsLargeCountsIntoContinuous)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"300", "FA F0 01 2C", "300"},
        {"65000", "FA F0 FD E8", "65000"},
        {"65001", "FA F0 FF FF", "Continuous"},
        {nullptr, "FA F0 00 00", "Continuous"},  // pressed again: "Continuous" reads as 0
        {"", "FA F0 00 00", ""},
        {"12 cycles", "FA F0 00 0C", "12 cycles"},
    };
    for (const auto& [typed, frame, shown] : cases) {
        SCOPED_TRACE(frame);
        if (typed)
            h.TypeText(IDC_REPEAT, typed);
        h.Click(IDC_SEND_REPEAT);
        EXPECT_EQ(Writes(), Strings{frame});
        EXPECT_EQ(Text(IDC_REPEAT), shown);
        EXPECT_EQ(Text(IDC_LEFT_CYCLES), shown);
        Settle();
    }
    // Only the low bytes of a negative count would go out.
    h.TypeText(IDC_REPEAT, "-12");
    h.Click(IDC_SEND_REPEAT);
    EXPECT_EQ(Writes(), Strings{});
    EXPECT_EQ(h.prompts.MessageTexts(),
              Strings{"Repeat number must not be negative! Please retype."});
    EXPECT_EQ(Text(IDC_LEFT_CYCLES), "12 cycles");
    h.prompts.Clear();
    h.Click(IDC_APPLY);  // nor does Apply start a transfer that would send them
    EXPECT_EQ(Writes(), Strings{});
    EXPECT_EQ(h.prompts.MessageTexts(),
              Strings{"Repeat number must not be negative! Please retype."});
}

TEST_F(FreeRunTest, CountedRunsNeedARepeatNumber)
{
    for (int id : {IDC_GO, IDC_ON_TRIGGER}) {
        SCOPED_TRACE(id);
        h.Click(id);
        EXPECT_EQ(h.prompts.MessageTexts(), Strings{kSetRepeatFirst});
        EXPECT_EQ(h.prompts.records[0].caption, "Warning");
        EXPECT_EQ(h.prompts.records[0].icon, MbIcon::Exclamation);
        EXPECT_EQ(Writes(), Strings{});
        EXPECT_TRUE(Checked(id)) << "the clicked option keeps its mark";
        EXPECT_EQ(g_nFreeRunKind, 0);
        h.prompts.Clear();
    }
    // Only an empty text is missing: blanks pass and the run starts.
    h.TypeText(IDC_REPEAT, "  ");
    h.Click(IDC_GO);
    EXPECT_TRUE(h.prompts.records.empty());
    EXPECT_EQ(Writes(), Strings{"FA F3"});
    // On Power Up counts nothing and needs no number.
    h.Click(IDC_ON_POWER_UP);
    EXPECT_EQ(Writes(), Strings{"FA F1"});
    EXPECT_TRUE(h.prompts.records.empty());

    MakeLinkNotReady();
    h.Click(IDC_GO);
    EXPECT_TRUE(h.prompts.records.empty()) << "no message while the link is not ready";
    EXPECT_EQ(Writes(), Strings{});
}

TEST_F(FreeRunTest, StartingARunArmsTheCountingFromTheShutterState)
{
    h.TypeText(IDC_REPEAT, "0");  // only an empty text is refused
    h.Click(IDC_SHUTTER_OPEN);
    h.Click(IDC_ON_TRIGGER);
    EXPECT_EQ(Writes(), (Strings{"AA", "FA F2"}));
    EXPECT_EQ(g_nFreeRunKind, 1);
    EXPECT_EQ(g_nFreeRunStartState, 0);
    EXPECT_EQ(Panel().m_nFreeRunOption, 1);
    h.Click(IDC_STOP);
    EXPECT_EQ(Writes(), Strings{"BF"});
    EXPECT_EQ(g_nFreeRunKind, 1) << "STOP leaves the counting to the controller's report";
}

TEST_F(FreeRunTest, LeftCyclesCountDownAsTheControllerReportsThem)
{
    QuillonSimState state = SimState();
    state.closedTime[3] = 10;
    state.exposureTime[3] = 10;
    QuillonSim_SetState(0, &state);
    h.TypeText(IDC_REPEAT, "3");
    h.Click(IDC_SEND_REPEAT);
    Settle();
    h.Click(IDC_GO);
    EXPECT_EQ(Writes(), Strings{"FA F3"});
    // From closed: 10 ms closed, 12 ms opening, 10 ms exposure, 12 ms closing.
    for (const char* left : {"2", "1", "3"}) {
        QuillonSim_Advance(44);
        TickUntilQuiet();
        EXPECT_EQ(Text(IDC_LEFT_CYCLES), left);
        EXPECT_TRUE(Checked(IDC_SHUTTER_CLOSE));
    }
    EXPECT_EQ(g_nFreeRunKind, 0) << "a Go run stops counting after its last cycle";
    EXPECT_EQ(SimState().running, 0);
    EXPECT_EQ(SimState().cyclesDone, 3);
}

// Save, change everything, load it back, Apply, then Status: the panel shows the saved settings,
// so the file and the transfer carried every item.
TEST_F(FreeRunTest, ASavedConfigurationComesBackThroughTheController)
{
    const std::string path = h.dir.filePath("lab.cfg").toStdString();
    g_closedTime = {"0", "1", "2", "345", "6"};
    g_exposureTime = {"1", "0", "0", "7", "0"};
    runSteps = "100";
    for (int id : {IDC_SHUTTER_OPEN, IDC_ND, IDC_FALLING_EDGE, IDC_HIGH_FOR_OPEN, IDC_ON_POWER_UP})
        h.Click(id);
    h.TypeText(IDC_REPEAT, "300");
    h.prompts.fileAnswers = {path};
    h.Click(IDC_SAVE_CONFIG);
    Settle();

    h.TypeText(IDC_REPEAT, "7");
    for (int id : {IDC_SHUTTER_CLOSE, IDC_FAST, IDC_ENABLE_HIGH, IDC_LOW_FOR_OPEN, IDC_SEND_REPEAT})
        h.Click(id);
    g_closedTime = g_exposureTime = TimeRecord{};
    Settle();

    h.prompts.fileAnswers = {path};
    h.Click(IDC_LOAD_CONFIG);
    h.Click(IDC_APPLY);
    TickUntilQuiet();
    EXPECT_EQ(g_nTransferReceived, -1);
    EXPECT_EQ(g_nFreeRunKind, 0) << "a power-up run is not counted";
    const QuillonSimState s = SimState();
    EXPECT_EQ(s.ndSteps, 100);
    EXPECT_EQ(s.repeatCount, 300);
    EXPECT_EQ((std::vector<int>(s.exposureTime, s.exposureTime + 5)),
              (std::vector<int>{1, 0, 0, 7, 0}));

    h.Click(IDC_CLEAR);  // forget the panel's own view first
    g_closedTime = g_exposureTime = TimeRecord{};
    h.Click(IDC_STATUS);
    TickUntilQuiet();
    EXPECT_TRUE(h.prompts.MessageTexts().empty());
    EXPECT_TRUE(Checked(IDC_SHUTTER_OPEN));
    EXPECT_TRUE(Checked(IDC_ND));
    EXPECT_EQ(Text(IDC_ND), "Neutral Density - 100");
    EXPECT_TRUE(Checked(IDC_FALLING_EDGE));
    EXPECT_TRUE(Checked(IDC_HIGH_FOR_OPEN));
    EXPECT_TRUE(Checked(IDC_ON_POWER_UP));
    EXPECT_EQ(Text(IDC_REPEAT), "300");
    EXPECT_EQ(Text(IDC_CLOSED_DISPLAY), "00 : 01 : 02 : 345 : 6");
    EXPECT_EQ(Text(IDC_EXPOSURE_DISPLAY), "01 : 00 : 00 : 007 : 0");
}

}  // namespace

// The panel's wiring: every command control to the frame it writes (and to nothing while the
// link is not ready), every panel field to the control that shows it and back, and every panel
// state saved to a .cfg file coming back the same.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "config/ConfigFile.h"
#include "panel/CNdStepsDlg.h"
#include "support/SimPanel.h"

namespace {

using Strings = std::vector<std::string>;

// In this order from the panel's start, with the repeat text "7", "Closed Time" chosen, the
// steps dialog answered with 5 and every box with OK.
// clang-format off
const std::pair<int, Strings> kWires[] = {
    {IDC_SHUTTER_OPEN, {"AA"}}, {IDC_SHUTTER_CLOSE, {"AC"}}, {IDC_FAST, {"DC"}}, {IDC_SOFT, {"DD"}},
    {IDC_ND, {"DE 05"}}, {IDC_ENABLE_HIGH, {"FA A1"}}, {IDC_ENABLE_LOW, {"FA A2"}},
    {IDC_RISING_EDGE, {"FA A3"}}, {IDC_FALLING_EDGE, {"FA A4"}}, {IDC_TRIGGER_PULSE, {"FA A0"}},
    {IDC_TRIGGER_PULSE, {"FA A1"}}, {IDC_HIGH_FOR_OPEN, {"FA B1"}}, {IDC_LOW_FOR_OPEN, {"FA B2"}},
    {IDC_SYNC_PULSE, {"FA B0"}}, {IDC_SYNC_PULSE, {"FA B2"}}, {IDC_SET_TIMER, {"FA 10 00 00 00 00"}},
    {IDC_SEND_REPEAT, {"FA F0 00 07"}}, {IDC_ON_POWER_UP, {"FA F1"}}, {IDC_ON_TRIGGER, {"FA F2"}},
    {IDC_GO, {"FA F3"}}, {IDC_STOP, {"BF"}}, {IDC_STATUS, {"CC"}}, {IDC_ONLINE, {"EE"}},
    {IDC_CONTROLLER_INFO, {"FD"}}, {IDC_POWER_ON, {"CE"}}, {IDC_POWER_OFF, {"CF"}},
    {IDC_RESET, {"FB"}}, {IDC_RESTORE_DEFAULT, {"FA C0"}}, {IDC_SAVE_TO_CONTROLLER, {"FA C1"}},
    {IDC_APPLY, {"AC"}}, {IDC_CLEAR, {}}, {IDC_SAVE_CONFIG, {}}, {IDC_LOAD_CONFIG, {}}};
// clang-format on

// Then, while the link is not ready, nothing but the time-outs, and no text changes (a ticked
// box goes out all the same: the signals session).
TEST(WiringTest, EachControlWritesItsFrameAndNothingWhileTheLinkIsNotReady)
{
    SimPanel h;
    int stepsShown = 0;
    h.options.runDialog = [&](CDialog& dlg) {
        ++stepsShown;
        static_cast<CNdStepsDlg&>(dlg).m_strSteps = "5";
        return true;
    };
    h.StartReady();
    h.TypeText(IDC_REPEAT, "7");
    h.panel->m_comboTimer.SetCurSel(0);
    h.panel->Notify(IDC_TIMER_SELECT, Notification::SelChange);
    const auto texts = [&] {
        return Strings{h.Text(IDC_ND), h.Text(IDC_OPENING_TIME), h.Text(IDC_CYCLE_DISPLAY),
                       h.Text(IDC_CLOSED_DISPLAY), h.Text(IDC_LEFT_CYCLES)};
    };
    for (bool ready : {true, false}) {
        const Strings before = texts();
        for (const auto& [id, frames] : kWires) {
            if (!ready && (id == IDC_TRIGGER_PULSE || id == IDC_SYNC_PULSE || frames.empty()))
                continue;
            SCOPED_TRACE(std::to_string(id) + (ready ? " ready" : " not ready"));
            h.Click(id);
            const std::string log = SimCallLog();
            EXPECT_TRUE(ready ? frames.empty() || log.ends_with("FT_SetTimeouts(100,100)\n")
                              : log == "FT_SetTimeouts(100,100)\n")
                << log;
            EXPECT_EQ(SimWrites(), ready ? frames : Strings{});
            h.Settle();
        }
        EXPECT_EQ(stepsShown, 1);
        EXPECT_TRUE(ready || texts() == before);
        h.MakeLinkNotReady();
    }
}

// Each choice field, at every value of its range and one past it, is what its controls show
// after a push, and what they hold is the field after a pull. (The text fields go both ways in
// every session.)
TEST(WiringTest, EachFieldIsShownByItsControlAndReadBack)
{
    SimPanel h(false);
    CShutterPanelDlg& p = h.Start();
    // clang-format off
    const std::pair<int PanelState::*, std::vector<int>> radios[] = {
        {&PanelState::m_nOpenBy, {IDC_BY_DESCRIPTION, IDC_BY_SERIAL, IDC_BY_NUMBER}},
        {&PanelState::m_nShutterState, {IDC_SHUTTER_OPEN, IDC_SHUTTER_CLOSE}},
        {&PanelState::m_nShutterMode, {IDC_FAST, IDC_SOFT, IDC_ND}},
        {&PanelState::m_nTriggerMode,
         {IDC_ENABLE_HIGH, IDC_ENABLE_LOW, IDC_RISING_EDGE, IDC_FALLING_EDGE}},
        {&PanelState::m_nSyncPolarity, {IDC_HIGH_FOR_OPEN, IDC_LOW_FOR_OPEN}},
        {&PanelState::m_nFreeRunOption, {IDC_ON_POWER_UP, IDC_ON_TRIGGER, IDC_GO}},
        {&PanelState::m_nTimerSelect, {}}};
    // clang-format on
    auto* combo = h.Item<QComboBox>(IDC_TIMER_SELECT);
    for (const auto& [field, buttons] : radios) {
        const int size = buttons.empty() ? combo->count() : int(buttons.size());
        for (int value = -1; value <= size; ++value) {
            SCOPED_TRACE(std::to_string(size) + " choices at " + std::to_string(value));
            const int shown = value == size ? -1 : value;
            p.*field = value;
            p.UpdateData(false);
            for (int b = 0; b < int(buttons.size()); ++b)
                EXPECT_EQ(p.IsDlgButtonChecked(buttons[b]), b == shown) << buttons[b];
            EXPECT_TRUE(!buttons.empty() || combo->currentIndex() == shown);
            p.*field = 7;
            p.UpdateData(true);
            EXPECT_EQ(p.*field, shown);
        }
    }
    // A push of an unchanged text must not set it again: that would move the operator's caret
    // and drop the selection and the undo history.
    auto* edit = h.Item<QLineEdit>(IDC_REPEAT);
    QTest::keyClicks(edit, "typed");
    p.UpdateData(true);
    edit->setSelection(1, 2);
    p.UpdateData(false);
    EXPECT_EQ(edit->selectedText(), "yp");
    EXPECT_TRUE(edit->isUndoAvailable());
}

// Panel states the load rule accepts, each item moving through its range.
ConfigFile Generated(int i)
{
    const std::string repeats[] = {
        "", "Continuous", "65000", std::string(255, '9'), std::string(70000, '5'), "0 cycles"};
    // clang-format off
    return {i % 3 - 1, i % 4 - 1, i * 37 % 145, i % 5 - 1, i % 3 - 1, i % 3 - 1,
            {std::to_string(i % 5), i % 2 ? "07" : "", std::to_string(i * 7 % 60),
             std::to_string(i * 123 % 1000), std::to_string(i % 10)},
            {i % 4 ? "\u00e9" : "5", "", "", "", ""}, i % 4 - 1, repeats[i % 6]};
    // clang-format on
}

TEST(WiringTest, EveryPanelStateSavedToAFileLoadsBackTheSame)
{
    SimPanel h(false);
    CShutterPanelDlg& p = h.Start();
    h.prompts.Clear();  // no driver: the start-up boxes
    const std::string path = h.dir.filePath("state.cfg").toStdString();
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const ConfigFile saved = Generated(i);
        for (const auto& [config, id] :
             {std::pair{saved, IDC_SAVE_CONFIG}, std::pair{Generated(i + 1), IDC_LOAD_CONFIG}}) {
            ApplyConfigFile(config, p, g_closedTime, g_exposureTime);
            p.UpdateData(false);
            h.prompts.fileAnswers.push_back(path);
            h.Click(id);
        }
        p.UpdateData(true);  // the controls show it too: pulled back, nothing differs
        ASSERT_EQ(ConfigFile({p.m_nShutterState, p.m_nShutterMode, p.m_nNdSteps, p.m_nTriggerMode,
                              p.m_nSyncPolarity, p.m_nTimerSelect, g_closedTime, g_exposureTime,
                              p.m_nFreeRunOption, p.m_strRepeatNumber}),
                  saved);
        EXPECT_EQ(p.m_strLeftCycles, saved.repeatNumber);
        EXPECT_TRUE(h.prompts.MessageTexts().empty());
    }
}

}  // namespace

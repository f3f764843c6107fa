// The panel's wiring: every command control to the frame it writes (and to nothing while the
// link is not ready), every panel field to the control that shows it and back, and every panel
// state saved to a .cfg file coming back the same.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTest>

#include "config/ConfigFile.h"
#include "panel/CNdStepsDlg.h"
#include "support/SimPanel.h"

namespace {

using Strings = std::vector<std::string>;
constexpr const char* kTimeouts = "FT_SetTimeouts(100,100)\n";

// In this order from the panel's start: the repeat text is "7", "Closed Time" chosen, the steps
// dialog answered with 5 and every box with OK.
const std::pair<int, Strings> kWires[] = {
    {IDC_SHUTTER_OPEN, {"AA"}},         {IDC_SHUTTER_CLOSE, {"AC"}},
    {IDC_FAST, {"DC"}},                 {IDC_SOFT, {"DD"}},
    {IDC_ND, {"DE 05"}},                {IDC_ENABLE_HIGH, {"FA A1"}},
    {IDC_ENABLE_LOW, {"FA A2"}},        {IDC_RISING_EDGE, {"FA A3"}},
    {IDC_FALLING_EDGE, {"FA A4"}},      {IDC_TRIGGER_PULSE, {"FA A0"}},
    {IDC_TRIGGER_PULSE, {"FA A1"}},     {IDC_HIGH_FOR_OPEN, {"FA B1"}},
    {IDC_LOW_FOR_OPEN, {"FA B2"}},      {IDC_SYNC_PULSE, {"FA B0"}},
    {IDC_SYNC_PULSE, {"FA B2"}},        {IDC_SET_TIMER, {"FA 10 00 00 00 00"}},
    {IDC_SEND_REPEAT, {"FA F0 00 07"}}, {IDC_ON_POWER_UP, {"FA F1"}},
    {IDC_ON_TRIGGER, {"FA F2"}},        {IDC_GO, {"FA F3"}},
    {IDC_STOP, {"BF"}},                 {IDC_STATUS, {"CC"}},
    {IDC_ONLINE, {"EE"}},               {IDC_CONTROLLER_INFO, {"FD"}},
    {IDC_POWER_ON, {"CE"}},             {IDC_POWER_OFF, {"CF"}},
    {IDC_RESET, {"FB"}},                {IDC_RESTORE_DEFAULT, {"FA C0"}},
    {IDC_SAVE_TO_CONTROLLER, {"FA C1"}}, {IDC_APPLY, {"AC"}},
    {IDC_CLEAR, {}},                    {IDC_SAVE_CONFIG, {}},
    {IDC_LOAD_CONFIG, {}},
};

struct WiringTest : ::testing::Test {
    void SetUp() override
    {
        h.options.runDialog = [this](CDialog& dlg) {
            ++stepsShown;
            static_cast<CNdStepsDlg&>(dlg).m_strSteps = "5";
            return true;
        };
        h.StartReady();
        h.TypeText(IDC_REPEAT, "7");
        h.panel->m_comboTimer.SetCurSel(0);
        h.panel->Notify(IDC_TIMER_SELECT, Notification::SelChange);
    }
    SimPanel h;
    int stepsShown = 0;
};

TEST_F(WiringTest, EachControlWritesItsFrameThenSetsTheTimeouts)
{
    for (const auto& [id, frames] : kWires) {
        SCOPED_TRACE(id);
        h.Click(id);
        EXPECT_TRUE(frames.empty() || SimCallLog().ends_with(kTimeouts)) << SimCallLog();
        EXPECT_EQ(SimWrites(), frames);
        h.Settle();
    }
    EXPECT_EQ(stepsShown, 1);
}

TEST_F(WiringTest, WhileTheLinkIsNotReadyNoControlSendsOrShowsAnything)
{
    h.MakeLinkNotReady();
    const auto texts = [this] {
        return Strings{h.Text(IDC_ND), h.Text(IDC_OPENING_TIME), h.Text(IDC_CYCLE_DISPLAY),
                       h.Text(IDC_CLOSED_DISPLAY), h.Text(IDC_LEFT_CYCLES)};
    };
    const Strings before = texts();
    for (const auto& [id, frames] : kWires) {
        if (id == IDC_TRIGGER_PULSE || id == IDC_SYNC_PULSE || frames.empty())
            continue;  // ticking a box goes out all the same (the signals session)
        SCOPED_TRACE(id);
        h.Click(id);
        EXPECT_EQ(SimCallLog(), kTimeouts);
        EXPECT_EQ(SimWrites(), Strings{});
    }
    EXPECT_EQ(stepsShown, 0);
    EXPECT_TRUE(h.prompts.records.empty());
    EXPECT_EQ(texts(), before);
}

// Each field, at every value of its range, is what its control shows after a push, and what
// the control holds is the field after a pull.
TEST(PanelFieldsTest, EachFieldIsShownByItsControlAndReadBack)
{
    SimPanel h(false);
    CShutterPanelDlg& p = h.Start();
    const std::pair<int PanelState::*, std::vector<int>> radios[] = {
        {&PanelState::m_nOpenBy, {IDC_BY_DESCRIPTION, IDC_BY_SERIAL, IDC_BY_NUMBER}},
        {&PanelState::m_nShutterState, {IDC_SHUTTER_OPEN, IDC_SHUTTER_CLOSE}},
        {&PanelState::m_nShutterMode, {IDC_FAST, IDC_SOFT, IDC_ND}},
        {&PanelState::m_nTriggerMode,
         {IDC_ENABLE_HIGH, IDC_ENABLE_LOW, IDC_RISING_EDGE, IDC_FALLING_EDGE}},
        {&PanelState::m_nSyncPolarity, {IDC_HIGH_FOR_OPEN, IDC_LOW_FOR_OPEN}},
        {&PanelState::m_nFreeRunOption, {IDC_ON_POWER_UP, IDC_ON_TRIGGER, IDC_GO}},
    };
    // One past the last button, as a file or a controller may give, selects none.
    for (const auto& [field, buttons] : radios) {
        for (int value = -1; value <= int(buttons.size()); ++value) {
            SCOPED_TRACE(std::to_string(buttons[0]) + " at " + std::to_string(value));
            p.*field = value;
            p.UpdateData(false);
            for (std::size_t b = 0; b < buttons.size(); ++b)
                EXPECT_EQ(p.IsDlgButtonChecked(buttons[b]), int(b) == value) << buttons[b];
            p.*field = 7;
            p.UpdateData(true);
            EXPECT_EQ(p.*field, value == int(buttons.size()) ? -1 : value);
        }
    }
    for (const auto& [value, shown] : {std::pair{1, 1}, {-1, -1}, {0, 0}, {2, -1}}) {
        p.m_nTimerSelect = value;
        p.UpdateData(false);
        EXPECT_EQ(h.Item<QComboBox>(IDC_TIMER_SELECT)->currentIndex(), shown);
        p.UpdateData(true);
        EXPECT_EQ(p.m_nTimerSelect, shown);
    }
    const std::pair<std::string PanelState::*, int> texts[] = {
        {&PanelState::m_strUsbStatus, IDC_USB_STATUS}, {&PanelState::m_strDevice, IDC_DEVICE},
        {&PanelState::m_strHours, IDC_HOURS},          {&PanelState::m_strMinutes, IDC_MINUTES},
        {&PanelState::m_strSeconds, IDC_SECONDS},      {&PanelState::m_strMs, IDC_MS},
        {&PanelState::m_strTenthMs, IDC_TENTH_MS},     {&PanelState::m_strRepeatNumber, IDC_REPEAT},
        {&PanelState::m_strLeftCycles, IDC_LEFT_CYCLES},
    };
    for (const auto& [field, id] : texts) p.*field = "pushed " + std::to_string(id);
    p.m_nReceivedBytes = 4321;
    p.UpdateData(false);
    EXPECT_EQ(p.GetDlgItemText(IDC_RECEIVED_BYTES), "4321");
    for (const auto& [field, id] : texts) {
        EXPECT_EQ(p.GetDlgItemText(id), p.*field);
        const QSignalBlocker quiet(p.GetDlgItem(id));
        h.Item<QLineEdit>(id)->setText(QString("typed %1").arg(id));
    }
    p.UpdateData(true);
    for (const auto& [field, id] : texts) EXPECT_EQ(p.*field, "typed " + std::to_string(id));
    // A push of an unchanged text must not set it again: that would move the operator's caret
    // and drop the selection and the undo history.
    auto* edit = h.Item<QLineEdit>(IDC_REPEAT);
    QTest::keyClicks(edit, "12");
    p.UpdateData(true);
    edit->setSelection(1, 2);
    p.UpdateData(false);
    EXPECT_EQ(edit->selectedText(), "yp");
    EXPECT_TRUE(edit->isUndoAvailable());
}

// Held by the panel: its fields and the two stored records, as a save should write them.
ConfigFile Held(const CShutterPanelDlg& p)
{
    return {p.m_nShutterState, p.m_nShutterMode,   p.m_nNdSteps,   p.m_nTriggerMode,
            p.m_nSyncPolarity, p.m_nTimerSelect,   g_closedTime,   g_exposureTime,
            p.m_nFreeRunOption, p.m_strRepeatNumber};
}

// Panel states the load rule accepts, each item moving through its range.
ConfigFile Generated(int i)
{
    const std::string repeats[] = {"", "Continuous", "65000", std::string(255, '9'),
                                   std::string(70000, '5'), "0 cycles"};
    return {i % 3 - 1,
            i % 4 - 1,
            i * 37 % 145,
            i % 5 - 1,
            i % 3 - 1,
            i % 3 - 1,
            {std::to_string(i % 5), i % 2 ? "07" : "", std::to_string(i * 7 % 60),
             std::to_string(i * 123 % 1000), std::to_string(i % 10)},
            {i % 4 ? "\u00e9" : "5", "", "", "", ""},
            i % 4 - 1,
            repeats[i % 6]};
}

struct ConfigWiringTest : ::testing::Test {
    void Preset(const ConfigFile& c)
    {
        ApplyConfigFile(c, *h.panel, g_closedTime, g_exposureTime);
        h.panel->UpdateData(false);
    }
    void Click(int id, const std::string& path)
    {
        h.prompts.fileAnswers.push_back(path);
        h.Click(id);
    }
    SimPanel h{false};
    QTemporaryDir dir;
    const std::string path = dir.filePath("state.cfg").toStdString();
};

TEST_F(ConfigWiringTest, EverySavedStateLoadsBackTheSame)
{
    CShutterPanelDlg& p = h.Start();
    h.prompts.Clear();  // no driver: the start-up boxes
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const ConfigFile saved = Generated(i);
        Preset(saved);
        Click(IDC_SAVE_CONFIG, path);
        Preset(Generated(i + 1));
        Click(IDC_LOAD_CONFIG, path);
        p.UpdateData(true);  // the controls show it too: pulled back, nothing differs
        ASSERT_EQ(Held(p), saved);
        EXPECT_EQ(p.m_strLeftCycles, saved.repeatNumber);
        EXPECT_EQ(p.IsDlgButtonChecked(IDC_TRIGGER_PULSE), saved.triggerMode != -1);
        EXPECT_EQ(p.IsDlgButtonChecked(IDC_SYNC_PULSE), saved.syncPolarity != -1);
        EXPECT_EQ((TimeRecord{p.m_strHours, p.m_strMinutes, p.m_strSeconds, p.m_strMs,
                              p.m_strTenthMs}),
                  saved.timerSelect == 1 ? saved.exposureTime : saved.closedTime);
        EXPECT_TRUE(h.prompts.MessageTexts().empty());
    }
}

}  // namespace

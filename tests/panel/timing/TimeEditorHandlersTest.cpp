// The time editor on a real panel: typed and dragged values with their checks, and the selector
// that reloads a record.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <string>
#include <utility>

#include "support/PanelHarness.h"
#include "timing/TimeRecord.h"

namespace {

constexpr const char* kHoursMsg = "Hours number must be less than 6! Please retype.";
constexpr const char* kMinutesMsg = "Minutes number must be less than 60! Please retype.";
constexpr const char* kTenthMsg = "1/10 Milliseconds number must be less than 10! Please retype.";
constexpr const char* kFiveHoursMsg = "Timer has reached the maximum value - 5 hours.";

struct FieldIds {
    int edit;
    int slider;
};
constexpr FieldIds kHours{IDC_HOURS, IDC_SLIDER_HOURS};
constexpr FieldIds kLower[] = {{IDC_MINUTES, IDC_SLIDER_MINUTES},
                               {IDC_SECONDS, IDC_SLIDER_SECONDS},
                               {IDC_MS, IDC_SLIDER_MS},
                               {IDC_TENTH_MS, IDC_SLIDER_TENTH_MS}};

class TimeEditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTimeRecords();
        h.Start();
        h.prompts.Clear();
    }
    void TearDown() override { ResetTimeRecords(); }

    CShutterPanelDlg& Panel() { return *h.panel; }
    std::string Text(int id) { return h.Item<QLineEdit>(id)->text().toStdString(); }
    int Pos(int id) { return h.Item<QSlider>(id)->value(); }

    // Puts texts and trackbars in place the way a push does, without running any check.
    void Preset(const TimeRecord& r)
    {
        g_closedTime = r;
        Panel().LoadEditorFromRecord(0);
        Panel().UpdateData(false);
    }
    void PresetLower()
    {
        Preset({"", "12", "30", "450", "7"});
        ASSERT_EQ(Pos(IDC_SLIDER_MS), 450);
    }
    void ExpectLowerFieldsEmpty()
    {
        for (const FieldIds& f : kLower) {
            EXPECT_EQ(Text(f.edit), "") << f.edit;
            EXPECT_EQ(Pos(f.slider), 0) << f.slider;
        }
    }

    // A mouse drag ends in a release, which is what the editor acts on.
    void DragTo(int id, int value)
    {
        QSlider* s = h.Item<QSlider>(id);
        s->setSliderDown(true);
        s->setSliderPosition(value);
        s->setSliderDown(false);
        QTest::mouseRelease(s, Qt::LeftButton);
    }

    // The operator picks a selector entry with the keyboard (activated, as by a mouse choice).
    void Choose(int index)
    {
        QComboBox* combo = h.Item<QComboBox>(IDC_TIMER_SELECT);
        while (combo->currentIndex() < index) QTest::keyClick(combo, Qt::Key_Down);
        while (combo->currentIndex() > index) QTest::keyClick(combo, Qt::Key_Up);
        ASSERT_EQ(combo->currentIndex(), index);
    }

    void ExpectOneWarning(const std::string& text)
    {
        ASSERT_EQ(h.prompts.records.size(), 1u);
        const auto& r = h.prompts.records.front();
        EXPECT_EQ(r.text, text);
        EXPECT_EQ(r.caption, "Warning");
        EXPECT_EQ(r.icon, MbIcon::Exclamation);
        EXPECT_EQ(r.buttons, MbButtons::Ok);
        h.prompts.Clear();
    }

    PanelHarness h;
};

TEST_F(TimeEditorTest, TypedHoursAboveFiveAreRefusedAndFiveEmptiesTheLowerFields)
{
    PresetLower();
    h.TypeText(IDC_HOURS, "3");
    EXPECT_TRUE(h.prompts.records.empty());
    EXPECT_EQ(Pos(IDC_SLIDER_HOURS), 3);
    // A negative time would go out as garbage frame bytes.
    for (const char* typed : {"6", "99999999999", "-1"}) {
        h.TypeText(IDC_HOURS, typed);
        ExpectOneWarning(kHoursMsg);
        EXPECT_EQ(Text(IDC_HOURS), "");
        EXPECT_EQ(Pos(IDC_SLIDER_HOURS), 0);
    }
    EXPECT_EQ(Text(IDC_MINUTES), "12") << "other fields keep their values";

    h.TypeText(IDC_HOURS, "5");
    EXPECT_TRUE(h.prompts.records.empty());
    EXPECT_EQ(Text(IDC_HOURS), "5");
    EXPECT_EQ(Pos(IDC_SLIDER_HOURS), 5);
    ExpectLowerFieldsEmpty();
    // Nothing may be added to five hours, not even zero.
    for (const FieldIds& f : kLower) {
        h.TypeText(f.edit, "0");
        ExpectOneWarning(kFiveHoursMsg);
        EXPECT_EQ(Text(f.edit), "") << f.edit;
        EXPECT_EQ(Pos(f.slider), 0) << f.slider;
    }
}

TEST_F(TimeEditorTest, TypedLowerFieldsAreCheckedAgainstTheirLimits)
{
    struct Case {
        FieldIds field;
        std::string typed;
        const char* message;  // nullptr: accepted, and the text stays as typed
        int pos;
    };
    const Case cases[] = {
        {kLower[0], "60", kMinutesMsg, 0},
        {kLower[0], "59", nullptr, 59},
        {kLower[0], "99999999999", kMinutesMsg, 0},
        {kLower[1], "60", "Seconds number must be less than 60! Please retype.", 0},
        {kLower[1], "07", nullptr, 7},
        {kLower[2], "1000", "Milliseconds number must be less than 1000! Please retype.", 0},
        {kLower[2], "999", nullptr, 999},
        {kLower[3], "10", kTenthMsg, 0},
        {kLower[3], "9", nullptr, 9},
        // Negative values are outside the range too; texts without digits read as 0.
        {kLower[0], "-5", kMinutesMsg, 0},
        {kLower[3], "-1", kTenthMsg, 0},
        {kLower[2], "abc", nullptr, 0},
        {kLower[1], " 4x", nullptr, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.typed + "\" into " + std::to_string(c.field.edit));
        const int other = c.field.edit == IDC_MS ? IDC_MINUTES : IDC_MS;
        h.TypeText(other, "1");
        h.TypeText(c.field.edit, c.typed);
        if (c.message)
            ExpectOneWarning(c.message);
        EXPECT_TRUE(h.prompts.records.empty());
        EXPECT_EQ(Text(c.field.edit), c.message ? "" : c.typed);
        EXPECT_EQ(Pos(c.field.slider), c.pos);
        EXPECT_EQ(Text(other), "1") << "a refused field leaves the others alone";
    }
}

TEST_F(TimeEditorTest, DraggingSetsTheTextAndFiveHoursEmptiesOrRefusesTheLowerFields)
{
    PresetLower();
    const std::pair<FieldIds, int> drags[] = {
        {kLower[2], 999}, {kLower[1], 17}, {kLower[3], 9}, {kLower[0], 0}, {kHours, 2}};
    for (const auto& [field, value] : drags) {
        DragTo(field.slider, value);
        EXPECT_EQ(Text(field.edit), std::to_string(value));
    }
    EXPECT_EQ(Text(IDC_MS), "999") << "a drag leaves the other fields alone";

    DragTo(IDC_SLIDER_HOURS, 5);
    EXPECT_TRUE(h.prompts.records.empty());
    EXPECT_EQ(Text(IDC_HOURS), "5");
    ExpectLowerFieldsEmpty();
    DragTo(IDC_SLIDER_HOURS, 0);
    EXPECT_EQ(Text(IDC_HOURS), "0");

    // A record loaded from elsewhere may hold both five hours and seconds.
    Preset({"5", "", "30", "", ""});
    DragTo(IDC_SLIDER_SECONDS, 45);
    ExpectOneWarning(kFiveHoursMsg);
    EXPECT_EQ(Pos(IDC_SLIDER_SECONDS), 0);
    EXPECT_EQ(Text(IDC_SECONDS), "30");
}

// A click on the groove beside the handle pages by a fifth of the range, not to the end; keys
// move the handle without touching the text.
TEST_F(TimeEditorTest, AGrooveClickMovesOnePageAndKeysLeaveTheTextAlone)
{
    PresetLower();
    struct Case {
        FieldIds field;
        int page;
        int start;  // where the preset left it
    };
    const Case cases[] = {{kHours, 1, 0},
                          {kLower[0], 11, 12},
                          {kLower[1], 11, 30},
                          {kLower[2], 199, 450},
                          {kLower[3], 1, 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field.slider);
        QSlider* s = h.Item<QSlider>(c.field.slider);
        EXPECT_EQ(s->pageStep(), c.page);
        QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() - 2, s->height() / 2));
        EXPECT_EQ(s->value(), c.start + c.page);
        EXPECT_EQ(Text(c.field.edit), std::to_string(c.start + c.page));
        QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(1, s->height() / 2));
        EXPECT_EQ(s->value(), c.start);
    }
    EXPECT_EQ(h.Item<QSlider>(IDC_SPEED)->pageStep(), 100);
    // Hours went to 1 and back, never to 5: the other fields were never emptied.
    EXPECT_EQ(Text(IDC_MINUTES), "12");

    QSlider* ms = h.Item<QSlider>(IDC_SLIDER_MS);
    ms->setFocus();
    QTest::keyClick(ms, Qt::Key_End);
    QTest::keyClick(ms, Qt::Key_Left);
    EXPECT_EQ(ms->value(), 998);
    EXPECT_EQ(Text(IDC_MS), "450");
    EXPECT_TRUE(h.prompts.records.empty());
}

// Loading shows a record as stored: out-of-range texts (as from a file) run no check.
TEST_F(TimeEditorTest, ChoosingARecordLoadsItAndDropsUnsavedEdits)
{
    g_closedTime = {"1", "2", "03", "450", "7"};
    g_exposureTime = {"9", "75", "-3", "abc", "07"};
    EXPECT_EQ(Panel().m_nTimerSelect, -1);

    Choose(0);
    EXPECT_EQ(Panel().m_nTimerSelect, 0);
    EXPECT_EQ(Text(IDC_HOURS), "1");
    EXPECT_EQ(Text(IDC_SECONDS), "03");
    EXPECT_EQ(Pos(IDC_SLIDER_SECONDS), 3);
    EXPECT_EQ(Pos(IDC_SLIDER_MS), 450);

    h.TypeText(IDC_MINUTES, "30");
    Choose(1);
    EXPECT_EQ(Panel().m_nTimerSelect, 1);
    const std::pair<std::string, int> expected[] = {
        {"9", 5}, {"75", 59}, {"-3", 0}, {"abc", 0}, {"07", 7}};
    const FieldIds fields[] = {kHours, kLower[0], kLower[1], kLower[2], kLower[3]};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Text(fields[i].edit), expected[i].first);
        EXPECT_EQ(Pos(fields[i].slider), expected[i].second);
    }

    Choose(0);
    EXPECT_EQ(Text(IDC_MINUTES), "2");
    EXPECT_EQ(Pos(IDC_SLIDER_MINUTES), 2);
    EXPECT_EQ(g_closedTime, (TimeRecord{"1", "2", "03", "450", "7"}));
    EXPECT_TRUE(h.prompts.records.empty());
}

}  // namespace

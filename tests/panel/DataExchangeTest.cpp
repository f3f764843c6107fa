// The exchange between fields and controls, on a small dialog of its own so each rule is seen
// in isolation: radio groups by template order, pushes that touch only what differs, the
// lock-out of notifications while an exchange runs, and the integer pull's failure.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "framework/Dialog.h"
#include "framework/Prompts.h"
#include "support/PanelHarness.h"

namespace {

DialogTemplate TestTemplate()
{
    return {"Exchange",
            200,
            120,
            {
                {10, ControlKind::RadioButton, "A0", 5, 5, 40, 10, true},
                {11, ControlKind::RadioButton, "A1", 5, 15, 40, 10, false},
                {12, ControlKind::Edit, "", 5, 25, 40, 12, false},  // inside group A's run
                {13, ControlKind::RadioButton, "A2", 5, 40, 40, 10, false},
                {20, ControlKind::RadioButton, "B0", 60, 5, 40, 10, true},
                {21, ControlKind::RadioButton, "B1", 60, 15, 40, 10, false},
                {IDC_STATIC, ControlKind::Label, "stop", 60, 25, 40, 8, true},
                {30, ControlKind::RadioButton, "C0", 60, 40, 40, 10, false},
                {40, ControlKind::Edit, "", 110, 5, 60, 12, false},
                {41, ControlKind::Edit, "", 110, 20, 60, 12, false, kStyleReadOnly},
                {42, ControlKind::Edit, "", 110, 35, 60, 12, false},
                {50, ControlKind::DropList, "", 110, 50, 60, 40, false},
            }};
}

class ExchangeDialog : public CDialog {
public:
    explicit ExchangeDialog(Prompts& p) : CDialog(TestTemplate(), p)
    {
        Map(40, Notification::EditChange, &ExchangeDialog::OnChangeText);
        Map(10, Notification::Clicked, &ExchangeDialog::OnClickA0);
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Radio(pDX, 10, a);
        DDX_Radio(pDX, 20, b);
        DDX_Text(pDX, 40, text);
        DDX_Text(pDX, 41, number);
        DDX_Text(pDX, 42, after);
        DDX_CBIndex(pDX, 50, combo);
    }
    void OnChangeText() { ++textChanges; }
    void OnClickA0() { ++clicksA0; }

    int a = -1, b = -1, number = 0, combo = -1;
    std::string text, after;
    int textChanges = 0, clicksA0 = 0;
};

class DataExchangeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureQtApp();
        dlg = std::make_unique<ExchangeDialog>(prompts);
        dlg->Create();
        dlg->Item<QComboBox>(50)->addItems({"zero", "one"});
    }
    bool Checked(int id) { return dlg->IsDlgButtonChecked(id); }

    ScriptedPrompts prompts;
    std::unique_ptr<ExchangeDialog> dlg;
};

// A push checks the index's radio (none when out of range); a pull of a group with nothing
// checked gives -1. The combo's index goes the same way.
TEST_F(DataExchangeTest, PushSelectsByIndexAndPullOfNothingGivesMinusOne)
{
    EXPECT_EQ(dlg->RadioGroup(10), (std::vector<int>{10, 11, 13}));
    EXPECT_EQ(dlg->RadioGroup(20), (std::vector<int>{20, 21}));  // C0 follows a group start
    struct Case {
        int value;
        bool a0, a1, a2;
    };
    dlg->b = 0;
    for (Case c : {Case{2, false, false, true}, Case{0, true, false, false},
                   Case{3, false, false, false}, Case{-1, false, false, false}}) {
        SCOPED_TRACE(c.value);
        dlg->a = c.value;
        dlg->UpdateData(false);
        EXPECT_EQ(Checked(10), c.a0);
        EXPECT_EQ(Checked(11), c.a1);
        EXPECT_EQ(Checked(13), c.a2);
        dlg->UpdateData(true);
        EXPECT_EQ(dlg->a, c.value >= 0 && c.value <= 2 ? c.value : -1);
        EXPECT_EQ(dlg->b, 0);
    }
    for (const auto& [index, shown] : {std::pair{1, 1}, {-1, -1}, {0, 0}, {2, -1}, {7, -1}}) {
        dlg->combo = index;
        dlg->UpdateData(false);
        EXPECT_EQ(dlg->Item<QComboBox>(50)->currentIndex(), shown) << index;
        dlg->UpdateData(true);
        EXPECT_EQ(dlg->combo, shown) << index;
    }
}

// Setting an edit to the text it holds emits nothing, yet moves the caret to the start and drops
// the selection and the undo history: what the operator sees is the proof.
TEST_F(DataExchangeTest, UnchangedPushTouchesNoControl)
{
    dlg->text = "same";
    dlg->number = 12345;
    dlg->a = 1;
    dlg->combo = 1;
    dlg->UpdateData(false);
    auto* numberEdit = dlg->Item<QLineEdit>(41);
    numberEdit->setCursorPosition(2);
    auto* edit = dlg->Item<QLineEdit>(40);
    edit->clear();
    QTest::keyClicks(edit, "same");
    edit->setSelection(1, 2);
    ASSERT_TRUE(edit->isUndoAvailable());
    QSignalSpy radioSpy(dlg->Item<QRadioButton>(11), &QRadioButton::toggled);
    QSignalSpy comboSpy(dlg->Item<QComboBox>(50), &QComboBox::currentIndexChanged);

    dlg->UpdateData(false);
    EXPECT_EQ(edit->selectedText(), "am");
    EXPECT_EQ(edit->cursorPosition(), 3);
    EXPECT_TRUE(edit->isUndoAvailable());
    EXPECT_EQ(numberEdit->cursorPosition(), 2);
    EXPECT_EQ(radioSpy.count(), 0);
    EXPECT_EQ(comboSpy.count(), 0);
}

// Arrows go round a radio run in template order, past other controls and disabled buttons, and
// click the button they reach unless it is already checked.
TEST_F(DataExchangeTest, ArrowsGoRoundTheRunAndClickWhatTheyReach)
{
    dlg->a = 0;
    dlg->b = 0;
    dlg->UpdateData(false);
    struct Step {
        int from;
        Qt::Key key;
        bool a0Enabled;
        int a, b, clicksA0;
    };
    const Step steps[] = {
        {10, Qt::Key_Down, true, 1, 0, 0},  // past the edit inside the run
        {11, Qt::Key_Right, true, 2, 0, 0}, {13, Qt::Key_Down, true, 0, 0, 1},    // round
        {10, Qt::Key_Left, true, 2, 0, 1},  {13, Qt::Key_Right, false, 1, 0, 1},  // skipped
        {20, Qt::Key_Down, true, 1, 1, 1},  {21, Qt::Key_Down, true, 1, 0, 1},    // B0 and B1
        {10, Qt::Key_Space, true, 0, 0, 2},  // not an arrow: the button's own key clicks it
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.from);
        dlg->EnableDlgItem(10, s.a0Enabled);
        QTest::keyClick(dlg->Item<QRadioButton>(s.from), s.key);
        dlg->UpdateData(true);
        EXPECT_EQ(dlg->a, s.a);
        EXPECT_EQ(dlg->b, s.b);
        EXPECT_EQ(dlg->clicksA0, s.clicksA0);
    }
    EXPECT_FALSE(Checked(30));
}

TEST_F(DataExchangeTest, NotificationsAreLockedOutOnlyWhileAnExchangeRuns)
{
    dlg->text = "pushed";
    dlg->a = 0;
    dlg->UpdateData(false);  // sets the text and checks A0, neither notifying
    EXPECT_EQ(dlg->textChanges, 0);
    EXPECT_EQ(dlg->clicksA0, 0);

    dlg->SetDlgItemText(40, "set directly");
    EXPECT_EQ(dlg->textChanges, 1);
    EXPECT_EQ(dlg->Item<QLineEdit>(40)->cursorPosition(), 0) << "a set text shows from its start";
    dlg->Item<QLineEdit>(40)->insert("typed");
    EXPECT_EQ(dlg->textChanges, 2);
    dlg->Item<QRadioButton>(10)->click();
    EXPECT_EQ(dlg->clicksA0, 1);
}

TEST_F(DataExchangeTest, IntegerPullRefusesTextAndStopsTheExchangeThere)
{
    struct Case {
        const char* text;
        bool ok;
        int value;
    };
    for (Case c : {Case{"42", true, 42}, Case{" -7 ", true, -7}, Case{"12ab", false, 0},
                   Case{"", false, 0}, Case{"99999999999", false, 0}}) {
        SCOPED_TRACE(c.text);
        prompts.Clear();
        dlg->number = 0;
        dlg->after = "before";
        dlg->SetDlgItemText(41, c.text);
        dlg->SetDlgItemText(42, "typed after");
        dlg->SetDlgItemText(40, "typed first");
        EXPECT_EQ(dlg->UpdateData(true), c.ok);
        EXPECT_EQ(dlg->number, c.value);
        EXPECT_EQ(dlg->text, "typed first") << "fields before the failing control are pulled";
        // Fields after the failing control keep their value.
        EXPECT_EQ(dlg->after, c.ok ? "typed after" : "before");
        EXPECT_EQ(prompts.MessageTexts(),
                  c.ok ? std::vector<std::string>{}
                       : std::vector<std::string>{"Please enter an integer."});
        if (!c.ok) {
            EXPECT_EQ(prompts.records[0].icon, MbIcon::Exclamation);
        }
    }
}

}  // namespace

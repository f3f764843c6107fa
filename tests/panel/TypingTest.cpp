// Typing into the panel key by key: a handler that pushes after each key must leave the text,
// and the caret, where the operator's keys put them.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "support/PanelHarness.h"

namespace {

TEST(TypingTest, KeysTypedIntoFieldsWhoseHandlersPushStayInOrder)
{
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    h.prompts.Clear();  // no driver: the start-up boxes
    const std::pair<int, const char*> fields[] = {
        {IDC_DEVICE, "Bench 12"}, {IDC_HOURS, "4"}, {IDC_MINUTES, "12"},
        {IDC_SECONDS, "59"},      {IDC_MS, "987"},  {IDC_TENTH_MS, "9"},
    };
    for (const auto& [id, typed] : fields) {
        SCOPED_TRACE(id);
        auto* edit = h.Item<QLineEdit>(id);
        edit->selectAll();  // the first key replaces what was there
        QTest::keyClicks(edit, typed);
        EXPECT_EQ(edit->text().toStdString(), typed);
        EXPECT_EQ(edit->cursorPosition(), int(std::string(typed).size()));
    }
    panel.UpdateData(true);
    EXPECT_EQ(panel.m_strMinutes, "12");
    EXPECT_EQ(panel.m_strMs, "987");
    EXPECT_EQ(h.profile->GetProfileString("MyTiveloAp", "DescString", ""), "Bench 12");
    EXPECT_TRUE(h.prompts.records.empty());

    // A refused key empties the field, and typing goes on from there.
    QTest::keyClicks(h.Item<QLineEdit>(IDC_MINUTES), "3");
    EXPECT_EQ(h.prompts.MessageTexts(),
              std::vector<std::string>{"Minutes number must be less than 60! Please retype."});
    EXPECT_EQ(panel.GetDlgItemText(IDC_MINUTES), "");
    QTest::keyClicks(h.Item<QLineEdit>(IDC_MINUTES), "45");
    EXPECT_EQ(panel.GetDlgItemText(IDC_MINUTES), "45");
}

}  // namespace

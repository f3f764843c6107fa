// The file dialogs' filter comes in the old "name|pattern|...||" form and must reach Qt intact.

#include <gtest/gtest.h>

#include "framework/QtPrompts.h"

namespace {

TEST(PromptsTest, FilterConvertsToQtForm)
{
    EXPECT_EQ(QtPrompts::ToQtFilter("Quillon Config (*.cfg)|*.cfg|All Files (*.*)|*.*||"),
              "Quillon Config (*.cfg);;All Files (*)");
    EXPECT_EQ(QtPrompts::ToQtFilter("Logs|*.log;*.txt||"), "Logs (*.log *.txt)");
    EXPECT_EQ(QtPrompts::ToQtFilter(""), "");
}

TEST(PromptsTest, ScriptedPromptsAnswerFromTheirQueuesAndRecordEverything)
{
    ScriptedPrompts p;
    p.answers = {MbResult::Cancel};
    p.fileAnswers = {std::string("/tmp/x.cfg")};
    EXPECT_EQ(p.MessageBox("a", "Warning", MbIcon::Information, MbButtons::OkCancel), MbResult::Cancel);
    EXPECT_EQ(p.MessageBox("b", "Warning", MbIcon::Exclamation, MbButtons::Ok), MbResult::Ok);
    EXPECT_EQ(p.SaveFileName("f", ".cfg"), std::optional<std::string>("/tmp/x.cfg"));
    EXPECT_EQ(p.OpenFileName("f", ".cfg"), std::nullopt);
    ASSERT_EQ(p.records.size(), 4u);
    EXPECT_EQ(p.MessageTexts(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(p.records[0].buttons, MbButtons::OkCancel);
    EXPECT_EQ(p.records[2].defaultExt, ".cfg");
}

}  // namespace

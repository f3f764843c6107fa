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

}  // namespace

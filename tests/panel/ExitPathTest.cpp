// The program as a lab user starts it: unattended with --screenshot it writes the picture and
// leaves through the normal exit path with code 0, even with no driver library to be found.

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "support/PanelHarness.h"

namespace {

TEST(ExitPathTest, ScreenshotRunWritesThePanelAndExitsWithZero)
{
    EnsureQtApp();
    QTemporaryDir dir;
    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.path());
    proc.setProcessEnvironment(env);
    const QString shot = dir.filePath("panel.png");
    proc.start(QString(QUILLON_BUILD_DIR) + "/quillon-utility",
               {"--driver", dir.filePath("missing/libftd2xx.so"), "--screenshot", shot});
    ASSERT_TRUE(proc.waitForFinished(60000)) << "the program did not end";
    EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(proc.exitCode(), 0) << proc.readAllStandardError().toStdString();
    QImage image(shot);
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 600);
    EXPECT_GT(image.height(), 500);
}

}  // namespace

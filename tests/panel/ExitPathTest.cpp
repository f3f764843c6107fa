// The program as a lab user starts it: unattended with --screenshot it writes the picture and
// leaves through the normal exit path, with 0 only when the picture was written.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "framework/Profile.h"
#include "support/PanelHarness.h"

namespace {

// Runs the program unattended with its configuration in dir; one that does not end fails.
// Returns the exit code and what it wrote to both outputs.
std::pair<int, std::string> RunProgram(const QTemporaryDir& dir, const QStringList& args)
{
    EnsureQtApp();
    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.path());
    proc.setProcessEnvironment(env);
    proc.start(QString(QUILLON_BUILD_DIR) + "/quillon-utility", args);
    EXPECT_TRUE(proc.waitForFinished(60000)) << "the program did not end";
    EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
    return {proc.exitCode(),
            (proc.readAllStandardOutput() + proc.readAllStandardError()).toStdString()};
}

TEST(ExitPathTest, ScreenshotRunsWithoutADriverAndOnTheSimulator)
{
    QTemporaryDir dir;
    const QString shot = dir.filePath("panel.png"), driver = dir.filePath("missing/libftd2xx.so");
    auto [code, out] = RunProgram(dir, {"--driver", driver, "--screenshot", shot});
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("missing/libftd2xx.so"), std::string::npos) << "names the library";
    EXPECT_NE(out.find("USB status: USB not responding"), std::string::npos) << out;
    EXPECT_GT(QImage(shot).width(), 600);
    const QString unwritable = dir.filePath("no/such/dir/p.png");
    EXPECT_EQ(RunProgram(dir, {"--driver", driver, "--screenshot", unwritable}).first, 1);

    // The first simulated run opens the simulator with a profile of its own; a later run keeps
    // what the operator chose there.
    const QTemporaryDir fresh;
    const std::string simPath = fresh.filePath("quillon-utility-simulator.ini").toStdString();
    for (int serDesc : {0, 1}) {
        std::tie(code, out) = RunProgram(fresh, {"--simulate", "--screenshot", shot});
        EXPECT_NE(out.find("USB status: USB ready for communication."), std::string::npos) << out;
        Profile simulator(simPath);
        EXPECT_EQ(simulator.GetProfileInt("MyTiveloAp", "SerDesc", -1), serDesc);
        simulator.WriteProfileInt("MyTiveloAp", "SerDesc", 1);
        simulator.WriteProfileString("MyTiveloAp", "SerialString", "QSC10001");
    }
    EXPECT_FALSE(QFile::exists(fresh.filePath("quillon-utility.ini")));
}

}  // namespace

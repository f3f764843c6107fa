// The program as a lab user starts it: unattended with --screenshot it writes the picture and
// leaves through the normal exit path with code 0, even with no driver library to be found.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "framework/Profile.h"
#include "support/PanelHarness.h"

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string out, err;
};

// Runs the program unattended with its configuration in dir.
ProgramRun RunProgram(const QTemporaryDir& dir, QStringList args)
{
    EnsureQtApp();
    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.path());
    proc.setProcessEnvironment(env);
    proc.start(QString(QUILLON_BUILD_DIR) + "/quillon-utility", args);
    // A program that does not end fails here; QProcess kills it on destruction.
    EXPECT_TRUE(proc.waitForFinished(60000)) << "the program did not end";
    EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
    return {proc.exitCode(), proc.readAllStandardOutput().toStdString(),
            proc.readAllStandardError().toStdString()};
}

TEST(ExitPathTest, ScreenshotRunWritesThePanelAndExitsWithZero)
{
    QTemporaryDir dir;
    const QString shot = dir.filePath("panel.png");
    const QString driver = dir.filePath("missing/libftd2xx.so");
    const ProgramRun run = RunProgram(dir, {"--driver", driver, "--screenshot", shot});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("missing/libftd2xx.so"), std::string::npos)
        << "the load failure names the library";
    EXPECT_NE(run.out.find("USB status: USB not responding"), std::string::npos) << run.out;
    QImage image(shot);
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 600);
    EXPECT_GT(image.height(), 500);

    // A picture that cannot be written is not reported as success.
    EXPECT_EQ(
        RunProgram(dir, {"--driver", driver, "--screenshot", dir.filePath("no/such/dir/p.png")})
            .exitCode,
        1);
}

TEST(ExitPathTest, FirstSimulatedRunOpensTheSimulatorWithoutTouchingTheRealProfile)
{
    QTemporaryDir dir;
    const QStringList args = {"--simulate", "--screenshot", dir.filePath("p.png")};
    const ProgramRun run = RunProgram(dir, args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("USB status: USB ready for communication."), std::string::npos)
        << run.out << run.err;
    EXPECT_FALSE(QFile::exists(dir.filePath("quillon-utility.ini")));
    const std::string simPath = dir.filePath("quillon-utility-simulator.ini").toStdString();
    Profile simulator(simPath);
    EXPECT_EQ(simulator.GetProfileInt("MyTiveloAp", "SerDesc", -1), 0);
    EXPECT_EQ(simulator.GetProfileString("MyTiveloAp", "DescString", ""), "Quillon SC");

    // A later run keeps what the operator chose.
    simulator.WriteProfileInt("MyTiveloAp", "SerDesc", 1);
    simulator.WriteProfileString("MyTiveloAp", "SerialString", "QSC10001");
    EXPECT_NE(RunProgram(dir, args).out.find("USB status: USB ready for communication."),
              std::string::npos);
    EXPECT_EQ(Profile(simPath).GetProfileInt("MyTiveloAp", "SerDesc", -1), 1);
}

}  // namespace

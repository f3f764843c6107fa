// The profile keeps what the panel writes, reads integers and hand-edited values as the old
// profile did, and is found in the user's configuration folder.

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "common/FileSizeLimit.h"
#include "framework/Profile.h"
#include "support/PanelHarness.h"

namespace {

TEST(ProfileTest, ValuesSurviveAReopenAndMissingKeysGiveTheDefault)
{
    EnsureQtApp();
    QTemporaryDir dir;
    const std::string path = dir.filePath("sub/quillon-utility.ini").toStdString();
    const std::vector<std::string> texts = {"Quillon SC",
                                            "",
                                            "a, b; c = d",
                                            "  lead",
                                            "[section]",
                                            "caf\xC3\xA9",
                                            "Enter device Description or Serial Number here.",
                                            "@at \"quoted\" back\\slash\ttab\x01"
                                            "2 ",
                                            "\\\\?\\x41;#"};
    {
        Profile p(path);
        EXPECT_FALSE(p.Exists());
        EXPECT_EQ(p.GetProfileInt("MyTiveloAp", "SerDesc", 7), 7);
        EXPECT_EQ(p.GetProfileString("MyTiveloAp", "DevNmbr", "dflt"), "dflt");
        EXPECT_TRUE(p.WriteProfileInt("MyTiveloAp", "SerDesc", 2));
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_TRUE(p.WriteProfileString("MyTiveloAp", std::to_string(i), texts[i]));
    }
    Profile p(path);
    EXPECT_TRUE(p.Exists());
    EXPECT_EQ(p.GetProfileInt("MyTiveloAp", "SerDesc", 0), 2);
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(p.GetProfileString("MyTiveloAp", std::to_string(i), "x"), texts[i]);
    // The text QSettings reads and writes, both ways: profiles from before and after agree.
    const QString qtPath = dir.filePath("qt.ini");
    {
        QSettings qt(qtPath, QSettings::IniFormat);
        for (std::size_t i = 0; i < texts.size(); ++i)
            qt.setValue(QString("MyTiveloAp/%1").arg(i), QString::fromStdString(texts[i]));
    }
    QSettings qtReading(QString::fromStdString(path), QSettings::IniFormat);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(
            Profile(qtPath.toStdString()).GetProfileString("MyTiveloAp", std::to_string(i), "x"),
            texts[i]);
        EXPECT_EQ(qtReading.value(QString("MyTiveloAp/%1").arg(i)).toString().toStdString(),
                  texts[i]);
    }
    // An integer key holding text reads as its leading number, or 0.
    p.WriteProfileString("MyTiveloAp", "SerDesc", "1abc");
    EXPECT_EQ(p.GetProfileInt("MyTiveloAp", "SerDesc", 5), 1);
    p.WriteProfileString("MyTiveloAp", "SerDesc", "abc");
    EXPECT_EQ(p.GetProfileInt("MyTiveloAp", "SerDesc", 5), 0);
}

// A value typed into the file by hand reads back as the text after "=", commas and all.
TEST(ProfileTest, HandEditedValuesReadAsTheirText)
{
    EnsureQtApp();
    QTemporaryDir dir;
    const QString path = dir.filePath("quillon-utility.ini");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "[Other]\nSerialString=elsewhere, not this\n"
            "[MyTiveloAp]\nSerDesc=1, 2\nSerialString=AB, CD\nDescString = Bench ,shutter 2 \n"
            "DevNmbr=3, 4\nDevNmbr=,7\nPlain=plain text\nTrailing=x,\n"
            "Accented=caf\xC3\xA9, cr\xC3\xA8me\n");
    }
    Profile p(path.toStdString());
    const std::pair<const char*, const char*> cases[] = {
        {"SerialString", "AB, CD"}, {"DescString", "Bench ,shutter 2"},
        {"DevNmbr", ",7"},          {"Plain", "plain text"},
        {"Trailing", "x,"},         {"Accented", "caf\xC3\xA9, cr\xC3\xA8me"},
        {"SerDesc", "1, 2"},
    };
    for (const auto& [key, text] : cases)
        EXPECT_EQ(p.GetProfileString("MyTiveloAp", key, "?"), text) << key;
    EXPECT_EQ(p.GetProfileInt("MyTiveloAp", "SerDesc", 5), 1);
    EXPECT_EQ(p.GetProfileString("Other", "SerialString", "?"), "elsewhere, not this");

    // Written back by the program, such a text survives a reopen unchanged.
    EXPECT_TRUE(p.WriteProfileString("MyTiveloAp", "DescString", "AB, CD"));
    EXPECT_EQ(Profile(path.toStdString()).GetProfileString("MyTiveloAp", "DescString", "?"),
              "AB, CD");
}

std::string FileText(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(unreadable)";
}

// Each write is in the file when it returns, for a program killed a moment later; one that cannot
// be written whole says so once and leaves the file as it was.
TEST(ProfileTest, WritesAreOnDiskAtOnceOrFailKeepingTheFile)
{
    EnsureQtApp();
    QTemporaryDir dir;
    const std::string path = dir.filePath("quillon-utility.ini").toStdString();
    Profile p(path);
    ASSERT_TRUE(p.WriteProfileString("MyTiveloAp", "DescString", "Quillon SC"));
    ASSERT_TRUE(p.WriteProfileInt("MyTiveloAp", "SerDesc", 1));
    const std::string before = FileText(path);
    EXPECT_EQ(before, "[MyTiveloAp]\nDescString=Quillon SC\nSerDesc=1\n");

    const std::string result = InChildWithFileSizeLimit(before.size() + 4, [&] {
        std::string out;
        for (int i = 0; i < 2; ++i) {
            out += p.WriteProfileString("MyTiveloAp", "SerialString", "QSC10001") ? "written|"
                                                                                  : "failed|";
            out += p.TakeFailure().value_or("no message") + "|";
        }
        return out;
    });
    EXPECT_EQ(result, "failed|Cannot save the settings to " + path +
                          ".\nFile too large|failed|no message|");
    EXPECT_EQ(FileText(path), before);
    EXPECT_EQ(p.GetProfileString("MyTiveloAp", "SerialString", "none"), "none");
}

TEST(ProfileTest, DefaultPathFollowsXdgConfigHome)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test");
    EXPECT_EQ(Profile::DefaultPath("quillon-utility.ini"), "/tmp/xdg-test/quillon-utility.ini");
    qputenv("XDG_CONFIG_HOME", "");
    EXPECT_EQ(Profile::DefaultPath("q.ini"), qgetenv("HOME").toStdString() + "/.config/q.ini");
    qputenv("XDG_CONFIG_HOME", saved);
}

}  // namespace

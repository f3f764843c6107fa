// The profile keeps what the panel writes, reads integers and hand-edited values as the old
// profile did, and is found in the user's configuration folder.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

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
                                            "Enter device Description or Serial Number here."};
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

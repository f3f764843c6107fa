// Behaviour that lives in the widgets alone and is not an operator session: data exchange on a
// dialog of its own, the about box and the background's menu, scrolling, the file dialogs and
// the profile.

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "common/FileSizeLimit.h"
#include "framework/QtPrompts.h"
#include "panel/CDiagnosisDlg.h"
#include "panel/ScrollMath.h"
#include "support/PanelHarness.h"
#include "usb/LinkFlags.h"

namespace {

// A dialog of its own for what the panel does not have: a radio run broken by another control,
// and an integer field.
class ExchangeDialog : public CDialog {
public:
    explicit ExchangeDialog(Prompts& p)
        : CDialog({"Exchange",
                   200,
                   120,
                   {{10, ControlKind::RadioButton, "A0", 5, 5, 40, 10, true},
                    {11, ControlKind::RadioButton, "A1", 5, 15, 40, 10, false},
                    {12, ControlKind::Edit, "", 5, 25, 40, 12, false},
                    {13, ControlKind::RadioButton, "A2", 5, 40, 40, 10, false},
                    {20, ControlKind::RadioButton, "B0", 60, 5, 40, 10, true},
                    {IDC_STATIC, ControlKind::Label, "stop", 60, 25, 40, 8, true},
                    {30, ControlKind::RadioButton, "C0", 60, 40, 40, 10, false},
                    {40, ControlKind::Edit, "", 110, 5, 60, 12, false},
                    {41, ControlKind::Edit, "", 110, 20, 60, 12, false},
                    {42, ControlKind::Edit, "", 110, 35, 60, 12, false}}},
                  p)
    {
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, 40, text);
        DDX_Text(pDX, 41, number);
        DDX_Text(pDX, 42, after);
    }
    int number = 0;
    std::string text, after;
};

// Groups run in template order to the next group start; a refused integer warns, stops the
// exchange at its control and keeps the later fields.
TEST(DataExchangeTest, RadioRunsFollowTheTemplateAndAnIntegerPullRefusesText)
{
    EnsureQtApp();
    ScriptedPrompts prompts;
    ExchangeDialog dlg(prompts);
    dlg.Create();
    EXPECT_EQ(dlg.RadioGroup(10), (std::vector<int>{10, 11, 13}));
    EXPECT_EQ(dlg.RadioGroup(20), (std::vector<int>{20}));
    for (const auto& [text, value] :
         {std::pair{"42", 42}, {" -7 ", -7}, {"12ab", 0}, {"", 0}, {"99999999999", 0}}) {
        SCOPED_TRACE(text);
        const bool ok = value != 0;
        prompts.Clear();
        dlg.number = 0;
        dlg.after = "before";
        dlg.SetDlgItemText(41, text);
        dlg.SetDlgItemText(42, "typed after");
        dlg.SetDlgItemText(40, "typed first");
        EXPECT_EQ(dlg.UpdateData(true), ok);
        EXPECT_EQ(dlg.number, value);
        EXPECT_EQ(dlg.text, "typed first");
        EXPECT_EQ(dlg.after, ok ? "typed after" : "before");
        EXPECT_EQ(
            prompts.MessageTexts(),
            ok ? std::vector<std::string>{} : std::vector<std::string>{"Please enter an integer."});
    }
}

TEST(PanelTest, WindowDefaultButtonReadOnlyFieldsAndPoll)
{
    g_nBlinkSpeed = 0;
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    EXPECT_EQ(panel.windowTitle().toStdString(), "Quillon Utility - USB v1.12b");
    EXPECT_TRUE(h.Item<QPushButton>(IDOK)->isDefault());
    EXPECT_TRUE(h.Item<QLineEdit>(IDC_USB_STATUS)->isReadOnly());
    EXPECT_TRUE(h.Item<QLineEdit>(IDC_LEFT_CYCLES)->isReadOnly());
    EXPECT_TRUE(h.Item<QLineEdit>(IDC_RECEIVED_BYTES)->isReadOnly());
    EXPECT_FALSE(h.Item<QLineEdit>(IDC_REPEAT)->isReadOnly());
    EXPECT_EQ(h.Item<QComboBox>(IDC_TIMER_SELECT)->itemText(1), "Exposure Time");
    EXPECT_EQ(g_nBlinkSpeed, 0) << "the trackbar's 10 is not taken until it is released";
    EXPECT_EQ(panel.PollTimer().interval(), 2);
    EXPECT_TRUE(panel.PollTimer().isActive());
}

// F1 opens the about box; the background's menu opens the diagnosis of the panel's own driver
// candidates, for an operator who never sees standard error, selectable and copied whole.
TEST(PanelTest, F1ShowsTheAboutBoxAndTheMenuTheDiagnosisToCopy)
{
    PanelHarness h;
    std::string shown;
    h.options.runDialog = [&](CDialog& dlg) {
        dlg.Create();
        auto* text = dlg.findChild<QPlainTextEdit*>();
        shown = text->toPlainText().toStdString();
        EXPECT_TRUE(text->isReadOnly());
        QTest::mouseClick(dlg.Item<QPushButton>(IDC_DIAGNOSIS_COPY), Qt::LeftButton);
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(), shown);
        return false;
    };
    CShutterPanelDlg& panel = h.Start();
    QString about;
    QTimer::singleShot(0, [&] {
        about = QApplication::activeModalWidget()->windowTitle();
        QApplication::activeModalWidget()->findChild<QAbstractButton*>("ctl1")->click();
    });
    QTest::keyClick(&panel, Qt::Key_F1);
    EXPECT_EQ(about, "About Tivelo");
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        for (QAction* action : menu->actions())
            if (action->text() == "&Diagnose Connection...")
                menu->setActiveAction(action);
        QTest::keyClick(menu, menu->activeAction() ? Qt::Key_Return : Qt::Key_Escape);
    });
    emit panel.Content()->customContextMenuRequested(QPoint(5, 5));
    const std::string candidate = h.options.driverCandidates.front();
    EXPECT_NE(shown.find("1. " + candidate + "\n     does not load: "), std::string::npos) << shown;
    EXPECT_NE(shown.find("FTDI USB devices ("), std::string::npos) << shown;
    EXPECT_TRUE(h.exitCodes.empty());
}

// Whatever the resizes and scrolls, the bar and the content show the same offset, within range.
TEST(PanelTest, ScrollingKeepsTheBarAtTheOffset)
{
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    const int H = panel.m_rcWindow.bottom - panel.m_rcWindow.top;
    QScrollBar* bar = panel.VerticalScrollBar();
    const auto agree = [&](int height, int offset) {
        panel.resize(panel.width(), height);
        EXPECT_EQ(std::vector({panel.m_nScrollPos, -panel.Content()->y(), bar->value()}),
                  std::vector({offset, offset, offset}));
    };
    panel.resize(panel.width(), H - 100);
    EXPECT_EQ(std::pair(bar->maximum(), bar->pageStep()), std::pair(100, 10));
    panel.OnVScroll(SB_PAGEDOWN, 0);
    agree(H - 100, 10);
    panel.resize(panel.width(), H - 300);
    for (int i = 0; i < 40; ++i) bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    agree(H - 300, 300);
    agree(H - 100, 100);  // made taller: the offset is clamped to the range
    panel.OnVScroll(SB_LINEUP, 0);
    agree(H - 100, 99);
    agree(H, 0);
    EXPECT_FALSE(bar->isEnabled()) << "an unneeded bar is shown disabled";
    EXPECT_TRUE(bar->isVisible());
    panel.resize(panel.width(), H - 300);
    panel.OnVScroll(SB_THUMBPOSITION, 300);
    agree(H - 300, 300);
    agree(H + 50, 0);  // taller than at start
}

// The old "name|pattern|...||" filter reaches Qt intact; the dialogs list a folder without
// opening its files (a read of a FIFO never returns), as the kernel reports for the folder.
TEST(PromptsTest, FileDialogsTakeTheOldFilterAndOpenNoFileToListAFolder)
{
    EXPECT_EQ(QtPrompts::ToQtFilter("Quillon Config (*.cfg)|*.cfg|All Files (*.*)|*.*||"),
              "Quillon Config (*.cfg);;All Files (*)");
    EXPECT_EQ(QtPrompts::ToQtFilter("Logs|*.log;*.txt||"), "Logs (*.log *.txt)");
    EnsureQtApp();
    QTemporaryDir dir;
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    QFile unnamed(dir.filePath("sample"));  // no extension: only its bytes could tell its type
    ASSERT_TRUE(unnamed.open(QIODevice::WriteOnly) && unnamed.write("%PDF-1.4\n") > 0);
    unnamed.close();
    const int notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(notify, QFile::encodeName(dir.path()).constData(), IN_OPEN), 0);
    QtPrompts prompts;
    for (bool save : {false, true}) {
        bool listed = false;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QObject::connect(dlg->findChild<QFileSystemModel*>(),
                             &QFileSystemModel::directoryLoaded,
                             [&](const QString& path) { listed |= path == dir.path(); });
            dlg->setDirectory(dir.path());
            for (QDeadlineTimer deadline(30'000); !listed && !deadline.hasExpired();)
                QApplication::processEvents();
            dlg->reject();
        });
        EXPECT_FALSE((save ? prompts.SaveFileName("All Files (*.*)|*.*||", ".cfg")
                           : prompts.OpenFileName("All Files (*.*)|*.*||", ".cfg"))
                         .has_value());
        EXPECT_TRUE(listed) << save;
    }
    std::string opened;  // events on the folder itself carry no name
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = read(notify, buffer, sizeof buffer)) > 0;)
        for (char* p = buffer; p < buffer + n;
             p += sizeof(inotify_event) + ((inotify_event*)p)->len)
            if (((inotify_event*)p)->len > 0)
                opened += std::string(((inotify_event*)p)->name) + " ";
    close(notify);
    EXPECT_EQ(opened, "");
}

// Texts the profile must keep whole: separators, blanks at the ends, quotes, escapes, UTF-8.
const std::vector<std::string> kProfileTexts = {"Quillon SC",
                                                "",
                                                "a, b; c = d",
                                                "  lead",
                                                "[section]",
                                                "caf\xC3\xA9",
                                                "@at \"quoted\" back\\slash\ttab\x01"
                                                "2 ",
                                                "\\\\?\\x41;#"};

// What the profile writes survives a reopen and reads the same in QSettings, and what QSettings
// writes reads the same here; an integer key reads as its leading number.
TEST(ProfileTest, ValuesSurviveAReopenAndAgreeWithQSettingsBothWays)
{
    EnsureQtApp();
    QTemporaryDir dir;
    const std::string path = dir.filePath("sub/quillon-utility.ini").toStdString();
    const QString qtPath = dir.filePath("qt.ini");
    {
        Profile p(path);
        EXPECT_FALSE(p.Exists());
        EXPECT_EQ(p.GetProfileInt("MyTiveloAp", "SerDesc", 7), 7);
        EXPECT_TRUE(p.WriteProfileInt("MyTiveloAp", "SerDesc", 2));
        QSettings qt(qtPath, QSettings::IniFormat);
        for (std::size_t i = 0; i < kProfileTexts.size(); ++i) {
            EXPECT_TRUE(p.WriteProfileString("MyTiveloAp", std::to_string(i), kProfileTexts[i]));
            qt.setValue(QString("MyTiveloAp/%1").arg(i), QString::fromStdString(kProfileTexts[i]));
        }
    }
    Profile p(path);
    EXPECT_EQ(p.GetProfileInt("MyTiveloAp", "SerDesc", 0), 2);
    QSettings qtReading(QString::fromStdString(path), QSettings::IniFormat);
    for (std::size_t i = 0; i < kProfileTexts.size(); ++i) {
        const std::string key = std::to_string(i);
        EXPECT_EQ(p.GetProfileString("MyTiveloAp", key, "x"), kProfileTexts[i]);
        EXPECT_EQ(Profile(qtPath.toStdString()).GetProfileString("MyTiveloAp", key, "x"),
                  kProfileTexts[i]);
        EXPECT_EQ(qtReading.value(QString("MyTiveloAp/%1").arg(i)).toString().toStdString(),
                  kProfileTexts[i]);
    }
    for (const auto& [text, value] : {std::pair{"1abc", 1}, {"abc", 0}}) {
        p.WriteProfileString("MyTiveloAp", "SerDesc", text);
        EXPECT_EQ(p.GetProfileInt("MyTiveloAp", "SerDesc", 5), value);
    }
}

// Each write is in the file when it returns; one that cannot be written whole says so once and
// leaves the file as it was.
TEST(ProfileTest, WritesAreOnDiskAtOnceOrFailKeepingTheFile)
{
    EnsureQtApp();
    QTemporaryDir dir;
    const std::string path = dir.filePath("quillon-utility.ini").toStdString();
    Profile p(path);
    ASSERT_TRUE(p.WriteProfileString("MyTiveloAp", "DescString", "Quillon SC"));
    ASSERT_TRUE(p.WriteProfileInt("MyTiveloAp", "SerDesc", 1));
    const auto fileText = [&] {
        QFile file(QString::fromStdString(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(unreadable)";
    };
    const std::string before = fileText();
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
    EXPECT_EQ(fileText(), before);
    EXPECT_EQ(p.GetProfileString("MyTiveloAp", "SerialString", "none"), "none");

    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test");
    EXPECT_EQ(Profile::DefaultPath("quillon-utility.ini"), "/tmp/xdg-test/quillon-utility.ini");
    qputenv("XDG_CONFIG_HOME", "");
    EXPECT_EQ(Profile::DefaultPath("q.ini"), qgetenv("HOME").toStdString() + "/.config/q.ini");
    qputenv("XDG_CONFIG_HOME", saved);
}

}  // namespace

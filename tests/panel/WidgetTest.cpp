// Behaviour that lives in the widgets alone and is not an operator session: data exchange on a
// dialog of its own, the about box and the background's menu, scrolling, the file dialogs and
// the profile.

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include <QApplication>
#include <QAbstractItemView>
#include <QAccessible>
#include <QClipboard>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "common/FileSizeLimit.h"
#include "framework/QtPrompts.h"
#include "panel/CDiagnosisDlg.h"
#include "panel/ScrollMath.h"
#include "support/PanelHarness.h"
#include "usb/LinkFlags.h"

namespace {

// A dialog of its own for what the panel does not have: a radio run broken by another control,
// and an integer field between two text fields.
struct ExchangeDialog : CDialog {
    // clang-format off
    explicit ExchangeDialog(Prompts& p) : CDialog({"Exchange", 200, 120, {
        {10, ControlKind::RadioButton, "A0", 5, 5, 40, 10, true},
        {11, ControlKind::RadioButton, "A1", 5, 15, 40, 10, false},
        {12, ControlKind::Edit, "", 5, 25, 40, 12, false},
        {13, ControlKind::RadioButton, "A2", 5, 40, 40, 10, false},
        {20, ControlKind::RadioButton, "B0", 60, 5, 40, 10, true},
        {40, ControlKind::Edit, "", 110, 5, 60, 12, false},
        {41, ControlKind::Edit, "", 110, 20, 60, 12, false},
        {42, ControlKind::Edit, "", 110, 35, 60, 12, false}}}, p) {}
    // clang-format on
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
    for (const auto& [text, value] :
         {std::pair{"42", 42}, {" -7 ", -7}, {"12ab", 0}, {"", 0}, {"99999999999", 0}}) {
        SCOPED_TRACE(text);
        prompts.Clear();
        dlg.number = 0;
        dlg.after = "before";
        dlg.SetDlgItemText(41, text);
        dlg.SetDlgItemText(42, "typed after");
        dlg.SetDlgItemText(40, "typed first");
        EXPECT_EQ(dlg.UpdateData(true), value != 0);
        EXPECT_EQ(std::tuple(dlg.number, dlg.text, dlg.after),
                  std::tuple(value, "typed first", value ? "typed after" : "before"));
        EXPECT_EQ(prompts.MessageTexts(),
                  std::vector<std::string>(value ? 0 : 1, "Please enter an integer."));
    }
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
        QTest::mouseClick(dlg.Item<QPushButton>(IDC_DIAGNOSIS_COPY), Qt::LeftButton);
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(), shown);
        return false;
    };
    CShutterPanelDlg& panel = h.Start();
    QString about;
    QTimer::singleShot(0, [&] { about = QApplication::activeModalWidget()->windowTitle(); });
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    QTest::keyClick(&panel, Qt::Key_F1);
    EXPECT_EQ(about, "About Tivelo");
    auto* combo = h.Item<QComboBox>(IDC_TIMER_SELECT);  // pressed by a screen reader
    QAccessible::queryAccessibleInterface(combo)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(combo->view()->isVisible());
    combo->hidePopup();
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

// A profile written by QSettings, as the program's earlier versions did, reads the same; each
// write is in the file when it returns, and one that cannot be written whole says so once and
// leaves the file as it was.
TEST(ProfileTest, ReadsQSettingsFilesAndKeepsTheFileWhenAWriteFails)
{
    EnsureQtApp();
    QTemporaryDir dir;
    const std::string path = dir.filePath("quillon-utility.ini").toStdString();
    // clang-format off
    const std::string texts[] = {"Quillon SC", "", "a, b; c = d", "  lead", "[section]",
        "caf\xC3\xA9", "@at \"quoted\" back\\slash\ttab\x01" "2 ", "\\\\?\\x41;#", "1abc"};
    // clang-format on
    {
        QSettings qt(QString::fromStdString(path), QSettings::IniFormat);
        for (std::size_t i = 0; i < std::size(texts); ++i)
            qt.setValue(QString("MyTiveloAp/%1").arg(i), QString::fromStdString(texts[i]));
    }
    Profile p(path);
    for (std::size_t i = 0; i < std::size(texts); ++i)
        EXPECT_EQ(p.GetProfileString("MyTiveloAp", std::to_string(i), "x"), texts[i]);
    EXPECT_EQ(p.GetProfileInt("MyTiveloAp", "8", 5), 1) << "an integer reads as its leading number";
    std::ofstream(path, std::ios::app) << "[Hand]\nk=\\x3042\n";  // as an editor may write it
    EXPECT_EQ(Profile(path).GetProfileString("Hand", "k", ""), "\xE3\x81\x82");

    const std::string other = dir.filePath("other.ini").toStdString();
    Profile written(other);
    EXPECT_FALSE(written.Exists());
    ASSERT_TRUE(written.WriteProfileString("MyTiveloAp", "DescString", "Quillon SC"));
    ASSERT_TRUE(written.WriteProfileInt("MyTiveloAp", "SerDesc", 1));
    const auto fileText = [&] {
        QFile file(QString::fromStdString(other));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(unreadable)";
    };
    const std::string before = fileText();
    EXPECT_EQ(before, "[MyTiveloAp]\nDescString=Quillon SC\nSerDesc=1\n");
    const std::string result = InChildWithFileSizeLimit(before.size() + 4, [&] {
        std::string out;
        for (int i = 0; i < 2; ++i) {
            out +=
                written.WriteProfileString("MyTiveloAp", "SerialString", "QSC10001") ? "+|" : "-|";
            out += written.TakeFailure().value_or("no message") + "|";
        }
        return out;
    });
    EXPECT_EQ(result, "-|Cannot save the settings to " + other + ".\nFile too large|-|no message|");
    EXPECT_EQ(fileText(), before);
}

}  // namespace

// The panel as it comes up: every control of the template, the defaults of its initialisation,
// the open method read from the profile, scrolling, and the keys that must not end it.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>

#include "panel/CDiagnosisDlg.h"
#include "panel/PanelTemplate.h"
#include "panel/ScrollMath.h"
#include "support/PanelHarness.h"
#include "usb/LinkFlags.h"

namespace {

TEST(PanelStartupTest, EveryControlIsThereNamedByItsCaptionWithItsDefaults)
{
    g_nBlinkSpeed = 0;
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    EXPECT_EQ(panel.windowTitle().toStdString(), "Quillon Utility - USB v1.12b");
    for (const ControlTemplate& ctl : PanelTemplate().controls) {
        if (ctl.id == IDC_STATIC)
            continue;
        QWidget* w = panel.GetDlgItem(ctl.id);
        ASSERT_NE(w, nullptr) << ctl.id;
        EXPECT_EQ(w->objectName().toStdString(), "ctl" + std::to_string(ctl.id));
        // Screen readers name every control, by its caption where it has one.
        const QString name = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        EXPECT_FALSE(name.isEmpty()) << ctl.id;
        if (!ctl.caption.empty()) {
            EXPECT_EQ(name.toStdString(), ctl.caption);
        }
    }
    EXPECT_EQ(panel.GetDlgItem(IDC_DEVICE)->accessibleName(), "Device entry");
    EXPECT_TRUE(h.Item<QPushButton>(IDOK)->isDefault());
    EXPECT_TRUE(h.Item<QLineEdit>(IDC_USB_STATUS)->isReadOnly());
    EXPECT_TRUE(h.Item<QLineEdit>(IDC_LEFT_CYCLES)->isReadOnly());
    EXPECT_FALSE(h.Item<QLineEdit>(IDC_REPEAT)->isReadOnly());

    for (int id : {IDC_FAST, IDC_SHUTTER_CLOSE, IDC_ENABLE_HIGH, IDC_LOW_FOR_OPEN,
                   IDC_TRIGGER_PULSE, IDC_SYNC_PULSE})
        EXPECT_TRUE(panel.IsDlgButtonChecked(id)) << id;
    for (int id : {IDC_SOFT, IDC_ND, IDC_SHUTTER_OPEN, IDC_ENABLE_LOW, IDC_RISING_EDGE,
                   IDC_FALLING_EDGE, IDC_HIGH_FOR_OPEN, IDC_ON_POWER_UP, IDC_ON_TRIGGER, IDC_GO})
        EXPECT_FALSE(panel.IsDlgButtonChecked(id)) << id;
    EXPECT_EQ(panel.m_nShutterMode, 0);
    EXPECT_EQ(panel.m_nShutterState, 1);
    EXPECT_EQ(panel.m_nTriggerMode, 0);
    EXPECT_EQ(panel.m_nSyncPolarity, 1);
    for (int id :
         {IDC_HOURS, IDC_MINUTES, IDC_SECONDS, IDC_MS, IDC_TENTH_MS, IDC_REPEAT, IDC_LEFT_CYCLES})
        EXPECT_EQ(panel.GetDlgItemText(id), "") << id;
    auto* timer = h.Item<QComboBox>(IDC_TIMER_SELECT);
    EXPECT_EQ(timer->count(), 2);
    EXPECT_EQ(timer->itemText(1), "Exposure Time");
    EXPECT_EQ(timer->currentIndex(), -1);

    struct Range {
        int id, min, max, pos;
    };
    for (Range r : {Range{IDC_SPEED, 0, 500, 10}, Range{IDC_SLIDER_TENTH_MS, 0, 9, 0},
                    Range{IDC_SLIDER_MS, 0, 999, 0}, Range{IDC_SLIDER_SECONDS, 0, 59, 0},
                    Range{IDC_SLIDER_MINUTES, 0, 59, 0}, Range{IDC_SLIDER_HOURS, 0, 5, 0}}) {
        auto* s = h.Item<QSlider>(r.id);
        EXPECT_EQ(std::vector({s->minimum(), s->maximum(), s->value()}),
                  std::vector({r.min, r.max, r.pos}))
            << r.id;
    }
    EXPECT_EQ(g_nBlinkSpeed, 0) << "the trackbar's 10 is not taken until it is released";
    for (int id : {IDC_BLINK_LEDS, IDC_BLINK_OFF, IDC_SPEED})
        EXPECT_FALSE(panel.IsDlgItemEnabled(id)) << id;
    EXPECT_TRUE(panel.IsDlgItemEnabled(IDOK));
    EXPECT_TRUE(panel.PollTimer().isActive());
    EXPECT_EQ(panel.PollTimer().interval(), 2);
}

TEST(PanelStartupTest, OpenMethodAndEntryComeFromTheProfile)
{
    const char* const prompt = "Enter device Description or Serial Number here.";
    const struct {
        int stored;  // -2: no profile file at all
        int method;  // -1: no radio checked
        const char* entry;
    } cases[] = {{-2, 0, prompt}, {0, 0, "desc text"}, {1, 1, "serial text"}, {2, 2, "number text"},
                 {3, -1, prompt}, {-1, -1, prompt},    {99, -1, prompt}};
    const char* const keys[] = {"DescString", "SerialString", "DevNmbr"};
    const char* const stored[] = {"desc text", "serial text", "number text"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        PanelHarness h;
        if (c.stored != -2) {
            h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", c.stored);
            for (int m = 0; m < 3; ++m)
                h.profile->WriteProfileString("MyTiveloAp", keys[m], stored[m]);
        }
        CShutterPanelDlg& panel = h.Start();
        for (int m = 0; m < 3; ++m)
            EXPECT_EQ(panel.IsDlgButtonChecked(IDC_BY_DESCRIPTION + m), m == c.method) << m;
        EXPECT_EQ(panel.GetDlgItemText(IDC_DEVICE), c.entry);
        panel.UpdateData(true);
        EXPECT_EQ(panel.m_nOpenBy, c.method);
        // With no method, an edit of the entry is not remembered under any method's key.
        h.TypeText(IDC_DEVICE, "typed");
        for (int m = 0; m < 3 && c.method < 0; ++m)
            EXPECT_EQ(h.profile->GetProfileString("MyTiveloAp", keys[m], "-"), stored[m]);
    }
}

TEST(PanelStartupTest, EscapeIsIgnoredAndEveryWayOutExitsWithZero)
{
    const std::function<void(PanelHarness&)> waysOut[] = {
        [](PanelHarness& h) {  // Enter in an edit field, through the default button
            h.Item<QLineEdit>(IDC_REPEAT)->setFocus();
            QTest::keyClick(h.Item<QLineEdit>(IDC_REPEAT), Qt::Key_Return);
        },
        [](PanelHarness& h) { h.Click(IDOK); },
        [](PanelHarness& h) {  // even while EXIT is disabled, as during the link exercise
            h.panel->EnableDlgItem(IDOK, false);
            h.panel->close();
        },
    };
    for (const auto& leave : waysOut) {
        PanelHarness h;
        CShutterPanelDlg& panel = h.Start();
        QTest::keyClick(&panel, Qt::Key_Escape);
        QTest::keyClick(h.Item<QLineEdit>(IDC_REPEAT), Qt::Key_Escape);
        EXPECT_TRUE(panel.isVisible());
        EXPECT_TRUE(h.exitCodes.empty());
        leave(h);
        EXPECT_EQ(h.exitCodes, std::vector<int>{0});
    }
}

TEST(PanelStartupTest, F1OpensTheAboutBoxAndClosingItReturnsToThePanel)
{
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    QString seenTitle;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            seenTitle = modal->windowTitle();
            if (auto* ok = modal->findChild<QAbstractButton*>("ctl1"))
                ok->click();
        }
    });
    QTest::keyClick(&panel, Qt::Key_F1);
    EXPECT_EQ(seenTitle, "About Tivelo");
    EXPECT_TRUE(h.exitCodes.empty());
    EXPECT_TRUE(panel.isVisible());
}

// Why nothing opens, for an operator who never sees standard error: the background's menu shows
// the diagnosis of the panel's own driver candidates, selectable and copied whole by Copy.
TEST(PanelStartupTest, DiagnoseConnectionOnTheMenuShowsTheDiagnosisToCopy)
{
    PanelHarness h;
    std::string shown;
    h.options.runDialog = [&](CDialog& dlg) {
        dlg.Create();
        auto* text = dlg.findChild<QPlainTextEdit*>();
        shown = text->toPlainText().toStdString();
        EXPECT_TRUE(text->isReadOnly());
        EXPECT_TRUE(text->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        QTest::mouseClick(dlg.Item<QPushButton>(IDC_DIAGNOSIS_COPY), Qt::LeftButton);
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(), shown);
        return false;
    };
    CShutterPanelDlg& panel = h.Start();
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
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
TEST(PanelStartupTest, ScrollingFollowsTheResizeAndKeepsTheBarAtTheOffset)
{
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    const int H = panel.m_rcWindow.bottom - panel.m_rcWindow.top;
    ASSERT_GT(H, 400);
    QScrollBar* bar = panel.VerticalScrollBar();
    const auto agree = [&](int offset) {
        EXPECT_EQ(panel.m_nScrollPos, offset);
        EXPECT_EQ(panel.Content()->y(), -offset);
        EXPECT_EQ(bar->value(), offset);
    };

    panel.resize(panel.width(), H - 100);
    EXPECT_EQ(panel.m_nClientHeight, H - 100);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->pageStep(), 10);
    panel.OnVScroll(SB_PAGEDOWN, 0);
    agree(10);

    panel.resize(panel.width(), H - 300);
    for (int i = 0; i < 40; ++i) bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    agree(300);
    panel.resize(panel.width(), H - 100);  // made taller: the offset is clamped to the range
    agree(100);
    panel.OnVScroll(SB_LINEUP, 0);  // scrolling goes on from where the content is
    agree(99);
    panel.resize(panel.width(), H);  // back to full height: nothing left to scroll
    agree(0);
    EXPECT_EQ(bar->maximum(), 0);
    EXPECT_FALSE(bar->isEnabled()) << "an unneeded bar is shown disabled";
    EXPECT_TRUE(bar->isVisible());

    panel.resize(panel.width(), H - 300);
    panel.OnVScroll(SB_THUMBPOSITION, 300);
    agree(300);
    panel.resize(panel.width(), H + 50);  // taller than at start
    agree(0);
}

TEST(PanelLayoutTest, NoCaptionIsClipped)
{
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    std::vector<std::string> clipped;
    for (QWidget* w :
         panel.Content()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        auto* button = qobject_cast<QAbstractButton*>(w);
        auto* label = qobject_cast<QLabel*>(w);
        if (!button && !label)
            continue;
        const QString text = button ? button->text() : label->text();
        if (text.isEmpty())
            continue;
        const int indicator =
            qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w) ? 16 : 0;
        const int needed = w->fontMetrics().horizontalAdvance(text) + indicator;
        if (needed > w->width() || w->fontMetrics().height() > w->height() + 1)
            clipped.push_back(text.toStdString() + " needs " + std::to_string(needed) + ", has " +
                              std::to_string(w->width()));
    }
    EXPECT_TRUE(clipped.empty()) << ::testing::PrintToString(clipped);
}

}  // namespace

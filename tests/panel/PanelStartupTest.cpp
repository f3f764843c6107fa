// The panel as it comes up: every control of the template, the defaults of its initialisation,
// the open method read from the profile, scrolling, and the keys that must not end it.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "panel/PanelTemplate.h"
#include "panel/ScrollMath.h"
#include "support/PanelHarness.h"
#include "usb/LinkFlags.h"

namespace {

TEST(PanelStartupTest, EveryControlOfTheTemplateIsThereWithItsNameAndCaption)
{
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    EXPECT_EQ(panel.windowTitle().toStdString(), "Quillon Utility - USB v1.12b");
    for (const ControlTemplate& ctl : PanelTemplate().controls) {
        if (ctl.id == IDC_STATIC)
            continue;
        QWidget* w = panel.GetDlgItem(ctl.id);
        ASSERT_NE(w, nullptr) << ctl.id;
        EXPECT_EQ(w->objectName().toStdString(), "ctl" + std::to_string(ctl.id));
        EXPECT_FALSE(w->accessibleName().isEmpty()) << ctl.id;  // for screen readers
        if (!ctl.caption.empty()) {
            EXPECT_EQ(w->accessibleName().toStdString(), ctl.caption);
        }
    }
    EXPECT_EQ(panel.GetDlgItem(IDC_DEVICE)->accessibleName(), "Device entry");
    EXPECT_TRUE(h.Item<QPushButton>(IDOK)->isDefault());
    EXPECT_TRUE(h.Item<QLineEdit>(IDC_USB_STATUS)->isReadOnly());
    EXPECT_TRUE(h.Item<QLineEdit>(IDC_LEFT_CYCLES)->isReadOnly());
    EXPECT_FALSE(h.Item<QLineEdit>(IDC_REPEAT)->isReadOnly());
}

TEST(PanelStartupTest, InitialisationSetsItsDefaults)
{
    g_nBlinkSpeed = 0;
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();

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
    EXPECT_EQ(h.Item<QComboBox>(IDC_TIMER_SELECT)->count(), 2);
    EXPECT_EQ(h.Item<QComboBox>(IDC_TIMER_SELECT)->itemText(1), "Exposure Time");
    EXPECT_EQ(h.Item<QComboBox>(IDC_TIMER_SELECT)->currentIndex(), -1);

    struct Range {
        int id, min, max, pos;
    };
    for (Range r : {Range{IDC_SPEED, 0, 500, 10}, Range{IDC_SLIDER_TENTH_MS, 0, 9, 0},
                    Range{IDC_SLIDER_MS, 0, 999, 0}, Range{IDC_SLIDER_SECONDS, 0, 59, 0},
                    Range{IDC_SLIDER_MINUTES, 0, 59, 0}, Range{IDC_SLIDER_HOURS, 0, 5, 0}}) {
        auto* s = h.Item<QSlider>(r.id);
        EXPECT_EQ(s->minimum(), r.min) << r.id;
        EXPECT_EQ(s->maximum(), r.max) << r.id;
        EXPECT_EQ(s->value(), r.pos) << r.id;
    }
    EXPECT_EQ(g_nBlinkSpeed, 0) << "the trackbar's 10 is not taken until it is released";

    for (int id : {IDC_BLINK_LEDS, IDC_BLINK_OFF, IDC_SPEED})
        EXPECT_FALSE(panel.IsDlgItemEnabled(id)) << id;
    EXPECT_TRUE(panel.IsDlgItemEnabled(IDOK));
    EXPECT_TRUE(panel.PollTimer().isActive());
    EXPECT_EQ(panel.PollTimer().interval(), 2);
}

// The poll slows to 20 ms after more than half a second without a byte or an operator action.
TEST(PanelStartupTest, PollSlowsDownWhenQuietAndAnActionSpeedsItUp)
{
    std::int64_t now = 1'000'000;
    PanelHarness h;
    h.options.nowMs = [&now] { return now; };
    CShutterPanelDlg& panel = h.Start();
    const auto tickAt = [&](std::int64_t t) {
        now = t;
        panel.OnTimer();
        return panel.PollTimer().interval();
    };
    EXPECT_EQ(tickAt(1'000'500), 2);
    EXPECT_EQ(tickAt(1'000'501), 20);
    EXPECT_EQ(tickAt(1'002'000), 20);
    h.Click(IDC_CLEAR);  // an operator action brings back the fast poll at once
    EXPECT_EQ(panel.PollTimer().interval(), 2);
    EXPECT_EQ(tickAt(1'002'500), 2);
    EXPECT_EQ(tickAt(1'002'501), 20);
    EXPECT_TRUE(panel.PollTimer().isActive());
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        PanelHarness h;
        if (c.stored != -2) {
            h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", c.stored);
            h.profile->WriteProfileString("MyTiveloAp", "DescString", "desc text");
            h.profile->WriteProfileString("MyTiveloAp", "SerialString", "serial text");
            h.profile->WriteProfileString("MyTiveloAp", "DevNmbr", "number text");
        }
        CShutterPanelDlg& panel = h.Start();
        for (int m = 0; m < 3; ++m)
            EXPECT_EQ(panel.IsDlgButtonChecked(IDC_BY_DESCRIPTION + m), m == c.method) << m;
        EXPECT_EQ(panel.GetDlgItemText(IDC_DEVICE), c.entry);
        panel.UpdateData(true);
        EXPECT_EQ(panel.m_nOpenBy, c.method);
        // With no method, an edit of the entry is not remembered under any method's key.
        h.TypeText(IDC_DEVICE, "typed");
        if (c.method < 0) {
            EXPECT_EQ(h.profile->GetProfileString("MyTiveloAp", "DescString", "-"), "desc text");
            EXPECT_EQ(h.profile->GetProfileString("MyTiveloAp", "SerialString", "-"),
                      "serial text");
            EXPECT_EQ(h.profile->GetProfileString("MyTiveloAp", "DevNmbr", "-"), "number text");
        }
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

TEST(PanelStartupTest, ScrollingFollowsTheResizeAndKeepsTheBarAtTheOffset)
{
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    const int H = panel.m_rcWindow.bottom - panel.m_rcWindow.top;
    ASSERT_GT(H, 200);
    QScrollBar* bar = panel.VerticalScrollBar();

    panel.resize(panel.width(), H - 100);
    EXPECT_EQ(panel.m_nClientHeight, H - 100);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->pageStep(), 10);

    panel.OnVScroll(SB_PAGEDOWN, 0);
    EXPECT_EQ(panel.m_nScrollPos, 10);
    EXPECT_EQ(panel.Content()->y(), -10);
    panel.OnVScroll(SB_THUMBPOSITION, 100);
    EXPECT_EQ(panel.Content()->y(), -100);

    // Made taller again: the offset is clamped to the smaller range and the content follows.
    panel.resize(panel.width(), H - 60);
    EXPECT_EQ(bar->maximum(), 60);
    EXPECT_EQ(panel.m_nScrollPos, 60);
    EXPECT_EQ(panel.Content()->y(), -60);
    EXPECT_EQ(bar->value(), 60);

    panel.resize(panel.width(), H);
    EXPECT_EQ(bar->maximum(), 0);
    EXPECT_FALSE(bar->isEnabled()) << "an unneeded bar is shown disabled";
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(panel.Content()->y(), 0);
}

// Whatever the resizes, the bar and the content show the same offset, within the range.
TEST(PanelStartupTest, ResizeClampsTheOffsetAndMovesTheContentWithIt)
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

    panel.resize(panel.width(), H - 300);
    for (int i = 0; i < 20; ++i) bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    agree(300);
    panel.resize(panel.width(), H);  // back to full height: nothing left to scroll
    agree(0);
    EXPECT_FALSE(bar->isEnabled());

    panel.resize(panel.width(), H - 300);
    panel.OnVScroll(SB_THUMBPOSITION, 300);
    agree(300);
    panel.resize(panel.width(), H - 100);
    agree(100);
    EXPECT_EQ(bar->maximum(), 100);
    panel.OnVScroll(SB_LINEUP, 0);  // scrolling goes on from where the content is
    agree(99);
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
        const bool captioned = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w);
        if (!captioned || w->accessibleName().isEmpty())
            continue;
        const QString text = qobject_cast<QAbstractButton*>(w)
                                 ? qobject_cast<QAbstractButton*>(w)->text()
                                 : qobject_cast<QLabel*>(w)->text();
        const int textWidth = w->fontMetrics().horizontalAdvance(text);
        const int indicator =
            qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w) ? 16 : 0;
        if (textWidth + indicator > w->width() || w->fontMetrics().height() > w->height() + 1)
            clipped.push_back(text.toStdString() + " needs " +
                              std::to_string(textWidth + indicator) + ", has " +
                              std::to_string(w->width()));
    }
    EXPECT_TRUE(clipped.empty()) << ::testing::PrintToString(clipped);
}

}  // namespace

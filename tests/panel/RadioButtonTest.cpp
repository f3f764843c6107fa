// The panel's radio buttons as assistive technology and the keyboard meet them: each is a radio
// button with its checked state, and the arrows go round its group, checking and clicking.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QRadioButton>
#include <QTest>

#include "panel/PanelTemplate.h"
#include "support/PanelHarness.h"

namespace {

QAccessibleInterface* Accessible(CShutterPanelDlg& panel, int id)
{
    return QAccessible::queryAccessibleInterface(panel.GetDlgItem(id));
}

// Every radio and check box of the template: its role, name and checked state as announced.
void ExpectAnnouncedAsShown(CShutterPanelDlg& panel)
{
    int radios = 0;
    for (const ControlTemplate& ctl : PanelTemplate().controls) {
        const bool radio = ctl.kind == ControlKind::RadioButton;
        if (!radio && ctl.kind != ControlKind::CheckBox)
            continue;
        SCOPED_TRACE(ctl.caption);
        QAccessibleInterface* iface = Accessible(panel, ctl.id);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), radio ? QAccessible::RadioButton : QAccessible::CheckBox);
        EXPECT_EQ(iface->text(QAccessible::Name).toStdString(), ctl.caption);
        EXPECT_TRUE(iface->state().checkable);
        EXPECT_EQ(bool(iface->state().checked), panel.IsDlgButtonChecked(ctl.id));
        radios += radio;
    }
    EXPECT_EQ(radios, 17);
}

TEST(RadioButtonTest, EveryRadioIsAnnouncedAsARadioButtonWithItsState)
{
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    ExpectAnnouncedAsShown(panel);

    // Activated through assistive technology, by each action it offers: it checks itself,
    // clears only its own group and runs its handler; a checked one stays checked.
    const int pressed[] = {IDC_SOFT,       IDC_SHUTTER_OPEN, IDC_HIGH_FOR_OPEN,
                           IDC_ON_TRIGGER, IDC_FALLING_EDGE, IDC_BY_NUMBER};
    for (int id : pressed) {
        QAccessibleActionInterface* action = Accessible(panel, id)->actionInterface();
        ASSERT_NE(action, nullptr) << id;
        const QStringList names = action->actionNames();
        ASSERT_TRUE(names.contains(QAccessibleActionInterface::toggleAction())) << id;
        ASSERT_TRUE(names.contains(QAccessibleActionInterface::pressAction())) << id;
        action->doAction(QAccessibleActionInterface::toggleAction());
        action->doAction(QAccessibleActionInterface::pressAction());
        action->doAction(QAccessibleActionInterface::toggleAction());
    }
    for (int id : pressed) EXPECT_TRUE(panel.IsDlgButtonChecked(id)) << id;
    for (int id :
         {IDC_FAST, IDC_SHUTTER_CLOSE, IDC_LOW_FOR_OPEN, IDC_ENABLE_HIGH, IDC_BY_DESCRIPTION})
        EXPECT_FALSE(panel.IsDlgButtonChecked(id)) << id;
    EXPECT_EQ(h.profile->GetProfileInt("MyTiveloAp", "SerDesc", -1), 2);
    ExpectAnnouncedAsShown(panel);
}

// Each walk starts from a button and presses one arrow; the focus goes round that group only,
// never out to the controls that follow in template order, checking and clicking what it reaches.
TEST(RadioButtonTest, ArrowsGoRoundEachGroupCheckingAndClickingWhatTheyReach)
{
    PanelHarness h;
    CShutterPanelDlg& panel = h.Start();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    struct Walk {
        int from;
        Qt::Key key;
        std::vector<std::string> reached;
    };
    const Walk walks[] = {
        {IDC_BY_DESCRIPTION, Qt::Key_Right, {"Serial Number ", "Dev #", "Description"}},
        {IDC_BY_DESCRIPTION, Qt::Key_Up, {"Dev #", "Serial Number "}},
        {IDC_FAST, Qt::Key_Down, {"Soft", "Neutral Density ", "Fast"}},
        {IDC_SHUTTER_CLOSE, Qt::Key_Down, {"Open", "Close"}},
        {IDC_ENABLE_HIGH,
         Qt::Key_Up,
         {"Trigger on Falling Edge", "Trigger on Rising Edge", "Enable on Low", "Enable on High"}},
        {IDC_LOW_FOR_OPEN, Qt::Key_Right, {"High for Open", "Low for Open"}},
        {IDC_GO,
         Qt::Key_Right,
         {"On Power Up", "On Trigger Pulse --->", "Go ------------------------->"}},
    };
    const int methods[] = {IDC_BY_DESCRIPTION, IDC_BY_SERIAL, IDC_BY_NUMBER};
    for (const Walk& w : walks) {
        panel.GetDlgItem(w.from)->setFocus();
        for (const std::string& caption : w.reached) {
            SCOPED_TRACE(caption);
            QTest::keyClick(QApplication::focusWidget(), w.key);
            auto* radio = qobject_cast<QRadioButton*>(QApplication::focusWidget());
            ASSERT_NE(radio, nullptr);
            ASSERT_EQ(radio->text().toStdString(), caption);
            EXPECT_TRUE(radio->isChecked());
            if (w.from == IDC_BY_DESCRIPTION) {  // the method's handler ran; only it is checked
                const int m = h.profile->GetProfileInt("MyTiveloAp", "SerDesc", -1);
                ASSERT_TRUE(m >= 0 && m < 3);
                EXPECT_EQ(panel.GetDlgItem(methods[m]), radio);
                for (int i = 0; i < 3; ++i) EXPECT_EQ(panel.IsDlgButtonChecked(methods[i]), i == m);
            }
        }
    }
    // Radios of other groups are left as they were.
    for (int id : {IDC_BY_SERIAL, IDC_FAST, IDC_SHUTTER_CLOSE})
        EXPECT_TRUE(panel.IsDlgButtonChecked(id)) << id;
}

}  // namespace

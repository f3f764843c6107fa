// The "Data Received:" list as a widget: its lines, the operator's selection and keyboard moves,
// following the end, and what reaches the screen.

#include <QScrollBar>
#include <QTest>

#include "usb/LinkPanel.h"

namespace {

struct ListRig {
    ListRig()
    {
        list.resize(400, 120);
        list.show();
        QApplication::processEvents();  // lets the offscreen window expose, so repaint() paints
        QObject::connect(&list, &ReceivedList::operatorSelectionChanged,
                         [this](int index) { signalled.push_back(index); });
    }
    void Add(int n)
    {
        for (int i = 0; i < n; ++i) list.AddByteLine(uint8_t(i));
    }
    void ScrollTo(int top)
    {
        list.ListModel().Flush();
        list.verticalScrollBar()->setValue(top);
        ASSERT_EQ(list.GetTopIndex(), top);
    }
    void Click(int row)
    {
        list.ListModel().Flush();
        const QPoint at = list.visualRect(list.ListModel().index(row, 0)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
    }
    int Page() { return list.viewport()->height() / list.RowHeight(); }

    ReceivedList list{(EnsureQtApp(), nullptr)};
    std::vector<int> signalled;
};

TEST(ReceivedListTest, LinesAndTheirTexts)
{
    ListRig r;
    EXPECT_EQ(r.list.AddString("3 device(s) attached:"), 0);
    r.list.AddByteLine(0xFD);
    // Raw controller text: 0xE9 is one Latin-1 character and a zero byte ends the line.
    r.list.AddLatin1String(std::string("QC-\xE9t\0hidden", 12));
    r.list.AddString(std::string("dev\0ice", 7));
    r.list.AddByteLine(0x0A);
    const std::vector<std::string> expected = {"3 device(s) attached:", "253  0xFD", "QC-\xC3\xA9t",
                                               "dev", "10  0x0A"};
    r.list.ListModel().Flush();
    ASSERT_EQ(r.list.GetCount(), int(expected.size()));
    for (int i = 0; i < r.list.GetCount(); ++i)
        EXPECT_EQ(r.list.ListModel().index(i, 0).data().toString().toStdString(), expected[i]);
    r.Add(256);
    // A reset empties everything, and counting starts again.
    ASSERT_TRUE(r.list.SetCurSel(5));
    r.ScrollTo(100);
    r.list.ResetContent();
    EXPECT_EQ(r.list.ListModel().rowCount(), 0);
    EXPECT_EQ(r.list.GetCurSel(), -1);
    EXPECT_EQ(r.list.GetTopIndex(), 0);
    EXPECT_EQ(r.list.AddByteLine(0xAA), 0);
    EXPECT_TRUE(r.signalled.empty()) << "changes made by code are not the operator's";

    ReceivedLines full(2);  // a full store refuses lines without losing others
    EXPECT_TRUE(full.AddByte(1) && full.AddText("text"));
    EXPECT_FALSE(full.AddByte(4) || full.AddText("more"));
    EXPECT_EQ(full.Display(1), "text");
}

// Clicks and keys report the selection and bring it into view a line at a time where they can.
TEST(ReceivedListTest, TheOperatorsSelection)
{
    ListRig r;
    r.Add(200);
    r.ScrollTo(10);
    const int page = r.Page();
    ASSERT_GE(page, 3);
    r.Click(10 + page - 1);  // the last line wholly in view
    r.Click(10 + page - 1);  // again: still reported
    // clang-format off
    const struct { Qt::Key key; int selected, top; } steps[] = {
        {Qt::Key_Down, 10 + page, 11}, {Qt::Key_Up, 9 + page, 11},
        {Qt::Key_PageDown, 8 + 2 * page, 9 + page}, {Qt::Key_PageUp, 9 + page, 9 + page},
        {Qt::Key_End, 199, 200 - page}, {Qt::Key_Home, 0, 0}, {Qt::Key_Home, 0, 0}};  // no report
    // clang-format on
    for (const auto& s : steps) {
        QTest::keyClick(&r.list, s.key);
        EXPECT_EQ(r.list.GetCurSel(), s.selected) << s.key;
        EXPECT_EQ(r.list.GetTopIndex(), s.top) << s.key;
    }
    EXPECT_EQ(r.signalled, (std::vector<int>{9 + page, 9 + page, 10 + page, 9 + page, 8 + 2 * page,
                                             9 + page, 199, 0}));
    r.ScrollTo(50);
    r.Click(50);
    QTest::keyClick(&r.list, Qt::Key_Up);  // just above the view
    EXPECT_EQ(r.list.GetTopIndex(), 49);
}

// As a terminal does: a view at its last line shows each new line, one scrolled up stays put,
// whether the lines are announced by a paint or by the event loop; the screen keeps up.
TEST(ReceivedListTest, NewLinesFollowTheEndOnly)
{
    ListRig r;
    const int page = r.Page();
    // clang-format off
    const struct { int scrollTo, add; bool viaPaint; int top; } steps[] = {  // scrollTo -1: as left
        {-1, 3, false, 0}, {-1, 100, true, 103 - page}, {-1, 50, false, 153 - page},
        {20, 50, true, 20}, {20, 50, false, 20}, {253 - page, 1, true, 254 - page},
        {-1, 100'000, false, 100'254 - page}};
    // clang-format on
    for (const auto& s : steps) {
        if (s.scrollTo >= 0)
            r.ScrollTo(s.scrollTo);
        r.Add(s.add);
        s.viaPaint ? r.list.repaint() : QApplication::processEvents();
        EXPECT_EQ(r.list.GetTopIndex(), s.top) << r.list.GetCount() << " lines";
        QScrollBar* bar = r.list.verticalScrollBar();
        EXPECT_TRUE(!bar->isVisible() || ShownAsRendered(bar)) << r.list.GetCount() << " lines";
    }
}

}  // namespace

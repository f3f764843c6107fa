#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <cstdlib>
#include <vector>

#include "panel/ReceivedList.h"
#include "support/PanelHarness.h"

namespace {

class ReceivedListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtApp(); }  // before the list is constructed
    void SetUp() override
    {
        list.resize(400, 120);
        list.show();
        QApplication::processEvents();  // lets the offscreen window expose, so repaint() paints
        QObject::connect(&list, &ReceivedList::operatorSelectionChanged,
                         [this](int index) { signalled.push_back(index); });
    }

    void AddBytes(int n)
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

    ReceivedList list;
    std::vector<int> signalled;
};

TEST_F(ReceivedListTest, LinesKeepTheirOrderBytesReadAsDecimalAndHex)
{
    EXPECT_EQ(list.AddString("3 device(s) attached:"), 0);
    EXPECT_EQ(list.AddByteLine(0xFD), 1);
    // Raw controller text: 0xE9 is one Latin-1 character and a zero byte ends the line.
    EXPECT_EQ(list.AddLatin1String(std::string("QC-\xE9t\0hidden", 12)), 2);
    EXPECT_EQ(list.AddString(std::string("dev\0ice", 7)), 3);
    for (uint8_t byte : {0x00, 0x0A, 0xAA, 0xFF}) list.AddByteLine(byte);
    EXPECT_EQ(list.AddString("Bridge \xC3\xA9"), 8);

    const std::vector<std::string> expected = {"3 device(s) attached:",
                                               "253  0xFD",
                                               "QC-\xC3\xA9t",
                                               "dev",
                                               "0  0x00",
                                               "10  0x0A",
                                               "170  0xAA",
                                               "255  0xFF",
                                               "Bridge \xC3\xA9"};
    ASSERT_EQ(list.GetCount(), int(expected.size()));
    list.ListModel().Flush();
    for (int i = 0; i < list.GetCount(); ++i) {
        EXPECT_EQ(list.GetText(i), expected[i]) << "line " << i;
        EXPECT_EQ(list.ListModel().index(i, 0).data().toString().toStdString(), expected[i]);
    }
    EXPECT_EQ(list.GetText(-1), "");
    EXPECT_EQ(list.GetText(list.GetCount()), "");

    // A reset empties everything, and counting starts again.
    AddBytes(700);
    ASSERT_TRUE(list.SetCurSel(5));
    ScrollTo(100);
    list.ResetContent();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.ListModel().rowCount(), 0);
    EXPECT_EQ(list.GetCurSel(), -1);
    EXPECT_EQ(list.GetTopIndex(), 0);
    EXPECT_EQ(list.AddByteLine(0xAA), 0);
    EXPECT_EQ(list.GetText(0), "170  0xAA");
    QApplication::processEvents();
    EXPECT_EQ(list.ListModel().rowCount(), 1);
}

TEST_F(ReceivedListTest, OperatorClicksAndKeysSignalProgrammaticChangesDoNot)
{
    AddBytes(50);
    ScrollTo(20);
    Click(22);
    EXPECT_EQ(list.GetCurSel(), 22);
    Click(22);  // clicking the selected line again still reports it
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Home);
    QTest::keyClick(&list, Qt::Key_Home);  // no change, no report
    EXPECT_EQ(signalled, (std::vector<int>{22, 22, 23, 0}));
    EXPECT_EQ(list.GetTopIndex(), 0);

    signalled.clear();
    list.SetCurSel(7);
    AddBytes(1000);
    list.SetCurSel(-1);
    list.ResetContent();
    EXPECT_TRUE(signalled.empty());
}

// Each key moves the selection and brings it into view, a line at a time where it can.
TEST_F(ReceivedListTest, KeyboardMovesKeepTheSelectionInView)
{
    AddBytes(200);
    ScrollTo(10);
    const int page = list.viewport()->height() / list.RowHeight();
    ASSERT_GE(page, 3);
    Click(10 + page - 1);  // the last line wholly in view
    struct Step {
        Qt::Key key;
        int selected, top;
    };
    const Step steps[] = {
        {Qt::Key_Down, 10 + page, 11},  {Qt::Key_Down, 11 + page, 12},
        {Qt::Key_Up, 10 + page, 12},    {Qt::Key_PageDown, 9 + 2 * page, 10 + page},
        {Qt::Key_End, 199, 200 - page}, {Qt::Key_Home, 0, 0},
        {Qt::Key_Down, 1, 0},
    };
    for (const Step& s : steps) {
        QTest::keyClick(&list, s.key);
        EXPECT_EQ(list.GetCurSel(), s.selected) << s.key;
        EXPECT_EQ(list.GetTopIndex(), s.top) << s.key;
    }
    ScrollTo(50);
    Click(50);
    QTest::keyClick(&list, Qt::Key_Up);  // just above the view
    EXPECT_EQ(list.GetCurSel(), 49);
    EXPECT_EQ(list.GetTopIndex(), 49);

    // Appending moves neither the selection nor the view.
    AddBytes(5000);
    list.repaint();
    EXPECT_EQ(list.GetCurSel(), 49);
    EXPECT_EQ(list.GetTopIndex(), 49);
    EXPECT_EQ(list.ListModel().rowCount(), 5200);
    EXPECT_EQ(list.verticalScrollBar()->maximum(), 5200 - page);
}

TEST_F(ReceivedListTest, PaintShowsSelectedLine)
{
    AddBytes(10);
    ScrollTo(2);
    list.SetCurSel(4);
    const QImage image = list.viewport()->grab().toImage();
    const QColor highlight = list.palette().color(QPalette::Highlight);
    const auto highlighted = [&](int row) {
        const QRect rect = list.visualRect(list.ListModel().index(row, 0));
        const QColor c(image.pixel(rect.right() - 2, rect.center().y()));
        return std::abs(c.red() - highlight.red()) + std::abs(c.green() - highlight.green()) +
                   std::abs(c.blue() - highlight.blue()) <=
               24;
    };
    EXPECT_TRUE(highlighted(4));
    EXPECT_FALSE(highlighted(3));
    EXPECT_FALSE(highlighted(5));
}

// The bar skips repaints that would draw the same picture; what is on screen must still match.
TEST_F(ReceivedListTest, ScrollBarOnScreenFollowsTheList)
{
    QScrollBar* bar = list.verticalScrollBar();
    const auto shownAsRendered = [&] {
        for (int pass = 0; pass < 3; ++pass) {  // flush, then show the bar, then paint it
            QApplication::processEvents();
        }
        const QPoint at = bar->mapTo(list.window(), QPoint(0, 0));
        const QImage shown =
            list.screen()
                ->grabWindow(list.window()->winId(), at.x(), at.y(), bar->width(), bar->height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        return shown == bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    for (int lines : {20, 200, 5000, 100'000}) {
        AddBytes(lines);
        EXPECT_TRUE(shownAsRendered()) << "after " << list.GetCount() << " lines";
    }
    ScrollTo(bar->maximum() - 10);
    EXPECT_TRUE(shownAsRendered()) << "near the end";
    AddBytes(1000);  // the end moves further away
    EXPECT_TRUE(shownAsRendered()) << "after more lines";
    ScrollTo(bar->maximum());
    AddBytes(1000);  // the view follows the end
    EXPECT_TRUE(shownAsRendered()) << "following the end";
}

// As a terminal does: a view at its last line shows each new line, one scrolled up stays put,
// whether the lines are announced by a paint or by the event loop.
TEST_F(ReceivedListTest, NewLinesKeepAViewAtTheEndThereAndLeaveAScrolledViewAlone)
{
    const int page = list.viewport()->height() / list.RowHeight();
    struct Step {
        int scrollTo;  // -1: as the last step left it
        int add;
        bool viaPaint;
        int top;
    };
    // clang-format off
    const Step steps[] = {
        {-1, 3, false, 0},  // less than a page
        {-1, 100, true, 103 - page},
        {-1, 50, false, 153 - page},
        {20, 50, true, 20},
        {20, 50, false, 20},
        {253 - page, 1, true, 254 - page},
    };
    // clang-format on
    for (const Step& s : steps) {
        if (s.scrollTo >= 0)
            ScrollTo(s.scrollTo);
        AddBytes(s.add);
        if (s.viaPaint)
            list.repaint();
        else
            QApplication::processEvents();
        EXPECT_EQ(list.GetTopIndex(), s.top) << list.GetCount() << " lines";
    }
}

TEST_F(ReceivedListTest, PrefixSearchFindsByteAndTextLines)
{
    AddBytes(256);               // rows 0..255 hold bytes 0..255
    list.AddString("1 device");  // row 256
    AddBytes(20);                // rows 257..276 hold bytes 0..19
    list.ListModel().Flush();
    const ReceivedListModel& model = list.ListModel();
    const auto find = [&](const char* prefix, int from, Qt::MatchFlags flags = {}) {
        const QModelIndexList found = model.match(model.index(from, 0), Qt::DisplayRole,
                                                  QString(prefix), 1, Qt::MatchStartsWith | flags);
        return found.isEmpty() ? -1 : found.first().row();
    };
    EXPECT_EQ(find("170", 170), 170);  // the start row itself counts
    EXPECT_EQ(find("1 D", 200), 256);  // case-insensitive by default
    EXPECT_EQ(find("1 D", 200, Qt::MatchCaseSensitive), -1);
    EXPECT_EQ(find("17", 258), 274);
    EXPECT_EQ(find("9  0x", 10), 266);
    EXPECT_EQ(find("200", 201), -1);
    EXPECT_EQ(find("200", 201, Qt::MatchWrap), 200);
}

// A million lines stay at about a byte each; a full store refuses lines without losing others.
TEST(ReceivedLinesTest, StoreStaysSmallAndRefusesLinesWhenFull)
{
    ReceivedLines lines;
    for (int i = 0; i < 1'000'000; ++i) ASSERT_TRUE(lines.AddByte(uint8_t(i * 7)));
    EXPECT_LE(lines.StorageBytes(), size_t(1'000'000) * 11 / 10);
    for (int row : {0, 65535, 65536, 999'999})
        EXPECT_EQ(lines.ByteAt(row), uint8_t(row * 7)) << row;
    lines.Clear();
    EXPECT_EQ(lines.Count(), 0);
    EXPECT_EQ(lines.StorageBytes(), 0u);

    ReceivedLines full(3);
    EXPECT_TRUE(full.AddByte(1));
    EXPECT_TRUE(full.AddText(QStringLiteral("text")));
    EXPECT_TRUE(full.AddByte(3));
    EXPECT_FALSE(full.AddByte(4));
    EXPECT_FALSE(full.AddText(QStringLiteral("more")));
    ASSERT_EQ(full.Count(), 3);
    EXPECT_EQ(full.Display(1), QStringLiteral("text"));
    EXPECT_EQ(full.Display(2), QStringLiteral("3  0x03"));
}

}  // namespace

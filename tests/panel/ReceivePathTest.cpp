// Bytes from the controller into the panel: counted in "Received Bytes #", listed, and on screen
// without anything forcing a paint.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <cstdint>
#include <string>
#include <vector>

#include "QuillonSim.h"
#include "panel/ReceivedList.h"
#include "protocol/DecoderState.h"
#include "support/PanelHarness.h"
#include "usb/LinkFlags.h"

namespace {

class ReceivePathTest : public testing::Test {
protected:
    ReceivePathTest() : h({BuildLibrary("libquillon-sim.so")})
    {
        QuillonSim_Reset();
        g_bBlinkRunning = 0;
        h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 2);
        h.profile->WriteProfileString("MyTiveloAp", "DevNmbr", "0");
        h.options.nowMs = [this] { return now; };
    }

    void SetUp() override
    {
        h.Start();
        ASSERT_EQ(h.panel->GetDlgItemText(IDC_USB_STATUS), "USB ready for communication.");
        ASSERT_EQ(g_bUsbOpen, 1);
        list = h.panel->m_listReceived;
    }

    void Inject(std::vector<std::uint8_t> bytes)
    {
        QuillonSim_Inject(0, bytes.data(), bytes.size());
    }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        for (int i = 0; i < list->GetCount(); ++i) lines.push_back(list->GetText(i));
        return lines;
    }

    // The list's rows as the window shows them, and as the list would draw them now.
    QImage OnScreen() const
    {
        const QPoint at = list->viewport()->mapTo(h.panel.get(), QPoint(0, 0));
        return h.panel->screen()
            ->grabWindow(h.panel->winId(), at.x(), at.y(), list->viewport()->width(),
                         list->viewport()->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
    QImage Rendered() const
    {
        return list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // Lets the event loop run what the panel asked for (a posted flush, then an update), and no
    // more than a few passes: a list that never repaints stays stale.
    static void Settle()
    {
        for (int pass = 0; pass < 5; ++pass) QApplication::processEvents();
    }

    std::int64_t now = 0;
    PanelHarness h;
    ReceivedList* list = nullptr;
};

TEST_F(ReceivePathTest, BytesAreCountedListedAndShown)
{
    Settle();
    const QImage before = OnScreen();
    ASSERT_EQ(before, Rendered()) << "the empty list is on screen";

    Inject({0x01, 0x02, 0x41});
    h.panel->PollReplies();
    EXPECT_EQ(h.panel->m_nReceivedBytes, 3);
    EXPECT_EQ(h.panel->GetDlgItemText(IDC_RECEIVED_BYTES), "3");
    EXPECT_EQ(Lines(), (std::vector<std::string>{"1  0x01", "2  0x02", "65  0x41"}));

    Settle();
    const QImage after = OnScreen();
    EXPECT_NE(after, before) << "the new lines never reached the screen";
    EXPECT_EQ(after, Rendered()) << "the screen does not show what the list holds";

    // Later bytes add to the count and the lines.
    Inject({0x02});
    h.panel->PollReplies();
    h.panel->PollReplies();  // nothing more waiting: nothing changes
    EXPECT_EQ(h.panel->GetDlgItemText(IDC_RECEIVED_BYTES), "4");
    EXPECT_EQ(list->GetCount(), 4);
    Settle();
    EXPECT_EQ(OnScreen(), Rendered());
}

// The poll's period after each tick: 2 ms after an action or a first byte, 10 ms while bytes
// keep coming, 20 ms after half a second of quiet. Changes made by the panel itself (a decoded
// reply's push, the count catching up) are not the operator's and keep the stream's pace.
TEST_F(ReceivePathTest, ThePollFollowsTheLink)
{
    const std::vector<std::uint8_t> none,
        plain = {0x01, 0x02}, status = {0xCC, 0xAA, 0xDC, 0x00, 0xA2, 0xB1, 0x10, 0x00, 0x01, 0x50,
                                        0x00, 0x20, 0x00, 0x02, 0x12, 0x34, 0xF3, 0x00, 0x05, 0x0D};
    enum Before { Nothing, Click, ArmStatus, EndCountHold };
    struct Tick {
        std::int64_t at;
        Before before;
        const std::vector<std::uint8_t>& bytes;
        int period;
    };
    const Tick ticks[] = {
        {10'000, Nothing, none, 20},       {10'020, Nothing, plain, 2},
        {10'022, Nothing, plain, 10},      {10'032, ArmStatus, status, 10},
        {10'042, EndCountHold, plain, 10}, {10'052, Click, plain, 2},
        {10'054, Nothing, plain, 10},      {10'064, Nothing, none, 2},
        {10'066, Nothing, plain, 2},       {10'566, Nothing, none, 2},
        {10'567, Nothing, none, 20},
    };
    for (const Tick& t : ticks) {
        now = t.at;
        if (t.before == Click)
            h.Click(IDC_CLEAR);
        if (t.before == ArmStatus)
            g_nStatusIndex = 0;
        if (t.before == EndCountHold) {
            h.panel->CountShowHold().stop();
            QMetaObject::invokeMethod(&h.panel->CountShowHold(), "timeout");
        }
        if (!t.bytes.empty())
            Inject(t.bytes);
        h.panel->OnTimer();
        EXPECT_EQ(h.panel->PollTimer().interval(), t.period) << "tick at " << t.at;
    }
    EXPECT_EQ(h.panel->m_nShutterState, 0) << "the status reply was decoded";
}

// While ticks stream bytes in, the count is shown at most once a hold; the end of a hold shows
// the exact count and holds again, so the next tick does not show it a moment later.
TEST_F(ReceivePathTest, TheCountCatchesUpOncePerHold)
{
    QTimer& hold = h.panel->CountShowHold();
    const auto shown = [this] { return h.panel->GetDlgItemText(IDC_RECEIVED_BYTES); };
    const auto endHold = [&] {
        hold.stop();  // as when it times out
        QMetaObject::invokeMethod(&hold, "timeout");
    };

    Inject({0x01});
    h.panel->OnTimer();
    EXPECT_EQ(shown(), "1");
    ASSERT_TRUE(hold.isActive());
    Inject({0x02, 0x03});
    h.panel->OnTimer();
    EXPECT_EQ(h.panel->m_nReceivedBytes, 3);
    EXPECT_EQ(shown(), "1") << "held";

    endHold();
    EXPECT_EQ(shown(), "3");
    EXPECT_TRUE(hold.isActive()) << "a catch-up holds again";
    Inject({0x04});
    h.panel->OnTimer();
    EXPECT_EQ(shown(), "3") << "held after the catch-up";
    endHold();
    EXPECT_EQ(shown(), "4");

    // Nothing behind: the hold ends for good, and the next byte shows at once.
    endHold();
    EXPECT_FALSE(hold.isActive());
    Inject({0x05});
    h.panel->OnTimer();
    EXPECT_EQ(shown(), "5");
}

}  // namespace

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

TEST_F(ReceivePathTest, AByteBringsBackTheFastPoll)
{
    now = 10'000;
    h.panel->OnTimer();
    ASSERT_EQ(h.panel->PollTimer().interval(), 20);
    Inject({0x01});
    h.panel->OnTimer();
    EXPECT_EQ(h.panel->PollTimer().interval(), 2);
    EXPECT_EQ(h.panel->m_nReceivedBytes, 1);
}

}  // namespace

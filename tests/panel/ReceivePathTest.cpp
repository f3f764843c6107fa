// Bytes from the controller into the panel: counted in "Received Bytes #", listed, and on screen
// without anything forcing a paint; a failed queue query ends the link.

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
#include "usb/LinkExercise.h"
#include "usb/LinkFlags.h"

namespace {

// The driver calls made so far, without the link exercise's writes from its own thread.
std::string CallLog()
{
    std::string log(QuillonSim_CallLog(nullptr, 0) + 1, '\0');
    QuillonSim_CallLog(log.data(), log.size());
    log.resize(log.size() - 1);
    std::string calls;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find('\n', at) + 1;
        if (log.compare(at, 8, "FT_Write") != 0)
            calls += log.substr(at, end - at);
        at = end;
    }
    return calls;
}

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

TEST_F(ReceivePathTest, FailedQueueQueryClosesTheDeviceAndStopsPolling)
{
    h.Click(IDC_BLINK_LEDS);  // a running exercise is stopped with the link
    ASSERT_EQ(g_bBlinkRunning, 1);
    ASSERT_FALSE(h.panel->IsDlgItemEnabled(IDOK));
    QuillonSim_Unplug(0);
    QuillonSim_ClearCallLog();

    h.panel->PollReplies();
    EXPECT_EQ(h.panel->GetDlgItemText(IDC_USB_STATUS), "USB not open.");
    EXPECT_EQ(g_bUsbOpen, 0);
    EXPECT_EQ(g_bBlinkRunning, 0);
    h.panel->StopBlinkWorker();
    EXPECT_EQ(CallLog(), "FT_GetQueueStatus\nFT_Close\n");
    for (int id : {int(IDC_BLINK_LEDS), int(IDC_BLINK_OFF), int(IDC_SPEED), int(IDC_OPEN), IDOK})
        EXPECT_TRUE(h.panel->IsDlgItemEnabled(id)) << id;
    EXPECT_TRUE(h.prompts.records.empty());

    // The link stays down: later ticks ask the driver nothing.
    QuillonSim_ClearCallLog();
    h.panel->PollReplies();
    h.panel->OnTimer();
    EXPECT_EQ(CallLog(), "");
    EXPECT_EQ(h.panel->m_nReceivedBytes, 0);
}

}  // namespace

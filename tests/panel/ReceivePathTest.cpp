// Bytes from the controller into the panel: counted, listed and on screen without anything forcing
// a paint; the poll's pace; the count shown at most once a hold while bytes stream in.

#include <QApplication>
#include <QScreen>

#include "usb/LinkPanel.h"

namespace {

struct ReceiveRig : LinkPanel {
    ReceiveRig()
    {
        h.options.nowMs = [this] { return now; };
        StartReady();
    }
    // The list's rows as the window shows them, and as the list would draw them now.
    bool ListOnScreen()
    {
        for (int pass = 0; pass < 5; ++pass) QApplication::processEvents();
        QWidget* view = P().m_listReceived->viewport();
        const QPoint at = view->mapTo(&P(), QPoint(0, 0));
        return P().screen()
                   ->grabWindow(P().winId(), at.x(), at.y(), view->width(), view->height())
                   .toImage()
                   .convertToFormat(QImage::Format_RGB32) ==
               view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    void EndHold()
    {
        P().CountShowHold().stop();  // as when it times out
        QMetaObject::invokeMethod(&P().CountShowHold(), "timeout");
    }
    std::int64_t now = 0;
};

TEST(ReceivePathTest, BytesAreCountedListedAndShown)
{
    ReceiveRig r;
    EXPECT_TRUE(r.ListOnScreen());
    LinkPanel::Inject({0x01, 0x02, 0x41});
    r.Tick();
    EXPECT_EQ(r.Text(IDC_RECEIVED_BYTES), "3");
    EXPECT_EQ(r.Lines(), ByteLines({0x01, 0x02, 0x41}));
    EXPECT_TRUE(r.ListOnScreen()) << "the screen does not show what the list holds";
    LinkPanel::Inject({0x02});
    r.Tick();
    r.Tick();  // nothing more waiting: nothing changes
    EXPECT_EQ(r.Text(IDC_RECEIVED_BYTES), "4");
    EXPECT_EQ(r.Lines().size(), 4u);
    EXPECT_TRUE(r.ListOnScreen());
    r.h.Click(IDC_CLEAR);
    EXPECT_EQ(r.Text(IDC_RECEIVED_BYTES), "0");
    EXPECT_TRUE(r.Lines().empty());
}

// The poll's period after each tick: 2 ms after an action or a first byte, 10 ms while bytes keep
// coming, 20 ms after half a second of quiet. Changes the panel makes itself (a decoded reply's
// push, the count catching up) keep the stream's pace.
TEST(ReceivePathTest, ThePollFollowsTheLink)
{
    ReceiveRig r;
    const Bytes none, plain = {0x01, 0x02},
                      status = {0xCC, 0xAA, 0xDC, 0x00, 0xA2, 0xB1, 0x10, 0x00, 0x01, 0x50,
                                0x00, 0x20, 0x00, 0x02, 0x12, 0x34, 0xF3, 0x00, 0x05, 0x0D};
    enum Before { Nothing, Click, ArmStatus, EndHold };
    const struct {
        std::int64_t at;
        Before before;
        const Bytes& bytes;
        int period;
    } ticks[] = {
        {10'000, Nothing, none, 20},     {10'020, Nothing, plain, 2},  {10'022, Nothing, plain, 10},
        {10'032, ArmStatus, status, 10}, {10'042, EndHold, plain, 10}, {10'052, Click, plain, 2},
        {10'054, Nothing, plain, 10},    {10'064, Nothing, none, 2},   {10'066, Nothing, plain, 2},
        {10'566, Nothing, none, 2},      {10'567, Nothing, none, 20},
    };
    for (const auto& t : ticks) {
        r.now = t.at;
        if (t.before == Click)
            r.h.Click(IDC_CLEAR);
        if (t.before == ArmStatus)
            g_nStatusIndex = 0;
        if (t.before == EndHold)
            r.EndHold();
        LinkPanel::Inject(t.bytes);
        r.P().OnTimer();
        EXPECT_EQ(r.P().PollTimer().interval(), t.period) << "tick at " << t.at;
    }
    EXPECT_EQ(r.P().m_nShutterState, 0) << "the status reply was decoded";
}

// The end of a hold shows the exact count and holds again, so the next tick does not show it a
// moment later; with nothing behind, the hold ends for good.
TEST(ReceivePathTest, TheCountCatchesUpOncePerHold)
{
    ReceiveRig r;
    const struct {
        Bytes bytes;  // empty: the hold ends instead of a tick
        const char* shown;
        bool held;
    } steps[] = {
        {{0x01}, "1", true}, {{0x02, 0x03}, "1", true}, {{}, "3", true},     {{0x04}, "3", true},
        {{}, "4", true},     {{}, "4", false},          {{0x05}, "5", true},
    };
    for (const auto& s : steps) {
        if (s.bytes.empty()) {
            r.EndHold();
        } else {
            LinkPanel::Inject(s.bytes);
            r.P().OnTimer();
        }
        EXPECT_EQ(r.Text(IDC_RECEIVED_BYTES), s.shown);
        EXPECT_EQ(r.P().CountShowHold().isActive(), s.held);
    }
}

}  // namespace

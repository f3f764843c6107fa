// Bytes from the controller into the panel: counted, listed and on screen without anything forcing
// a paint; the poll's pace; the count shown at most once a hold while bytes stream in.

#include "usb/LinkPanel.h"

namespace {

struct ReceiveRig : LinkPanel {
    ReceiveRig()
    {
        h.options.nowMs = [this] { return now; };
        StartReady();
    }
    std::int64_t now = 0;
};

TEST(ReceivePathTest, BytesAreCountedListedAndShown)
{
    ReceiveRig r;
    QWidget* view = r.P().m_listReceived->viewport();
    LinkPanel::Inject({0x01, 0x02, 0x41});
    r.Tick();
    EXPECT_EQ(r.Text(IDC_RECEIVED_BYTES), "3");
    EXPECT_EQ(r.Lines(), ByteLines({0x01, 0x02, 0x41}));
    EXPECT_TRUE(ShownAsRendered(view)) << "the screen does not show what the list holds";
    r.h.Click(IDC_CLEAR);
    EXPECT_EQ(r.Text(IDC_RECEIVED_BYTES), "0");
    EXPECT_TRUE(r.Lines().empty());
}

// The poll's period after each tick: 2 ms after an action or a first byte, 10 ms while bytes keep
// coming, 20 ms after half a second of quiet; changes the panel makes itself (a decoded reply's
// push, the count catching up) keep the stream's pace. The end of a hold shows the exact count
// and holds again, so the next tick does not show it a moment later; with nothing behind, the
// hold ends for good.
TEST(ReceivePathTest, ThePollFollowsTheLinkAndTheCountCatchesUpOncePerHold)
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
        const char* shown;
        bool held;
    } ticks[] = {
        {10'000, Nothing, none, 20, "0", false},    {10'020, Nothing, plain, 2, "2", true},
        {10'022, ArmStatus, status, 10, "2", true}, {10'032, EndHold, plain, 10, "22", true},
        {10'042, EndHold, none, 2, "24", true},     {10'044, EndHold, none, 2, "24", false},
        {10'046, Nothing, plain, 2, "26", true},    {10'048, Click, plain, 2, "0", true},
        {10'050, Nothing, plain, 10, "0", true},    {10'060, Nothing, none, 2, "0", true},
        {10'550, Nothing, none, 2, "0", true},      {10'551, Nothing, none, 20, "0", true},
    };
    for (const auto& t : ticks) {
        r.now = t.at;
        if (t.before == Click)
            r.h.Click(IDC_CLEAR);
        if (t.before == ArmStatus)
            g_nStatusIndex = 0;
        if (t.before == EndHold) {
            r.P().CountShowHold().stop();  // as when it times out
            QMetaObject::invokeMethod(&r.P().CountShowHold(), "timeout");
        }
        LinkPanel::Inject(t.bytes);
        r.P().OnTimer();
        EXPECT_EQ(r.P().PollTimer().interval(), t.period) << "tick at " << t.at;
        EXPECT_EQ(r.Text(IDC_RECEIVED_BYTES), t.shown) << "tick at " << t.at;
        EXPECT_EQ(r.P().CountShowHold().isActive(), t.held) << "tick at " << t.at;
    }
    EXPECT_EQ(r.P().m_nShutterState, 0) << "the status reply was decoded";
}

}  // namespace

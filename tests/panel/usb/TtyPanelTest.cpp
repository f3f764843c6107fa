// The panel on the kernel serial backend against the virtual controller on a pseudo-terminal, in
// real time: start-up and "Open" by each method, a status reply decoded into the panel, and the
// link lost when the controller's side goes away.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "panel/ReceivedList.h"
#include "protocol/DecoderState.h"
#include "support/PanelHarness.h"
#include "timing/TimeRecord.h"
#include "tty/FakeSysfs.h"
#include "tty/SimPtyProcess.h"
#include "usb/LinkFlags.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr const char* kReady = "USB ready for communication.";
constexpr const char* const kEntryKeys[] = {"DescString", "SerialString", "DevNmbr"};

class TtyPanelTest : public testing::Test {
protected:
    static void SetUpState()
    {
        ResetDecoderState();
        ResetTimeRecords();
        g_bBlinkRunning = 0;
    }
    void SetUp() override
    {
        SetUpState();
        sim.emplace(std::vector<std::string>{"--fake-sysfs", root.Root().string()});
        ASSERT_FALSE(sim->Terminal().empty());
    }
    void TearDown() override { SetUpState(); }

    // A panel on the serial backend whose profile names the device.
    std::unique_ptr<PanelHarness> Start(int method, const std::string& entry)
    {
        auto h = std::make_unique<PanelHarness>(
            std::vector<std::string>{BuildLibrary("libquillon-tty.so")});
        h->profile->WriteProfileInt("MyTiveloAp", "SerDesc", method);
        h->profile->WriteProfileString("MyTiveloAp", kEntryKeys[method], entry);
        h->Start();
        return h;
    }

    // Lets the panel's timer tick until the condition holds, at most five seconds.
    static bool TickUntil(PanelHarness& h, const std::function<bool()>& done)
    {
        h.panel->PollTimer().stop();
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (Clock::now() > deadline)
                return false;
            h.panel->PollReplies();
            QCoreApplication::processEvents();
        }
        return true;
    }

    // Sets the controller up as another serial program would, before the panel opens it.
    void Configure(const std::vector<Bytes>& frames, size_t answerBytes)
    {
        const int fd = open(sim->Terminal().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        for (const Bytes& f : frames) ASSERT_EQ(write(fd, f.data(), f.size()), ssize_t(f.size()));
        size_t got = 0;
        uint8_t buffer[64];
        pollfd p{fd, POLLIN, 0};
        for (const auto deadline = Clock::now() + std::chrono::seconds(5);
             got < answerBytes && Clock::now() < deadline;)
            if (poll(&p, 1, 100) == 1)
                got += std::max<ssize_t>(read(fd, buffer, sizeof buffer), 0);
        close(fd);
        ASSERT_EQ(got, answerBytes);
    }

    static std::string Text(PanelHarness& h, int id) { return h.panel->GetDlgItemText(id); }

    FakeSysfs root;
    std::optional<SimPtyProcess> sim;
};

TEST_F(TtyPanelTest, StartUpAndOpenReachTheControllerByEachMethod)
{
    struct Case {
        int method;
        const char* entry;
        bool found;
    };
    const Case cases[] = {{0, "Quillon SC", true}, {1, "QSC10001", true},  {2, "0", true},
                          {0, "Quillon", false},   {1, "QSC10002", false}, {2, "1", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        auto h = Start(c.method, c.entry);
        EXPECT_EQ(Text(*h, IDC_USB_STATUS), c.found ? kReady : "USB not responding");
        EXPECT_EQ(g_bUsbOpen, c.found ? 1 : 0);
    }
    EXPECT_EQ(root.LatencyOf("ttyUSB0"), "2") << "the panel's latency reached the port";

    // "Open" after a start-up that found nothing.
    auto h = Start(1, "QSC10002");
    ASSERT_EQ(Text(*h, IDC_USB_STATUS), "USB not responding");
    h->TypeText(IDC_DEVICE, "QSC10001");
    h->Click(IDC_OPEN);
    EXPECT_EQ(Text(*h, IDC_USB_STATUS), kReady);
}

TEST_F(TtyPanelTest, StatusReplyIsDecodedIntoThePanel)
{
    // Open, Soft, Enable on Low, High for Open, closed 1.5 s, exposure 2.1234 s, 5 repeats.
    Configure({{0xAA},
               {0xDD},
               {0xFA, 0xA2},
               {0xFA, 0xB1},
               {0xFA, 0x10, 0x00, 0x01, 0x50, 0x00},
               {0xFA, 0x20, 0x00, 0x02, 0x12, 0x34},
               {0xFA, 0xF0, 0x00, 0x05}},
              2 + 2 + 3 + 3 + 7 + 7 + 5);
    auto h = Start(1, "QSC10001");
    ASSERT_EQ(Text(*h, IDC_USB_STATUS), kReady);
    ASSERT_FALSE(h->panel->IsDlgButtonChecked(IDC_SOFT));

    h->Click(IDC_STATUS);
    ASSERT_TRUE(TickUntil(*h, [] { return g_nStatusIndex == -1; }));
    EXPECT_EQ(Text(*h, IDC_RECEIVED_BYTES), "20");
    EXPECT_EQ(h->panel->m_listReceived->GetText(0), "204  0xCC");
    for (int checked : {IDC_SOFT, IDC_SHUTTER_OPEN, IDC_TRIGGER_PULSE, IDC_ENABLE_LOW,
                        IDC_SYNC_PULSE, IDC_HIGH_FOR_OPEN})
        EXPECT_TRUE(h->panel->IsDlgButtonChecked(checked)) << checked;
    EXPECT_FALSE(h->panel->IsDlgButtonChecked(IDC_FAST));
    EXPECT_EQ(Text(*h, IDC_CLOSED_DISPLAY), "00 : 00 : 01 : 500 : 0");
    EXPECT_EQ(Text(*h, IDC_EXPOSURE_DISPLAY), "00 : 00 : 02 : 123 : 4");
    EXPECT_EQ(Text(*h, IDC_REPEAT), "5");
    EXPECT_EQ(Text(*h, IDC_OPENING_TIME), "70 ms");
    EXPECT_EQ(Text(*h, IDC_CYCLE_DISPLAY), "Cycle Time - 00:00:03:763:4");
}

TEST_F(TtyPanelTest, LinkIsLostWhenTheControllerSideGoesAway)
{
    auto h = Start(2, "0");
    ASSERT_EQ(Text(*h, IDC_USB_STATUS), kReady);
    ASSERT_EQ(sim->Stop(), 0);
    EXPECT_TRUE(TickUntil(*h, [] { return g_bUsbOpen == 0; }));
    EXPECT_EQ(Text(*h, IDC_USB_STATUS), "USB not open.");
    // The next "Open" finds no controller and says so.
    h->Click(IDC_OPEN);
    EXPECT_EQ(Text(*h, IDC_USB_STATUS), "Could not open USB");
}

}  // namespace

// "Blink LEDs", "Blink Off", the speed trackbar and the exit path with a running exercise,
// against the simulator.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "QuillonSim.h"
#include "support/PanelHarness.h"
#include "usb/LinkExercise.h"
#include "usb/LinkFlags.h"

namespace {

// Bytes written to the controller after the handshake.
std::vector<std::uint8_t> ExerciseBytes()
{
    std::vector<QuillonSimEvent> events(QuillonSim_Transcript(nullptr, 0));
    events.resize(QuillonSim_Transcript(events.data(), events.size()));
    std::vector<std::uint8_t> bytes;
    for (const QuillonSimEvent& e : events)
        if (e.direction == QUILLON_SIM_TO_DEVICE && e.byte != 0xEE)
            bytes.push_back(e.byte);
    return bytes;
}

class LinkExercisePanelTest : public testing::Test {
protected:
    LinkExercisePanelTest() : h({BuildLibrary("libquillon-sim.so")})
    {
        QuillonSim_Reset();
        g_bBlinkRunning = 0;
        g_nBlinkSpeed = 0;
        h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 2);
        h.profile->WriteProfileString("MyTiveloAp", "DevNmbr", "0");
    }

    // Blink LEDs, Blink Off, trackbar, EXIT.
    std::vector<bool> Controls()
    {
        return {h.panel->IsDlgItemEnabled(IDC_BLINK_LEDS), h.panel->IsDlgItemEnabled(IDC_BLINK_OFF),
                h.panel->IsDlgItemEnabled(IDC_SPEED), h.panel->IsDlgItemEnabled(IDOK)};
    }

    PanelHarness h;
    const std::vector<bool> kIdle{true, true, true, true};
};

TEST_F(LinkExercisePanelTest, BlinkLedsBeforeAHandshakeDoesNothing)
{
    QuillonSim_SetSilent(0, 1);
    h.Start();
    h.panel->OnBlinkOff();  // enables "Blink LEDs" in any state (a lost link runs it too)
    h.Click(IDC_BLINK_LEDS);
    EXPECT_EQ(g_bBlinkRunning, 0);
    EXPECT_EQ(h.panel->m_blink, nullptr);
    EXPECT_EQ(Controls(), kIdle);
}

TEST_F(LinkExercisePanelTest, BlinkStreamsThePatternUntilBlinkOff)
{
    h.Start();
    QuillonSim_ClearTranscript();
    h.panel->m_sliderSpeed.SetPos(499);
    h.panel->Notify(IDC_SPEED, Notification::ReleasedCapture);
    EXPECT_EQ(g_nBlinkSpeed, 499);
    h.Click(IDC_BLINK_LEDS);
    EXPECT_EQ(Controls(), (std::vector<bool>{false, true, true, false}));

    // The worker runs in real time: wait for its bytes with a deadline, not a fixed sleep.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ExerciseBytes().size() < 20 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    for (int press = 0; press < 2; ++press) {
        h.Click(IDC_BLINK_OFF);
        EXPECT_EQ(Controls(), kIdle);
        EXPECT_EQ(g_bBlinkRunning, 0);
    }
    h.panel->StopBlinkWorker();
    const std::vector<std::uint8_t> bytes = ExerciseBytes();
    ASSERT_GE(bytes.size(), 20u);
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0x40 | (i & 0x0F)) << i;
}

TEST_F(LinkExercisePanelTest, ExitWhileRunningStopsTheWorkerBeforeReleasingTheLibrary)
{
    h.Start();
    h.Click(IDC_BLINK_LEDS);  // speed 0: the worker sits in a 500 ms wait
    ASSERT_TRUE(h.panel->m_blink->Running());
    h.panel->close();
    EXPECT_EQ(h.exitCodes, std::vector<int>{0});
    EXPECT_FALSE(h.panel->m_blink->Running());
    EXPECT_FALSE(h.panel->m_usb.Loaded());
    EXPECT_EQ(g_bBlinkRunning, 0);
}

}  // namespace

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
    for (const QuillonSimEvent& e : events) {
        if (e.direction == QUILLON_SIM_TO_DEVICE && e.byte != 0xEE) {
            bytes.push_back(e.byte);
        }
    }
    return bytes;
}

// The worker runs in real time; wait for its bytes with a deadline instead of a fixed sleep.
bool WaitForExerciseBytes(std::size_t count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ExerciseBytes().size() < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
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
    ~LinkExercisePanelTest() override
    {
        g_bBlinkRunning = 0;
        g_nBlinkSpeed = 0;
    }

    void SetSpeed(int speed)
    {
        h.panel->m_sliderSpeed.SetPos(speed);
        h.panel->Notify(IDC_SPEED, Notification::ReleasedCapture);
    }

    // Blink LEDs, Blink Off, trackbar, EXIT.
    std::vector<bool> Controls()
    {
        return {h.panel->IsDlgItemEnabled(IDC_BLINK_LEDS), h.panel->IsDlgItemEnabled(IDC_BLINK_OFF),
                h.panel->IsDlgItemEnabled(IDC_SPEED), h.panel->IsDlgItemEnabled(IDOK)};
    }

    PanelHarness h;
};

const std::vector<bool> kIdle{true, true, true, true};
const std::vector<bool> kRunning{false, true, true, false};

TEST_F(LinkExercisePanelTest, BlinkLedsBeforeAHandshakeDoesNothing)
{
    QuillonSim_SetSilent(0, 1);
    h.Start();
    // "Blink Off" enables "Blink LEDs" in any state (a lost link runs it too).
    h.panel->OnBlinkOff();
    ASSERT_EQ(Controls(), kIdle);
    h.Click(IDC_BLINK_LEDS);
    EXPECT_EQ(g_bBlinkRunning, 0);
    EXPECT_EQ(h.panel->m_blink, nullptr);
    EXPECT_EQ(Controls(), kIdle);
}

TEST_F(LinkExercisePanelTest, TrackbarReleaseSetsTheSpeed)
{
    h.Start();
    EXPECT_EQ(g_nBlinkSpeed, 0);  // the trackbar shows 10, the speed is untouched until released
    SetSpeed(250);
    EXPECT_EQ(g_nBlinkSpeed, 250);
}

TEST_F(LinkExercisePanelTest, BlinkStreamsThePatternUntilBlinkOff)
{
    h.Start();
    ASSERT_EQ(h.panel->m_strUsbStatus, "USB ready for communication.");
    QuillonSim_ClearTranscript();
    SetSpeed(499);
    h.Click(IDC_BLINK_LEDS);
    EXPECT_EQ(Controls(), kRunning);
    ASSERT_TRUE(WaitForExerciseBytes(20));

    h.Click(IDC_BLINK_OFF);
    EXPECT_EQ(Controls(), kIdle);
    EXPECT_EQ(g_bBlinkRunning, 0);
    h.Click(IDC_BLINK_OFF);
    EXPECT_EQ(Controls(), kIdle);

    h.panel->StopBlinkWorker();
    const std::vector<std::uint8_t> bytes = ExerciseBytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        ASSERT_EQ(bytes[i], 0x40 | (i & 0x0F)) << i;
    }
}

TEST_F(LinkExercisePanelTest, SecondBlinkWhileRunningKeepsOneStream)
{
    h.Start();
    QuillonSim_ClearTranscript();
    SetSpeed(499);
    h.Click(IDC_BLINK_LEDS);
    ASSERT_TRUE(WaitForExerciseBytes(3));
    // The button is disabled while running, but a successful "Open" enables it again; the
    // handler is what matters here.
    h.panel->OnBlinkLeds();
    ASSERT_TRUE(WaitForExerciseBytes(40));
    h.panel->StopBlinkWorker();

    // A second worker would start its own count at 0x40 in the middle of the stream.
    const std::vector<std::uint8_t> bytes = ExerciseBytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        ASSERT_EQ(bytes[i], 0x40 | (i & 0x0F)) << i;
    }
}

TEST_F(LinkExercisePanelTest, ExitWhileRunningStopsTheWorkerBeforeReleasingTheLibrary)
{
    h.Start();
    SetSpeed(0);  // the worker sits in a 500 ms wait
    h.Click(IDC_BLINK_LEDS);
    ASSERT_TRUE(h.panel->m_blink->Running());
    h.panel->close();
    EXPECT_EQ(h.exitCodes, std::vector<int>{0});
    EXPECT_FALSE(h.panel->m_blink->Running());
    EXPECT_FALSE(h.panel->m_usb.Loaded());
    EXPECT_EQ(g_bBlinkRunning, 0);
}

}  // namespace

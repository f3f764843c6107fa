#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/ConfigTransfer.h"

namespace {

struct Steps {
    std::vector<std::string> frames;
    std::vector<int> expected;  // the expected total each frame was sent at
    bool ended = false;
    bool armed = false;
};

// Drives the steps the way the decoder does: one step each time the received count meets the
// expected total, until the transfer ends or stalls.
Steps Transfer(const PanelState& panel, const TimeRecord& closed, const TimeRecord& exposure)
{
    Steps run;
    int expected = 2;
    for (int received = 1; received <= 64 && !run.ended; ++received) {
        if (received != expected) {
            continue;
        }
        const TransferStep step = NextTransferStep(received, panel, closed, exposure);
        run.expected.push_back(expected);
        run.frames.push_back(step.frame.Hex());
        expected += step.answer;
        run.ended = step.ends;
        run.armed = step.armsFreeRun;
    }
    return run;
}

class ConfigTransfer : public ::testing::Test {
protected:
    ConfigTransfer()
    {
        panel.m_nShutterMode = 2;
        panel.m_nNdSteps = 144;
        panel.m_nTriggerMode = 1;   // Enable on Low
        panel.m_nSyncPolarity = 1;  // Low for Open
        panel.m_strRepeatNumber = "Continuous";
        panel.m_nFreeRunOption = 2;  // Go
    }
    PanelState panel;
    const TimeRecord closed{"1", "2", "3", "456", "7"};
    const TimeRecord exposure{"", "", "59", "999", "9"};
};

TEST_F(ConfigTransfer, NeutralDensitySendsEveryFrameOnce)
{
    const Steps run = Transfer(panel, closed, exposure);
    EXPECT_EQ(run.frames, (std::vector<std::string>{"DE 90", "FA A2", "FA B2", "FA 11 02 03 45 67",
                                                    "FA 20 00 3B 99 99", "FA F0 FF FF", "FA F3"}));
    EXPECT_EQ(run.expected, (std::vector<int>{2, 5, 8, 11, 18, 25, 30}));
    EXPECT_TRUE(run.ended);
    EXPECT_TRUE(run.armed);
}

TEST_F(ConfigTransfer, FastModeShiftsTheTotalsByOne)
{
    panel.m_nShutterMode = 0;
    panel.m_strRepeatNumber = "300";
    panel.m_nFreeRunOption = 1;
    const Steps run = Transfer(panel, closed, exposure);
    EXPECT_EQ(run.frames, (std::vector<std::string>{"DC", "FA A2", "FA B2", "FA 11 02 03 45 67",
                                                    "FA 20 00 3B 99 99", "FA F0 01 2C", "FA F2"}));
    EXPECT_EQ(run.expected, (std::vector<int>{2, 4, 7, 10, 17, 24, 29}));
}

TEST_F(ConfigTransfer, NothingSelectedSendsNothing)
{
    panel.m_nShutterMode = -1;  // stalls: nothing added, so the total is never met again
    const TransferStep mode = NextTransferStep(2, panel, closed, exposure);
    EXPECT_TRUE(mode.frame.empty());
    EXPECT_EQ(mode.answer, 0);
    EXPECT_FALSE(mode.ends);
    panel.m_nFreeRunOption = -1;  // a lone FA F0 would open a repeat-count frame
    const TransferStep last = NextTransferStep(30, panel, closed, exposure);
    EXPECT_TRUE(last.frame.empty());
    EXPECT_TRUE(last.ends);
    EXPECT_FALSE(last.armsFreeRun);
}

}  // namespace

// The controller behind the simulated link: answers to each frame, the status and identity
// replies, delayed markers, free run on the manual clock, and answer faults.

#include "SimHarness.h"

namespace {

class SimController : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        h = OpenFirst();
    }
    Bytes Answer(Bytes frame)
    {
        Drain(h);
        Write(h, frame);
        return Drain(h);
    }
    QSIM_FT_HANDLE h = nullptr;
};

// Transfers are echoed with 0x0D; free-run starts and link-exercise bytes get no answer.
TEST_F(SimController, FramesAreAnsweredByKind)
{
    const Bytes transfers[] = {{0xAA},
                               {0xAC},
                               {0xDC},
                               {0xDD},
                               {0xDE, 0x90},
                               {0xFA, 0xA0},
                               {0xFA, 0xA4},
                               {0xFA, 0xB0},
                               {0xFA, 0xB2},
                               {0xFA, 0x11, 0x02, 0x03, 0x45, 0x67},
                               {0xFA, 0x20, 0x00, 0x3B, 0x99, 0x99},
                               {0xFA, 0xF0, 0xFF, 0xFF},
                               {0xFA, 0xF0, 0x00, 0x01}};
    for (const Bytes& f : transfers) {
        Bytes expected = f;
        expected.push_back(0x0D);
        EXPECT_EQ(Answer(f), expected) << int(f[0]) << " " << int(f.size());
    }
    for (const Bytes& f :
         {Bytes{0xFA, 0xF1}, Bytes{0xFA, 0xF2}, Bytes{0xFA, 0xF3}, Bytes{0x40}, Bytes(64, 0x4F)}) {
        EXPECT_TRUE(Answer(f).empty()) << int(f[0]) << " " << int(f.size());
    }
}

TEST_F(SimController, UnknownBytesAndCutFramesAreSkipped)
{
    // 0x00 and FA 99 are no frames; the Status request after them is answered. A trailing FA F0
    // with its count missing is discarded at the end of the write.
    const Bytes answer = Answer({0x00, 0xFA, 0x99, 0xCE, 0xFA, 0xF0, 0x01});
    EXPECT_EQ(answer, (Bytes{0xCE}));
    EXPECT_EQ(Answer({0xCF}), (Bytes{0xCF}));
}

// The neutral-density step count takes the place of the closing 0x0D.
TEST_F(SimController, StatusReplyLayouts)
{
    const std::pair<Bytes, Bytes> layouts[] = {
        {{0xDC}, {0xCC, 0xAA, 0xDC, 0x00, 0xA2, 0xB1, 0x10, 0x00, 0x01, 0x50,
                  0x00, 0x20, 0x00, 0x02, 0x12, 0x34, 0xF3, 0x00, 0x05, 0x0D}},
        {{0xDE, 0x90}, {0xCC, 0xAA, 0xDE, 0x90, 0x00, 0xA2, 0xB1, 0x10, 0x00, 0x01,
                        0x50, 0x00, 0x20, 0x00, 0x02, 0x12, 0x34, 0xF3, 0x00, 0x05}},
    };
    for (const auto& [mode, status] : layouts) {
        for (const Bytes& f :
             {Bytes{0xAA}, mode, Bytes{0xFA, 0xA2}, Bytes{0xFA, 0xB1},
              Bytes{0xFA, 0x10, 0x00, 0x01, 0x50, 0x00}, Bytes{0xFA, 0x20, 0x00, 0x02, 0x12, 0x34},
              Bytes{0xFA, 0xF0, 0x00, 0x05}, Bytes{0xFA, 0xF3}}) {
            Answer(f);
        }
        // A 5-cycle run has begun; the status is taken before its first report.
        EXPECT_EQ(Answer({0xCC}), status);
        Answer({0xBF});
    }
}

TEST_F(SimController, IdentityIsFdAndTwelveCharacters)
{
    const Bytes a = Answer({0xFD});
    ASSERT_EQ(a.size(), 13u);
    EXPECT_EQ(a[0], 0xFD);
    EXPECT_EQ(std::string(a.begin() + 1, a.end()), std::string("QSC10001") + QUILLON_SIM_FIRMWARE);
}

TEST_F(SimController, ResetAndRestoreAnswerAMarkerAfterADelay)
{
    const std::pair<Bytes, uint32_t> cases[] = {{{0xFB}, QUILLON_SIM_RESET_MARKER_MS},
                                                {{0xFA, 0xC0}, QUILLON_SIM_RESTORE_MARKER_MS}};
    for (const auto& [frame, delay] : cases) {
        Answer({0xDD});
        EXPECT_TRUE(Answer(frame).empty());
        QuillonSim_Advance(delay - 1);
        EXPECT_TRUE(Drain(h).empty());
        QuillonSim_Advance(1);
        EXPECT_EQ(Drain(h), (Bytes{0x0D}));
    }
    QuillonSimState s{};
    QuillonSim_GetState(0, &s);  // restore brought the factory setting back
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.trigger, 1);
    EXPECT_EQ(s.sync, 2);
}

// A Go run of 2 cycles from closed with 100 ms closed and 50 ms exposure time in Fast mode.
TEST_F(SimController, GoRunReportsEachTransitionOnTime)
{
    Answer({0xFA, 0x10, 0x00, 0x00, 0x10, 0x00});
    Answer({0xFA, 0x20, 0x00, 0x00, 0x05, 0x00});
    Answer({0xFA, 0xF0, 0x00, 0x02});
    QuillonSim_ClearTranscript();
    Answer({0xFA, 0xF3});
    QuillonSim_Advance(1000);
    using R = std::vector<std::pair<uint64_t, uint8_t>>;
    EXPECT_EQ(Received(), (R{{112, 0xAA}, {174, 0xAC}, {286, 0xAA}, {348, 0xAC}, {348, 0x0D}}));
    QuillonSimState s{};
    QuillonSim_GetState(0, &s);
    EXPECT_EQ(s.running, 0);
    EXPECT_EQ(s.cyclesDone, 2);
}

// Neutral density takes steps x 38 / 144 ms to open or close; at least 0.1 ms a half cycle.
TEST_F(SimController, NeutralDensityTransitionFollowsTheSteps)
{
    const std::pair<uint8_t, uint64_t> cases[] = {{144, 38}, {72, 19}, {0, 0}};
    for (const auto& [steps, ms] : cases) {
        SCOPED_TRACE(int(steps));
        Answer({0xDE, steps});
        Answer({0xFA, 0xF0, 0x00, 0x01});
        QuillonSim_ClearTranscript();
        const uint64_t start = QuillonSim_NowMs();
        Answer({0xFA, 0xF3});
        QuillonSim_Advance(1000);
        using R = std::vector<std::pair<uint64_t, uint8_t>>;
        const R expected{{start + ms, 0xAA}, {start + 2 * ms, 0xAC}, {start + 2 * ms, 0x0D}};
        EXPECT_EQ(Received(), expected);
    }
}

TEST_F(SimController, ContinuousRunStopsOnlyOnStop)
{
    Answer({0xDD});  // soft: 70 ms transitions
    Answer({0xAA});  // from open: exposure first
    Answer({0xFA, 0xF0, 0xFF, 0xFF});
    Answer({0xFA, 0xF3});
    QuillonSim_Advance(10000);  // a report every 70 ms: 71 cycles
    const Bytes reports = Drain(h);
    ASSERT_EQ(reports.size(), 142u);
    EXPECT_EQ(reports.front(), 0xAC);
    EXPECT_EQ(reports.back(), 0xAA);
    EXPECT_EQ(Answer({0xBF}), (Bytes{0xBF, 0x0D}));
    QuillonSim_Advance(10000);
    EXPECT_TRUE(Drain(h).empty());
    EXPECT_EQ(Answer({0xBF}), (Bytes{0xBF}));  // no run: no end marker
}

TEST_F(SimController, TriggerPulseAndPowerUpStartARun)
{
    Answer({0xFA, 0xF0, 0x00, 0x01});
    Answer({0xFA, 0xF2});
    QuillonSim_Advance(1000);
    EXPECT_TRUE(Drain(h).empty());
    for (int run = 0; run < 2; ++run) {
        QuillonSim_TriggerPulse(0);
        QuillonSim_Advance(24);
        EXPECT_EQ(Drain(h), (Bytes{0xAA, 0xAC, 0x0D}));
    }

    // Power-up runs the saved option with the saved settings.
    Answer({0xFA, 0xF1});
    EXPECT_EQ(Answer({0xFA, 0xC1}), (Bytes{0xFA, 0xC1}));
    Answer({0xDD});  // not saved
    QuillonSim_PowerUp(0);
    QuillonSim_Advance(24);
    EXPECT_EQ(Drain(h), (Bytes{0xAA, 0xAC, 0x0D}));
    QuillonSimState s{};
    QuillonSim_GetState(0, &s);
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.saved, 1);
}

TEST_F(SimController, DropCorruptAndInject)
{
    QuillonSim_DropAnswerBytes(0, 1);
    EXPECT_EQ(Answer({0xDE, 0x05}), (Bytes{0x05, 0x0D}));
    QuillonSim_CorruptAnswerBytes(0, 2);
    EXPECT_EQ(Answer({0xAA}), (Bytes{0x55, 0xF2}));
    const uint8_t extra[] = {0x01, 0x02};
    QuillonSim_CorruptAnswerBytes(0, 5);
    QuillonSim_Inject(0, extra, 2);
    EXPECT_EQ(Drain(h), (Bytes{0x01, 0x02}));
    QuillonSim_SetSilent(0, 1);
    EXPECT_TRUE(Answer({0xCC}).empty());
}

}  // namespace

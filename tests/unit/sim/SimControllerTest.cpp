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
    void Send(const std::vector<const char*>& frames)
    {
        for (const char* frame : frames) Answer(Hex(frame));
    }
    QSIM_FT_HANDLE h = nullptr;
};

// Transfers are echoed with 0x0D; free-run starts and link-exercise bytes get no answer. Unknown
// bytes are skipped, and a frame cut off at the end of a write is discarded.
TEST_F(SimController, FramesAreAnsweredByKind)
{
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"AA", "AA 0D"}, {"AC", "AC 0D"}, {"DC", "DC 0D"}, {"DD", "DD 0D"}, {"DE 90", "DE 90 0D"},
        {"FA A0", "FA A0 0D"}, {"FA A4", "FA A4 0D"}, {"FA B0", "FA B0 0D"},
        {"FA B2", "FA B2 0D"}, {"FA 11 02 03 45 67", "FA 11 02 03 45 67 0D"},
        {"FA 20 00 3B 99 99", "FA 20 00 3B 99 99 0D"}, {"FA F0 FF FF", "FA F0 FF FF 0D"},
        {"FA F0 00 01", "FA F0 00 01 0D"}, {"FA F1", ""}, {"FA F2", ""}, {"FA F3", ""},
        {"40", ""}, {"00 FA 99 CE FA F0 01", "CE"}, {"CF", "CF"},
    };
    // clang-format on
    EXPECT_TRUE(Answer(Bytes(64, 0x4F)).empty());
    for (const auto& [frame, answer] : cases) {
        EXPECT_EQ(Answer(Hex(frame)), Hex(answer)) << frame;
    }
}

// The neutral-density step count takes the place of the closing 0x0D.
TEST_F(SimController, StatusReplyLayouts)
{
    const std::pair<const char*, const char*> layouts[] = {
        {"DC", "CC AA DC 00 A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05 0D"},
        {"DE 90", "CC AA DE 90 00 A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05"},
    };
    for (const auto& [mode, status] : layouts) {
        Send({"AA", mode, "FA A2", "FA B1", "FA 10 00 01 50 00", "FA 20 00 02 12 34", "FA F0 00 05",
              "FA F3"});
        // A 5-cycle run has begun; the status is taken before its first report.
        EXPECT_EQ(Answer({0xCC}), Hex(status));
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

// Each report at its time after the Go frame: transitions take 12 ms in Fast mode and steps x 38
// / 144 ms in neutral density (at least 0.1 ms a half cycle).
TEST_F(SimController, GoRunReportsEachTransitionOnTime)
{
    using Reports = std::vector<std::pair<uint64_t, uint8_t>>;
    const struct {
        const char* what;
        std::vector<const char*> setUp;
        Reports reports;
    } cases[] = {
        {"2 cycles from closed, 100 ms closed, 50 ms exposure, Fast",
         {"FA 10 00 00 10 00", "FA 20 00 00 05 00", "FA F0 00 02"},
         {{112, 0xAA}, {174, 0xAC}, {286, 0xAA}, {348, 0xAC}, {348, 0x0D}}},
        {"ND 144 steps", {"DE 90", "FA F0 00 01"}, {{38, 0xAA}, {76, 0xAC}, {76, 0x0D}}},
        {"ND 72 steps", {"DE 48", "FA F0 00 01"}, {{19, 0xAA}, {38, 0xAC}, {38, 0x0D}}},
        {"ND 0 steps", {"DE 00", "FA F0 00 01"}, {{0, 0xAA}, {0, 0xAC}, {0, 0x0D}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QuillonSim_Reset();
        h = OpenFirst();
        Send(c.setUp);
        QuillonSim_ClearTranscript();
        Answer({0xFA, 0xF3});
        QuillonSim_Advance(1000);
        std::vector<QuillonSimEvent> events(QuillonSim_Transcript(nullptr, 0));
        QuillonSim_Transcript(events.data(), events.size());
        Reports reports;
        for (const auto& e : events)
            if (e.direction == QUILLON_SIM_FROM_DEVICE)
                reports.push_back({e.timeMs, e.byte});
        EXPECT_EQ(reports, c.reports);
        QuillonSimState s{};
        QuillonSim_GetState(0, &s);
        EXPECT_EQ(s.running, 0);
        EXPECT_EQ(s.cyclesDone, int(c.reports.size() / 2));
    }
}

TEST_F(SimController, ContinuousRunStopsOnlyOnStop)
{
    // Soft mode (70 ms transitions), from open: a report every 70 ms, 71 cycles in 10 s.
    Send({"DD", "AA", "FA F0 FF FF", "FA F3"});
    QuillonSim_Advance(10000);
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
    Send({"FA F0 00 01", "FA F2"});
    QuillonSim_Advance(1000);
    EXPECT_TRUE(Drain(h).empty());
    for (int run = 0; run < 2; ++run) {
        QuillonSim_TriggerPulse(0);
        QuillonSim_Advance(24);
        EXPECT_EQ(Drain(h), (Bytes{0xAA, 0xAC, 0x0D}));
    }
    // A pulse during a run is ignored: the run's count and timing go on.
    Send({"FA F0 00 02"});
    QuillonSim_TriggerPulse(0);
    QuillonSim_Advance(30);
    QuillonSim_TriggerPulse(0);
    QuillonSim_Advance(18);
    EXPECT_EQ(Drain(h), (Bytes{0xAA, 0xAC, 0xAA, 0xAC, 0x0D}));
    Send({"FA F0 00 01"});

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

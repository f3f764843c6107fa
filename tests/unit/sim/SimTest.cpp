// The simulated controller through its D2XX face, on the manual clock: handles and unplugging, the
// answer to each frame (which the core's own count of immediate answers must match), the status
// and identity replies, delayed markers and runs. Its injected faults are the fault matrix's.

#include <gtest/gtest.h>

#include "QuillonSim.h"
#include "QuillonSimD2xx.h"
#include "protocol/Frames.h"
#include "unit/Rows.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Sim : public testing::Test {
protected:
    void SetUp() override { QuillonSim_Reset(), h = Open(); }
    static QSIM_FT_HANDLE Open()
    {
        QSIM_FT_HANDLE handle = nullptr;
        EXPECT_EQ(FT_Open(0, &handle), QSIM_FT_OK);
        return handle;
    }
    // Everything queued now, without waiting.
    Bytes Drain()
    {
        QSIM_DWORD queued = 0, got = 0;
        EXPECT_EQ(FT_GetQueueStatus(h, &queued), QSIM_FT_OK);
        Bytes out(queued);
        EXPECT_EQ(queued ? FT_Read(h, out.data(), queued, &got) : QSIM_DWORD(QSIM_FT_OK), QSIM_FT_OK);
        return Bytes(out.begin(), out.begin() + got);
    }
    Bytes Answer(Bytes frame)
    {
        Drain();
        QSIM_DWORD written = 0;
        EXPECT_EQ(FT_Write(h, frame.data(), QSIM_DWORD(frame.size()), &written), QSIM_FT_OK);
        EXPECT_EQ(written, frame.size());
        return Drain();
    }
    void Send(const std::vector<const char*>& frames)
    {
        for (const char* frame : frames) Answer(Hex(frame));
    }
    static QuillonSimState State()
    {
        QuillonSimState s{};
        QuillonSim_GetState(0, &s);
        return s;
    }
    QSIM_FT_HANDLE h = nullptr;
};

TEST_F(Sim, EachFrameIsAnsweredAsTheCoreCountsItsImmediateAnswer)
{
    const TimeRecord time{"1", "2", "3", "456", "7"};
    // clang-format off
    const std::pair<Frame, const char*> frames[] = {
        {ShutterFrame(0), "AA 0D"}, {ShutterFrame(1), "AC 0D"}, {ModeFrame(1, 0), "DD 0D"},
        {NdModeFrame(144), "DE 90 0D"}, {TriggerFrame(-1), "FA A0 0D"}, {TriggerFrame(3), "FA A4 0D"},
        {SyncFrame(-1), "FA B0 0D"}, {SyncFrame(1), "FA B2 0D"},
        {EncodeTimeFrame(TimeKind::Closed, time), "FA 11 02 03 45 67 0D"},
        {EncodeTimeFrame(TimeKind::Exposure, time), "FA 21 02 03 45 67 0D"},
        {RepeatCountFrame(65535), "FA F0 FF FF 0D"}, {FreeRunFrame(0), ""}, {FreeRunFrame(1), ""},
        {SettingsFrame(cmd::kSaveConfig), "FA C1"}, {SingleByteFrame(cmd::kOnline), "EE 01"},
        {SingleByteFrame(cmd::kPowerOff), "CF"}, {SingleByteFrame(cmd::kStop), "BF"}};
    // clang-format on
    for (const auto& [frame, answer] : frames) {
        EXPECT_EQ(Answer(Bytes(frame.data(), frame.data() + frame.size())), Hex(answer))
            << frame.Hex();
        EXPECT_EQ(ImmediateAnswerLength(frame), int(Hex(answer).size())) << frame.Hex();
    }
    // Link-exercise bytes get no answer; unknown bytes are skipped, a cut-off frame discarded.
    EXPECT_EQ(Answer(Bytes(64, 0x4F)), Bytes{});
    EXPECT_EQ(Answer(Hex("00 FA 99 CE FA F0 01")), Hex("CE"));
    EXPECT_EQ(Answer(Hex("FD")), Hex("FD 51 53 43 31 30 30 30 31 56 31 2E 30"));  // QSC10001V1.0
}

TEST_F(Sim, ResetAndRestoreAnswerAMarkerAfterADelayAndRestoreForgetsTheSavedSetting)
{
    Send({"DD", "FA F1", "FA C1"});  // Soft saved for power-up, which runs the saved option
    for (const auto& [frame, delay] : {std::pair{Bytes{0xFB}, QUILLON_SIM_RESET_MARKER_MS},
                                       std::pair{Bytes{0xFA, 0xC0}, QUILLON_SIM_RESTORE_MARKER_MS}}) {
        EXPECT_EQ(Answer(frame), Bytes{});
        QuillonSim_Advance(delay - 1);
        EXPECT_EQ(Drain(), Bytes{});
        QuillonSim_Advance(1);
        EXPECT_EQ(Drain(), Bytes{0x0D});
    }
    QuillonSim_PowerUp(0);
    QuillonSim_Advance(1000);
    EXPECT_EQ(Drain(), Bytes{});
    const QuillonSimState s = State();
    EXPECT_EQ(std::tuple(s.mode, s.trigger, s.sync, s.freeRunOption), std::tuple(0, 1, 2, 0));
}

// Each report at its time after Go: transitions take 12 ms in Fast mode and steps x 38 / 144 ms
// in neutral density; a counted run ends with 0x0D after its last cycle.
TEST_F(Sim, GoRunReportsEachTransitionOnTime)
{
    using Reports = std::vector<std::pair<uint64_t, uint8_t>>;
    const std::pair<std::vector<const char*>, Reports> cases[] = {
        {{"FA 10 00 00 10 00", "FA 20 00 00 05 00", "FA F0 00 02"},
         {{112, 0xAA}, {174, 0xAC}, {286, 0xAA}, {348, 0xAC}, {348, 0x0D}}},
        {{"DE 48", "FA F0 00 01"}, {{19, 0xAA}, {38, 0xAC}, {38, 0x0D}}},
        {{"DE 00", "FA F0 00 01"}, {{0, 0xAA}, {0, 0xAC}, {0, 0x0D}}},
        {{"FA 10 00 01 00 00", "FA F0 00 01"}, {{1012, 0xAA}, {1024, 0xAC}, {1024, 0x0D}}}};
    for (const auto& [setUp, expected] : cases) {
        QuillonSim_Reset();
        h = Open();
        Send(setUp);
        QuillonSim_ClearTranscript();
        Answer({0xFA, 0xF3});
        QuillonSim_Advance(2000);
        std::vector<QuillonSimEvent> events(QuillonSim_Transcript(nullptr, 0));
        QuillonSim_Transcript(events.data(), events.size());
        Reports reports;
        for (const auto& e : events)
            if (e.direction == QUILLON_SIM_FROM_DEVICE)
                reports.push_back({e.timeMs, e.byte});
        EXPECT_EQ(reports, expected);
        EXPECT_EQ(std::tuple(State().running, State().cyclesDone), std::tuple(0, int(expected.size() / 2)));
    }
}

TEST_F(Sim, ContinuousRunsStopOnlyOnStopAndTriggerPulsesAndPowerUpStartRuns)
{
    // Soft mode (70 ms transitions), from open: a report every 70 ms, 71 cycles in 10 s.
    Send({"DD", "AA", "FA F0 FF FF", "FA F3"});
    QuillonSim_Advance(10000);
    EXPECT_EQ(Drain().size(), 142u);
    EXPECT_EQ(Answer({0xBF}), (Bytes{0xBF, 0x0D}));
    QuillonSim_Advance(10000);
    EXPECT_EQ(Drain(), Bytes{});

    Send({"DC", "AC", "FA F0 00 01", "FA F2"});
    for (int run = 0; run < 2; ++run) {
        QuillonSim_TriggerPulse(0);
        QuillonSim_Advance(24);
        EXPECT_EQ(Drain(), (Bytes{0xAA, 0xAC, 0x0D}));
    }

    // Power-up runs the saved option with the saved settings.
    Send({"FA F0 00 01", "FA F1", "FA C1", "DD"});
    QuillonSim_PowerUp(0);
    QuillonSim_Advance(24);
    EXPECT_EQ(Drain(), (Bytes{0xAA, 0xAC, 0x0D}));
    EXPECT_EQ(std::tuple(State().mode, State().saved), std::tuple(0, 1));
}

TEST_F(Sim, ClosedStaleAndUnpluggedHandlesFailAndWriteFailuresAreReported)
{
    QSIM_DWORD n = 0;
    uint8_t b = 0xEE;
    QuillonSim_SetWriteStatus(0, QSIM_FT_IO_ERROR);
    EXPECT_EQ(FT_Write(h, &b, 1, &n), QSIM_FT_IO_ERROR);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(FT_Close(h), QSIM_FT_OK);
    EXPECT_EQ(FT_GetQueueStatus(h, &n), QSIM_FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Close(h), QSIM_FT_INVALID_HANDLE);
    const QSIM_FT_HANDLE stale = Open();
    QuillonSim_Reset();
    EXPECT_EQ(FT_GetQueueStatus(stale, &n), QSIM_FT_INVALID_HANDLE);
    h = Open();
    EXPECT_NE(h, stale);  // handles are never reused
    // An unplugged device's handles fail until they are closed, and it cannot be opened.
    QuillonSim_Unplug(0);
    EXPECT_EQ(FT_GetQueueStatus(h, &n), QSIM_FT_IO_ERROR);
    EXPECT_EQ(FT_Read(h, &b, 1, &n), QSIM_FT_IO_ERROR);
    EXPECT_EQ(FT_Write(h, &b, 1, &n), QSIM_FT_IO_ERROR);
    EXPECT_EQ(FT_ListDevices(&n, nullptr, 0x80000000u), QSIM_FT_OK);
    EXPECT_EQ(n, 0u);
    QSIM_FT_HANDLE again = nullptr;
    char description[] = "Quillon SC";
    EXPECT_NE(FT_Open(0, &again), QSIM_FT_OK);
    EXPECT_NE(FT_OpenEx(description, QSIM_FT_OPEN_BY_DESCRIPTION, &again), QSIM_FT_OK);
    EXPECT_EQ(FT_Close(h), QSIM_FT_OK);
    QuillonSim_Replug(0);
    EXPECT_EQ(FT_OpenEx(description, QSIM_FT_OPEN_BY_DESCRIPTION, &again), QSIM_FT_OK);
}

}  // namespace

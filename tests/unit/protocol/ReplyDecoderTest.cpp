#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/Frames.h"
#include "protocol/ReplyDecoder.h"
#include "unit/protocol/MirrorHost.h"
#include "timing/TimeRecord.h"

namespace {

using Lines = std::vector<std::string>;

std::vector<uint8_t> Bytes(const std::string& hex)
{
    std::vector<uint8_t> out;
    std::istringstream in(hex);
    unsigned value = 0;
    while (in >> std::hex >> value) {
        out.push_back(static_cast<uint8_t>(value));
    }
    return out;
}

class FakeHost : public MirrorHost {
public:
    void ListByte(uint8_t b) override
    {
        char line[16];
        std::snprintf(line, sizeof line, "%d  0x%.2X", b, b);
        list.push_back(line);
    }
    void ListText(const std::string& text) override { list.push_back("text " + text); }
    void SetCaption(Caption which, const std::string& text) override { captions[which] = text; }
    void SetPulseBox(PulseBox which, bool checked) override { boxes[which] = checked; }
    void SelectTimer(int index) override { combo = index; }
    void LoadEditor(int index) override { editorLoads.push_back(index); }
    void Write(const Frame& frame) override { written.push_back(frame.Hex()); }

    Lines list;
    std::map<Caption, std::string> captions;
    std::map<PulseBox, bool> boxes;
    int combo = -2;  // never selected
    std::vector<int> editorLoads;
    Lines written;
};

// Everything the decoder can change, for comparing two runs.
std::string Snapshot(const FakeHost& h)
{
    std::ostringstream s;
    const PanelState& u = h.ui;
    s << u.m_nReceivedBytes << ' ' << u.m_nShutterState << ' ' << u.m_nShutterMode << ' '
      << h.panel.m_nNdSteps << ' ' << u.m_nTriggerMode << ' ' << u.m_nSyncPolarity << ' '
      << u.m_nTimerSelect << ' ' << u.m_nFreeRunOption << ' ' << u.m_strRepeatNumber << '/'
      << u.m_strLeftCycles << " combo " << h.combo;
    for (const auto& [which, text] : h.captions) {
        s << '|' << text;
    }
    for (const auto& [which, checked] : h.boxes) {
        s << '|' << checked;
    }
    for (int index : h.editorLoads) {
        s << "|load " << index;
    }
    for (const TimeRecord* record : {&g_closedTime, &g_exposureTime, &g_cycleTime}) {
        for (auto field : kTimeRecordFields) {
            s << '|' << record->*field;
        }
    }
    for (const auto& lines : {h.list, h.written}) {
        for (const std::string& line : lines) {
            s << '|' << line;
        }
    }
    s << '|' << g_nStatusIndex << ' ' << g_nInfoIndex << ' ' << g_nRepeatHigh;
    return s.str();
}

class ReplyDecoderTest : public ::testing::Test {
protected:
    ReplyDecoderTest() { ResetAll(); }
    ~ReplyDecoderTest() override { ResetAll(); }
    static void ResetAll()
    {
        ResetDecoderState();
        ResetTimeRecords();
    }
    // One tick: the batch is decoded, then the panel pushed.
    void Feed(const std::vector<uint8_t>& bytes)
    {
        decoder.Decode(bytes.data(), bytes.size());
        host.Push();
    }
    void Feed(const std::string& hex) { Feed(Bytes(hex)); }

    FakeHost host;
    PanelState& ui = host.ui;
    ReplyDecoder decoder{host};
};

constexpr const char* kFastReply = "CC AA DC 00 A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05 0D";

struct StatusCase {
    const char* name;
    const char* reply;
    int shutter, mode, steps, trigger, sync, timer, freeRun;
    const char* repeat;
    const char* transition;
    const char* ndRadio;
    bool triggerBox, syncBox;
    const char* closed;
    const char* exposure;
    const char* cycle;
};

const StatusCase kStatusCases[] = {
    {"Fast", kFastReply, 0, 0, 0, 1, 0, 1, 2, "5", "12 ms", "Neutral Density", true, true,
     "00 : 00 : 01 : 500 : 0", "00 : 00 : 02 : 123 : 4", "Cycle Time - 00:00:03:647:4"},
    {"NeutralDensity", "CC AA DE 90 00 A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05", 0, 2, 144, 1,
     0, 1, 2, "5", "38.00 ms", "Neutral Density - 144", true, true, "00 : 00 : 01 : 500 : 0",
     "00 : 00 : 02 : 123 : 4", "Cycle Time - 00:00:03:699:4"},
    // 0xFD inside a reply is part of it and starts no identity reply.
    {"FastWithFd", "CC AA DC FD A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05 FD", 0, 0, 0, 1, 0, 1,
     2, "5", "12 ms", "Neutral Density", true, true, "00 : 00 : 01 : 500 : 0",
     "00 : 00 : 02 : 123 : 4", "Cycle Time - 00:00:03:647:4"},
    // Both hours bytes 0: no timer entry, the editor takes the closed time.
    {"SoftNoHours", "CC AC DD 00 A0 B0 00 02 03 45 67 00 00 04 00 10 F0 FF FF 00", 1, 1, 0, -1, -1,
     -1, -1, "65535", "70 ms", "Neutral Density", false, false, "00 : 02 : 03 : 456 : 7",
     "00 : 00 : 04 : 001 : 0", "Cycle Time - 00:02:07:597:7"},
};

class StatusReply : public ReplyDecoderTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusReply, DecodesIntoPanelAndDisplays)
{
    const StatusCase& c = GetParam();
    g_nStatusIndex = 0;
    Feed(c.reply);
    EXPECT_EQ(g_nStatusIndex, -1);
    EXPECT_EQ(g_nInfoIndex, -1);
    EXPECT_EQ(ui.m_nShutterState, c.shutter);
    EXPECT_EQ(ui.m_nShutterMode, c.mode);
    EXPECT_EQ(host.panel.m_nNdSteps, c.steps);
    EXPECT_EQ(ui.m_nTriggerMode, c.trigger);
    EXPECT_EQ(ui.m_nSyncPolarity, c.sync);
    EXPECT_EQ(ui.m_nTimerSelect, c.timer);
    EXPECT_EQ(host.combo, c.timer == -1 ? -2 : c.timer);
    EXPECT_EQ(host.editorLoads, std::vector<int>{c.timer});
    EXPECT_EQ(ui.m_nFreeRunOption, c.freeRun);
    EXPECT_EQ(ui.m_strRepeatNumber, c.repeat);
    EXPECT_EQ(ui.m_strLeftCycles, c.repeat);
    EXPECT_EQ(host.captions[Caption::TransitionTimes], c.transition);
    EXPECT_EQ(host.captions[Caption::NdRadio], c.ndRadio);
    EXPECT_EQ(host.boxes[PulseBox::Trigger], c.triggerBox);
    EXPECT_EQ(host.boxes[PulseBox::Sync], c.syncBox);
    EXPECT_EQ(host.captions[Caption::ClosedDisplay], c.closed);
    EXPECT_EQ(host.captions[Caption::ExposureDisplay], c.exposure);
    EXPECT_EQ(host.captions[Caption::CycleDisplay], c.cycle);
    EXPECT_EQ(ui.m_nReceivedBytes, 20);
    ASSERT_EQ(host.list.size(), 20u);
    EXPECT_EQ(host.list[0], "204  0xCC");
    EXPECT_TRUE(host.written.empty());
}

TEST_P(StatusReply, DecodesTheSameSplitAtAnyByte)
{
    const std::vector<uint8_t> reply = Bytes(GetParam().reply);
    const auto decode = [&](std::size_t split) {
        ResetAll();
        FakeHost fresh;
        ReplyDecoder d(fresh);
        g_nStatusIndex = 0;
        d.Decode(reply.data(), split);
        fresh.Push();
        d.Decode(reply.data() + split, reply.size() - split);
        fresh.Push();
        return Snapshot(fresh);
    };
    const std::string whole = decode(0);
    for (std::size_t split = 1; split < reply.size(); ++split) {
        EXPECT_EQ(decode(split), whole) << "split after byte " << split;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, StatusReply, ::testing::ValuesIn(kStatusCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReplyDecoderTest, StatusPressedAgainRestartsTheReply)
{
    const std::vector<uint8_t> reply = Bytes(kFastReply);
    g_nStatusIndex = 0;
    Feed(std::vector<uint8_t>(reply.begin(), reply.begin() + 7));
    g_nStatusIndex = 0;
    Feed(reply);
    EXPECT_EQ(g_nStatusIndex, -1);
    EXPECT_EQ(ui.m_strRepeatNumber, "5");
    EXPECT_EQ(host.captions[Caption::CycleDisplay], "Cycle Time - 00:00:03:647:4");
    EXPECT_EQ(ui.m_nReceivedBytes, 27);
    EXPECT_EQ(host.list.size(), 27u);
}

TEST_F(ReplyDecoderTest, OwedStatusRequestWaitsForAReadyMarkerOutsideAReply)
{
    for (int owed : {1, 2}) {  // after Reset, after Restore Default
        host.written.clear();
        g_nStatusAfterReset = owed;
        g_nStatusIndex = 0;  // Status pressed before the controller's 0x0D came
        Feed(kFastReply);    // its last byte is 0x0D, but belongs to the reply
        Feed("05 AA");       // only a ready marker pays the request
        EXPECT_TRUE(host.written.empty());
        EXPECT_EQ(g_nStatusAfterReset, owed);
        Feed("0D");
        EXPECT_EQ(host.written, Lines{"CC"});
        EXPECT_EQ(host.list.back(), "13  0x0D");
        EXPECT_EQ(g_nStatusAfterReset, 0);
        EXPECT_EQ(g_nStatusIndex, 0);
        Feed(kFastReply);
        EXPECT_EQ(g_nStatusIndex, -1);
        EXPECT_EQ(host.written.size(), 1u);
    }
}

TEST_F(ReplyDecoderTest, IdentityReplyIsListedAsTwoTextLines)
{
    Feed("FD 51 55");  // the echo arms it; the characters come over two ticks
    Feed("49 4C 00 4E 2D 31 2E 30 62 43");
    EXPECT_EQ(host.list, (Lines{"253  0xFD", "text " + std::string("QUIL\0N-1", 8), "text .0bC"}));
    EXPECT_EQ(ui.m_nReceivedBytes, 13);
    EXPECT_EQ(g_nInfoIndex, -1);
    Feed("AA");
    EXPECT_EQ(host.list.back(), "170  0xAA");
}

TEST_F(ReplyDecoderTest, PlainBytesMoveTheShutterAndArmTheIdentity)
{
    Feed("AA");
    EXPECT_EQ(ui.m_nShutterState, 0);
    Feed("AC 05 00");
    EXPECT_EQ(ui.m_nShutterState, 1);
    EXPECT_EQ(g_nInfoIndex, -1);
    Feed("FF FD");
    EXPECT_EQ(g_nInfoIndex, 0);
    EXPECT_EQ(host.list,
              (Lines{"170  0xAA", "172  0xAC", "5  0x05", "0  0x00", "255  0xFF", "253  0xFD"}));
    EXPECT_EQ(ui.m_nReceivedBytes, 6);
}

TEST_F(ReplyDecoderTest, EachByteGoesToTheFirstArmedState)
{
    g_nFreeRunKind = 2;
    g_nInfoIndex = 0;
    g_nStatusIndex = 0;
    g_nTransferReceived = 0;
    g_nTransferExpected = 99;
    g_nStatusAfterReset = 1;
    Feed("0D");  // ends the counting; neither counted nor listed
    EXPECT_EQ(g_nFreeRunKind, 0);
    EXPECT_EQ(ui.m_nReceivedBytes, 0);
    EXPECT_TRUE(host.list.empty());
    Feed("0D 0D 0D 0D 0D 0D 0D 0D 0D 0D 0D 0D");  // identity: counted, listed as text only
    EXPECT_EQ(g_nInfoIndex, -1);
    EXPECT_EQ(g_nStatusIndex, 0);
    EXPECT_EQ(ui.m_nReceivedBytes, 12);
    EXPECT_EQ(host.list.size(), 2u);
    Feed(kFastReply);
    EXPECT_EQ(g_nStatusIndex, -1);
    EXPECT_EQ(g_nTransferReceived, 0);
    Feed("0D");
    EXPECT_EQ(g_nTransferReceived, 1);
    EXPECT_EQ(g_nStatusAfterReset, 1);
    EXPECT_TRUE(host.written.empty());
    g_nTransferReceived = -1;
    Feed("0D");
    EXPECT_EQ(host.written, Lines{"CC"});
    EXPECT_EQ(ui.m_nReceivedBytes, 34);
    EXPECT_EQ(host.list.size(), 24u);
}

TEST_F(ReplyDecoderTest, FreeRunCountsCompletedCycles)
{
    struct Case {
        int kind, triggerMode;
        bool keepsCounting;
    };
    for (const Case& c : {Case{2, 1, false}, Case{1, -1, false}, Case{1, 1, true}}) {
        ui.m_strRepeatNumber = ui.m_strLeftCycles = "3";
        ui.m_nTriggerMode = c.triggerMode;
        g_nFreeRunKind = c.kind;
        g_nFreeRunStartState = 1;  // closed: each 0xAC completes a cycle
        Lines left;
        for (const char* b : {"AA", "AC", "AA", "AC", "AA", "AC"}) {
            Feed(b);
            left.push_back(ui.m_strLeftCycles);
        }
        EXPECT_EQ(left, (Lines{"3", "2", "2", "1", "1", "3"})) << "kind " << c.kind;
        EXPECT_EQ(ui.m_nShutterState, 1);
        EXPECT_EQ(g_nFreeRunKind, c.keepsCounting ? c.kind : 0) << "kind " << c.kind;
    }
    EXPECT_EQ(ui.m_nReceivedBytes, 0);
    EXPECT_TRUE(host.list.empty());
}

TEST_F(ReplyDecoderTest, ContinuousRunOnlyMovesTheShutter)
{
    ui.m_strRepeatNumber = ui.m_strLeftCycles = "Continuous";
    g_nFreeRunKind = 2;
    g_nFreeRunStartState = 1;
    Feed("AC AC AC AA");
    EXPECT_EQ(ui.m_nShutterState, 0);
    EXPECT_EQ(ui.m_strLeftCycles, "Continuous");
    EXPECT_EQ(g_nFreeRunKind, 2);
}

TEST_F(ReplyDecoderTest, ReadyMarkerEndsCountingAndLeavesTheRequestOwed)
{
    ui.m_strRepeatNumber = "3";
    ui.m_strLeftCycles = "";  // cleared by hand: counts on below zero
    g_nFreeRunKind = 2;
    g_nFreeRunStartState = 1;
    g_nStatusAfterReset = 1;
    Feed("AC");
    EXPECT_EQ(ui.m_strLeftCycles, "-1");
    Feed("AC");
    EXPECT_EQ(ui.m_strLeftCycles, "-2");
    Feed("0D");
    EXPECT_EQ(g_nFreeRunKind, 0);
    EXPECT_EQ(ui.m_strLeftCycles, "3");
    EXPECT_EQ(g_nStatusAfterReset, 1);
    EXPECT_TRUE(host.written.empty());
    Feed("0D");
    EXPECT_EQ(host.written, Lines{"CC"});
}

class Transfer : public ReplyDecoderTest {
protected:
    Transfer()
    {
        ui.m_nShutterState = 1;
        ui.m_nShutterMode = 2;
        host.panel.m_nNdSteps = 144;
        ui.m_nTriggerMode = 1;
        ui.m_nSyncPolarity = 1;
        ui.m_strRepeatNumber = "Continuous";
        ui.m_nFreeRunOption = 2;
        g_closedTime = {"1", "2", "3", "456", "7"};
        g_exposureTime = {"", "", "59", "999", "9"};
        // Apply has sent the shutter frame.
        g_nTransferReceived = 0;
        g_nTransferExpected = 2;
    }
    const Lines kFrames = {
        "DE 90",       "FA A2", "FA B2", "FA 11 02 03 45 67", "FA 20 00 3B 99 99",
        "FA F0 FF FF", "FA F3"};
};

TEST_F(Transfer, EachFrameGoesOutWhenThePreviousIsAnswered)
{
    const int answers[] = {2, 3, 3, 3, 7, 7, 5};
    for (std::size_t step = 0; step < kFrames.size(); ++step) {
        for (int i = 1; i <= answers[step]; ++i) {
            const int pulls = host.pulls;
            Feed("0D");
            // The step pulls the panel again before it builds its frame.
            EXPECT_EQ(host.pulls - pulls, i == answers[step] ? 2 : 1);
            EXPECT_EQ(host.written.size(), step + (i == answers[step] ? 1 : 0));
        }
    }
    EXPECT_EQ(host.written, kFrames);
    EXPECT_EQ(g_nTransferReceived, -1);
    EXPECT_EQ(g_nTransferExpected, -1);
    EXPECT_EQ(g_nFreeRunKind, 2);
    EXPECT_EQ(g_nFreeRunStartState, 1);
    EXPECT_EQ(ui.m_nReceivedBytes, 30);
    EXPECT_EQ(host.list.size(), 30u);
}

TEST_F(Transfer, NoModeStallsUntilTheNextApply)
{
    ui.m_nShutterMode = -1;
    g_nStatusAfterReset = 1;
    Feed("0D 0D 0D FD AA 0D");
    EXPECT_TRUE(host.written.empty());
    EXPECT_EQ(g_nTransferReceived, 6);
    EXPECT_EQ(g_nTransferExpected, 2);
    EXPECT_EQ(g_nInfoIndex, -1);
    EXPECT_EQ(g_nStatusAfterReset, 1);
    EXPECT_EQ(ui.m_nReceivedBytes, 6);
    g_nTransferReceived = 0;
    ui.m_nShutterMode = 0;
    Feed("0D 0D");
    EXPECT_EQ(host.written, Lines{"DC"});
}

TEST_F(Transfer, NoRunOptionEndsWithoutSendingOrCounting)
{
    ui.m_nFreeRunOption = -1;
    // All answers in one tick: the steps' pulls must not lose the byte count.
    Feed(std::vector<uint8_t>(30, 0x0D));
    EXPECT_EQ(host.written, Lines(kFrames.begin(), kFrames.end() - 1));
    EXPECT_EQ(g_nTransferReceived, -1);
    EXPECT_EQ(g_nTransferExpected, -1);
    EXPECT_EQ(g_nFreeRunKind, 0);
    Feed("AA");
    EXPECT_EQ(ui.m_nShutterState, 0);
    EXPECT_EQ(ui.m_nReceivedBytes, 31);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/Frames.h"
#include "protocol/ReplyDecoder.h"
#include "timing/TimeRecord.h"
#include "unit/protocol/MirrorHost.h"

namespace {

using Lines = std::vector<std::string>;

std::vector<uint8_t> Bytes(const std::string& hex)
{
    std::vector<uint8_t> out;
    std::istringstream in(hex);
    for (unsigned value = 0; in >> std::hex >> value;) out.push_back(static_cast<uint8_t>(value));
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

    Lines list, written;
    std::map<Caption, std::string> captions;
    std::map<PulseBox, bool> boxes;
    int combo = -2;  // never selected
    std::vector<int> editorLoads;
};

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
    std::vector<int> fields;  // shutter, mode, steps, trigger, sync, timer, free run
    const char* repeat;
    bool triggerBox, syncBox;
    Lines captions;  // ND radio, transition, closed, exposure, cycle
};

const StatusCase kStatusCases[] = {
    {"Fast", kFastReply, {0, 0, 0, 1, 0, 1, 2}, "5", true, true,
     {"Neutral Density", "12 ms", "00 : 00 : 01 : 500 : 0", "00 : 00 : 02 : 123 : 4",
      "Cycle Time - 00:00:03:647:4"}},
    {"NeutralDensity", "CC AA DE 90 00 A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05",
     {0, 2, 144, 1, 0, 1, 2}, "5", true, true,
     {"Neutral Density - 144", "38.00 ms", "00 : 00 : 01 : 500 : 0", "00 : 00 : 02 : 123 : 4",
      "Cycle Time - 00:00:03:699:4"}},
    // 0xFD inside a reply is part of it and starts no identity reply.
    {"FastWithFd", "CC AA DC FD A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05 FD",
     {0, 0, 0, 1, 0, 1, 2}, "5", true, true,
     {"Neutral Density", "12 ms", "00 : 00 : 01 : 500 : 0", "00 : 00 : 02 : 123 : 4",
      "Cycle Time - 00:00:03:647:4"}},
    // Exposure hours byte 0: the selection stays as the closed hours byte set it.
    {"ExposureHoursZero", "CC AA DC 00 A2 B1 10 00 01 50 00 00 00 02 12 34 F3 00 05 0D",
     {0, 0, 0, 1, 0, 0, 2}, "5", true, true,
     {"Neutral Density", "12 ms", "00 : 00 : 01 : 500 : 0", "00 : 00 : 02 : 123 : 4",
      "Cycle Time - 00:00:03:647:4"}},
    // A mode byte no mode has: no mode button, the captions of the plain modes.
    {"UnknownMode", "CC AA DF 00 A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05 0D",
     {0, -1, 0, 1, 0, 1, 2}, "5", true, true,
     {"Neutral Density", "12 ms", "00 : 00 : 01 : 500 : 0", "00 : 00 : 02 : 123 : 4",
      "Cycle Time - 00:00:03:647:4"}},
    // Both hours bytes 0: no timer entry, the editor takes the closed time.
    {"SoftNoHours", "CC AC DD 00 A0 B0 00 02 03 45 67 00 00 04 00 10 F0 FF FF 00",
     {1, 1, 0, -1, -1, -1, -1}, "65535", false, false,
     {"Neutral Density", "70 ms", "00 : 02 : 03 : 456 : 7", "00 : 00 : 04 : 001 : 0",
      "Cycle Time - 00:02:07:597:7"}},
};

class StatusReply : public ReplyDecoderTest, public ::testing::WithParamInterface<StatusCase> {};

// Whole, and split over two ticks after each byte.
TEST_P(StatusReply, DecodesIntoPanelAndDisplays)
{
    const StatusCase& c = GetParam();
    const std::vector<uint8_t> reply = Bytes(c.reply);
    for (std::size_t split = 0; split < reply.size(); ++split) {
        SCOPED_TRACE("split after byte " + std::to_string(split));
        ResetAll();
        FakeHost host;
        const PanelState& ui = host.ui;
        ReplyDecoder d(host);
        g_nStatusIndex = 0;
        d.Decode(reply.data(), split);
        host.Push();
        d.Decode(reply.data() + split, reply.size() - split);
        host.Push();
        EXPECT_EQ(g_nStatusIndex, -1);
        EXPECT_EQ(g_nInfoIndex, -1);
        EXPECT_EQ((std::vector<int>{ui.m_nShutterState, ui.m_nShutterMode, host.panel.m_nNdSteps,
                                    ui.m_nTriggerMode, ui.m_nSyncPolarity, ui.m_nTimerSelect,
                                    ui.m_nFreeRunOption}),
                  c.fields);
        const int timer = c.fields[5];
        EXPECT_EQ(host.combo, timer == -1 ? -2 : timer);
        EXPECT_EQ(host.editorLoads, std::vector<int>{timer});
        EXPECT_EQ(ui.m_strRepeatNumber, c.repeat);
        EXPECT_EQ(ui.m_strLeftCycles, c.repeat);
        EXPECT_EQ((Lines{host.captions[Caption::NdRadio], host.captions[Caption::TransitionTimes],
                         host.captions[Caption::ClosedDisplay],
                         host.captions[Caption::ExposureDisplay],
                         host.captions[Caption::CycleDisplay]}),
                  c.captions);
        EXPECT_EQ(host.boxes, (std::map<PulseBox, bool>{{PulseBox::Trigger, c.triggerBox},
                                                        {PulseBox::Sync, c.syncBox}}));
        EXPECT_EQ(ui.m_nReceivedBytes, 20);
        ASSERT_EQ(host.list.size(), 20u);
        EXPECT_EQ(host.list[0], "204  0xCC");
        EXPECT_TRUE(host.written.empty());
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

TEST_F(ReplyDecoderTest, PlainBytesMoveTheShutterAndTheEchoArmsATwoLineIdentity)
{
    Feed("AA");
    EXPECT_EQ(ui.m_nShutterState, 0);
    Feed("AC 05 00");
    EXPECT_EQ(ui.m_nShutterState, 1);
    EXPECT_EQ(g_nInfoIndex, -1);
    Feed("FF FD 51 55");  // the characters come over two ticks
    Feed("49 4C 00 4E 2D 31 2E 30 62 43");
    EXPECT_EQ(g_nInfoIndex, -1);
    Feed("AA");
    EXPECT_EQ(host.list, (Lines{"170  0xAA", "172  0xAC", "5  0x05", "0  0x00", "255  0xFF",
                                "253  0xFD", "text " + std::string("QUIL\0N-1", 8), "text .0bC",
                                "170  0xAA"}));
    EXPECT_EQ(ui.m_nReceivedBytes, 19);
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
        const char* repeat;
        int kind, triggerMode;
        Lines left;
        bool keepsCounting;
    };
    const Case cases[] = {
        {"3", 2, 1, {"3", "2", "2", "1", "1", "3"}, false},
        {"3", 1, -1, {"3", "2", "2", "1", "1", "3"}, false},
        // A trigger run with its input set starts again at the next pulse.
        {"3", 1, 1, {"3", "2", "2", "1", "1", "3"}, true},
        {"Continuous", 2, 1, Lines(6, "Continuous"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.repeat + std::string(" kind ") + std::to_string(c.kind));
        ui.m_strRepeatNumber = ui.m_strLeftCycles = c.repeat;
        ui.m_nTriggerMode = c.triggerMode;
        g_nFreeRunKind = c.kind;
        g_nFreeRunStartState = 1;  // closed: each 0xAC completes a cycle
        Lines left;
        std::vector<int> shutter;
        for (const char* b : {"AA", "AC", "AA", "AC", "AA", "AC"}) {
            Feed(b);
            left.push_back(ui.m_strLeftCycles);
            shutter.push_back(ui.m_nShutterState);
        }
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(shutter, (std::vector<int>{0, 1, 0, 1, 0, 1}));
        EXPECT_EQ(g_nFreeRunKind, c.keepsCounting ? c.kind : 0);
    }
    EXPECT_EQ(ui.m_nReceivedBytes, 0);
    EXPECT_TRUE(host.list.empty());
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

// Apply has sent the shutter frame; the decoder sends the rest, each once the previous is answered.
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
        g_nTransferReceived = 0;
        g_nTransferExpected = 2;
    }
    const Lines kFrames = {"DE 90",       "FA A2", "FA B2", "FA 11 02 03 45 67", "FA 20 00 3B 99 99",
                           "FA F0 FF FF", "FA F3"};
};

TEST_F(Transfer, EachFrameGoesOutWhenThePreviousIsAnswered)
{
    struct Case {
        int mode;
        const char* repeat;
        const char* left;  // "Left Cycle Number" after the count went out, as the repeat text
        int run;
        Lines frames;
        std::vector<int> answers;  // bytes awaited before each frame
    };
    const Case cases[] = {
        {2, "Continuous", "Continuous", 2, kFrames, {2, 3, 3, 3, 7, 7, 5}},
        {2, "70000", "Continuous", 2, kFrames, {2, 3, 3, 3, 7, 7, 5}},
        // Fast's frame is one byte shorter, and so is its answer.
        {0, "300", "300", 1,
         {"DC", "FA A2", "FA B2", "FA 11 02 03 45 67", "FA 20 00 3B 99 99", "FA F0 01 2C", "FA F2"},
         {2, 2, 3, 3, 7, 7, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.repeat);
        ui.m_nShutterMode = c.mode;
        ui.m_strRepeatNumber = c.repeat;
        ui.m_strLeftCycles = "0";  // what a finished run left
        ui.m_nFreeRunOption = c.run;
        ui.m_nReceivedBytes = 0;
        host.written.clear();
        g_nFreeRunKind = 0;
        g_nTransferReceived = 0;
        g_nTransferExpected = 2;
        int total = 0;
        for (std::size_t step = 0; step < c.frames.size(); ++step) {
            for (int i = 1; i <= c.answers[step]; ++i) {
                const int pulls = host.pulls;
                Feed("0D");
                // The step pulls the panel again before it builds its frame.
                EXPECT_EQ(host.pulls - pulls, i == c.answers[step] ? 2 : 1);
                EXPECT_EQ(host.written.size(), step + (i == c.answers[step] ? 1 : 0));
            }
            total += c.answers[step];
        }
        EXPECT_EQ(host.written, c.frames);
        EXPECT_EQ(ui.m_strRepeatNumber, c.left);
        EXPECT_EQ(ui.m_strLeftCycles, c.left);
        EXPECT_EQ(g_nTransferReceived, -1);
        EXPECT_EQ(g_nTransferExpected, -1);
        EXPECT_EQ(g_nFreeRunKind, c.run);
        EXPECT_EQ(g_nFreeRunStartState, 1);
        EXPECT_EQ(ui.m_nReceivedBytes, total);
    }
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

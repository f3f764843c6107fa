// The protocol core without widgets: the frames, the operations every face calls, and the reply
// decoder they arm, against a host standing in for the panel.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "protocol/DecoderState.h"
#include "protocol/Operations.h"
#include "unit/protocol/MirrorHost.h"

namespace {

using Lines = std::vector<std::string>;
using Op = std::function<OpResult(DecoderHost&)>;

std::vector<uint8_t> Bytes(const std::string& hex)
{
    std::vector<uint8_t> out;
    std::istringstream in(hex);
    for (unsigned value = 0; in >> std::hex >> value;) out.push_back(static_cast<uint8_t>(value));
    return out;
}

// The panel's controls, and what the decoder and the operations show on them.
struct Host : MirrorHost {
    Lines list, written;
    std::map<Caption, std::string> captions;
    std::map<PulseBox, bool> boxes;
    int combo = -2;  // never selected
    std::vector<int> editorLoads;
    bool sent = true;

    void ListByte(uint8_t b) override
    {
        char line[16];
        std::snprintf(line, sizeof line, "%d  0x%.2X", b, b);
        list.push_back(line);
    }
    void ListText(const std::string& text) override { list.push_back("text " + text); }
    void SetCaption(Caption which, const std::string& text) override { captions[which] = text; }
    void SetPulseBox(PulseBox which, bool on) override { boxes[which] = on; }
    void SelectTimer(int index) override { combo = index; }
    void LoadEditor(int index) override { editorLoads.push_back(index); }
    void Write(const Frame& frame) override { written.push_back(frame.Hex()); }
    bool LastWriteSent() const override { return sent; }
};

// The decoder's armed states, which every operation and byte may change.
std::vector<int> Armed()
{
    return {g_nStatusIndex,      g_nInfoIndex,        g_nStatusAfterReset, g_nFreeRunKind,
            g_nFreeRunStartState, g_nTransferReceived, g_nTransferExpected};
}

// A ready link, a fresh decoder and fresh records.
struct Rig {
    Rig()
    {
        ResetDecoderState();
        ResetTimeRecords();
        host.ui.m_strUsbStatus = kUsbReady;
        host.Pull();
    }
    ~Rig()
    {
        ResetDecoderState();
        ResetTimeRecords();
    }
    // As a face runs an operation: the controls pulled first, pushed after.
    OpResult Do(const Op& op)
    {
        host.Pull();
        const OpResult result = op(host);
        host.Push();
        return result;
    }
    void Feed(const std::vector<uint8_t>& bytes) { decoder.Decode(bytes.data(), bytes.size()); }
    void Feed(const std::string& hex) { Feed(Bytes(hex)); }
    Lines Sent() { return std::exchange(host.written, {}); }
    // Everything a face could show, and the armed states.
    std::string Shown() const
    {
        std::ostringstream s;
        for (const Lines* lines : {&host.list, &host.written})
            for (const std::string& line : *lines) s << line << '|';
        for (const auto& [which, text] : host.captions) s << int(which) << text << '|';
        for (const auto& [which, on] : host.boxes) s << int(which) << on;
        for (int i : host.editorLoads) s << i << ',';
        const PanelState& p = host.ui;
        for (int v : {host.combo, p.m_nReceivedBytes, p.m_nNdSteps, p.m_nShutterState,
                      p.m_nShutterMode, p.m_nTriggerMode, p.m_nSyncPolarity, p.m_nTimerSelect,
                      p.m_nFreeRunOption})
            s << v << ' ';
        s << p.m_strRepeatNumber << '|' << p.m_strLeftCycles << '|';
        for (int v : Armed()) s << v << ' ';
        for (const TimeRecord& r : g_timeRecords)
            for (auto field : kTimeRecordFields) s << r.*field << ':';
        return s.str();
    }

    Host host;
    PanelState& ui = host.ui;
    ReplyDecoder decoder{host};
};

TimeRecord T(std::string h, std::string m, std::string s, std::string ms, std::string t)
{
    return TimeRecord{std::move(h), std::move(m), std::move(s), std::move(ms), std::move(t)};
}

TEST(Frames, EveryFrameIsByteExact)
{
    const std::pair<Frame, const char*> cases[] = {
        {ShutterFrame(0), "AA"},
        {ShutterFrame(-1), "AC"},  // nothing selected closes
        {ModeFrame(0, 144), "DC"},
        {ModeFrame(1, 144), "DD"},
        {ModeFrame(2, 144), "DE 90"},
        {ModeFrame(2, 300), "DE 2C"},  // low 8 bits
        {ModeFrame(-1, 144), ""},
        {ModeFrame(3, 144), ""},
        {TriggerFrame(-1), "FA A0"},
        {TriggerFrame(0), "FA A1"},
        {TriggerFrame(3), "FA A4"},
        {SyncFrame(-1), "FA B0"},
        {SyncFrame(0), "FA B1"},
        {SyncFrame(1), "FA B2"},
        {EncodeTimeFrame(TimeKind::Closed, T("1", "2", "3", "456", "7")), "FA 11 02 03 45 67"},
        {EncodeTimeFrame(TimeKind::Exposure, T("", "", "59", "999", "9")), "FA 20 00 3B 99 99"},
        {EncodeTimeFrame(TimeKind::Exposure, T("", "", "", "50", "")), "FA 20 00 00 05 00"},
        {EncodeTimeFrame(TimeKind::Closed, T("0", "07", "0", "0", "0")), "FA 10 07 00 00 00"},
        // Minutes and seconds are binary, not packed decimal.
        {EncodeTimeFrame(TimeKind::Closed, T("", "45", "30", "", "")), "FA 10 2D 1E 00 00"},
        // Hours a loaded file may hold stay in their nibble, so the frame stays a time frame.
        {EncodeTimeFrame(TimeKind::Closed, T("34", "", "", "", "")), "FA 1F 00 00 00 00"},
        {EncodeTimeFrame(TimeKind::Closed, T("-1", "170", "", "", "")), "FA 10 AA 00 00 00"},
        {RepeatCountFrame(300), "FA F0 01 2C"},
        {TransferRepeatCount("Continuous").frame, "FA F0 FF FF"},
        {TransferRepeatCount("continuous").frame, "FA F0 00 00"},  // only the exact text
        {TransferRepeatCount("65535").frame, "FA F0 FF FF"},  // no Send to Controller limit
        {TransferRepeatCount("65001").frame, "FA F0 FD E9"},
        // Beyond 16 bits: continuous, as Send to Controller reads it, never the low bits.
        {TransferRepeatCount(" 70000x").frame, "FA F0 FF FF"},
        {FreeRunFrame(0), "FA F1"},
        {FreeRunFrame(2), "FA F3"},
        {FreeRunFrame(-1), ""},
        {FreeRunFrame(3), ""},
    };
    for (const auto& [frame, bytes] : cases) EXPECT_EQ(frame.Hex(), bytes);
    const std::pair<const char*, const char*> steps[] = {
        {"144", nullptr}, {"abc", nullptr}, {"145", "Steps must be less than 145."},
        {"-1", "Steps must be between 0 and 144."}, {"", "No steps."}};
    for (const auto& [text, refusal] : steps)
        EXPECT_STREQ(NdStepsRefusal(text), refusal) << text;
}

// Sent, an operation writes its frame and arms what awaits the answer; unsent, it arms nothing;
// with the link not ready it sends and changes nothing.
TEST(Operations, EachWritesItsFrameAndArmsOnlyWhenSent)
{
    const struct {
        const char* what;
        Op op;
        const char* frame;
        int* armed;
        int value;
    } ops[] = {
        {"online", [](DecoderHost& h) { return SendPlain(h, SingleByteFrame(cmd::kOnline)); },
         "EE", nullptr, 0},
        {"status", RequestStatus, "CC", &g_nStatusIndex, 0},
        {"reset", ResetController, "FB", &g_nStatusAfterReset, 1},
        {"restore", RestoreDefaults, "FA C0", &g_nStatusAfterReset, 2},
        {"open", [](DecoderHost& h) { return SetShutterState(h, 0); }, "AA", nullptr, 0},
        {"soft", [](DecoderHost& h) { return SetPlainMode(h, 1); }, "DD", nullptr, 0},
        {"nd", [](DecoderHost& h) { return SetNdMode(h, 300); }, "DE 2C", nullptr, 0},
        {"rising", [](DecoderHost& h) { return ChooseSignal(h, Signal::Trigger, 2); }, "FA A3",
         nullptr, 0},
        {"high", [](DecoderHost& h) { return ChooseSignal(h, Signal::Sync, 0); }, "FA B1",
         nullptr, 0},
        {"timer", UploadTimer, "FA 20 07 3B 00 70", nullptr, 0},
        {"repeat", SendRepeat, "FA F0 00 03", nullptr, 0},
        {"apply", StartTransfer, "AC", &g_nTransferExpected, 2},
        {"trigger run", [](DecoderHost& h) { return StartFreeRun(h, 1); }, "FA F2",
         &g_nFreeRunKind, 1},
        {"go", [](DecoderHost& h) { return StartFreeRun(h, 2); }, "FA F3", &g_nFreeRunKind, 2},
        {"power-up run", [](DecoderHost& h) { return StartFreeRun(h, 0); }, "FA F1", nullptr, 0},
    };
    for (const auto& o : ops) {
        for (const OpResult::Kind kind : {OpResult::Sent, OpResult::Unsent, OpResult::NotReady}) {
            SCOPED_TRACE(std::string(o.what) + " " + std::to_string(kind));
            Rig r;
            r.ui.m_nShutterState = 1;
            r.ui.m_nTimerSelect = 1;
            r.ui.m_strHours = "0", r.ui.m_strMinutes = "07", r.ui.m_strSeconds = "59";
            r.ui.m_strMs = "7", r.ui.m_strTenthMs = "0";
            r.ui.m_strRepeatNumber = "3";
            r.host.sent = kind != OpResult::Unsent;
            if (kind == OpResult::NotReady)
                r.ui.m_strUsbStatus = "-reset-";
            const std::vector<int> before = Armed();
            EXPECT_EQ(r.Do(o.op).kind, kind);
            EXPECT_EQ(r.Sent(), kind == OpResult::NotReady ? Lines{} : Lines{o.frame});
            if (o.armed && kind == OpResult::Sent)
                EXPECT_EQ(*o.armed, o.value);
            else
                EXPECT_EQ(Armed(), before);
        }
    }
}

TEST(Operations, RefusedValuesSendNothing)
{
    Rig r;
    r.ui.m_strRepeatNumber = "-12";  // only its low bytes would go out
    for (const Op& op : {Op(SendRepeat), Op(StartTransfer)}) {
        const OpResult result = r.Do(op);
        EXPECT_EQ(result.kind, OpResult::Refused);
        EXPECT_STREQ(result.refusal, "Repeat number must not be negative!");
    }
    EXPECT_EQ(r.ui.m_strLeftCycles, "");
    r.ui.m_strRepeatNumber = "";
    for (int option : {1, 2}) {
        const OpResult result = r.Do([option](DecoderHost& h) { return StartFreeRun(h, option); });
        EXPECT_EQ(result.kind, OpResult::Refused);
        EXPECT_STREQ(result.refusal, kNeedRepeatNumber);
    }
    EXPECT_EQ(r.Sent(), Lines{});
    EXPECT_EQ(g_nFreeRunKind, 0);
    r.ui.m_strRepeatNumber = "  ";  // only an empty text is missing
    EXPECT_TRUE(r.Do([](DecoderHost& h) { return StartFreeRun(h, 2); }).Ok());
}

TEST(Operations, SendToControllerTurnsLargeCountsIntoContinuous)
{
    Rig r;
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"300", "FA F0 01 2C", "300"},
        {"65000", "FA F0 FD E8", "65000"},
        {"65001", "FA F0 FF FF", "Continuous"},
        {"Continuous", "FA F0 00 00", "Continuous"},  // pressed again: it reads as 0
        {"", "FA F0 00 00", ""},
        {"12 cycles", "FA F0 00 0C", "12 cycles"},
    };
    for (const auto& [typed, frame, shown] : cases) {
        r.ui.m_strRepeatNumber = typed;
        r.ui.m_strLeftCycles = "1";
        EXPECT_TRUE(r.Do(SendRepeat).Ok());
        EXPECT_EQ(r.Sent(), Lines{frame});
        EXPECT_EQ(r.ui.m_strRepeatNumber, shown);
        EXPECT_EQ(r.ui.m_strLeftCycles, shown);
    }
}

TEST(Operations, SignalBoxesSwitchOnWithTheirDefaultEvenBeforeTheLinkIsReady)
{
    Rig r;
    const auto toggle = [](Signal s) { return [s](DecoderHost& h) { return ToggleSignal(h, s); }; };
    const auto choose = [](Signal s, int v) {
        return [s, v](DecoderHost& h) { return ChooseSignal(h, s, v); };
    };
    const struct {
        bool ready;
        Op op;
        Lines frames;
        int trigger, sync;
        bool triggerBox, syncBox;
    } steps[] = {
        {true, toggle(Signal::Sync), {"FA B2"}, -1, 1, false, true},
        {true, choose(Signal::Trigger, 3), {"FA A4"}, 3, 1, true, true},
        {true, toggle(Signal::Sync), {"FA B0"}, 3, -1, true, false},
        {true, choose(Signal::Sync, -1), {"FA B0"}, 3, -1, true, false},
        {false, toggle(Signal::Trigger), {}, -1, -1, false, false},  // switching off waits
        {false, toggle(Signal::Trigger), {"FA A1"}, 0, -1, true, false},
        {false, choose(Signal::Sync, 0), {}, 0, -1, true, false},
    };
    for (const auto& s : steps) {
        r.ui.m_strUsbStatus = s.ready ? kUsbReady : "";
        r.Do(s.op);
        EXPECT_EQ(r.Sent(), s.frames);
        EXPECT_EQ(r.ui.m_nTriggerMode, s.trigger);
        EXPECT_EQ(r.ui.m_nSyncPolarity, s.sync);
        EXPECT_EQ(r.host.boxes[PulseBox::Trigger], s.triggerBox);
        EXPECT_EQ(r.host.boxes[PulseBox::Sync], s.syncBox);
    }
}

TEST(Operations, ModesShowTheirTransitionTimesAndTheCycleTime)
{
    Rig r;
    const std::tuple<Op, const char*, const char*, const char*> cases[] = {
        {[](DecoderHost& h) { return SetNdMode(h, 144); }, "Neutral Density - 144", "38.00 ms",
         "00:00:00:076:0"},
        {[](DecoderHost& h) { return SetPlainMode(h, 0); }, "Neutral Density", "12 ms",
         "00:00:00:024:0"},
        {[](DecoderHost& h) { return SetNdMode(h, 1); }, "Neutral Density - 1", "0.26 ms",
         "00:00:00:000:6"},
        {[](DecoderHost& h) { return SetPlainMode(h, 1); }, "Neutral Density", "70 ms",
         "00:00:00:140:0"},
        {[](DecoderHost& h) { return SetNdMode(h, 50); }, "Neutral Density - 50", "13.19 ms",
         "00:00:00:026:4"},
    };
    for (const auto& [op, nd, transition, cycle] : cases) {
        r.Do(op);
        EXPECT_EQ(r.host.captions[Caption::NdRadio], nd);
        EXPECT_EQ(r.host.captions[Caption::TransitionTimes], transition);
        EXPECT_EQ(r.host.captions[Caption::CycleDisplay], std::string("Cycle Time - ") + cycle);
    }
    EXPECT_EQ(r.host.panel.m_nNdSteps, 50);
}

TEST(Operations, SetTimerStoresTheEditorAsTheSelectedRecordAndShowsOnlyThat)
{
    Rig r;
    r.ui.m_strHours = "1";
    EXPECT_EQ(r.Do(UploadTimer).kind, OpResult::NotReady);  // no record selected
    r.ui.m_nTimerSelect = 0;
    EXPECT_TRUE(r.Do(UploadTimer).Ok());
    EXPECT_EQ(r.Sent(), Lines{"FA 11 00 00 00 00"});
    EXPECT_EQ(g_closedTime, T("1", "", "", "", ""));
    EXPECT_EQ(r.host.captions.count(Caption::ExposureDisplay), 0u);
    r.ui.m_nTimerSelect = 1;
    r.ui.m_strHours = "", r.ui.m_strMs = "999", r.ui.m_strTenthMs = "9";
    r.host.captions.clear();
    EXPECT_TRUE(r.Do(UploadTimer).Ok());
    EXPECT_EQ(r.Sent(), Lines{"FA 20 00 00 99 99"});
    EXPECT_EQ(r.host.captions, (std::map<Caption, std::string>{
                                   {Caption::ExposureDisplay, "00:00:00:999:9"},
                                   {Caption::CycleDisplay, "Cycle Time - 01:00:01:023:9"}}));
}

// Every time the editor accepts goes out and comes back from a status reply unchanged.
TEST(Operations, EveryAcceptedTimeComesBackFromAStatusReply)
{
    std::mt19937 random(7);
    const auto pick = [&random](int below) { return std::to_string(random() % below); };
    std::vector<TimeRecord> times = {T("0", "0", "0", "0", "0"), T("4", "59", "59", "999", "9"),
                                     T("5", "0", "0", "0", "0")};
    for (int i = 0; i < 300; ++i)
        times.push_back(T(pick(5), pick(60), pick(60), pick(1000), pick(10)));
    for (const TimeRecord& time : times) {
        for (int timer : {0, 1}) {
            SCOPED_TRACE(ComposeTime({time.hours, time.minutes, time.seconds, time.milliseconds,
                                      time.tenthMs}) + " timer " + std::to_string(timer));
            ASSERT_FALSE(CheckTimeRecord(time));
            Rig r;
            r.ui.m_nTimerSelect = timer;
            r.ui.m_strHours = time.hours, r.ui.m_strMinutes = time.minutes;
            r.ui.m_strSeconds = time.seconds, r.ui.m_strMs = time.milliseconds;
            r.ui.m_strTenthMs = time.tenthMs;
            ASSERT_TRUE(r.Do(UploadTimer).Ok());
            const std::string group = r.Sent().at(0).substr(3);
            ResetTimeRecords();
            r.Do(RequestStatus);
            r.Feed("CC AA DC 00 A0 B0 " + (timer == 0 ? group : "10 00 00 00 00") + " " +
                   (timer == 1 ? group : "20 00 00 00 00") + " F0 00 00 0D");
            EXPECT_EQ(g_timeRecords[std::size_t(timer)], time);
        }
    }
}

constexpr const char* kFastReply = "CC AA DC 00 A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05 0D";
constexpr const char* kNdReply = "CC AA DE 90 00 A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05";

TEST(ReplyDecoder, StatusReplyLayouts)
{
    const struct {
        const char* name;
        const char* reply;
        std::vector<int> fields;  // shutter, mode, steps, trigger, sync, timer, free run
        const char* repeat;
        bool triggerBox, syncBox;
        Lines captions;  // ND radio, transition, closed, exposure, cycle
    } cases[] = {
        {"Fast", kFastReply, {0, 0, 0, 1, 0, 1, 2}, "5", true, true,
         {"Neutral Density", "12 ms", "00 : 00 : 01 : 500 : 0", "00 : 00 : 02 : 123 : 4",
          "Cycle Time - 00:00:03:647:4"}},
        {"NeutralDensity", kNdReply, {0, 2, 144, 1, 0, 1, 2}, "5", true, true,
         {"Neutral Density - 144", "38.00 ms", "00 : 00 : 01 : 500 : 0",
          "00 : 00 : 02 : 123 : 4", "Cycle Time - 00:00:03:699:4"}},
        // 0xFD inside a reply starts no identity reply; exposure hours 0 keep the selection.
        {"FdAndNoExposureHours", "CC AC DF FD A4 B2 10 00 01 50 00 00 00 02 12 34 F1 01 2C FD",
         {1, -1, 0, 3, 1, 0, 0}, "300", true, true,
         {"Neutral Density", "12 ms", "00 : 00 : 01 : 500 : 0", "00 : 00 : 02 : 123 : 4",
          "Cycle Time - 00:00:03:647:4"}},
        // Both hours bytes 0: no timer entry, the editor takes the closed time.
        {"SoftNoHours", "CC AC DD 00 A0 B0 00 02 03 45 67 00 00 04 00 10 F0 FF FF 00",
         {1, 1, 0, -1, -1, -1, -1}, "65535", false, false,
         {"Neutral Density", "70 ms", "00 : 02 : 03 : 456 : 7", "00 : 00 : 04 : 001 : 0",
          "Cycle Time - 00:02:07:597:7"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.Do(RequestStatus);
        r.Feed(c.reply);
        const PanelState& ui = r.ui;
        EXPECT_EQ(Armed(), (std::vector<int>{-1, -1, 0, 0, -1, -1, -1}));
        EXPECT_EQ((std::vector<int>{ui.m_nShutterState, ui.m_nShutterMode, ui.m_nNdSteps,
                                    ui.m_nTriggerMode, ui.m_nSyncPolarity, ui.m_nTimerSelect,
                                    ui.m_nFreeRunOption}),
                  c.fields);
        EXPECT_EQ(r.host.combo, c.fields[5] == -1 ? -2 : c.fields[5]);
        EXPECT_EQ(r.host.editorLoads, std::vector<int>{c.fields[5]});
        EXPECT_EQ(ui.m_strRepeatNumber, c.repeat);
        EXPECT_EQ(ui.m_strLeftCycles, c.repeat);
        auto& shown = r.host.captions;
        EXPECT_EQ((Lines{shown[Caption::NdRadio], shown[Caption::TransitionTimes],
                         shown[Caption::ClosedDisplay], shown[Caption::ExposureDisplay],
                         shown[Caption::CycleDisplay]}),
                  c.captions);
        EXPECT_EQ(r.host.boxes, (std::map<PulseBox, bool>{{PulseBox::Trigger, c.triggerBox},
                                                          {PulseBox::Sync, c.syncBox}}));
        EXPECT_EQ(ui.m_nReceivedBytes, 20);
        EXPECT_EQ(r.host.list.size(), 20u);
        EXPECT_EQ(r.host.list[0], "204  0xCC");
        EXPECT_EQ(r.Sent(), Lines{"CC"});
    }
}

// Each byte goes to the first armed state: free-run counting, identity, status reply,
// configuration transfer, owed status request, plain.
TEST(ReplyDecoder, EachByteGoesToTheFirstArmedState)
{
    Rig r;
    r.ui.m_strRepeatNumber = "1";
    r.Do(StartTransfer);
    r.Do(ResetController);
    r.Do(RequestStatus);
    r.Do([](DecoderHost& h) { return StartFreeRun(h, 2); });
    g_nInfoIndex = 0;
    r.Sent();
    r.Feed("0D");  // ends the counting; neither counted nor listed
    EXPECT_EQ(r.host.list, Lines{});
    r.Feed("0D 0D 0D 0D 0D 0D 0D 0D 0D 0D 0D 0D");  // identity: two text lines
    EXPECT_EQ(r.host.list.size(), 2u);
    r.Feed(kFastReply);  // its last byte is 0x0D, but belongs to the reply
    EXPECT_EQ(Armed(), (std::vector<int>{-1, -1, 1, 0, -1, 0, 2}));
    r.Feed("0D");
    EXPECT_EQ(g_nTransferReceived, 1);
    EXPECT_EQ(r.Sent(), Lines{});
    g_nTransferReceived = -1;
    r.Feed("05 AA 0D");  // only a ready marker pays the owed request
    EXPECT_EQ(r.Sent(), Lines{"CC"});
    EXPECT_EQ(g_nStatusAfterReset, 0);
    EXPECT_EQ(g_nStatusIndex, 0);
    EXPECT_EQ(r.ui.m_nShutterState, 0);
    EXPECT_EQ(r.ui.m_nReceivedBytes, 36);
    EXPECT_EQ(r.host.list.size(), 26u);
}

TEST(ReplyDecoder, TheEchoOfControllerInfoArmsATwoLineIdentity)
{
    Rig r;
    r.Feed("AC 05 FF FD 51 55 49 4C 00 4E 2D 31 2E 30 62 43 AA");
    EXPECT_EQ(r.host.list, (Lines{"172  0xAC", "5  0x05", "255  0xFF", "253  0xFD",
                                  "text " + std::string("QUIL\0N-1", 8), "text .0bC",
                                  "170  0xAA"}));
    EXPECT_EQ(r.ui.m_nReceivedBytes, 17);
    EXPECT_EQ(r.ui.m_nShutterState, 0);
}

TEST(ReplyDecoder, FreeRunCountsCompletedCyclesUntilTheReadyMarker)
{
    const struct {
        const char *repeat, *left0;
        int option, triggerMode;
        const char* reports;
        Lines left;
        bool counting;
    } cases[] = {
        {"3", "3", 2, 1, "AA AC AA AC AA AC", {"3", "2", "2", "1", "1", "3"}, false},
        {"3", "3", 1, -1, "AA AC AA AC AA AC", {"3", "2", "2", "1", "1", "3"}, false},
        // A trigger run with its input set starts again at the next pulse.
        {"3", "3", 1, 1, "AA AC AA AC AA AC", {"3", "2", "2", "1", "1", "3"}, true},
        {"Continuous", "Continuous", 2, 1, "AA AC AA", Lines(3, "Continuous"), true},
        // Left cleared by hand: counts on below zero; the ready marker ends the run.
        {"3", "", 2, 1, "AA AC AA AC 0D", {"", "-1", "-1", "-2", "3"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.repeat) + " " + c.reports);
        Rig r;
        r.ui.m_strRepeatNumber = c.repeat;
        r.ui.m_strLeftCycles = c.left0;
        r.ui.m_nTriggerMode = c.triggerMode;
        r.ui.m_nShutterState = 1;  // each 0xAC completes a cycle
        r.Do([&c](DecoderHost& h) { return StartFreeRun(h, c.option); });
        Lines left;
        for (uint8_t b : Bytes(c.reports)) {
            r.Feed(std::vector<uint8_t>{b});
            left.push_back(r.ui.m_strLeftCycles);
        }
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(g_nFreeRunKind, c.counting ? c.option : 0);
        EXPECT_EQ(r.host.list, Lines{});
    }
}

// Apply has sent the shutter frame; the decoder sends the rest, each once the previous one is
// answered with one byte more than its length.
TEST(ReplyDecoder, TransferSendsEachFrameWhenThePreviousIsAnswered)
{
    const Lines kNd = {"DE 90",       "FA A2", "FA B2", "FA 11 02 03 45 67", "FA 20 00 3B 99 99",
                       "FA F0 FF FF", "FA F3"};
    const struct {
        int mode;
        const char* repeat;
        const char* left;
        int run;
        Lines frames;
        std::vector<int> answers;  // bytes awaited before each frame
    } cases[] = {
        {2, "Continuous", "Continuous", 2, kNd, {2, 3, 3, 3, 7, 7, 5}},
        {2, "70000", "Continuous", 2, kNd, {2, 3, 3, 3, 7, 7, 5}},
        {0, "300", "300", 1,
         {"DC", "FA A2", "FA B2", "FA 11 02 03 45 67", "FA 20 00 3B 99 99", "FA F0 01 2C", "FA F2"},
         {2, 2, 3, 3, 7, 7, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.repeat);
        Rig r;
        r.ui.m_nShutterState = 1;
        r.ui.m_nShutterMode = c.mode;
        r.host.panel.m_nNdSteps = 144;
        r.ui.m_nTriggerMode = 0;
        r.ui.m_nSyncPolarity = 1;
        r.ui.m_strRepeatNumber = c.repeat;
        r.ui.m_strLeftCycles = "0";  // what a finished run left
        r.ui.m_nFreeRunOption = c.run;
        g_closedTime = T("1", "2", "3", "456", "7");
        g_exposureTime = T("", "", "59", "999", "9");
        EXPECT_TRUE(r.Do(StartTransfer).Ok());
        EXPECT_EQ(r.Sent(), Lines{"AC"});
        r.ui.m_nTriggerMode = 1;  // changed meanwhile: each step sends what is shown then
        Lines frames;
        for (std::size_t step = 0; step < c.frames.size(); ++step) {
            for (int i = 1; i <= c.answers[step]; ++i) {
                r.Feed("0D");
                const Lines sent = r.Sent();
                EXPECT_EQ(sent.size(), i == c.answers[step] ? 1u : 0u) << step;
                frames.insert(frames.end(), sent.begin(), sent.end());
            }
        }
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(r.ui.m_strRepeatNumber, c.left);
        EXPECT_EQ(r.ui.m_strLeftCycles, c.left);
        EXPECT_EQ(Armed(), (std::vector<int>{-1, -1, 0, c.run, 1, -1, -1}));
        EXPECT_EQ(r.ui.m_nReceivedBytes, 30 - (c.mode == 0));
    }
}

TEST(ReplyDecoder, TransferStallsWithoutAModeAndEndsWithoutARunOrAnUnsentFrame)
{
    Rig r;
    r.ui.m_strRepeatNumber = "1";
    r.Do(StartTransfer);
    r.Feed("0D 0D 0D FD AA 0D");  // no mode: nothing more, until the next Apply
    EXPECT_EQ(r.Sent(), Lines{"AC"});
    EXPECT_EQ(Armed(), (std::vector<int>{-1, -1, 0, 0, -1, 6, 2}));
    r.ui.m_nShutterMode = 0;
    r.Do(StartTransfer);
    // All answers in one tick: the steps' pulls must not lose the byte count.
    r.Feed(std::vector<uint8_t>(29, 0x0D));
    EXPECT_EQ(r.Sent(), (Lines{"AC", "DC", "FA A0", "FA B0", "FA 10 00 00 00 00",
                               "FA 20 00 00 00 00", "FA F0 00 01"}));
    EXPECT_EQ(Armed(), (std::vector<int>{-1, -1, 0, 0, -1, -1, -1}));  // no run to count
    EXPECT_EQ(r.ui.m_nReceivedBytes, 35);
    // A frame that did not go out gets no answer: later bytes are plain again.
    r.Do(StartTransfer);
    r.host.sent = false;
    r.Feed("0D 0D 0D 0D AA");
    EXPECT_EQ(r.Sent(), (Lines{"AC", "DC"}));
    EXPECT_EQ(g_nTransferReceived, -1);
    EXPECT_EQ(r.ui.m_nShutterState, 0);
    EXPECT_EQ(r.host.list.back(), "170  0xAA");
}

// Every byte stream decodes the same whole as split into two ticks anywhere.
TEST(ReplyDecoder, EveryStreamDecodesTheSameWholeOrSplit)
{
    const std::pair<Op, std::vector<uint8_t>> streams[] = {
        {RequestStatus, Bytes(kFastReply)},
        {RequestStatus, Bytes(kNdReply)},
        {ResetController, Bytes(std::string("AA 0D ") + kFastReply + " 0D")},
        {[](DecoderHost& h) { return SendPlain(h, SingleByteFrame(cmd::kControllerInfo)); },
         Bytes("FD 51 55 49 4C 30 4E 2D 31 2E 30 62 43 AC FD 00")},
        {[](DecoderHost& h) { return StartFreeRun(h, 2); }, Bytes("AA AC AA AC AA AC 0D 0D")},
        {[](DecoderHost& h) {
             h.Panel().m_nShutterMode = 2;
             return StartTransfer(h);
         },
         std::vector<uint8_t>(31, 0x0D)},
    };
    for (const auto& [arm, bytes] : streams) {
        std::string whole;
        for (std::size_t split = 0; split <= bytes.size(); ++split) {
            SCOPED_TRACE(std::to_string(bytes.size()) + " bytes split at " + std::to_string(split));
            Rig r;
            r.ui.m_strRepeatNumber = "2";
            r.ui.m_nFreeRunOption = 1;
            r.ui.m_nShutterState = 1;
            r.Do(arm);
            r.Feed(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(split)));
            r.Feed(std::vector<uint8_t>(bytes.begin() + std::ptrdiff_t(split), bytes.end()));
            if (split == 0)
                whole = r.Shown();
            EXPECT_EQ(r.Shown(), whole);
        }
    }
}

}  // namespace

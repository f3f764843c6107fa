// The protocol core without widgets: the frames, the operations every face calls, and the reply
// decoder they arm, against a host standing in for the panel.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "config/ConfigFile.h"
#include "protocol/DecoderState.h"
#include "protocol/Operations.h"
#include "unit/Rows.h"
#include "unit/protocol/MirrorHost.h"

namespace {

using Lines = std::vector<std::string>;
using Op = std::function<OpResult(DecoderHost&)>;

// The panel's controls, and what the decoder and the operations show on them.
struct Host : MirrorHost {
    Lines list, written;
    std::map<Caption, std::string> captions;
    std::map<PulseBox, bool> boxes;
    std::vector<int> selected, editorLoads;
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
    void SelectTimer(int index) override { selected.push_back(index); }
    void LoadEditor(int index) override { editorLoads.push_back(index); }
    void Write(const Frame& frame) override { written.push_back(frame.Hex()); }
    bool LastWriteSent() const override { return sent; }
};

// The decoder's armed states, which the operations and the received bytes change.
std::vector<int> Armed()
{
    return {g_nStatusIndex,       g_nInfoIndex,        g_nStatusAfterReset, g_nFreeRunKind,
            g_nFreeRunStartState, g_nTransferReceived, g_nTransferExpected};
}

// A ready link, a fresh decoder and fresh time records.
struct Rig {
    Rig() { ResetDecoderState(), ResetTimeRecords(), ui.m_strUsbStatus = kUsbReady; }
    ~Rig() { ResetDecoderState(), ResetTimeRecords(); }
    // As a face runs an operation: the controls pulled first, pushed after.
    OpResult Do(const Op& op)
    {
        host.Pull();
        const OpResult result = op(host);
        host.Push();
        return result;
    }
    void Feed(const std::vector<uint8_t>& bytes) { decoder.Decode(bytes.data(), bytes.size()); }
    void Feed(const std::string& hex) { Feed(Hex(hex)); }
    Lines Sent() { return std::exchange(host.written, {}); }
    // Everything a face could show, and the armed states.
    auto Shown() const
    {
        return std::tuple(host.list, host.written, host.captions, host.boxes, host.selected,
                          host.editorLoads, ConfigFromPanel(ui, g_closedTime, g_exposureTime),
                          ui.m_nNdSteps, ui.m_strLeftCycles, ui.m_nReceivedBytes, Armed());
    }

    Host host;
    PanelState& ui = host.ui;
    ReplyDecoder decoder{host};
};

TimeRecord T(std::string h, std::string m, std::string s, std::string ms, std::string t)
{
    return TimeRecord{std::move(h), std::move(m), std::move(s), std::move(ms), std::move(t)};
}

Op Plain(uint8_t code)
{
    return [code](DecoderHost& h) { return SendPlain(h, SingleByteFrame(code)); };
}

template <typename F, typename... Args>
Op Bind(F f, Args... args)
{
    return [=](DecoderHost& h) { return f(h, args...); };
}

TEST(Frames, EveryFrameIsByteExact)
{
    // clang-format off
    const std::pair<Frame, const char*> cases[] = {
        {ShutterFrame(0), "AA"}, {ShutterFrame(-1), "AC"}, {ModeFrame(0, 144), "DC"},
        {ModeFrame(1, 144), "DD"}, {ModeFrame(2, 144), "DE 90"}, {ModeFrame(2, 300), "DE 2C"},
        {ModeFrame(-1, 144), ""}, {ModeFrame(3, 144), ""}, {TriggerFrame(-1), "FA A0"},
        {TriggerFrame(0), "FA A1"}, {TriggerFrame(3), "FA A4"}, {SyncFrame(-1), "FA B0"},
        {SyncFrame(0), "FA B1"}, {SyncFrame(1), "FA B2"},
        {EncodeTimeFrame(TimeKind::Closed, T("1", "2", "3", "456", "7")), "FA 11 02 03 45 67"},
        {EncodeTimeFrame(TimeKind::Exposure, T("", "", "59", "999", "9")), "FA 20 00 3B 99 99"},
        {EncodeTimeFrame(TimeKind::Exposure, T("", "", "", "50", "")), "FA 20 00 00 05 00"},
        // Minutes and seconds are binary, not packed decimal.
        {EncodeTimeFrame(TimeKind::Closed, T("0", "45", "30", "0", "0")), "FA 10 2D 1E 00 00"},
        // Hours a loaded file may hold stay in their nibble, so the frame stays a time frame.
        {EncodeTimeFrame(TimeKind::Closed, T("34", "", "", "", "")), "FA 1F 00 00 00 00"},
        {EncodeTimeFrame(TimeKind::Closed, T("-1", "170", "", "", "")), "FA 10 AA 00 00 00"},
        {RepeatCountFrame(300), "FA F0 01 2C"}, {TransferRepeatCount("65001").frame, "FA F0 FD E9"},
        // Only the exact text is continuous, and so is a count beyond 16 bits, never its low bits.
        {TransferRepeatCount("Continuous").frame, "FA F0 FF FF"},
        {TransferRepeatCount("continuous").frame, "FA F0 00 00"},
        {TransferRepeatCount(" 70000x").frame, "FA F0 FF FF"},
        {FreeRunFrame(0), "FA F1"}, {FreeRunFrame(2), "FA F3"}, {FreeRunFrame(3), ""},
        // Send to Controller: above 65000 continuous; "Continuous" itself reads as 0.
        {SendRepeatCount("65000").frame, "FA F0 FD E8"}, {SendRepeatCount("65001").frame, "FA F0 FF FF"},
        {SendRepeatCount("Continuous").frame, "FA F0 00 00"}, {SendRepeatCount("12 x").frame, "FA F0 00 0C"}};
    // clang-format on
    for (const auto& [frame, bytes] : cases) EXPECT_EQ(frame.Hex(), bytes);
}

// Sent, an operation writes its frame and arms what awaits the answer; unsent, it arms nothing;
// with the link not ready it sends nothing.
TEST(Operations, EachWritesItsFrameAndArmsOnlyWhenSent)
{
    // clang-format off
    const std::tuple<Op, const char*, int*, int> ops[] = {
        {Plain(cmd::kOnline), "EE", nullptr, 0}, {RequestStatus, "CC", &g_nStatusIndex, 0},
        {ResetController, "FB", &g_nStatusAfterReset, 1},
        {RestoreDefaults, "FA C0", &g_nStatusAfterReset, 2},
        {Bind(SetShutterState, 0), "AA", nullptr, 0}, {Bind(SetPlainMode, 1), "DD", nullptr, 0},
        {Bind(SetNdMode, 300), "DE 2C", nullptr, 0},
        {Bind(ChooseSignal, Signal::Trigger, 2), "FA A3", nullptr, 0},
        {Bind(ChooseSignal, Signal::Sync, 0), "FA B1", nullptr, 0},
        {UploadTimer, "FA 20 07 3B 00 70", nullptr, 0}, {SendRepeat, "FA F0 00 03", nullptr, 0},
        {StartTransfer, "AC", &g_nTransferExpected, 2},
        {Bind(StartFreeRun, 1), "FA F2", &g_nFreeRunKind, 1},
        {Bind(StartFreeRun, 2), "FA F3", &g_nFreeRunKind, 2},
        {Bind(StartFreeRun, 0), "FA F1", nullptr, 0}};
    // clang-format on
    for (const auto& [op, frame, armed, value] : ops) {
        for (const OpResult::Kind kind : {OpResult::Sent, OpResult::Unsent, OpResult::NotReady}) {
            SCOPED_TRACE(std::string(frame) + " " + std::to_string(kind));
            Rig r;
            r.ui.m_nShutterState = 1, r.ui.m_nTimerSelect = 1, r.ui.m_strRepeatNumber = "3";
            r.ui.m_strMinutes = "07", r.ui.m_strSeconds = "59", r.ui.m_strMs = "7";
            r.host.sent = kind != OpResult::Unsent;
            if (kind == OpResult::NotReady)
                r.ui.m_strUsbStatus = "-reset-";
            const std::vector<int> before = Armed();
            EXPECT_EQ(r.Do(op).kind, kind);
            EXPECT_EQ(r.Sent(), kind == OpResult::NotReady ? Lines{} : Lines{frame});
            if (armed && kind == OpResult::Sent)
                EXPECT_EQ(*armed, value);
            else
                EXPECT_EQ(Armed(), before);
        }
    }
}

// Every time the editor accepts goes out and comes back from a status reply unchanged.
TEST(Operations, EveryAcceptedTimeComesBackFromAStatusReply)
{
    std::mt19937 random(7);
    const auto pick = [&random](int below) { return std::to_string(random() % below); };
    std::vector<TimeRecord> times = {T("4", "59", "59", "999", "9"), T("5", "0", "0", "0", "0")};
    for (int i = 0; i < 300; ++i)
        times.push_back(T(pick(5), pick(60), pick(60), pick(1000), pick(10)));
    for (const TimeRecord& time : times) {
        for (int timer : {0, 1}) {
            ASSERT_FALSE(CheckTimeRecord(time));
            Rig r;
            r.ui.m_nTimerSelect = timer, r.ui.m_strHours = time.hours;
            r.ui.m_strMinutes = time.minutes, r.ui.m_strSeconds = time.seconds;
            r.ui.m_strMs = time.milliseconds, r.ui.m_strTenthMs = time.tenthMs;
            ASSERT_TRUE(r.Do(UploadTimer).Ok());
            const std::string group = r.Sent().at(0).substr(3);
            SCOPED_TRACE(group);
            ResetTimeRecords();
            r.Do(RequestStatus);
            r.Feed("CC AA DC 00 A0 B0 " + (timer == 0 ? group : "10 00 00 00 00") + " " +
                   (timer == 1 ? group : "20 00 00 00 00") + " F0 00 00 0D");
            EXPECT_EQ(g_timeRecords[std::size_t(timer)], time);
        }
    }
}

constexpr const char* kFastReply = "CC AA DC 00 A2 B1 10 00 01 50 00 20 00 02 12 34 F3 00 05 0D";

TEST(ReplyDecoder, StatusReplyLayouts)
{
    for (const Row& row : Rows("status-replies.txt")) {
        SCOPED_TRACE(row[0]);
        Rig r;
        r.Do(RequestStatus);
        r.Feed(row[0]);
        const PanelState& ui = r.ui;
        EXPECT_EQ(Armed(), (std::vector<int>{-1, -1, 0, 0, -1, -1, -1}));
        std::ostringstream fields;
        for (int v : {ui.m_nShutterState, ui.m_nShutterMode, ui.m_nNdSteps, ui.m_nTriggerMode,
                      ui.m_nSyncPolarity, ui.m_nTimerSelect, ui.m_nFreeRunOption,
                      int(r.host.boxes[PulseBox::Trigger]), int(r.host.boxes[PulseBox::Sync])})
            fields << (fields.tellp() ? " " : "") << v;
        EXPECT_EQ(fields.str(), row[1]);
        const int timer = ui.m_nTimerSelect;
        EXPECT_EQ(r.host.selected, timer == -1 ? std::vector<int>{} : std::vector{timer});
        EXPECT_EQ(r.host.editorLoads, std::vector<int>{timer});
        EXPECT_EQ(ui.m_strRepeatNumber + " " + ui.m_strLeftCycles, row[2] + " " + row[2]);
        std::string shown;
        for (auto& [which, text] : r.host.captions) shown += (shown.empty() ? "" : "|") + text;
        EXPECT_EQ(shown, row[3]);
        EXPECT_EQ(std::tuple(ui.m_nReceivedBytes, r.host.list.size()), std::tuple(20, 20u));
        EXPECT_EQ(r.host.list[0], "204  0xCC");
    }
}

// Each byte goes to the first armed state: free-run counting, identity, status reply,
// configuration transfer, owed status request; else it is plain.
TEST(ReplyDecoder, EachByteGoesToTheFirstArmedState)
{
    Rig r;
    r.ui.m_strRepeatNumber = "1";
    for (const Op& op :
         {Op(StartTransfer), Op(ResetController), Op(RequestStatus), Bind(StartFreeRun, 2)})
        r.Do(op);
    g_nInfoIndex = 0;
    r.Feed("0D");  // ends the counting; neither counted nor listed
    EXPECT_EQ(r.host.list, Lines{});
    r.Feed("0D 0D 0D 0D 0D 0D 0D 0D 0D 0D 0D 0D");  // identity: two text lines
    EXPECT_EQ(r.host.list.size(), 2u);
    r.Feed(kFastReply);  // its last byte is 0x0D, but belongs to the reply
    EXPECT_EQ(Armed(), (std::vector<int>{-1, -1, 1, 0, -1, 0, 2}));
    r.Feed("0D");
    EXPECT_EQ(g_nTransferReceived, 1);
    g_nTransferReceived = -1;
    EXPECT_EQ(r.Sent(), (Lines{"AC", "FB", "CC", "FA F3"}));
    r.Feed("05 AC 0D");  // only a ready marker pays the owed request
    EXPECT_EQ(r.Sent(), Lines{"CC"});
    EXPECT_EQ(Armed(), (std::vector<int>{0, -1, 0, 0, -1, -1, 2}));
    EXPECT_EQ(r.ui.m_nShutterState, 1);
    EXPECT_EQ(std::tuple(r.ui.m_nReceivedBytes, r.host.list.size()), std::tuple(36, 26u));
}

TEST(ReplyDecoder, FreeRunCountsCompletedCyclesUntilTheReadyMarker)
{
    for (const Row& row : Rows("free-run-counts.txt")) {
        SCOPED_TRACE(row[4]);
        Rig r;
        r.ui.m_strRepeatNumber = row[0], r.ui.m_strLeftCycles = row[1] == "_" ? "" : row[1];
        r.ui.m_nTriggerMode = std::stoi(row[3]), r.ui.m_nShutterState = 1;  // each 0xAC ends a cycle
        r.Do(Bind(StartFreeRun, std::stoi(row[2])));
        std::string shown;
        for (uint8_t b : Hex(row[4])) {
            r.Feed(std::vector<uint8_t>{b});
            shown += (shown.empty() ? "" : " ") + (r.ui.m_strLeftCycles.empty() ? "_" : r.ui.m_strLeftCycles);
        }
        EXPECT_EQ(shown, row[5]);
        EXPECT_EQ(g_nFreeRunKind, row[6] == "counting" ? std::stoi(row[2]) : 0);
        EXPECT_EQ(r.host.list, Lines{});
    }
}

TEST(ReplyDecoder, TransferStallsWithoutAModeAndEndsWithoutARun)
{
    Rig r;
    r.ui.m_strRepeatNumber = "1";
    r.Do(StartTransfer);
    r.Feed("0D 0D 0D FD AA 0D");  // no mode: nothing more, until the next Apply
    EXPECT_EQ(Armed(), (std::vector<int>{-1, -1, 0, 0, -1, 6, 2}));
    r.ui.m_nShutterMode = 0;
    r.Do(StartTransfer);
    // All answers in one tick: the steps' pulls must not lose the byte count.
    r.Feed(std::vector<uint8_t>(29, 0x0D));
    EXPECT_EQ(r.Sent(), (Lines{"AC", "AC", "DC", "FA A0", "FA B0", "FA 10 00 00 00 00",
                               "FA 20 00 00 00 00", "FA F0 00 01"}));
    EXPECT_EQ(Armed(), (std::vector<int>{-1, -1, 0, 0, -1, -1, -1}));  // no run to count
    EXPECT_EQ(r.ui.m_nReceivedBytes, 35);
}

// Every byte stream decodes the same whole as split into two ticks anywhere.
TEST(ReplyDecoder, EveryStreamDecodesTheSameWholeOrSplit)
{
    std::vector<std::pair<Op, std::vector<uint8_t>>> streams = {
        {ResetController, Hex(std::string("AA 0D ") + kFastReply + " 0D")},
        {Plain(cmd::kControllerInfo), Hex("FD 51 55 49 4C 30 4E 2D 31 2E 30 62 43 AC FD 00")},
        {Bind(StartFreeRun, 2), Hex("AA AC AA AC AA AC 0D 0D")},
        {StartTransfer, std::vector<uint8_t>(31, 0x0D)}};
    for (const Row& row : Rows("status-replies.txt")) streams.emplace_back(RequestStatus, Hex(row[0]));
    for (const auto& [arm, bytes] : streams) {
        std::optional<decltype(Rig().Shown())> whole;
        for (std::size_t split = 0; split <= bytes.size(); ++split) {
            SCOPED_TRACE(std::to_string(bytes.size()) + " bytes split at " + std::to_string(split));
            Rig r;
            r.ui.m_strRepeatNumber = "2", r.ui.m_nFreeRunOption = 1, r.ui.m_nShutterState = 1;
            r.ui.m_nShutterMode = 2;
            r.Do(arm);
            r.Feed(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(split)));
            r.Feed(std::vector<uint8_t>(bytes.begin() + std::ptrdiff_t(split), bytes.end()));
            if (!whole)
                whole = r.Shown();
            EXPECT_TRUE(r.Shown() == *whole);
        }
    }
}

}  // namespace

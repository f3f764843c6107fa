// The reply decoder on any byte stream, with the panel's operations that arm it in between.
//
// Input: a sequence of records. A byte below 0x80 starts a batch of that many plus one received
// bytes (one timer tick's read); a byte from 0x80 is an operation, some taking the next byte as
// their argument. Every batch is decoded twice from the same state, whole and one byte per tick:
// the second run checks each byte's effect, and both must end alike, since how the driver splits
// the stream into reads must not matter.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "PanelFields.h"
#include "config/ConfigFile.h"
#include "protocol/DecoderState.h"
#include "protocol/Frames.h"
#include "protocol/ReplyDecoder.h"
#include "unit/protocol/MirrorHost.h"
#include "timing/IntegerReading.h"
#include "timing/TimeRecord.h"

namespace {

// The decoder's globals and the time records, so that two runs can take turns.
struct Globals {
    int statusIndex = -1;
    int infoIndex = -1;
    int statusAfterReset = 0;
    int freeRunKind = 0;
    int freeRunStartState = -1;
    int repeatHigh = 0;
    int transferReceived = -1;
    int transferExpected = -1;
    std::array<TimeRecord, 3> records;

    static Globals Current()
    {
        return {g_nStatusIndex,      g_nInfoIndex,         g_nStatusAfterReset,
                g_nFreeRunKind,      g_nFreeRunStartState, g_nRepeatHigh,
                g_nTransferReceived, g_nTransferExpected,  g_timeRecords};
    }
    void Install() const
    {
        g_nStatusIndex = statusIndex;
        g_nInfoIndex = infoIndex;
        g_nStatusAfterReset = statusAfterReset;
        g_nFreeRunKind = freeRunKind;
        g_nFreeRunStartState = freeRunStartState;
        g_nRepeatHigh = repeatHigh;
        g_nTransferReceived = transferReceived;
        g_nTransferExpected = transferExpected;
        g_timeRecords = records;
    }
    bool operator==(const Globals&) const = default;
};

// The length the controller gives a frame from its first bytes; 0 for one it does not know.
std::size_t ControllerFrameLength(const Frame& f)
{
    if (f.empty())
        return 0;
    switch (f[0]) {
        case cmd::kShutterOpen:
        case cmd::kShutterClose:
        case cmd::kFastMode:
        case cmd::kSoftMode:
        case cmd::kStop:
        case cmd::kStatusRequest:
        case cmd::kPowerOn:
        case cmd::kPowerOff:
        case cmd::kOnline:
        case cmd::kReset:
        case cmd::kControllerInfo:
            return 1;
        case cmd::kNdMode:
            return 2;
        case cmd::kSettings:
            break;
        default:
            return 0;
    }
    if (f.size() < 2)
        return 0;
    const uint8_t s = f[1];
    if ((s >= 0xA0 && s <= 0xA4) || (s >= 0xB0 && s <= 0xB2) || s == 0xC0 || s == 0xC1 ||
        (s >= 0xF1 && s <= 0xF3))
        return 2;
    if (s == cmd::kRepeatCount)
        return 4;
    if (s >= 0x10 && s <= 0x2F)
        return 6;
    return 0;
}

bool WellFormed(const Frame& f)
{
    return !f.empty() && ControllerFrameLength(f) == f.size();
}

class FuzzHost : public MirrorHost {
public:
    void ListByte(uint8_t byte) override
    {
        char line[16];
        std::snprintf(line, sizeof line, "%d  0x%.2X", byte, byte);
        list.push_back(line);
        listedBytes.push_back(byte);
    }
    void ListText(const std::string& latin1) override
    {
        rawTexts.push_back(latin1);
        // The panel's list ends a text line at its first zero byte.
        list.push_back("text " + std::string(latin1.c_str()));
    }
    void SetCaption(Caption which, const std::string& text) override { captions[which] = text; }
    void SetPulseBox(PulseBox which, bool checked) override { boxes[which] = checked; }
    void SelectTimer(int index) override { combo = index; }
    void LoadEditor(int index) override { editorLoads.push_back(index); }
    void Write(const Frame& frame) override
    {
        if (!WellFormed(frame))
            std::fprintf(stderr, "frame %s\n", frame.Hex().c_str());
        FUZZ_CHECK(WellFormed(frame));
        written.push_back(frame);
    }

    struct Sizes {
        std::size_t list, texts, loads, writes;
    };
    Sizes Lengths() const
    {
        return {list.size(), rawTexts.size(), editorLoads.size(), written.size()};
    }

    // The lines and writes were alike up to `from` already.
    static bool Alike(const FuzzHost& a, const FuzzHost& b, const Sizes& from)
    {
        const auto tails = [](const auto& x, const auto& y, std::size_t start) {
            return x.size() == y.size() &&
                   std::equal(x.begin() + std::min(start, x.size()), x.end(),
                              y.begin() + std::min(start, y.size()));
        };
        return SamePanel(a.ui, b.ui) && a.panel.m_nNdSteps == b.panel.m_nNdSteps &&
               tails(a.list, b.list, from.list) && tails(a.rawTexts, b.rawTexts, from.texts) &&
               tails(a.editorLoads, b.editorLoads, from.loads) &&
               tails(a.written, b.written, from.writes) && a.captions == b.captions &&
               a.boxes == b.boxes && a.combo == b.combo;
    }

    std::vector<std::string> list;
    std::vector<uint8_t> listedBytes;
    std::vector<std::string> rawTexts;
    std::map<Caption, std::string> captions;
    std::map<PulseBox, bool> boxes;
    int combo = -2;
    std::vector<int> editorLoads;
    std::vector<Frame> written;
};

// One panel with its decoder and its share of the globals.
struct Run {
    Run()
    {
        host.ui.m_strUsbStatus = kUsbReady;
        host.panel = host.ui;
    }
    FuzzHost host;
    ReplyDecoder decoder{host};
    Globals globals;
};

void CheckRanges()
{
    FUZZ_CHECK(g_nStatusIndex >= -1 && g_nStatusIndex < 20);
    FUZZ_CHECK(g_nInfoIndex >= -1 && g_nInfoIndex < 12);
    FUZZ_CHECK(g_nStatusAfterReset >= 0 && g_nStatusAfterReset <= 2);
    FUZZ_CHECK(g_nFreeRunKind >= 0 && g_nFreeRunKind <= 2);
    FUZZ_CHECK(g_nFreeRunStartState >= -1 && g_nFreeRunStartState <= 1);
    FUZZ_CHECK(g_nRepeatHigh >= 0 && g_nRepeatHigh <= 0xFF00 && g_nRepeatHigh % 256 == 0);
    // The transfer runs with both counts or with neither. Its expected total is one of the
    // steps' sums; the received count stays below it, except when no mode went out at the
    // first step and the transfer stalls until the next Apply.
    FUZZ_CHECK((g_nTransferReceived == -1) == (g_nTransferExpected == -1));
    if (g_nTransferExpected != -1) {
        static constexpr int kTotals[] = {2, 4, 5, 7, 8, 10, 11, 17, 18, 24, 25, 29, 30};
        bool known = false;
        for (int total : kTotals) known = known || g_nTransferExpected == total;
        FUZZ_CHECK(known);
        FUZZ_CHECK(g_nTransferReceived >= 0);
        FUZZ_CHECK(g_nTransferReceived < g_nTransferExpected || g_nTransferExpected == 2);
    }
}

// The frame the transfer sends when the answer bytes reach `expected`.
bool TransferFrameFits(int expected, const Frame& f)
{
    switch (expected) {
        case 2:
            return f[0] == cmd::kFastMode || f[0] == cmd::kSoftMode || f[0] == cmd::kNdMode;
        case 4:
        case 5:
            return f[0] == cmd::kSettings && (f[1] & 0xF0) == 0xA0;
        case 7:
        case 8:
            return f[0] == cmd::kSettings && (f[1] & 0xF0) == 0xB0;
        case 10:
        case 11:
            return f[0] == cmd::kSettings && (f[1] & 0xF0) == 0x10;
        case 17:
        case 18:
            return f[0] == cmd::kSettings && (f[1] & 0xF0) == 0x20;
        case 24:
        case 25:
            return f[0] == cmd::kSettings && f[1] == cmd::kRepeatCount;
        case 29:
        case 30:
            return f[0] == cmd::kSettings && f[1] >= cmd::kFreeRunOnPowerUp &&
                   f[1] <= cmd::kFreeRunGo;
        default:
            return false;
    }
}

class Session {
public:
    void Operation(uint8_t op, uint8_t arg)
    {
        for (Run* run : {&m_whole, &m_split}) {
            run->globals.Install();
            Apply(*run, op, arg);
            run->globals = Globals::Current();
            CheckRanges();
        }
        if (op == kClear)
            m_counted = 0;
    }

    void Batch(const uint8_t* bytes, std::size_t count)
    {
        const FuzzHost::Sizes from = m_whole.host.Lengths();
        m_whole.globals.Install();
        m_whole.decoder.Decode(bytes, count);
        m_whole.globals = Globals::Current();
        CheckRanges();

        m_split.globals.Install();
        for (std::size_t i = 0; i < count; ++i) OneByte(bytes[i]);
        m_split.globals = Globals::Current();

        FUZZ_CHECK(m_whole.globals == m_split.globals);
        FUZZ_CHECK(FuzzHost::Alike(m_whole.host, m_split.host, from));
    }

    enum Op : uint8_t {
        kStatus,
        kReset,
        kRestoreDefault,
        kControllerInfo,
        kApply,
        kGo,
        kOnTrigger,
        kStop,
        kClear,
        kFast,
        kSoft,
        kNeutralDensity,
        kOpen,
        kClose,
        kTriggerMode,
        kSyncPolarity,
        kTypeRepeat,
        kOnPowerUp,
        kSendRepeat,
        kLoadConfig,
        kOpCount
    };
    static bool TakesArgument(uint8_t op)
    {
        return op == kNeutralDensity || op == kTriggerMode || op == kSyncPolarity ||
               op == kTypeRepeat || op == kLoadConfig;
    }

private:
    // What the panel's handler does, with the link ready: pull, arm and write, push.
    static void Apply(Run& run, uint8_t op, uint8_t arg)
    {
        FuzzHost& h = run.host;
        PanelState& p = h.panel;
        const auto counted = [&](int option) {
            if (p.m_strRepeatNumber.empty())
                return;
            p.m_nFreeRunOption = option;
            h.Write(FreeRunFrame(option));
            g_nFreeRunKind = option;
            g_nFreeRunStartState = p.m_nShutterState;
        };
        if (op == kTypeRepeat) {
            // Typing only changes the edit.
            static const char* const kTexts[] = {"", "Continuous", "1", "-3", "65000", "70000"};
            h.ui.m_strRepeatNumber = arg < 6 ? kTexts[arg] : std::to_string(arg - 6);
            return;
        }
        // Apply starts from the fields as last pulled.
        if (op != kApply)
            h.Pull();
        switch (op) {
            case kStatus:
                h.Write(SingleByteFrame(cmd::kStatusRequest));
                g_nStatusIndex = 0;
                break;
            case kReset:
                h.Write(SingleByteFrame(cmd::kReset));
                g_nStatusAfterReset = 1;
                break;
            case kRestoreDefault:
                h.Write(SettingsFrame(cmd::kRestoreDefaults));
                g_nStatusAfterReset = 2;
                break;
            case kControllerInfo:
                h.Write(SingleByteFrame(cmd::kControllerInfo));
                break;
            case kApply:
                g_nTransferExpected = 2;
                h.Write(ShutterFrame(p.m_nShutterState));
                g_nTransferReceived = 0;
                break;
            case kGo:
                counted(2);
                break;
            case kOnTrigger:
                counted(1);
                break;
            case kStop:
                h.Write(SingleByteFrame(cmd::kStop));
                break;
            case kClear:
                p.m_nReceivedBytes = 0;
                h.list.clear();
                break;
            case kFast:
            case kSoft:
                p.m_nShutterMode = op == kFast ? 0 : 1;
                h.Write(ModeFrame(p.m_nShutterMode, p.m_nNdSteps));
                break;
            case kNeutralDensity:
                p.m_nShutterMode = 2;
                p.m_nNdSteps = arg;
                h.Write(NdModeFrame(arg));
                break;
            case kOpen:
            case kClose:
                p.m_nShutterState = op == kOpen ? 0 : 1;
                h.Write(ShutterFrame(p.m_nShutterState));
                break;
            case kTriggerMode:
                p.m_nTriggerMode = arg % 5 - 1;
                h.Write(TriggerFrame(p.m_nTriggerMode));
                break;
            case kSyncPolarity:
                p.m_nSyncPolarity = arg % 3 - 1;
                h.Write(SyncFrame(p.m_nSyncPolarity));
                break;
            case kOnPowerUp:
                p.m_nFreeRunOption = 0;
                h.Write(FreeRunFrame(0));
                break;
            case kSendRepeat: {
                if (RepeatNumberRefusal(p.m_strRepeatNumber))
                    break;
                RepeatCount count = SendRepeatCount(p.m_strRepeatNumber);
                p.m_strRepeatNumber = p.m_strLeftCycles = count.repeatNumber;
                h.Write(count.frame);
                break;
            }
            case kLoadConfig: {
                // A hand-edited file: numbers out of every range, as the reader takes them.
                ConfigFile config = ConfigFromPanel(p, g_closedTime, g_exposureTime);
                const int n = static_cast<int8_t>(arg);
                config.shutterMode = n % 4;
                config.ndSteps = n * 1000;
                config.triggerMode = n % 6;
                config.closedTime = {std::to_string(n), std::to_string(n * 7), "61", "1500", "-2"};
                config.exposureTime = {std::to_string(n / 8), "-1", std::to_string(n * 300),
                                       std::to_string(-n), "10"};
                config.freeRunOption = n % 5;
                ApplyConfigFile(config, p, g_closedTime, g_exposureTime);
                break;
            }
            default:
                break;
        }
        h.Push();
    }

    // One byte as one tick of its own, and what it may do.
    void OneByte(uint8_t b)
    {
        FuzzHost& h = m_split.host;
        // The armed states before the byte (the records are not needed here).
        const struct {
            int statusIndex, infoIndex, statusAfterReset, freeRunKind, transferReceived,
                transferExpected;
        } pre{g_nStatusIndex, g_nInfoIndex,        g_nStatusAfterReset,
              g_nFreeRunKind, g_nTransferReceived, g_nTransferExpected};
        const int countBefore = h.ui.m_nReceivedBytes;
        const std::size_t lines = h.listedBytes.size();
        const std::size_t texts = h.rawTexts.size();
        const std::size_t writes = h.written.size();
        const std::size_t loads = h.editorLoads.size();

        m_split.decoder.Decode(&b, 1);
        CheckRanges();
        const int counted = h.ui.m_nReceivedBytes - countBefore;

        if (pre.freeRunKind > 0) {
            // A free run's reports are neither counted nor listed.
            FUZZ_CHECK(counted == 0);
            FUZZ_CHECK(h.listedBytes.size() == lines && h.rawTexts.size() == texts);
            FUZZ_CHECK(h.written.size() == writes);
            if (b == cmd::kReady)
                FUZZ_CHECK(g_nFreeRunKind == 0);
            return;
        }
        ++m_counted;
        FUZZ_CHECK(counted == 1);
        FUZZ_CHECK(h.ui.m_nReceivedBytes == m_counted);

        if (pre.infoIndex >= 0) {
            // An identity character: counted, shown only as the two text lines at the end.
            FUZZ_CHECK(h.listedBytes.size() == lines && h.written.size() == writes);
            m_identity.push_back(static_cast<char>(b));
            if (m_identity.size() < 12) {
                FUZZ_CHECK(h.rawTexts.size() == texts && g_nInfoIndex == pre.infoIndex + 1);
            } else {
                FUZZ_CHECK(h.rawTexts.size() == texts + 2 && g_nInfoIndex == -1);
                FUZZ_CHECK(h.rawTexts[texts] == m_identity.substr(0, 8));
                FUZZ_CHECK(h.rawTexts[texts + 1] == m_identity.substr(8, 4));
                m_identity.clear();
            }
            return;
        }

        // Every other byte is one "Data Received:" line, of itself.
        FUZZ_CHECK(h.listedBytes.size() == lines + 1 && h.listedBytes.back() == b);
        FUZZ_CHECK(h.rawTexts.size() == texts);
        if (g_nInfoIndex == 0) {
            FUZZ_CHECK(b == cmd::kControllerInfo);
            m_identity.clear();
        }
        if (pre.statusIndex == 19)
            FUZZ_CHECK(g_nStatusIndex == -1 && h.editorLoads.size() == loads + 1);
        else
            FUZZ_CHECK(h.editorLoads.size() == loads);

        FUZZ_CHECK(h.written.size() <= writes + 1);
        const bool transferStep = pre.transferExpected != -1 &&
                                  pre.transferReceived + 1 == pre.transferExpected &&
                                  pre.statusIndex < 0;
        if (h.written.size() == writes) {
            // A step sends nothing only for no mode (the transfer stalls) or no running option
            // (it ends).
            if (transferStep)
                FUZZ_CHECK((pre.transferExpected == 2 && g_nTransferExpected == 2) ||
                           (pre.transferExpected >= 29 && g_nTransferExpected == -1));
            return;
        }
        const Frame& frame = h.written.back();
        if (transferStep) {
            // A transfer step: the frame due at this total, answered by its echo and a ready
            // byte; the last one ends the transfer.
            FUZZ_CHECK(TransferFrameFits(pre.transferExpected, frame));
            if (g_nTransferExpected != -1)
                FUZZ_CHECK(g_nTransferExpected ==
                           pre.transferExpected + static_cast<int>(frame.size()) + 1);
            else
                FUZZ_CHECK(frame[0] == cmd::kSettings && frame[1] >= cmd::kFreeRunOnPowerUp);
        } else {
            // The status request a Reset or Restore Default owed, at the controller's ready byte.
            FUZZ_CHECK(pre.statusAfterReset > 0 && b == cmd::kReady);
            FUZZ_CHECK(frame == SingleByteFrame(cmd::kStatusRequest));
            FUZZ_CHECK(g_nStatusAfterReset == 0 && g_nStatusIndex == 0);
        }
    }

    Run m_whole;
    Run m_split;
    int m_counted = 0;
    std::string m_identity;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    ResetDecoderState();
    ResetTimeRecords();
    Session session;
    std::size_t i = 0;
    while (i < size) {
        const uint8_t c = data[i++];
        if (c < 0x80) {
            const std::size_t n = std::min<std::size_t>(c + 1u, size - i);
            session.Batch(data + i, n);
            i += n;
            continue;
        }
        const auto op = static_cast<uint8_t>((c - 0x80) % Session::kOpCount);
        uint8_t arg = 0;
        if (Session::TakesArgument(op) && i < size)
            arg = data[i++];
        session.Operation(op, arg);
    }
    return 0;
}

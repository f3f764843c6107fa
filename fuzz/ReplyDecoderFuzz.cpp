// The reply decoder on any byte stream, with the operations that arm it in between.
//
// Input: a sequence of records. A byte below 0x80 starts a batch of that many plus one received
// bytes (one timer tick's read); a byte from 0x80 is an operation, some taking the next byte as
// their argument. Every batch is decoded twice from the same state, whole and one byte per tick:
// the second run checks each byte's effect, and both must end alike, since how the driver splits
// the stream into reads must not matter.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "Controller.h"
#include "FuzzCheck.h"
#include "config/ConfigFile.h"
#include "protocol/ConfigTransfer.h"
#include "protocol/Operations.h"
#include "timing/TimeRecord.h"
#include "unit/protocol/MirrorHost.h"

namespace {

// The decoder's globals and the time records, so that two runs can take turns.
auto Globals()
{
    return std::tie(g_nStatusIndex, g_nInfoIndex, g_nStatusAfterReset, g_nFreeRunKind,
                    g_nFreeRunStartState, g_nRepeatHigh, g_nTransferReceived, g_nTransferExpected,
                    g_timeRecords);
}
using SavedGlobals = std::tuple<int, int, int, int, int, int, int, int, decltype(g_timeRecords)>;

struct FuzzHost : MirrorHost {
    void ListByte(uint8_t byte) override { listed.push_back(byte); }
    void ListText(const std::string& latin1) override { texts.push_back(latin1); }
    void SetCaption(Caption which, const std::string& text) override { captions[which] = text; }
    void SetPulseBox(PulseBox which, bool checked) override { boxes[which] = checked; }
    void SelectTimer(int index) override { combo = index; }
    void LoadEditor(int index) override { loads.push_back(index); }
    void Write(const Frame& frame) override
    {
        // Only frames the controller reads as one whole frame.
        FUZZ_CHECK(quillon_sim::FrameLength(frame.data(), frame.size()) == int(frame.size()));
        written.push_back(frame);
    }
    auto Shown() const
    {
        return std::tuple_cat(PanelFields(ui), std::tie(panel.m_nNdSteps, listed, texts, captions,
                                                        boxes, combo, loads, written));
    }

    std::vector<uint8_t> listed;
    std::vector<std::string> texts;
    std::map<Caption, std::string> captions;
    std::map<PulseBox, bool> boxes;
    int combo = -2;
    std::vector<int> loads;
    std::vector<Frame> written;
};

// One panel with its decoder and its share of the globals.
struct Run {
    Run() { host.ui.m_strUsbStatus = host.panel.m_strUsbStatus = kUsbReady; }
    FuzzHost host;
    ReplyDecoder decoder{host};
    SavedGlobals globals = Globals();
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
        FUZZ_CHECK(std::count(std::begin(kTotals), std::end(kTotals), g_nTransferExpected) == 1);
        FUZZ_CHECK(g_nTransferReceived >= 0);
        FUZZ_CHECK(g_nTransferReceived < g_nTransferExpected || g_nTransferExpected == 2);
    }
}

// The frame the transfer sends when the answer bytes reach `expected`: the mode, then settings
// frames by their second byte's range.
bool TransferFrameFits(int expected, const Frame& f)
{
    if (expected == 2)
        return f[0] == cmd::kFastMode || f[0] == cmd::kSoftMode || f[0] == cmd::kNdMode;
    static const std::map<int, std::pair<int, int>> kSecond = {
        {4, {0xA0, 0xAF}},  {5, {0xA0, 0xAF}},  {7, {0xB0, 0xBF}},  {8, {0xB0, 0xBF}},
        {10, {0x10, 0x1F}}, {11, {0x10, 0x1F}}, {17, {0x20, 0x2F}}, {18, {0x20, 0x2F}},
        {24, {0xF0, 0xF0}}, {25, {0xF0, 0xF0}}, {29, {0xF1, 0xF3}}, {30, {0xF1, 0xF3}}};
    const auto range = kSecond.find(expected);
    return range != kSecond.end() && f[0] == cmd::kSettings && f[1] >= range->second.first &&
           f[1] <= range->second.second;
}

// What the panel's handlers do with the link ready, between their pull and push; typing a
// repeat number (16) changes only the edit.
using Operation = void (*)(FuzzHost&, uint8_t);
constexpr Operation kOperations[] = {
    [](FuzzHost& h, uint8_t) { RequestStatus(h); },
    [](FuzzHost& h, uint8_t) { ResetController(h); },
    [](FuzzHost& h, uint8_t) { RestoreDefaults(h); },
    [](FuzzHost& h, uint8_t) { SendPlain(h, SingleByteFrame(cmd::kControllerInfo)); },
    [](FuzzHost& h, uint8_t) { StartTransfer(h); },
    [](FuzzHost& h, uint8_t) { StartFreeRun(h, 2); },
    [](FuzzHost& h, uint8_t) { StartFreeRun(h, 1); },
    [](FuzzHost& h, uint8_t) { SendPlain(h, SingleByteFrame(cmd::kStop)); },
    [](FuzzHost& h, uint8_t) { h.panel.m_nReceivedBytes = 0; },
    [](FuzzHost& h, uint8_t) { SetPlainMode(h, 0); },
    [](FuzzHost& h, uint8_t) { SetPlainMode(h, 1); },
    [](FuzzHost& h, uint8_t a) { SetNdMode(h, a); },
    [](FuzzHost& h, uint8_t) { SetShutterState(h, 0); },
    [](FuzzHost& h, uint8_t) { SetShutterState(h, 1); },
    [](FuzzHost& h, uint8_t a) { ChooseSignal(h, Signal::Trigger, a % 5 - 1); },
    [](FuzzHost& h, uint8_t a) { ChooseSignal(h, Signal::Sync, a % 3 - 1); },
    nullptr,
    [](FuzzHost& h, uint8_t) { StartFreeRun(h, 0); },
    [](FuzzHost& h, uint8_t) { SendRepeat(h); },
    [](FuzzHost& h, uint8_t a) {
        // A hand-edited file: numbers out of every range, as the reader takes them.
        ConfigFile c = ConfigFromPanel(h.panel, g_closedTime, g_exposureTime);
        const int n = static_cast<int8_t>(a);
        c.shutterMode = n % 4;
        c.ndSteps = n * 1000;
        c.triggerMode = n % 6;
        c.closedTime = {std::to_string(n), std::to_string(n * 7), "61", "1500", "-2"};
        c.exposureTime = {std::to_string(n / 8), "-1", std::to_string(n * 300), std::to_string(-n),
                          "10"};
        c.freeRunOption = n % 5;
        ApplyConfigFile(c, h.panel, g_closedTime, g_exposureTime);
    },
    [](FuzzHost& h, uint8_t) { UploadTimer(h); },
    [](FuzzHost& h, uint8_t a) { ToggleSignal(h, a % 2 ? Signal::Trigger : Signal::Sync); },
};
constexpr uint8_t kApply = 4, kClear = 8, kTypeRepeat = 16,
                  kOperationCount = std::size(kOperations);
// Those taking the next byte as their argument.
constexpr uint32_t kTakesArgument = 1u << 11 | 1u << 14 | 1u << 15 | 1u << 16 | 1u << 19 | 1u << 21;

class Session {
public:
    void Operation(uint8_t op, uint8_t arg)
    {
        for (Run* run : {&m_whole, &m_split}) {
            Globals() = run->globals;
            FuzzHost& h = run->host;
            if (op == kTypeRepeat) {
                // Typing only changes the edit.
                static const char* const kTexts[] = {"", "Continuous", "1", "-3", "65000", "70000"};
                h.ui.m_strRepeatNumber = arg < 6 ? kTexts[arg] : std::to_string(arg - 6);
            } else {
                // Apply starts from the fields as last pulled.
                if (op != kApply)
                    h.Pull();
                kOperations[op](h, arg);
                h.Push();
            }
            run->globals = Globals();
            CheckRanges();
        }
        if (op == kClear)
            m_counted = 0;
    }

    void Batch(const uint8_t* bytes, std::size_t count)
    {
        Globals() = m_whole.globals;
        m_whole.decoder.Decode(bytes, count);
        m_whole.globals = Globals();
        CheckRanges();

        Globals() = m_split.globals;
        for (std::size_t i = 0; i < count; ++i) OneByte(bytes[i]);
        m_split.globals = Globals();
        FUZZ_CHECK(m_whole.globals == m_split.globals);
        FUZZ_CHECK(m_whole.host.Shown() == m_split.host.Shown());
    }

private:
    // One byte as one tick of its own, and what it may do.
    void OneByte(uint8_t b)
    {
        FuzzHost& h = m_split.host;
        const int statusIndex = g_nStatusIndex, infoIndex = g_nInfoIndex,
                  statusAfterReset = g_nStatusAfterReset, freeRunKind = g_nFreeRunKind,
                  transferReceived = g_nTransferReceived, transferExpected = g_nTransferExpected;
        const int countBefore = h.ui.m_nReceivedBytes;
        const std::size_t lines = h.listed.size(), texts = h.texts.size();
        const std::size_t writes = h.written.size(), loads = h.loads.size();
        m_split.decoder.Decode(&b, 1);
        CheckRanges();
        const int counted = h.ui.m_nReceivedBytes - countBefore;

        if (freeRunKind > 0) {
            // A free run's reports are neither counted nor listed.
            FUZZ_CHECK(counted == 0 && h.listed.size() == lines && h.texts.size() == texts);
            FUZZ_CHECK(h.written.size() == writes && (b != cmd::kReady || g_nFreeRunKind == 0));
            return;
        }
        FUZZ_CHECK(counted == 1 && h.ui.m_nReceivedBytes == ++m_counted);
        if (infoIndex >= 0) {
            // An identity character: counted, shown only as the two text lines at the end.
            FUZZ_CHECK(h.listed.size() == lines && h.written.size() == writes);
            m_identity.push_back(static_cast<char>(b));
            if (m_identity.size() < 12) {
                FUZZ_CHECK(h.texts.size() == texts && g_nInfoIndex == infoIndex + 1);
                return;
            }
            FUZZ_CHECK(h.texts.size() == texts + 2 && g_nInfoIndex == -1);
            FUZZ_CHECK(h.texts[texts] == m_identity.substr(0, 8));
            FUZZ_CHECK(h.texts[texts + 1] == m_identity.substr(8, 4));
            m_identity.clear();
            return;
        }

        // Every other byte is one "Data Received:" line, of itself.
        FUZZ_CHECK(h.listed.size() == lines + 1 && h.listed.back() == b);
        FUZZ_CHECK(h.texts.size() == texts && h.written.size() <= writes + 1);
        if (g_nInfoIndex == 0) {
            FUZZ_CHECK(b == cmd::kControllerInfo);
            m_identity.clear();
        }
        FUZZ_CHECK(h.loads.size() == loads + (statusIndex == 19));
        if (statusIndex == 19)
            FUZZ_CHECK(g_nStatusIndex == -1);

        const bool transferStep =
            transferExpected != -1 && transferReceived + 1 == transferExpected && statusIndex < 0;
        if (h.written.size() == writes) {
            // A step sends nothing only for no mode (the transfer stalls) or no running option
            // (it ends).
            FUZZ_CHECK(!transferStep || (transferExpected == 2 && g_nTransferExpected == 2) ||
                       (transferExpected >= 29 && g_nTransferExpected == -1));
        } else if (transferStep) {
            // The frame due at this total, answered by its echo and a ready byte; the last one
            // ends the transfer.
            const Frame& f = h.written.back();
            FUZZ_CHECK(TransferFrameFits(transferExpected, f));
            FUZZ_CHECK(g_nTransferExpected == -1
                           ? f[0] == cmd::kSettings && f[1] >= cmd::kFreeRunOnPowerUp
                           : g_nTransferExpected == transferExpected + int(f.size()) + 1);
        } else {
            // The status request a Reset or Restore Default owed, at the controller's ready byte.
            FUZZ_CHECK(statusAfterReset > 0 && b == cmd::kReady);
            FUZZ_CHECK(h.written.back() == SingleByteFrame(cmd::kStatusRequest));
            FUZZ_CHECK(g_nStatusAfterReset == 0 && g_nStatusIndex == 0);
        }
    }

    Run m_whole, m_split;
    int m_counted = 0;
    std::string m_identity;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    ResetDecoderState();
    ResetTimeRecords();
    Session session;
    for (std::size_t i = 0; i < size;) {
        const uint8_t c = data[i++];
        if (c < 0x80) {
            const std::size_t n = std::min<std::size_t>(c + 1u, size - i);
            session.Batch(data + i, n);
            i += n;
        } else {
            const uint8_t op = (c - 0x80) % kOperationCount;
            session.Operation(op, (kTakesArgument >> op & 1) && i < size ? data[i++] : 0);
        }
    }
    return 0;
}

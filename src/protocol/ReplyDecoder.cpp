#include "protocol/ReplyDecoder.h"

#include <cstdio>

#include "protocol/ConfigTransfer.h"
#include "protocol/Frames.h"
#include "protocol/Operations.h"
#include "timing/IntegerReading.h"
#include "timing/TimeRecord.h"

namespace {

constexpr int kStatusReplyLength = 20;
constexpr int kIdentityLength = 12;
constexpr int kNeutralDensity = 2;

std::string Decimal(long long value)
{
    return std::to_string(value);
}

// Fields of the status reply, numbered as they stand in the Fast/Soft layout. In the neutral-
// density layout the step count comes fourth and every later field one place further on.
enum StatusField {
    kEcho = 1,
    kShutter = 2,
    kMode = 3,
    kTrigger = 5,
    kSync = 6,
    kClosedHours = 7,
    kExposureHours = 12,
    kFreeRun = 17,
    kRepeatHigh = 18,
    kRepeatLow = 19,
};

// Bytes 2 to 5 of a time group: minutes, seconds, then the milliseconds' digits and the tenths.
void TakeTimeByte(TimeRecord& record, int offset, uint8_t b)
{
    switch (offset) {
        case 1:
            record.minutes = Decimal(b);
            break;
        case 2:
            record.seconds = Decimal(b);
            break;
        case 3:
            record.milliseconds = Decimal((10 * (b >> 4) + (b & 0x0F)) * 10);
            break;
        case 4:
            record.milliseconds = Decimal(ReadInteger(record.milliseconds) + (b >> 4));
            record.tenthMs = Decimal(b & 0x0F);
            break;
        default:
            break;
    }
}

}  // namespace

void ReplyDecoder::Decode(const uint8_t* bytes, std::size_t count)
{
    Pull();
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (g_nFreeRunKind > 0) {
            FreeRunByte(b);
        } else if (g_nInfoIndex >= 0) {
            IdentityByte(b);
        } else if (g_nStatusIndex >= 0) {
            StatusByte(b);
        } else if (g_nTransferReceived >= 0) {
            TransferByte(b);
        } else if (g_nStatusAfterReset > 0 && b == cmd::kReady) {
            OwedStatusRequest(b);
        } else {
            PlainByte(b);
        }
    }
    m_pushOwed = true;
    FlushPush();
}

void ReplyDecoder::Pull()
{
    FlushPush();
    m_host.Pull();
}

void ReplyDecoder::FlushPush()
{
    if (m_pushOwed) {
        m_pushOwed = false;
        m_host.Push();
    }
}

void ReplyDecoder::ListByte(uint8_t b)
{
    ++m_host.Panel().m_nReceivedBytes;
    m_host.ListByte(b);
}

void ReplyDecoder::FreeRunByte(uint8_t b)
{
    // Neither counted nor listed: a long run would otherwise bury everything else in the list.
    PanelState& p = m_host.Panel();
    if (b == cmd::kReady) {
        g_nFreeRunKind = 0;
        p.m_strLeftCycles = p.m_strRepeatNumber;
        return;
    }
    if (b != cmd::kShutterOpen && b != cmd::kShutterClose) {
        return;
    }
    p.m_nShutterState = b == cmd::kShutterOpen ? 0 : 1;
    if (p.m_strRepeatNumber == "Continuous" || p.m_nShutterState != g_nFreeRunStartState) {
        return;
    }
    // 64 bits: an edited or empty count keeps going down past zero and must not overflow.
    const long long left = static_cast<long long>(ReadInteger(p.m_strLeftCycles)) - 1;
    if (left != 0) {
        p.m_strLeftCycles = Decimal(left);
        return;
    }
    p.m_strLeftCycles = p.m_strRepeatNumber;
    // A trigger run with a trigger input set starts again at the next pulse: keep counting.
    if (g_nFreeRunKind == 2 || (g_nFreeRunKind == 1 && p.m_nTriggerMode == -1)) {
        g_nFreeRunKind = 0;
    }
}

void ReplyDecoder::IdentityByte(uint8_t b)
{
    ++m_host.Panel().m_nReceivedBytes;
    m_identity[g_nInfoIndex] = static_cast<char>(b);
    if (++g_nInfoIndex < kIdentityLength) {
        return;
    }
    m_host.ListText(std::string(m_identity, 8));
    m_host.ListText(std::string(m_identity + 8, 4));
    g_nInfoIndex = -1;
}

void ReplyDecoder::StatusByte(uint8_t b)
{
    PanelState& p = m_host.Panel();
    const int index = ++g_nStatusIndex;
    ListByte(b);

    const bool nd = index >= 4 && p.m_nShutterMode == kNeutralDensity;
    if (nd && index == 4) {
        p.m_nNdSteps = b;
        m_host.SetCaption(Caption::TransitionTimes, NdTransitionText(b));
        m_host.SetCaption(Caption::NdRadio, "Neutral Density - " + Decimal(b));
        return;
    }
    const int field = nd ? index - 1 : index;

    if (field == kShutter) {
        p.m_nShutterState = b == cmd::kShutterOpen ? 0 : 1;
        Push();
    } else if (field == kMode) {
        p.m_nShutterMode = b - cmd::kFastMode;
        if (b == cmd::kSoftMode) {
            m_host.SetCaption(Caption::TransitionTimes, "70 ms");
        } else if (b != cmd::kNdMode) {
            m_host.SetCaption(Caption::TransitionTimes, "12 ms");
        }
        if (b != cmd::kNdMode) {
            m_host.SetCaption(Caption::NdRadio, "Neutral Density");
        }
        Push();
    } else if (field == kTrigger) {
        const bool off = b == cmd::kTriggerOff;
        m_host.SetPulseBox(PulseBox::Trigger, !off);
        p.m_nTriggerMode = off ? -1 : b - 0xA1;
        Push();
    } else if (field == kSync) {
        const bool off = b == cmd::kSyncOff;
        m_host.SetPulseBox(PulseBox::Sync, !off);
        p.m_nSyncPolarity = off ? -1 : b - 0xB1;
        Push();
    } else if (field == kClosedHours) {
        g_closedTime.hours = Decimal(b & 0x0F);
        p.m_nTimerSelect = b != 0 ? 0 : -1;
        if (p.m_nShutterMode != kNeutralDensity) {
            Push();
        }
    } else if (field > kClosedHours && field < kExposureHours) {
        TakeTimeByte(g_closedTime, field - kClosedHours, b);
    } else if (field == kExposureHours) {
        g_exposureTime.hours = Decimal(b & 0x0F);
        if (b != 0) {
            p.m_nTimerSelect = 1;
        }
    } else if (field > kExposureHours && field < kFreeRun) {
        TakeTimeByte(g_exposureTime, field - kExposureHours, b);
    } else if (field == kFreeRun) {
        p.m_nFreeRunOption = b == cmd::kRepeatCount ? -1 : b - cmd::kFreeRunOnPowerUp;
    } else if (field == kRepeatHigh) {
        g_nRepeatHigh = b * 256;
    } else if (field == kRepeatLow) {
        p.m_strRepeatNumber = Decimal(g_nRepeatHigh + b);
        p.m_strLeftCycles = p.m_strRepeatNumber;
        Push();
    }

    if (index == kStatusReplyLength) {
        EndOfStatusReply();
    }
}

void ReplyDecoder::EndOfStatusReply()
{
    PanelState& p = m_host.Panel();
    g_nStatusIndex = -1;
    RecomputeCycleTime(p.m_nShutterMode, p.m_nNdSteps);
    if (p.m_nTimerSelect != -1) {
        m_host.SelectTimer(p.m_nTimerSelect);
    }
    m_host.LoadEditor(p.m_nTimerSelect);
    Push();
    m_host.SetCaption(Caption::ClosedDisplay,
                      ComposeTime(FormatTimeRecord(g_closedTime, false), " : "));
    m_host.SetCaption(Caption::ExposureDisplay,
                      ComposeTime(FormatTimeRecord(g_exposureTime, false), " : "));
    m_host.SetCaption(Caption::CycleDisplay, ComposeCycleTime(g_cycleTime));
}

void ReplyDecoder::TransferByte(uint8_t b)
{
    ++g_nTransferReceived;
    ListByte(b);
    if (g_nTransferReceived != g_nTransferExpected) {
        return;
    }
    // Each step sends what the panel shows now, not what it showed at Apply. Push first: the
    // pull would otherwise drop what this batch decoded so far, the received-byte count too.
    Push();
    Pull();
    PanelState& p = m_host.Panel();
    const TransferStep step =
        NextTransferStep(g_nTransferReceived, p, g_closedTime, g_exposureTime);
    if (!step.frame.empty()) {
        m_host.Write(step.frame);
        // The controller never saw the frame, so its answer will not come: waiting for it
        // would take later replies for it and send the rest of the configuration unasked.
        if (!m_host.LastWriteSent()) {
            g_nTransferReceived = -1;
            g_nTransferExpected = -1;
            return;
        }
    }
    g_nTransferExpected += step.answer;
    if (step.ends) {
        g_nTransferReceived = -1;
        g_nTransferExpected = -1;
    }
    if (step.armsFreeRun) {
        g_nFreeRunKind = p.m_nFreeRunOption;
        g_nFreeRunStartState = p.m_nShutterState;
    }
}

void ReplyDecoder::OwedStatusRequest(uint8_t b)
{
    ListByte(b);
    g_nStatusAfterReset = 0;
    m_host.Write(SingleByteFrame(cmd::kStatusRequest));
    if (m_host.LastWriteSent())
        g_nStatusIndex = 0;
}

void ReplyDecoder::PlainByte(uint8_t b)
{
    ListByte(b);
    PanelState& p = m_host.Panel();
    if (b == cmd::kControllerInfo) {
        g_nInfoIndex = 0;
    } else if (b == cmd::kShutterOpen) {
        p.m_nShutterState = 0;
    } else if (b == cmd::kShutterClose) {
        p.m_nShutterState = 1;
    }
    Push();
}

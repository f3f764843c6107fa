#include "protocol/Operations.h"

#include <cstdio>
#include <utility>

#include "protocol/DecoderState.h"
#include "timing/IntegerReading.h"
#include "timing/TimeRecord.h"

namespace {

// One step of the neutral-density filter: 38 ms over 144 steps.
constexpr double kMsPerNdStep = 0.2638888888888889;

struct SignalTraits {
    int PanelState::*field;
    PulseBox box;
    int onByDefault;  // what ticking the box selects
    Frame (*frame)(int);
};

constexpr SignalTraits kSignals[] = {
    {&PanelState::m_nTriggerMode, PulseBox::Trigger, 0, &TriggerFrame},
    {&PanelState::m_nSyncPolarity, PulseBox::Sync, 1, &SyncFrame},
};

const SignalTraits& Traits(Signal signal)
{
    return kSignals[signal == Signal::Trigger ? 0 : 1];
}

OpResult Write(DecoderHost& host, const Frame& frame)
{
    host.Write(frame);
    return {host.LastWriteSent() ? OpResult::Sent : OpResult::Unsent};
}

bool Ready(DecoderHost& host)
{
    return host.Panel().UsbReady();
}

// A write that, sent, leaves the decoder awaiting something.
template <typename Arm>
OpResult WriteAndArm(DecoderHost& host, const Frame& frame, Arm arm)
{
    if (!Ready(host))
        return {};
    const OpResult result = Write(host, frame);
    if (result.Ok())
        arm();
    return result;
}

OpResult Refused(const char* reason)
{
    return {OpResult::Refused, reason};
}

void ShowModeChange(DecoderHost& host)
{
    const PanelState& p = host.Panel();
    ShowModeCaptions(host, p.m_nShutterMode, p.m_nNdSteps);
    RecomputeCycleTime(p.m_nShutterMode, p.m_nNdSteps);
    host.SetCaption(Caption::CycleDisplay, ComposeCycleTime(g_cycleTime));
}

}  // namespace

std::string NdTransitionText(int ndSteps)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f ms", ndSteps * kMsPerNdStep);
    return text;
}

void ShowModeCaptions(DecoderHost& host, int shutterMode, int ndSteps)
{
    std::string transition = shutterMode == 1 ? "70 ms" : "12 ms";
    if (shutterMode == 2) {
        host.SetCaption(Caption::NdRadio, "Neutral Density - " + std::to_string(ndSteps));
        transition = NdTransitionText(ndSteps);
    } else {
        host.SetCaption(Caption::NdRadio, "Neutral Density");
    }
    host.SetCaption(Caption::TransitionTimes, transition);
}

void ShowTimeCaptions(DecoderHost& host)
{
    host.SetCaption(Caption::ClosedDisplay, ComposeTime(FormatTimeRecord(g_closedTime, false)));
    host.SetCaption(Caption::ExposureDisplay, ComposeTime(FormatTimeRecord(g_exposureTime, false)));
    host.SetCaption(Caption::CycleDisplay, ComposeCycleTime(g_cycleTime));
}

OpResult SendPlain(DecoderHost& host, const Frame& frame)
{
    return WriteAndArm(host, frame, [] {});
}

OpResult RequestStatus(DecoderHost& host)
{
    return WriteAndArm(host, SingleByteFrame(cmd::kStatusRequest), [] { g_nStatusIndex = 0; });
}

OpResult ResetController(DecoderHost& host)
{
    return WriteAndArm(host, SingleByteFrame(cmd::kReset), [] { g_nStatusAfterReset = 1; });
}

OpResult RestoreDefaults(DecoderHost& host)
{
    return WriteAndArm(host, SettingsFrame(cmd::kRestoreDefaults), [] { g_nStatusAfterReset = 2; });
}

OpResult SetShutterState(DecoderHost& host, int state)
{
    if (!Ready(host))
        return {};
    host.Panel().m_nShutterState = state;
    return Write(host, ShutterFrame(state));
}

OpResult SetPlainMode(DecoderHost& host, int mode)
{
    if (!Ready(host))
        return {};
    PanelState& p = host.Panel();
    p.m_nShutterMode = mode;
    const OpResult result = Write(host, ModeFrame(mode, p.m_nNdSteps));
    ShowModeChange(host);
    return result;
}

OpResult SetNdMode(DecoderHost& host, int steps)
{
    if (!Ready(host))
        return {};
    PanelState& p = host.Panel();
    p.m_nShutterMode = 2;
    p.m_nNdSteps = LowByte(steps);
    const OpResult result = Write(host, NdModeFrame(p.m_nNdSteps));
    ShowModeChange(host);
    return result;
}

OpResult ChooseSignal(DecoderHost& host, Signal signal, int value)
{
    if (!Ready(host))
        return {};
    const SignalTraits& s = Traits(signal);
    host.Panel().*s.field = value;
    // -1 switches the signal off, as unticking its box does.
    host.SetPulseBox(s.box, value != -1);
    return Write(host, s.frame(value));
}

OpResult ToggleSignal(DecoderHost& host, Signal signal)
{
    const SignalTraits& s = Traits(signal);
    const bool ready = Ready(host);
    int& field = host.Panel().*s.field;
    if (field == -1) {
        // Switching a signal on goes out even before the link is ready.
        field = s.onByDefault;
        host.SetPulseBox(s.box, true);
        return Write(host, s.frame(field));
    }
    host.SetPulseBox(s.box, false);
    field = -1;
    return ready ? Write(host, s.frame(field)) : OpResult{};
}

OpResult UploadTimer(DecoderHost& host)
{
    PanelState& p = host.Panel();
    if (!Ready(host) || p.m_nTimerSelect == -1)
        return {};
    const TimeRecord editor{p.m_strHours, p.m_strMinutes, p.m_strSeconds, p.m_strMs,
                            p.m_strTenthMs};
    const bool closed = p.m_nTimerSelect == 0;
    const Frame frame = EncodeTimeFrame(closed ? TimeKind::Closed : TimeKind::Exposure, editor);
    (closed ? g_closedTime : g_exposureTime) = editor;
    RecomputeCycleTime(p.m_nShutterMode, p.m_nNdSteps);
    const OpResult result = Write(host, frame);
    // Only the uploaded record's display changes: the other may show a record typed over since.
    if (closed)
        host.SetCaption(Caption::ClosedDisplay, ComposeTime(FormatTimeRecord(g_closedTime, false)));
    else
        host.SetCaption(Caption::ExposureDisplay,
                        ComposeTime(FormatTimeRecord(g_exposureTime, false)));
    host.SetCaption(Caption::CycleDisplay, ComposeCycleTime(g_cycleTime));
    return result;
}

OpResult SendRepeat(DecoderHost& host)
{
    if (!Ready(host))
        return {};
    PanelState& p = host.Panel();
    if (const char* reason = RepeatNumberRefusal(p.m_strRepeatNumber))
        return Refused(reason);
    RepeatCount count = SendRepeatCount(p.m_strRepeatNumber);
    p.m_strRepeatNumber = std::move(count.repeatNumber);
    const OpResult result = Write(host, count.frame);
    p.m_strLeftCycles = p.m_strRepeatNumber;
    return result;
}

OpResult StartTransfer(DecoderHost& host)
{
    if (!Ready(host))
        return {};
    PanelState& p = host.Panel();
    // Refused before anything goes out, rather than half a configuration sent.
    if (const char* reason = RepeatNumberRefusal(p.m_strRepeatNumber))
        return Refused(reason);
    // Unsent, the frame gets no answer: no transfer waits for one, nor for an earlier one.
    const OpResult result = Write(host, ShutterFrame(p.m_nShutterState));
    g_nTransferExpected = result.Ok() ? 2 : -1;
    g_nTransferReceived = result.Ok() ? 0 : -1;
    return result;
}

OpResult StartFreeRun(DecoderHost& host, int option)
{
    if (!Ready(host))
        return {};
    PanelState& p = host.Panel();
    if (option == 0) {
        p.m_nFreeRunOption = 0;
        return Write(host, FreeRunFrame(0));
    }
    if (p.m_strRepeatNumber.empty())
        return Refused(kNeedRepeatNumber);
    p.m_nFreeRunOption = option;
    // No run starts on a frame that did not go out, and counting one would keep every later
    // reply from the list.
    const OpResult result = Write(host, FreeRunFrame(option));
    if (result.Ok()) {
        g_nFreeRunKind = option;
        g_nFreeRunStartState = p.m_nShutterState;
    }
    return result;
}

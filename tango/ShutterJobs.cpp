#include "tango/ShutterJobs.h"

#include <cmath>

#include "protocol/DecoderState.h"
#include "timing/TimeRecord.h"
#include "tool/ToolCommands.h"
#include "usb/ControllerLink.h"

namespace shutter_jobs {

using quillonctl::ClassOf;
using quillonctl::Failure;

Outcome Refresh(Session& s)
{
    const OpResult result = RequestStatus(s.m_host);
    if (!result.Ok())
        return quillonctl::AwaitAnswer(s, "status", result);
    return s.Await([] { return g_nStatusIndex == -1; }, "the status reply");
}

Outcome Identify(Session& s)
{
    // The echo starts the identity reply.
    s.m_answerOwed = 1;
    s.m_answerExpected.clear();
    s.m_host.m_identity.clear();
    const OpResult result = SendPlain(s.m_host, SingleByteFrame(cmd::kControllerInfo));
    if (!result.Ok()) {
        s.m_answerOwed = 0;
        return quillonctl::AwaitAnswer(s, "controller info", result);
    }
    return s.Await([&s] { return s.m_host.m_identity.size() >= 2; }, "the identity reply");
}

Outcome AfterReset(Session& s, const std::string& what, const OpResult& result)
{
    if (!result.Ok())
        return quillonctl::AwaitAnswer(s, what, result);
    return s.Await([] { return g_nStatusAfterReset == 0 && g_nStatusIndex == -1; },
                   "the controller's ready byte and status after " + what);
}

Outcome FreeRun(Session& s, int option)
{
    if (option > 0)
        if (auto failure = Refresh(s))
            return failure;
    return quillonctl::AwaitAnswer(s, "free run", StartFreeRun(s.m_host, option));
}

Outcome Apply(Session& s)
{
    const OpResult result = StartTransfer(s.m_host);
    if (!result.Ok())
        return quillonctl::AwaitAnswer(s, "apply", result);
    if (auto failure = s.Await([] { return g_nTransferReceived == -1; },
                               "the configuration transfer's answers"))
        return failure;
    // The decoder stops a transfer whose next frame did not go out.
    if (!s.m_host.LastWriteSent())
        return Failure{kExitFailed, ClassOf(kExitFailed),
                       "the configuration transfer stopped at frame " +
                           s.m_host.m_lastFrame.Hex() + ", which did not go out whole"};
    return std::nullopt;
}

Outcome UploadTime(Session& s, int which, double ms)
{
    const long long tenths = std::llround(ms * 10);
    if (!(ms >= 0) || tenths > 5LL * 3600 * 10000)
        return quillonctl::Usage(kFiveHoursReached);
    PanelState& p = s.m_host.Panel();
    p.m_nTimerSelect = which;
    p.m_strHours = std::to_string(tenths / 36000000);
    p.m_strMinutes = std::to_string(tenths / 600000 % 60);
    p.m_strSeconds = std::to_string(tenths / 10000 % 60);
    p.m_strMs = std::to_string(tenths / 10 % 1000);
    p.m_strTenthMs = std::to_string(tenths % 10);
    return quillonctl::AwaitAnswer(s, which == 0 ? "closed time" : "exposure time", UploadTimer(s.m_host));
}

Outcome Repeat(Session& s, const std::string& text)
{
    s.m_host.Panel().m_strRepeatNumber = text;
    return quillonctl::AwaitAnswer(s, "repeat count", SendRepeat(s.m_host));
}

}  // namespace shutter_jobs

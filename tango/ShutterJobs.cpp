#include "tango/ShutterJobs.h"

#include <cmath>

#include "timing/TimeRecord.h"
#include "tool/ToolCommands.h"

namespace shutter_jobs {

Outcome FreeRun(Session& s, int option)
{
    if (option > 0)
        if (auto failure = quillonctl::FetchStatus(s))
            return failure;
    return quillonctl::AwaitAnswer(s, "free run", StartFreeRun(s.m_host, option));
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
    return quillonctl::AwaitAnswer(s, which == 0 ? "closed time" : "exposure time",
                                   UploadTimer(s.m_host));
}

Outcome Repeat(Session& s, const std::string& text)
{
    s.m_host.Panel().m_strRepeatNumber = text;
    return quillonctl::AwaitAnswer(s, "repeat count", SendRepeat(s.m_host));
}

}  // namespace shutter_jobs

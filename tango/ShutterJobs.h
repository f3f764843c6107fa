#pragma once
// What the device's commands and writes do on the link, run on the link's thread, where quillonctl
// has no command of the same shape; the rest are quillonctl's own waits (tool/ToolCommands.h).

#include <string>

#include "protocol/Operations.h"
#include "tool/ToolOptions.h"
#include "tool/ToolSession.h"

namespace shutter_jobs {

using quillonctl::Outcome;
using quillonctl::Session;

// A counted run (1 on trigger pulse, 2 go) counts from the controller's own repeat count.
Outcome FreeRun(Session& s, int option);
// Closed (0) or exposure (1) time in milliseconds, to the nearest tenth.
Outcome UploadTime(Session& s, int which, double ms);
// A count, or "65535" for continuous.
Outcome Repeat(Session& s, const std::string& text);

}  // namespace shutter_jobs

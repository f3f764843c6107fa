#pragma once
// What the device's commands and writes do on the link, run on the link's thread. The core
// operations do the protocol; these await the controller's answer as quillonctl does.

#include <string>

#include "protocol/Operations.h"
#include "tool/ToolOptions.h"
#include "tool/ToolSession.h"

namespace shutter_jobs {

using quillonctl::Outcome;
using quillonctl::Session;

// Status request and its reply.
Outcome Refresh(Session& s);
// The identity reply (serial number and firmware).
Outcome Identify(Session& s);
// Reset or Restore Default: until the status owed after the ready byte is in.
Outcome AfterReset(Session& s, const std::string& what, const OpResult& result);
// A counted run (1 on trigger pulse, 2 go) counts from the controller's own repeat count.
Outcome FreeRun(Session& s, int option);
// The paced transfer of the settings the device holds.
Outcome Apply(Session& s);
// Closed (0) or exposure (1) time in milliseconds, to the nearest tenth.
Outcome UploadTime(Session& s, int which, double ms);
// A count, or "65535" for continuous.
Outcome Repeat(Session& s, const std::string& text);

}  // namespace shutter_jobs

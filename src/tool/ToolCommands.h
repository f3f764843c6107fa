#pragma once
// The tool's commands: each parses its words, calls the panel's operations on the session and
// tells the result.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "protocol/Operations.h"
#include "tool/ToolOptions.h"

namespace quillonctl {

class Session;

struct Command {
    const char* name;
    const char* synopsis;
    std::size_t arguments;
    std::function<Outcome(Session&, const Args&)> run;
    // What can be refused without the controller, before the device is opened.
    std::function<Outcome(Session&, const Args&)> check = {};
};

const std::vector<Command>& Commands();
// An operation's result once its answer is in: nothing when the controller answered as it should,
// else why not. `what` names the frame in the messages.
Outcome AwaitAnswer(Session& s, const std::string& what, const OpResult& result);
// The waits the commands share with the TANGO server; they print nothing.
// A status request and its reply.
Outcome FetchStatus(Session& s);
// The identity reply (serial number and firmware), asked for now.
Outcome FetchIdentity(Session& s);
// Reset or Restore Default: until the status owed after the controller's ready byte is in.
Outcome AwaitReset(Session& s, const std::string& what, const OpResult& result);
// Apply: the paced transfer's answers, each frame having gone out whole.
Outcome AwaitTransfer(Session& s, const OpResult& result);
Outcome List(Session& s, const ToolOptions& opts);
// One command on a session, opened first unless it is open.
Outcome RunCommand(Session& session, const std::string& name, const Args& args, bool open);

}  // namespace quillonctl

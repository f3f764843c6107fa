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
Outcome List(Session& s, const ToolOptions& opts);
// One command on a session, opened first unless it is open.
Outcome RunCommand(Session& session, const std::string& name, const Args& args, bool open);

}  // namespace quillonctl

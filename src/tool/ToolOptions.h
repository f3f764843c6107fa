#pragma once
// The tool's options and command words, as given on the command line or on a shell line, and
// the failures a command ends with.

#include <optional>
#include <string>
#include <vector>

#include "tool/Tool.h"

namespace quillonctl {

// The handshake's own time-out: the longest any answer of the controller may take.
constexpr int kDefaultTimeoutMs = 3000;
// How long one blocking read waits for the next byte; the time-out is counted in these.
constexpr unsigned kReadSliceMs = 50;

struct ToolOptions {
    std::string driver;
    bool simulate = false;
    int openBy = -1;
    std::string device;
    bool deviceSet = false;
    bool json = false;
    int timeoutMs = kDefaultTimeoutMs;
    bool help = false;
    bool version = false;
    bool wait = false;               // run go: until the run ends
    bool untilRunEnd = false;        // watch: until a run ends
    std::vector<std::string> words;  // the command and its arguments
};

struct Failure {
    int status;
    const char* errorClass;
    std::string message;
};

using Args = std::vector<std::string>;
using Outcome = std::optional<Failure>;

// The error class named in messages and JSON lines for an exit status.
const char* ClassOf(int status);
Failure Usage(const std::string& message);

// Bad usage, or nothing.
std::optional<std::string> ParseOptions(const std::vector<std::string>& args, ToolOptions& opts);
// A shell line's words.
std::vector<std::string> SplitWords(const std::string& line);

}  // namespace quillonctl

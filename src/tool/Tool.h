#pragma once
// quillonctl: the controller from a script. One run opens the controller as the panel does,
// carries out one command through the same operations, prints the result and closes.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

// Exit statuses, by class of failure (listed in --help).
enum ExitStatus {
    kExitOk = 0,
    kExitFailed = 1,    // a frame did not go out, or its answer was garbage
    kExitUsage = 2,     // bad options or command
    kExitNoDevice = 3,  // no such device, or the device is in use
    kExitTimeOut = 4,   // no answer within the time-out
    kExitDriver = 5,    // the driver library is missing or unusable
    kExitFileRefused = 6,
};

// Where the driver libraries are looked for, besides --driver: the tool's own folder and the
// install's library folders.
struct ToolPlaces {
    std::string executableDir;
    std::vector<std::string> installLibDirs;
};

// The running program's folder, then the library folder as seen from it (relativeLibDir, when
// given), then the configured one.
ToolPlaces InstalledPlaces(const char* relativeLibDir, const char* installLibDir);

// The shell's input: the next line, nothing within waitMs, or the end.
enum class LineStatus { Line, None, End };
using LineReader = std::function<LineStatus(std::string& line, unsigned waitMs)>;

int RunQuillonctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const ToolPlaces& places, const LineReader& input = {});

// Ctrl+C: a watch ends as it would at its end; safe in a signal handler.
void InterruptQuillonctl();

// The --help text; the manual page is kept in step with it.
std::string QuillonctlHelp();

#include "tool/Tool.h"

#include <unistd.h>

#include <climits>

#include <iostream>
#include <ostream>

#include "tool/ToolCommands.h"
#include "tool/ToolSession.h"

#ifndef QUILLON_VERSION
#define QUILLON_VERSION "1.12"
#endif

using namespace quillonctl;

void InterruptQuillonctl()
{
    g_interrupted = 1;
}

std::string QuillonctlHelp()
{
    std::string help =
        "Usage: quillonctl [OPTIONS] COMMAND [ARGUMENTS]\n"
        "Drives a Quillon smart shutter controller from scripts.\n"
        "\n"
        "Options:\n"
        "  --driver NAME|PATH  Load this driver library instead of searching: tty, sim, d2xx,\n"
        "                      or the path of a library.\n"
        "  --simulate          Use the bundled simulated controller.\n"
        "  --by METHOD         Open the device by description, serial or number.\n"
        "  --device TEXT       The device's description, serial number or number (0-64).\n"
        "                      With neither, the device the panel's profile names is opened,\n"
        "                      else the one controller attached.\n"
        "  --json              One JSON object per line for every result and error.\n"
        "  --timeout MS        How long the controller may stay silent (default 3000).\n"
        "  --wait              run go: print each cycle and wait for the run's end.\n"
        "  --until run-end     watch: stop when a run ends.\n"
        "  --help              Show this help and exit.\n"
        "  --version           Show the version and exit.\n"
        "\n"
        "Commands:\n"
        "  list\n"
        "  shell\n";
    for (const Command& command : Commands()) help += std::string("  ") + command.synopsis + "\n";
    help +=
        "\n"
        "Times are H:MM:SS.ffff: hours, minutes, seconds, then milliseconds and their tenth\n"
        "(0:00:01.5003 is 1500.3 ms). With --json, times are in milliseconds.\n"
        "\n"
        "Exit status:\n"
        "  0  success\n"
        "  1  a frame did not go out, the controller answered garbage, or it is not ready\n"
        "  2  bad usage\n"
        "  3  no such device, the device is in use, or the link was lost\n"
        "  4  no answer within the time-out\n"
        "  5  the driver library is missing or unusable\n"
        "  6  the file was refused\n";
    return help;
}

int RunQuillonctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const ToolPlaces& places, const LineReader& input)
{
    g_interrupted = 0;
    ToolOptions opts;
    const std::optional<std::string> problem = ParseOptions(args, opts);
    ToolOutput output(out, err, opts.json);
    output.SetProgressTerminal(&err == &std::cerr && isatty(STDERR_FILENO));
    const auto fail = [&](const Failure& failure) {
        output.Error(failure.errorClass, failure.message);
        return failure.status;
    };
    if (problem)
        return fail(Usage(*problem));
    if (opts.help) {
        out << QuillonctlHelp();
        return kExitOk;
    }
    if (opts.version) {
        out << "quillonctl " QUILLON_VERSION "\n";
        return kExitOk;
    }
    if (opts.words.empty())
        return fail(Usage("No command given; quillonctl --help lists them."));
    Session session(opts, output, places);
    const std::string& name = opts.words[0];
    const Args commandArgs(opts.words.begin() + 1, opts.words.end());
    if (name == "list") {
        if (!commandArgs.empty())
            return fail(Usage("list takes no arguments."));
        const Outcome outcome = List(session, opts);
        return outcome ? fail(*outcome) : kExitOk;
    }
    if (name == "shell") {
        if (!commandArgs.empty() || !input)
            return fail(Usage("shell takes no arguments."));
        return Shell(session, opts, input);
    }
    const Outcome outcome = RunCommand(session, name, commandArgs, true);
    return outcome ? fail(*outcome) : kExitOk;
}

ToolPlaces InstalledPlaces(const char* relativeLibDir, const char* installLibDir)
{
    ToolPlaces places;
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const std::string path(self, static_cast<std::size_t>(length));
        places.executableDir = path.substr(0, path.rfind('/'));
    }
    if (*relativeLibDir && !places.executableDir.empty())
        places.installLibDirs.push_back(places.executableDir + "/" + relativeLibDir);
    places.installLibDirs.push_back(installLibDir);
    return places;
}

// The program's own command line, run as a user runs it: --diagnose needs no display and always
// exits 0; --help lists the driver names.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <string>

#include "unit/usb/FakeUsbTree.h"

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string output;
};

// Standard output and error of the program with the given environment settings and arguments.
ProgramRun RunProgram(const std::string& environment, const std::string& arguments)
{
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                environment + " " QUILLON_BUILD_DIR "/quillon-utility " +
                                arguments + " 2>&1";
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> buffer;
    while (const size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        run.output.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(CommandLine, DiagnoseReportsAndExitsWithoutADisplay)
{
    FakeUsbTree tree;
    const std::string roots =
        "QUILLON_TTY_SYSFS_ROOT=" + tree.roots.sysfs + " QUILLON_TTY_DEV_ROOT=" + tree.roots.dev;
    const struct {
        std::string arguments;
        std::vector<std::string> expected;
    } cases[] = {
        {"--diagnose",
         {"1. " QUILLON_BUILD_DIR "/libftd2xx.so\n     does not load: ",
          "2. libftd2xx.so (the system loader's search)\n",
          "3. " QUILLON_BUILD_DIR "/libquillon-tty.so\n",
          "FTDI USB devices (" + tree.roots.sysfs + "/bus/usb/devices):\n",
          "none: no FTDI USB device (vendor id 0403) is attached."}},
        {"--driver sim --diagnose",
         {"1. " QUILLON_BUILD_DIR "/libquillon-sim.so\n     loads " QUILLON_BUILD_DIR
          "/libquillon-sim.so (the bundled simulated controller); this is the one the program "
          "uses\n     it counts 1 device(s)\n"}},
    };
    for (const auto& c : cases) {
        const ProgramRun run = RunProgram(roots, c.arguments);
        EXPECT_EQ(run.exitCode, 0) << c.arguments << "\n" << run.output;
        for (const std::string& part : c.expected) {
            EXPECT_TRUE(Contains(run.output, part)) << part << "\n--- in ---\n" << run.output;
        }
    }

    const ProgramRun wrong = RunProgram(roots, "--diagnose --no-such-option");
    EXPECT_EQ(wrong.exitCode, 1) << wrong.output;
    EXPECT_TRUE(Contains(wrong.output, "Unknown option 'no-such-option'")) << wrong.output;

    // On this machine, whatever its buses hold.
    const ProgramRun here = RunProgram("", "--diagnose");
    EXPECT_EQ(here.exitCode, 0) << here.output;
    EXPECT_TRUE(Contains(here.output, "FTDI USB devices (/sys/bus/usb/devices):\n")) << here.output;
}

TEST(CommandLine, HelpListsTheDriverNamesAndDiagnose)
{
    ProgramRun run = RunProgram("QT_QPA_PLATFORM=offscreen", "--help");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    // Help text is wrapped to the terminal: compare it as one line.
    std::string flat;
    for (const char ch : run.output) {
        if (!std::isspace(static_cast<unsigned char>(ch))) {
            flat += ch;
        } else if (!flat.empty() && flat.back() != ' ') {
            flat += ' ';
        }
    }
    run.output = flat;
    for (const char* part : {"--driver <NAME|PATH>", "tty (the bundled serial backend",
                             "sim (the bundled simulated controller", "d2xx (the D2XX library",
                             "ftd2xx (the same as d2xx)", "--diagnose", "--simulate"}) {
        EXPECT_TRUE(Contains(run.output, part)) << part << "\n--- in ---\n" << run.output;
    }
}

}  // namespace

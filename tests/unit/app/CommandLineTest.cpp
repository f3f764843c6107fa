// The program's own command line, run as a user runs it, without a display: --diagnose always
// exits 0, a bad option exits 1 with its reason, --help lists the driver names.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <regex>
#include <string>

#include "unit/usb/FakeUsbTree.h"

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string output;  // standard output and error
};

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

TEST(CommandLine, DiagnoseReportsAndExitsWithoutADisplayAndHelpListsTheDrivers)
{
    FakeUsbTree tree;
    const std::string roots =
        "QUILLON_TTY_SYSFS_ROOT=" + tree.roots.sysfs + " QUILLON_TTY_DEV_ROOT=" + tree.roots.dev;
    // clang-format off
    const struct {
        std::string environment, arguments;
        int exitCode;
        std::vector<std::string> expected;
    } cases[] = {
        {roots, "--diagnose", 0,
         {"1. " QUILLON_BUILD_DIR "/libftd2xx.so\n     does not load: ",
          "2. libftd2xx.so (the system loader's search)\n",
          "3. " QUILLON_BUILD_DIR "/libquillon-tty.so\n",
          "FTDI USB devices (" + tree.roots.sysfs + "/bus/usb/devices):\n",
          "none: no FTDI USB device (vendor id 0403) is attached."}},
        {roots, "--driver sim --diagnose", 0,
         {"1. " QUILLON_BUILD_DIR "/libquillon-sim.so\n     loads " QUILLON_BUILD_DIR
          "/libquillon-sim.so (the bundled simulated controller); this is the one the program "
          "uses\n     it counts 1 device(s)\n"}},
        {roots, "--diagnose --no-such-option", 1, {"Unknown option 'no-such-option'"}},
        // Refused before any window system is touched, and Qt's own options still pass.
        {"", "--bogus", 1, {"Unknown option 'bogus'."}},
        {"", "--driver", 1, {"Missing value after '--driver'."}},
        {"", "-platform offscreen --version", 0, {"quillon-utility 1.12b"}},
        // On this machine, whatever its buses hold.
        {"", "--diagnose", 0, {"FTDI USB devices (/sys/bus/usb/devices):\n"}},
        // Help text is wrapped to the terminal: it is compared with its white space folded.
        {"QT_QPA_PLATFORM=offscreen", "--help", 0,
         {"--driver <NAME|PATH>", "tty (the bundled serial backend",
          "sim (the bundled simulated controller", "d2xx (the D2XX library",
          "ftd2xx (the same as d2xx)", "--diagnose", "--simulate"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        ProgramRun run = RunProgram(c.environment, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        if (c.arguments == "--help")
            run.output = std::regex_replace(run.output, std::regex(R"(\s+)"), " ");
        for (const std::string& part : c.expected) {
            EXPECT_NE(run.output.find(part), std::string::npos) << part << "\n--- in ---\n"
                                                                << run.output;
        }
    }
}

}  // namespace

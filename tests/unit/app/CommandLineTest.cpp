// The program's own command line, run as a user runs it, without a display: --diagnose always
// exits 0, a bad option exits 1 with its reason, --help lists the driver names.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>

#include "unit/usb/FakeUsbTree.h"

namespace {

TEST(CommandLine, DiagnoseReportsAndExitsWithoutADisplayAndHelpListsTheDrivers)
{
    FakeUsbTree tree;
    const std::string roots =
        "QUILLON_TTY_SYSFS_ROOT=" + tree.roots.sysfs + " QUILLON_TTY_DEV_ROOT=" + tree.roots.dev;
    // The environment, the arguments, the exit status and parts of the output.
    // clang-format off
    const std::tuple<std::string, std::string, int, std::vector<std::string>> cases[] = {
        {roots, "--diagnose", 0,
         {"1. " QUILLON_BUILD_DIR "/libftd2xx.so\n     does not load: ",
          "2. libftd2xx.so (the system loader's search)\n", "3. " QUILLON_BUILD_DIR "/libquillon-tty.so\n",
          "FTDI USB devices (" + tree.roots.sysfs + "/bus/usb/devices):\n",
          "none: no FTDI USB device (vendor id 0403) is attached."}},
        {roots, "--driver sim --diagnose", 0,
         {"1. " QUILLON_BUILD_DIR "/libquillon-sim.so\n     loads " QUILLON_BUILD_DIR
          "/libquillon-sim.so (the bundled simulated controller); this is the one the program "
          "uses\n     it counts 1 device(s)\n", "):\n  (the simulated controller in use needs none of them)\n"}},
        {roots, "--driver " QUILLON_BUILD_DIR "/libquillon-sim-nobaud.so --diagnose", 0,
         {"lacks FT_SetBaudRate: the program reports each missing entry point"}},
        {roots, "--diagnose --no-such-option", 1, {"Unknown option 'no-such-option'"}},
        // Refused before any window system is touched, and Qt's own options still pass.
        {"", "--bogus", 1, {"Unknown option 'bogus'."}}, {"", "--driver", 1, {"Missing value after '--driver'."}},
        {"", "-platform offscreen --version", 0, {"quillon-utility 1.12b"}},
        {"", "--diagnose", 0, {"FTDI USB devices (/sys/bus/usb/devices):\n"}},  // whatever the buses hold
        // Help text is wrapped to the terminal: it is compared with its white space folded.
        {"QT_QPA_PLATFORM=offscreen", "--help", 0,
         {"--driver <NAME|PATH>", "tty (the bundled serial backend", "sim (the bundled simulated controller",
          "d2xx (the D2XX library", "ftd2xx (the same as d2xx)", "--diagnose", "--simulate"}}};
    // clang-format on
    for (const auto& [environment, arguments, exitCode, expected] : cases) {
        FILE* pipe = ::popen(("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + environment +
                              " " QUILLON_BUILD_DIR "/quillon-utility " + arguments + " 2>&1").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[4096];
        while (const size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        const int status = ::pclose(pipe);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, exitCode) << arguments << "\n" << output;
        if (arguments == "--help")
            output = std::regex_replace(output, std::regex(R"(\s+)"), " ");
        for (const std::string& part : expected)
            EXPECT_NE(output.find(part), std::string::npos) << part << "\n--- in ---\n" << output;
    }
}

}  // namespace

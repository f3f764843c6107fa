#include <gtest/gtest.h>

#include "usb/DriverLocation.h"

namespace {

std::string Joined(const std::vector<std::string>& paths)
{
    std::string text;
    for (const std::string& path : paths) text += (text.empty() ? "" : " ") + path;
    return text;
}

TEST(DriverCandidates, ListsLibrariesInLoadOrderAndTheSimulatorChoosesTheDemonstration)
{
    // clang-format off
    const struct {
        std::string driver;
        bool simulate;
        std::string exeDir;
        std::vector<std::string> libDirs;
        std::string expected;  // in load order
        bool demonstration;
    } cases[] = {
        // The D2XX library first, then the bundled serial backend, so a machine without the
        // proprietary library still works.
        {"", false, "/opt/q/bin", {"/opt/q/lib"},
         "/opt/q/bin/libftd2xx.so libftd2xx.so /opt/q/bin/libquillon-tty.so "
         "/opt/q/lib/libquillon-tty.so", false},
        {"", false, "/opt/q/bin/", {},
         "/opt/q/bin/libftd2xx.so libftd2xx.so /opt/q/bin/libquillon-tty.so", false},
        {"", false, "", {"/opt/q/lib"}, "libftd2xx.so /opt/q/lib/libquillon-tty.so", false},
        {"", false, "/usr/lib", {"/usr/lib/"},
         "/usr/lib/libftd2xx.so libftd2xx.so /usr/lib/libquillon-tty.so", false},
        // Simulating: the build tree first, then the installed copy, each folder once.
        {"", true, "/b", {"/l"}, "/b/libquillon-sim.so /l/libquillon-sim.so", true},
        {"", true, "/usr/lib", {"/usr/lib/"}, "/usr/lib/libquillon-sim.so", true},
        {"", true, "", {}, "", true},
        // Installed: beside the executable (a DESTDIR or moved install), then the configured one.
        {"", true, "/d/usr/bin", {"/d/usr/lib/q", "/usr/lib/q"},
         "/d/usr/bin/libquillon-sim.so /d/usr/lib/q/libquillon-sim.so "
         "/usr/lib/q/libquillon-sim.so", true},
        {"", false, "/d/usr/bin", {"/d/usr/lib/q", "/usr/lib/q"},
         "/d/usr/bin/libftd2xx.so libftd2xx.so /d/usr/bin/libquillon-tty.so "
         "/d/usr/lib/q/libquillon-tty.so /usr/lib/q/libquillon-tty.so", false},
        // Short names pick one library, wherever it may be; they win over --simulate.
        {"sim", false, "/b", {"/l"}, "/b/libquillon-sim.so /l/libquillon-sim.so", true},
        {"tty", true, "/b", {"/l"}, "/b/libquillon-tty.so /l/libquillon-tty.so", true},
        {"tty", false, "", {}, "", false},
        {"d2xx", false, "/b", {"/l"}, "/b/libftd2xx.so libftd2xx.so", false},
        {"ftd2xx", true, "", {"/l"}, "libftd2xx.so", true},
        // Anything else is a path and the only candidate, simulating or not.
        {"/tmp/x/libd2.so", false, "/b", {"/l"}, "/tmp/x/libd2.so", false},
        {"./libd2.so", true, "/b", {"/l"}, "./libd2.so", true},
        {"./tty", false, "/b", {"/l"}, "./tty", false},
        {"TTY", false, "/b", {"/l"}, "TTY", false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.driver + " " + std::to_string(c.simulate) + " " + c.exeDir);
        EXPECT_EQ(Joined(DriverCandidates(c.driver, c.simulate, c.exeDir, c.libDirs)), c.expected);
        EXPECT_EQ(SimulatorChosen(c.driver, c.simulate), c.demonstration);
    }
}

}  // namespace

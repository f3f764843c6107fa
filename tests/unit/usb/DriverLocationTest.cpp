#include <gtest/gtest.h>

#include "usb/DriverLocation.h"

namespace {

TEST(DriverCandidates, ListsLibrariesInLoadOrder)
{
    using List = std::vector<std::string>;
    const struct {
        std::string driver;
        bool simulate;
        std::string exeDir;
        List libDirs;
        List expected;
    } cases[] = {
        // The D2XX library first, then the bundled serial backend, so a machine without the
        // proprietary library still works.
        {"",
         false,
         "/opt/q/bin",
         {"/opt/q/lib"},
         {"/opt/q/bin/libftd2xx.so", "libftd2xx.so", "/opt/q/bin/libquillon-tty.so",
          "/opt/q/lib/libquillon-tty.so"}},
        {"",
         false,
         "/opt/q/bin/",
         {},
         {"/opt/q/bin/libftd2xx.so", "libftd2xx.so", "/opt/q/bin/libquillon-tty.so"}},
        {"", false, "", {"/opt/q/lib"}, {"libftd2xx.so", "/opt/q/lib/libquillon-tty.so"}},
        {"",
         false,
         "/usr/lib",
         {"/usr/lib/"},
         {"/usr/lib/libftd2xx.so", "libftd2xx.so", "/usr/lib/libquillon-tty.so"}},
        // Simulating: the build tree first, then the installed copy, each folder once.
        {"", true, "/b", {"/l"}, {"/b/libquillon-sim.so", "/l/libquillon-sim.so"}},
        {"", true, "/usr/lib", {"/usr/lib/"}, {"/usr/lib/libquillon-sim.so"}},
        {"", true, "", {}, {}},
        // Installed: the folder relative to the executable (a DESTDIR or moved install), then the
        // configured one.
        {"",
         true,
         "/d/usr/bin",
         {"/d/usr/lib/q", "/usr/lib/q"},
         {"/d/usr/bin/libquillon-sim.so", "/d/usr/lib/q/libquillon-sim.so",
          "/usr/lib/q/libquillon-sim.so"}},
        {"",
         false,
         "/d/usr/bin",
         {"/d/usr/lib/q", "/usr/lib/q"},
         {"/d/usr/bin/libftd2xx.so", "libftd2xx.so", "/d/usr/bin/libquillon-tty.so",
          "/d/usr/lib/q/libquillon-tty.so", "/usr/lib/q/libquillon-tty.so"}},
        // Short names pick one library, wherever it may be; they win over --simulate.
        {"sim", false, "/b", {"/l"}, {"/b/libquillon-sim.so", "/l/libquillon-sim.so"}},
        {"tty", true, "/b", {"/l"}, {"/b/libquillon-tty.so", "/l/libquillon-tty.so"}},
        {"tty", false, "", {}, {}},
        {"d2xx", false, "/b", {"/l"}, {"/b/libftd2xx.so", "libftd2xx.so"}},
        {"ftd2xx", true, "", {"/l"}, {"libftd2xx.so"}},
        // Anything else is a path and the only candidate, simulating or not.
        {"/tmp/x/libd2.so", false, "/b", {"/l"}, {"/tmp/x/libd2.so"}},
        {"./libd2.so", true, "/b", {"/l"}, {"./libd2.so"}},
        {"./tty", false, "/b", {"/l"}, {"./tty"}},
        {"TTY", false, "/b", {"/l"}, {"TTY"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DriverCandidates(c.driver, c.simulate, c.exeDir, c.libDirs), c.expected)
            << c.driver << " " << c.simulate << " " << c.exeDir << " " << c.libDirs.size();
    }
}

TEST(DriverCandidates, DemonstrationProfileFollowsTheSimulator)
{
    const struct {
        std::string driver;
        bool simulate;
        bool chosen;
    } cases[] = {
        {"", false, false},    {"", true, true},       {"sim", false, true},
        {"tty", false, false}, {"d2xx", false, false}, {"/x/libquillon-sim.so", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SimulatorChosen(c.driver, c.simulate), c.chosen) << c.driver << c.simulate;
    }
}

}  // namespace

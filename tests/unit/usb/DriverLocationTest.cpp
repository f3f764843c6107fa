#include <gtest/gtest.h>

#include "usb/DriverLocation.h"

namespace {

TEST(DriverCandidates, ListsLibrariesInLoadOrder)
{
    using List = std::vector<std::string>;
    const struct {
        std::string driver;
        bool simulate;
        std::string exeDir, libDir;
        List expected;
    } cases[] = {
        {"", false, "/opt/q/bin", "/opt/q/lib", {"/opt/q/bin/libftd2xx.so", "libftd2xx.so"}},
        {"", false, "/opt/q/bin/", "", {"/opt/q/bin/libftd2xx.so", "libftd2xx.so"}},
        {"", false, "", "/opt/q/lib", {"libftd2xx.so"}},
        // Simulating: the build tree first, then the installed copy, each folder once.
        {"", true, "/b", "/l", {"/b/libquillon-sim.so", "/l/libquillon-sim.so"}},
        {"", true, "/usr/lib", "/usr/lib/", {"/usr/lib/libquillon-sim.so"}},
        {"", true, "", "", {}},
        // A named driver is the only candidate, simulating or not.
        {"/tmp/x/libd2.so", false, "/b", "/l", {"/tmp/x/libd2.so"}},
        {"./libd2.so", true, "/b", "/l", {"./libd2.so"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DriverCandidates(c.driver, c.simulate, c.exeDir, c.libDir), c.expected)
            << c.driver << " " << c.simulate << " " << c.exeDir << " " << c.libDir;
    }
}

}  // namespace

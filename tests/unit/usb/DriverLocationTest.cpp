#include <gtest/gtest.h>

#include "usb/DriverLocation.h"

namespace {

struct Case {
    const char* name;
    std::string driver;
    bool simulate;
    std::string exeDir;
    std::string libDir;
    std::vector<std::string> expected;
};

class DriverCandidatesTest : public testing::TestWithParam<Case> {};

TEST_P(DriverCandidatesTest, ListsLibrariesInLoadOrder)
{
    const Case& c = GetParam();
    EXPECT_EQ(DriverCandidates(c.driver, c.simulate, c.exeDir, c.libDir), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Options, DriverCandidatesTest,
    testing::Values(Case{"Plain",
                         "",
                         false,
                         "/opt/q/bin",
                         "/opt/q/lib",
                         {"/opt/q/bin/libftd2xx.so", "libftd2xx.so"}},
                    Case{"PlainTrailingSlash",
                         "",
                         false,
                         "/opt/q/bin/",
                         "",
                         {"/opt/q/bin/libftd2xx.so", "libftd2xx.so"}},
                    Case{"PlainUnknownExeDir", "", false, "", "/opt/q/lib", {"libftd2xx.so"}},
                    Case{"SimulateBuildTreeThenInstalled",
                         "",
                         true,
                         "/b",
                         "/usr/lib/x86_64-linux-gnu",
                         {"/b/libquillon-sim.so", "/usr/lib/x86_64-linux-gnu/libquillon-sim.so"}},
                    Case{"SimulateSameFolderOnce",
                         "",
                         true,
                         "/usr/lib",
                         "/usr/lib/",
                         {"/usr/lib/libquillon-sim.so"}},
                    Case{"SimulateNoFolders", "", true, "", "", {}},
                    Case{"DriverOnly", "/tmp/x/libd2.so", false, "/b", "/l", {"/tmp/x/libd2.so"}},
                    Case{"DriverWinsOverSimulate", "./libd2.so", true, "/b", "/l", {"./libd2.so"}}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace

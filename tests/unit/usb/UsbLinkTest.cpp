// The driver binding and the link operations on top of it, against the simulator and a driver
// whose device list a test scripts.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "ListingDriver.h"
#include "QuillonSim.h"
#include "usb/DeviceConnection.h"

namespace {

using Lines = std::vector<std::string>;

// Before a load, after a failed or partial one and after the release, no wrapper may jump into a
// library: each fails and says which entry point it lacks.
TEST(UsbLink, WrappersCallOnlyAFullyBoundLibrary)
{
    QuillonSim_Reset();
    UsbLink link;
    Lines reports;
    link.SetReporter([&](const std::string& text) { reports.push_back(text); });
    DWORD count = 0;
    unsigned char buffer[4] = {};
    const std::pair<const char*, std::function<FT_STATUS()>> wrappers[] = {
        {"FT_Open", [&] { return link.Open(0); }},
        {"FT_OpenEx", [&] { return link.OpenEx(buffer, FT_OPEN_BY_DESCRIPTION); }},
        {"FT_ListDevices", [&] { return link.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY); }},
        {"FT_Close", [&] { return link.Close(); }},
        {"FT_Write", [&] { return link.Write(buffer, 1, &count); }},
        {"FT_Read", [&] { return link.Read(buffer, 1, &count); }},
        {"FT_SetTimeouts", [&] { return link.SetTimeouts(100, 100); }},
        {"FT_ResetDevice", [&] { return link.ResetDevice(); }},
        {"FT_Purge", [&] { return link.Purge(FT_PURGE_RX); }},
        {"FT_GetQueueStatus", [&] { return link.GetQueueStatus(&count); }},
        {"FT_SetBaudRate", [&] { return link.SetBaudRate(128000); }},
        {"FT_SetLatencyTimer", [&] { return link.SetLatencyTimer(2); }},
        {"FT_SetUSBParameters", [&] { return link.SetUSBParameters(64, 0); }}};
    const auto expectEveryWrapperReports = [&](const char* when) {
        for (const auto& [name, call] : wrappers) {
            reports.clear();
            EXPECT_EQ(call(), FT_INVALID_HANDLE) << when << ": " << name;
            EXPECT_EQ(reports, Lines{std::string(name) + " is not valid!"});
        }
        reports.clear();
    };
    expectEveryWrapperReports("before a load");
    // Every candidate's reason, in one report.
    EXPECT_FALSE(link.LoadD2xx({"/nonexistent/libftd2xx.so", "libquillon-no-such-driver.so"}));
    ASSERT_EQ(reports.size(), 1u);
    for (const char* part : {"/nonexistent/libftd2xx.so", "libquillon-no-such-driver.so", "No such file"})
        EXPECT_NE(reports[0].find(part), std::string::npos) << reports[0];
    expectEveryWrapperReports("after a failed load");
    ASSERT_TRUE(link.LoadD2xx({"/nonexistent/libftd2xx.so", QUILLON_BUILD_DIR "/libquillon-sim.so"}));
    EXPECT_EQ(link.Open(0), FT_OK);
    link.Release();
    EXPECT_FALSE(link.Loaded());
    expectEveryWrapperReports("after the release");
    // A library lacking FT_Write is loaded but binds nothing.
    ASSERT_TRUE(link.LoadD2xx({QUILLON_BUILD_DIR "/libquillon-sim-nowrite.so"}));
    EXPECT_EQ(reports, Lines{"Error: Can't Find FT_Write"});
    expectEveryWrapperReports("without FT_Write");
}

// Names come only from buffers the driver was given and filled, by the chosen method, whatever
// the driver claims.
TEST(DeviceList, NamesComeOnlyFromBuffersTheDriverFilledByTheChosenMethod)
{
    const std::string path = QUILLON_BUILD_DIR "/libquillon-listing-driver.so";
    void* driver = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);  // the one the binding loads
    ASSERT_NE(driver, nullptr) << dlerror();
    const auto set = reinterpret_cast<void (*)(ListingScript)>(dlsym(driver, "ListingDriver_Set"));
    const auto seen = reinterpret_cast<ListingSeen (*)()>(dlsym(driver, "ListingDriver_Seen"));
    UsbLink link;
    ASSERT_TRUE(link.LoadD2xx({path}));
    constexpr DWORD kByDesc = FT_LIST_ALL | FT_OPEN_BY_DESCRIPTION;
    const ListingScript three{3, 3, 99, -1, FT_OK};
    const Lines names = {"Desc 0", "Desc 1", "Desc 2"};
    // The method, the script; the names after the count line, the flags of the name query.
    // clang-format off
    const std::tuple<int, ListingScript, Lines, DWORD> cases[] = {
        {0, three, names, kByDesc},
        {0, {3, 5, 99, -1, FT_OK}, names, kByDesc},  // two plugged in between count and list
        {0, {3, 2, 99, -1, FT_OK}, {"Desc 0", "Desc 1"}, kByDesc},  // one unplugged
        {0, {5, 5, 2, -1, FT_OK}, {"Desc 0", "Desc 1"}, kByDesc},  // fewer filled than counted
        {0, {3, 3, 99, 40, FT_OK}, names, kByDesc},  // claims more than it was given
        {0, {3, 3, 1, 3, FT_OK}, {"Desc 0", "", ""}, kByDesc},  // claims more than it filled
        {0, {3, 3, 99, -1, FT_IO_ERROR}, {"ListDevices failed"}, kByDesc},
        {1, three, {"SN 0", "SN 1", "SN 2"}, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER},
        {2, three, {"0", "1", "2"}, 0}, {-1, three, {}, 0}, {0, {0, 4, 99, -1, FT_OK}, {}, 0}};
    // clang-format on
    for (const auto& [method, script, expected, flags] : cases) {
        set(script);
        const SearchResult result = SearchDevices(link, method);
        EXPECT_FALSE(result.countFailed);
        Lines lines{std::to_string(script.counted) + " device(s) attached:"};
        lines.insert(lines.end(), expected.begin(), expected.end());
        EXPECT_EQ(result.lines, lines);
        EXPECT_EQ(seen().flags, flags);
        // One buffer per counted device, then the NULL a driver walks to.
        if (flags != 0) {
            EXPECT_EQ(std::tuple(seen().terminated, seen().buffers), std::tuple(1, script.counted));
        }
    }
    dlclose(driver);
}

}  // namespace

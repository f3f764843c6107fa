#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include "QuillonSim.h"
#include "usb/UsbLink.h"

namespace {

// Before a load, after a failed or partial one and after the release, no wrapper may jump into a
// library: each fails with 1 and its own message.
TEST(UsbLink, WrappersCallOnlyAFullyBoundLibrary)
{
    QuillonSim_Reset();
    UsbLink link;
    std::vector<std::string> reports;
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
        {"FT_SetUSBParameters", [&] { return link.SetUSBParameters(64, 0); }},
    };
    const auto expectEveryWrapperReports = [&](const char* when) {
        for (const auto& [name, call] : wrappers) {
            reports.clear();
            EXPECT_EQ(call(), FT_INVALID_HANDLE) << when << ": " << name;
            EXPECT_EQ(reports, std::vector<std::string>{std::string(name) + " is not valid!"});
        }
        reports.clear();
    };
    expectEveryWrapperReports("before a load");

    // Every candidate's reason, in one report.
    EXPECT_FALSE(link.LoadD2xx({"/nonexistent/libftd2xx.so", "libquillon-no-such-driver.so"}));
    ASSERT_EQ(reports.size(), 1u);
    for (const char* part :
         {"/nonexistent/libftd2xx.so", "libquillon-no-such-driver.so", "No such file"}) {
        EXPECT_NE(reports[0].find(part), std::string::npos) << reports[0];
    }
    expectEveryWrapperReports("after a failed load");

    ASSERT_TRUE(
        link.LoadD2xx({"/nonexistent/libftd2xx.so", QUILLON_BUILD_DIR "/libquillon-sim.so"}));
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(link.Open(0), FT_OK);
    EXPECT_NE(link.Handle(), nullptr);
    link.Release();
    EXPECT_FALSE(link.Loaded());
    expectEveryWrapperReports("after the release");

    // A library lacking FT_Write is loaded but binds nothing.
    ASSERT_TRUE(link.LoadD2xx({QUILLON_BUILD_DIR "/libquillon-sim-nowrite.so"}));
    EXPECT_EQ(reports, std::vector<std::string>{"Error: Can't Find FT_Write"});
    expectEveryWrapperReports("without FT_Write");
}

// An RX line shows what a read returned, not what it asked for.
TEST(UsbLink, TranscriptShowsTheBytesAReadReturned)
{
    QuillonSim_Reset();
    UsbLink link;
    ASSERT_TRUE(link.LoadD2xx({QUILLON_BUILD_DIR "/libquillon-sim.so"}));
    ASSERT_EQ(link.Open(0), FT_OK);
    char path[] = "/tmp/usb-link-transcript-XXXXXX";
    close(mkstemp(path));
    ASSERT_EQ(link.Transcript().Start(path), std::nullopt);
    unsigned char buffer[2] = {};
    DWORD got = 0;
    link.Read(buffer, 2, &got);  // a silent handshake
    const std::uint8_t reply = 0xEE;
    QuillonSim_Inject(0, &reply, 1);
    link.Read(buffer, 2, &got);
    EXPECT_EQ(link.Transcript().Stop(), std::nullopt);
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(line.find(' ') + 1));
    EXPECT_EQ(lines, (std::vector<std::string>{"RX 0", "RX 1 EE"}));
    std::remove(path);
}

}  // namespace

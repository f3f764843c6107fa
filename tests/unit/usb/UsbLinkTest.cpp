#include <gtest/gtest.h>

#include <functional>

#include "QuillonSim.h"
#include "usb/UsbLink.h"

namespace {

const std::string kSim = QUILLON_BUILD_DIR "/libquillon-sim.so";
const std::string kSimNoBaud = QUILLON_BUILD_DIR "/libquillon-sim-nobaud.so";
const std::string kSimNoWrite = QUILLON_BUILD_DIR "/libquillon-sim-nowrite.so";

class UsbLinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        QuillonSim_Reset();
        link.SetReporter([this](const std::string& text) { reports.push_back(text); });
    }

    UsbLink link;
    std::vector<std::string> reports;
};

struct WrapperCall {
    const char* message;
    std::function<FT_STATUS(UsbLink&)> call;
};

// Every wrapper, in the order of the entry-point slots.
std::vector<WrapperCall> AllWrappers()
{
    static DWORD count = 0;
    static unsigned char buffer[4] = {};
    return {
        {"FT_Open is not valid!", [](UsbLink& l) { return l.Open(0); }},
        {"FT_OpenEx is not valid!",
         [](UsbLink& l) { return l.OpenEx(const_cast<char*>("Quillon SC"), 2); }},
        {"FT_ListDevices is not valid!",
         [](UsbLink& l) { return l.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY); }},
        {"FT_Close is not valid!", [](UsbLink& l) { return l.Close(); }},
        {"FT_Write is not valid!", [](UsbLink& l) { return l.Write(buffer, 1, &count); }},
        {"FT_Read is not valid!", [](UsbLink& l) { return l.Read(buffer, 1, &count); }},
        {"FT_SetTimeouts is not valid!", [](UsbLink& l) { return l.SetTimeouts(100, 100); }},
        {"FT_ResetDevice is not valid!", [](UsbLink& l) { return l.ResetDevice(); }},
        {"FT_Purge is not valid!", [](UsbLink& l) { return l.Purge(FT_PURGE_RX); }},
        {"FT_GetQueueStatus is not valid!", [](UsbLink& l) { return l.GetQueueStatus(&count); }},
        {"FT_SetBaudRate is not valid!", [](UsbLink& l) { return l.SetBaudRate(128000); }},
        {"FT_SetLatencyTimer is not valid!", [](UsbLink& l) { return l.SetLatencyTimer(2); }},
        {"FT_SetUSBParameters is not valid!", [](UsbLink& l) { return l.SetUSBParameters(64, 0); }},
    };
}

void ExpectEveryWrapperReports(UsbLink& link, std::vector<std::string>& reports)
{
    for (const WrapperCall& wrapper : AllWrappers()) {
        reports.clear();
        EXPECT_EQ(wrapper.call(link), FT_INVALID_HANDLE) << wrapper.message;
        EXPECT_EQ(reports, std::vector<std::string>{wrapper.message});
    }
}

TEST_F(UsbLinkTest, UnboundWrappersReportAndFail)
{
    ExpectEveryWrapperReports(link, reports);
}

TEST_F(UsbLinkTest, MissingLibraryIsReportedOnceWithEveryReason)
{
    EXPECT_FALSE(link.LoadD2xx({"/nonexistent/libftd2xx.so", "libquillon-no-such-driver.so"}));
    EXPECT_FALSE(link.Loaded());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("/nonexistent/libftd2xx.so"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("libquillon-no-such-driver.so"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("No such file"), std::string::npos) << reports[0];
}

TEST_F(UsbLinkTest, LaterCandidateIsUsedWhenAnEarlierOneFails)
{
    EXPECT_TRUE(link.LoadD2xx({"/nonexistent/libftd2xx.so", kSim}));
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(link.LibraryPath(), kSim);
}

TEST_F(UsbLinkTest, MissingBaudRateLeavesItAndTheLaterSlotsEmpty)
{
    ASSERT_TRUE(link.LoadD2xx({kSimNoBaud}));
    EXPECT_EQ(reports, std::vector<std::string>{"Error: Can't Find FT_SetBaudRate"});
    reports.clear();

    DWORD count = 0;
    EXPECT_EQ(link.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(link.SetLatencyTimer(2), FT_INVALID_HANDLE);
    EXPECT_EQ(link.SetBaudRate(128000), FT_INVALID_HANDLE);
    EXPECT_EQ(link.SetUSBParameters(64, 0), FT_INVALID_HANDLE);
    EXPECT_EQ(reports, (std::vector<std::string>{"FT_SetLatencyTimer is not valid!",
                                                 "FT_SetBaudRate is not valid!",
                                                 "FT_SetUSBParameters is not valid!"}));
}

TEST_F(UsbLinkTest, MissingWriteLeavesEverySlotEmpty)
{
    ASSERT_TRUE(link.LoadD2xx({kSimNoWrite}));
    EXPECT_TRUE(link.Loaded());
    EXPECT_EQ(reports, std::vector<std::string>{"Error: Can't Find FT_Write"});
    ExpectEveryWrapperReports(link, reports);
}

TEST_F(UsbLinkTest, BoundLinkReachesTheDeviceAndReleaseUnbindsIt)
{
    ASSERT_TRUE(link.LoadD2xx({kSim}));
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(link.Open(0), FT_OK);
    EXPECT_NE(link.Handle(), nullptr);
    DWORD queued = 99;
    EXPECT_EQ(link.GetQueueStatus(&queued), FT_OK);
    EXPECT_EQ(queued, 0u);

    // The handle is kept after a close, and the driver rejects it from then on.
    const FT_HANDLE opened = link.Handle();
    EXPECT_EQ(link.Close(), FT_OK);
    EXPECT_EQ(link.Handle(), opened);
    EXPECT_NE(link.GetQueueStatus(&queued), FT_OK);

    link.Release();
    EXPECT_FALSE(link.Loaded());
    ExpectEveryWrapperReports(link, reports);
}

}  // namespace

// The device list against a driver that does not keep to its own count: names are taken only
// from buffers the driver was given and filled, whatever it claims.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ListingDriver.h"
#include "usb/DeviceConnection.h"
#include "usb/UsbLink.h"

namespace {

using Lines = std::vector<std::string>;

class DeviceListTest : public testing::Test {
protected:
    void SetUp() override
    {
        link.SetReporter([this](const std::string& text) { reports.push_back(text); });
        ASSERT_TRUE(link.LoadD2xx({QUILLON_BUILD_DIR "/libquillon-listing-driver.so"}));
    }

    UsbLink link;
    Lines reports;
};

TEST_F(DeviceListTest, NamesComeOnlyFromBuffersTheDriverFilled)
{
    struct Case {
        const char* what;
        ListingScript script;
        Lines names;  // after the count line
    };
    const Case cases[] = {
        {"as counted", {3, 3, 99, -1, FT_OK}, {"Desc 0", "Desc 1", "Desc 2"}},
        {"two plugged in between count and list",
         {3, 5, 99, -1, FT_OK},
         {"Desc 0", "Desc 1", "Desc 2"}},
        {"one unplugged in between", {3, 2, 99, -1, FT_OK}, {"Desc 0", "Desc 1"}},
        {"fewer filled than counted", {5, 5, 2, -1, FT_OK}, {"Desc 0", "Desc 1"}},
        {"claims more than it was given", {3, 3, 99, 40, FT_OK}, {"Desc 0", "Desc 1", "Desc 2"}},
        {"claims more than it filled", {3, 3, 1, 3, FT_OK}, {"Desc 0", "", ""}},
        {"name query fails", {3, 3, 99, -1, FT_IO_ERROR}, {"ListDevices failed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ListingDriver_Set(c.script);
        const SearchResult result = SearchDevices(link, 0);
        EXPECT_FALSE(result.countFailed);
        Lines expected{std::to_string(c.script.counted) + " device(s) attached:"};
        expected.insert(expected.end(), c.names.begin(), c.names.end());
        EXPECT_EQ(result.lines, expected);
        // One buffer per counted device, and the NULL entry after them that a driver walks to.
        // (An odd count fills its heap block exactly, so a missing NULL is seen, not guessed.)
        const ListingSeen seen = ListingDriver_Seen();
        EXPECT_TRUE(seen.terminated);
        EXPECT_EQ(seen.buffers, c.script.counted);
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(DeviceListTest, MethodChoosesTheNamesAndDeviceNumbersNeedNoNameQuery)
{
    const ListingScript three{3, 3, 99, -1, FT_OK};
    ListingDriver_Set(three);
    EXPECT_EQ(SearchDevices(link, 1).lines,
              (Lines{"3 device(s) attached:", "SN 0", "SN 1", "SN 2"}));
    EXPECT_EQ(ListingDriver_Seen().flags, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER);

    ListingDriver_Set(three);
    EXPECT_EQ(SearchDevices(link, 2).lines, (Lines{"3 device(s) attached:", "0", "1", "2"}));
    EXPECT_EQ(ListingDriver_Seen().flags, 0u) << "numbers are listed without asking the driver";

    ListingDriver_Set(three);
    EXPECT_EQ(SearchDevices(link, -1).lines, (Lines{"3 device(s) attached:"}));

    ListingDriver_Set({0, 4, 99, -1, FT_OK});
    EXPECT_EQ(SearchDevices(link, 0).lines, (Lines{"0 device(s) attached:"}));
    EXPECT_EQ(ListingDriver_Seen().flags, 0u);
}

}  // namespace

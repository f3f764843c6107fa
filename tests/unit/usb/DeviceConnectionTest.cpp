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

TEST(DeviceList, NamesComeOnlyFromBuffersTheDriverFilledByTheChosenMethod)
{
    UsbLink link;
    Lines reports;
    link.SetReporter([&](const std::string& text) { reports.push_back(text); });
    ASSERT_TRUE(link.LoadD2xx({QUILLON_BUILD_DIR "/libquillon-listing-driver.so"}));
    constexpr DWORD kByDesc = FT_LIST_ALL | FT_OPEN_BY_DESCRIPTION;
    const ListingScript three{3, 3, 99, -1, FT_OK};
    // clang-format off
    const struct {
        const char* what;
        int method;
        ListingScript script;
        Lines names;  // after the count line
        DWORD flags;  // of the name query; 0: none asked
    } cases[] = {
        {"as counted", 0, three, {"Desc 0", "Desc 1", "Desc 2"}, kByDesc},
        {"two plugged in between count and list", 0, {3, 5, 99, -1, FT_OK},
         {"Desc 0", "Desc 1", "Desc 2"}, kByDesc},
        {"one unplugged in between", 0, {3, 2, 99, -1, FT_OK}, {"Desc 0", "Desc 1"}, kByDesc},
        {"fewer filled than counted", 0, {5, 5, 2, -1, FT_OK}, {"Desc 0", "Desc 1"}, kByDesc},
        {"claims more than it was given", 0, {3, 3, 99, 40, FT_OK},
         {"Desc 0", "Desc 1", "Desc 2"}, kByDesc},
        {"claims more than it filled", 0, {3, 3, 1, 3, FT_OK}, {"Desc 0", "", ""}, kByDesc},
        {"name query fails", 0, {3, 3, 99, -1, FT_IO_ERROR}, {"ListDevices failed"}, kByDesc},
        {"by serial number", 1, three, {"SN 0", "SN 1", "SN 2"},
         FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER},
        {"device numbers", 2, three, {"0", "1", "2"}, 0},
        {"count only", -1, three, {}, 0},
        {"none attached", 0, {0, 4, 99, -1, FT_OK}, {}, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ListingDriver_Set(c.script);
        const SearchResult result = SearchDevices(link, c.method);
        EXPECT_FALSE(result.countFailed);
        Lines expected{std::to_string(c.script.counted) + " device(s) attached:"};
        expected.insert(expected.end(), c.names.begin(), c.names.end());
        EXPECT_EQ(result.lines, expected);
        const ListingSeen seen = ListingDriver_Seen();
        EXPECT_EQ(seen.flags, c.flags);
        if (c.flags != 0) {
            // One buffer per counted device, then the NULL a driver walks to (an odd count fills
            // its heap block exactly, so a missing NULL is seen, not guessed).
            EXPECT_TRUE(seen.terminated);
            EXPECT_EQ(seen.buffers, c.script.counted);
        }
    }
    EXPECT_TRUE(reports.empty());
}

}  // namespace

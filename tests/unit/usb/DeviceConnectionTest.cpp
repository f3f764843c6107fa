#include <gtest/gtest.h>

#include <cstdio>

#include "QuillonSim.h"
#include "usb/DeviceConnection.h"

namespace {

TEST(DeviceNumberFromEntry, AcceptsOneOrTwoCharactersUpTo64)
{
    const std::pair<const char*, std::optional<int>> cases[] = {{"", 0},
                                                                {"0", 0},
                                                                {"7", 7},
                                                                {"64", 64},
                                                                {"65", std::nullopt},
                                                                {"-1", std::nullopt},
                                                                {"100", std::nullopt},
                                                                {"007", std::nullopt},
                                                                {"ab", 0},
                                                                {" 7", 7},
                                                                {"3x", 3}};
    for (const auto& [entry, number] : cases) {
        EXPECT_EQ(DeviceNumberFromEntry(entry), number) << '"' << entry << '"';
    }
}

TEST(ResolveOpenTarget, RefusesThePromptForEveryMethod)
{
    using Kind = OpenTarget::Kind;
    for (int method : {0, 1, 2, -1}) {
        EXPECT_EQ(ResolveOpenTarget(method, "x Enter device Description").kind,
                  Kind::PromptInEntry);
    }
    EXPECT_EQ(ResolveOpenTarget(0, "7").kind, Kind::Description);
    EXPECT_EQ(ResolveOpenTarget(1, "7").kind, Kind::SerialNumber);
    EXPECT_EQ(ResolveOpenTarget(-1, "7").deviceNumber, 7);  // no method checked: device number
    EXPECT_EQ(ResolveOpenTarget(2, "65").kind, Kind::BadDeviceNumber);
}

class SearchDevicesTest : public testing::Test {
protected:
    void SetUp() override
    {
        QuillonSim_Reset();
        link.SetReporter([this](const std::string& text) { reports.push_back(text); });
        ASSERT_TRUE(link.LoadD2xx({QUILLON_BUILD_DIR "/libquillon-sim.so"}));
    }

    // Descriptions "Quillon SC 0" ..., serial numbers "QSC10000" ...
    void Attach(int count)
    {
        names.clear();
        serials.clear();
        for (int i = 0; i < count; ++i) {
            char serial[16];
            std::snprintf(serial, sizeof serial, "QSC%05d", 10000 + i);
            names.push_back("Quillon SC " + std::to_string(i));
            serials.push_back(serial);
        }
        std::vector<QuillonSimDevice> devices;
        for (int i = 0; i < count; ++i) {
            devices.push_back({names[i].c_str(), serials[i].c_str()});
        }
        QuillonSim_SetDevices(devices.data(), count);
    }

    UsbLink link;
    std::vector<std::string> reports;
    std::vector<std::string> names;
    std::vector<std::string> serials;
};

// Beyond 63 devices every name must still arrive, each in a buffer of its own.
TEST_F(SearchDevicesTest, ListsEveryDeviceByMethod)
{
    for (int count : {0, 3, 70}) {
        Attach(count);
        const std::string countLine = std::to_string(count) + " device(s) attached:";
        std::vector<std::string> byNumber{countLine};
        for (int i = 0; i < count; ++i) {
            byNumber.push_back(std::to_string(i));
        }
        std::vector<std::string> byName{countLine};
        byName.insert(byName.end(), names.begin(), names.end());
        std::vector<std::string> bySerial{countLine};
        bySerial.insert(bySerial.end(), serials.begin(), serials.end());

        const std::pair<int, std::vector<std::string>> cases[] = {
            {0, byName}, {1, bySerial}, {2, byNumber}, {-1, {countLine}}};
        for (const auto& [method, lines] : cases) {
            const SearchResult result = SearchDevices(link, method);
            EXPECT_FALSE(result.countFailed);
            EXPECT_EQ(result.lines, lines) << count << " devices, method " << method;
        }
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(SearchDevicesTest, FailedOrImplausibleCountListsNothing)
{
    // More devices than a machine can carry is taken for a driver fault, not allocated for.
    Attach(5000);
    EXPECT_TRUE(SearchDevices(link, 0).countFailed);
    EXPECT_TRUE(SearchDevices(link, 2).lines.empty());

    link.Release();
    const SearchResult result = SearchDevices(link, 0);
    EXPECT_TRUE(result.countFailed);
    EXPECT_EQ(reports, std::vector<std::string>{"FT_ListDevices is not valid!"});
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdio>

#include "QuillonSim.h"
#include "usb/DeviceConnection.h"

namespace {

const std::string kSim = QUILLON_BUILD_DIR "/libquillon-sim.so";

std::string CallLog()
{
    std::string log(QuillonSim_CallLog(nullptr, 0) + 1, '\0');
    QuillonSim_CallLog(log.data(), log.size());
    log.resize(log.size() - 1);
    return log;
}

TEST(DeviceNumberFromEntry, AcceptsOneOrTwoCharactersUpTo64)
{
    const struct {
        const char* entry;
        std::optional<int> number;
    } cases[] = {
        {"", 0},
        {"0", 0},
        {"7", 7},
        {"64", 64},
        {"65", std::nullopt},
        {"-1", std::nullopt},
        {"100", std::nullopt},
        {"007", std::nullopt},
        {"ab", 0},
        {" 7", 7},
        {"+5", 5},
        {"3x", 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceNumberFromEntry(c.entry), c.number) << '"' << c.entry << '"';
    }
}

TEST(ResolveOpenTarget, ChoosesByMethodAndRefusesThePrompt)
{
    using Kind = OpenTarget::Kind;
    const struct {
        int openBy;
        const char* entry;
        Kind kind;
        int number;
    } cases[] = {
        {0, "Quillon SC", Kind::Description, 0},
        {1, "QSC10001", Kind::SerialNumber, 0},
        {2, "12", Kind::DeviceNumber, 12},
        {-1, "12", Kind::DeviceNumber, 12},
        {2, "65", Kind::BadDeviceNumber, 0},
        {0, "Enter device Description or Serial Number here.", Kind::PromptInEntry, 0},
        {1, "x Enter device Description", Kind::PromptInEntry, 0},
        {2, "Enter device Description or Serial Number here.", Kind::PromptInEntry, 0},
        {-1, "Enter device Description or Serial Number here.", Kind::PromptInEntry, 0},
    };
    for (const auto& c : cases) {
        const OpenTarget target = ResolveOpenTarget(c.openBy, c.entry);
        EXPECT_EQ(target.kind, c.kind) << c.openBy << " " << c.entry;
        if (c.kind == Kind::DeviceNumber) {
            EXPECT_EQ(target.deviceNumber, c.number);
        }
    }
}

TEST(DeviceProfileKey, OneKeyPerMethod)
{
    EXPECT_STREQ(DeviceProfileKey(0), "DescString");
    EXPECT_STREQ(DeviceProfileKey(1), "SerialString");
    EXPECT_STREQ(DeviceProfileKey(2), "DevNmbr");
    EXPECT_EQ(DeviceProfileKey(-1), nullptr);
    EXPECT_EQ(DeviceProfileKey(3), nullptr);
}

class SimulatedLinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        QuillonSim_Reset();
        link.SetReporter([this](const std::string& text) { reports.push_back(text); });
        ASSERT_TRUE(link.LoadD2xx({kSim}));
    }

    UsbLink link;
    std::vector<std::string> reports;
};

using OpenTargetDeviceTest = SimulatedLinkTest;

TEST_F(OpenTargetDeviceTest, OpensByEachMethod)
{
    const struct {
        int openBy;
        const char* entry;
        FT_STATUS status;
    } cases[] = {
        {0, "Quillon SC", FT_OK},
        {1, "QSC10001", FT_OK},
        {2, "0", FT_OK},
        {0, "QSC10001", 2},  // a serial number is not a description
        {2, "100", FT_DEVICE_NOT_OPENED},
        {2, "Enter device Description or Serial Number here.", FT_DEVICE_NOT_OPENED},
    };
    for (const auto& c : cases) {
        QuillonSim_Reset();
        const FT_STATUS status =
            OpenTargetDevice(link, ResolveOpenTarget(c.openBy, c.entry), c.entry);
        EXPECT_EQ(status == FT_OK, c.status == FT_OK) << c.openBy << " " << c.entry;
        if (c.status == FT_DEVICE_NOT_OPENED) {
            EXPECT_EQ(status, FT_DEVICE_NOT_OPENED);
            EXPECT_EQ(CallLog(), "");  // refused before the driver was asked
        }
    }
}

class HandshakeTest : public SimulatedLinkTest {
protected:
    void SetUp() override
    {
        SimulatedLinkTest::SetUp();
        ASSERT_EQ(link.Open(0), FT_OK);
        QuillonSim_ClearCallLog();
    }
};

const char* const kConfiguration =
    "FT_ResetDevice\n"
    "FT_SetTimeouts(3000,3000)\n"
    "FT_Purge(1)\n"
    "FT_SetLatencyTimer(2)\n"
    "FT_SetBaudRate(128000)\n"
    "FT_SetUSBParameters(64,0)\n"
    "FT_Write(EE)\n";

TEST_F(HandshakeTest, StartUpConfiguresThenReadsTheAnswer)
{
    const HandshakeResult result = ConfigureAndHandshake(link);
    EXPECT_TRUE(result.answered);
    EXPECT_EQ(result.firstByte, 0xEE);
    EXPECT_EQ(CallLog(), std::string(kConfiguration) + "FT_Read(2)\n");
    EXPECT_TRUE(reports.empty());
}

// Answers arrive while "Open" pauses before its handshake, so they are still there to be read.
TEST_F(HandshakeTest, ReopenJudgesTheFirstReplyByte)
{
    const struct {
        std::vector<std::uint8_t> reply;
        bool answered;
        const char* suffix;
        int reads;
    } cases[] = {
        {{0xEE}, true, " (0xEE)", 1},  {{0xEE, 0x41}, true, " (0xEE)", 1},
        {{0x41}, false, " (0x41)", 1}, {{0x41, 0xEE}, false, " (0x41)", 1},
        {{}, false, " (no reply)", 2},
    };
    for (const auto& c : cases) {
        QuillonSim_SetSilent(0, 1);
        QuillonSim_ClearCallLog();
        std::vector<unsigned> pauses;
        const HandshakeResult result = ConfigureAndHandshake(link, [&](unsigned ms) {
            pauses.push_back(ms);
            QuillonSim_Advance(ms);
            if (ms == 150 && !c.reply.empty()) {
                QuillonSim_Inject(0, c.reply.data(), c.reply.size());
            }
        });
        EXPECT_EQ(result.answered, c.answered);
        EXPECT_EQ(HandshakeSuffix(result), c.suffix);
        EXPECT_EQ(pauses, (std::vector<unsigned>{150, 1}));
        const std::string log = CallLog();
        std::size_t reads = 0;
        for (std::size_t at = log.find("FT_Read(2)"); at != std::string::npos;
             at = log.find("FT_Read(2)", at + 1)) {
            ++reads;
        }
        EXPECT_EQ(reads, static_cast<std::size_t>(c.reads));
    }
}

TEST_F(HandshakeTest, WrongHandshakeByteFromTheController)
{
    QuillonSim_SetHandshakeReply(0, 0x41);
    const HandshakeResult result = ConfigureAndHandshake(link);
    EXPECT_FALSE(result.answered);
    EXPECT_EQ(HandshakeSuffix(result), " (0x41)");
}

TEST_F(HandshakeTest, SilentControllerIsAskedTwice)
{
    QuillonSim_SetSilent(0, 1);
    const HandshakeResult result = ConfigureAndHandshake(link);
    EXPECT_FALSE(result.answered);
    EXPECT_EQ(result.firstByte, -1);
    EXPECT_EQ(CallLog(), std::string(kConfiguration) + "FT_Read(2)\nFT_Read(2)\n");
}

class SearchTest : public SimulatedLinkTest {
protected:
    // Descriptions "Quillon SC 0" ..., serial numbers "QSC10000" ...
    void Attach(int count)
    {
        names.clear();
        serials.clear();
        std::vector<QuillonSimDevice> devices;
        for (int i = 0; i < count; ++i) {
            names.push_back("Quillon SC " + std::to_string(i));
            char serial[16];
            std::snprintf(serial, sizeof serial, "QSC%05d", 10000 + i);
            serials.push_back(serial);
        }
        for (int i = 0; i < count; ++i) {
            devices.push_back({names[i].c_str(), serials[i].c_str()});
        }
        QuillonSim_SetDevices(devices.data(), count);
    }

    std::vector<std::string> names;
    std::vector<std::string> serials;
};

TEST_F(SearchTest, ListsEveryDeviceByMethod)
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

        const struct {
            int openBy;
            const std::vector<std::string>& lines;
        } cases[] = {
            {0, byName}, {1, bySerial}, {2, byNumber}, {-1, std::vector<std::string>{countLine}}};
        for (const auto& c : cases) {
            const SearchResult result = SearchDevices(link, c.openBy);
            EXPECT_FALSE(result.countFailed);
            EXPECT_EQ(result.lines, c.lines) << count << " devices, method " << c.openBy;
        }
    }
    EXPECT_TRUE(reports.empty());
}

TEST(SearchDevices, CountFailureListsNothing)
{
    UsbLink unbound;
    std::vector<std::string> reports;
    unbound.SetReporter([&](const std::string& text) { reports.push_back(text); });
    const SearchResult result = SearchDevices(unbound, 0);
    EXPECT_TRUE(result.countFailed);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(reports, std::vector<std::string>{"FT_ListDevices is not valid!"});
}

}  // namespace

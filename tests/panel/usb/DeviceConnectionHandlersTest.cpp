// Opening, checking and listing devices through the panel, against the simulator on its manual
// clock.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <cstdio>

#include "QuillonSim.h"
#include "panel/ReceivedList.h"
#include "support/PanelHarness.h"
#include "usb/LinkFlags.h"

namespace {

constexpr const char* kPrompt = "Enter device Description or Serial Number here.";
constexpr const char* kSection = "MyTiveloAp";

std::string CallLog()
{
    std::string log(QuillonSim_CallLog(nullptr, 0) + 1, '\0');
    QuillonSim_CallLog(log.data(), log.size());
    log.resize(log.size() - 1);
    return log;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::vector<std::string> ListLines(CShutterPanelDlg& panel)
{
    std::vector<std::string> lines;
    for (int i = 0; i < panel.m_listReceived->GetCount(); ++i) {
        lines.push_back(panel.m_listReceived->GetText(i));
    }
    return lines;
}

class DeviceConnectionPanelTest : public testing::Test {
protected:
    explicit DeviceConnectionPanelTest(std::string library = BuildLibrary("libquillon-sim.so"))
        : h({std::move(library)})
    {
        QuillonSim_Reset();
        g_bBlinkRunning = 0;
        g_nBlinkSpeed = 0;
    }

    void UseDevice(int method, const std::string& entry)
    {
        h.profile->WriteProfileInt(kSection, "SerDesc", method);
        static const char* const keys[] = {"DescString", "SerialString", "DevNmbr"};
        h.profile->WriteProfileString(kSection, keys[method], entry);
    }

    std::string Status() { return h.panel->GetDlgItemText(IDC_USB_STATUS); }
    bool TestControlsEnabled()
    {
        return h.panel->IsDlgItemEnabled(IDC_BLINK_LEDS) &&
               h.panel->IsDlgItemEnabled(IDC_BLINK_OFF) && h.panel->IsDlgItemEnabled(IDC_SPEED);
    }

    PanelHarness h;
};

TEST_F(DeviceConnectionPanelTest, StartUpOpensConfiguresAndChecksTheDevice)
{
    UseDevice(2, "0");
    h.Start();
    EXPECT_EQ(CallLog(),
              "FT_Open(0)\n"
              "FT_ResetDevice\n"
              "FT_SetTimeouts(3000,3000)\n"
              "FT_Purge(1)\n"
              "FT_SetLatencyTimer(2)\n"
              "FT_SetBaudRate(128000)\n"
              "FT_SetUSBParameters(64,0)\n"
              "FT_Write(EE)\n"
              "FT_Read(2)\n"
              "FT_SetTimeouts(100,100)\n");
    EXPECT_EQ(Status(), "USB ready for communication.");
    EXPECT_EQ(g_bUsbOpen, 1);
    EXPECT_TRUE(TestControlsEnabled());
    EXPECT_TRUE(h.prompts.records.empty());
}

TEST_F(DeviceConnectionPanelTest, FirstStartAsksForADeviceAndOpensNothing)
{
    h.Start();
    EXPECT_TRUE(h.panel->IsDlgButtonChecked(IDC_BY_DESCRIPTION));
    EXPECT_EQ(h.panel->GetDlgItemText(IDC_DEVICE), kPrompt);
    EXPECT_EQ(h.prompts.MessageTexts(),
              std::vector<std::string>{"You must enter a Device Description or Serial Number."});
    EXPECT_EQ(h.prompts.records[0].caption, h.panel->AppName());
    EXPECT_EQ(h.prompts.records[0].icon, MbIcon::Exclamation);
    EXPECT_FALSE(Contains(CallLog(), "FT_Open"));
    EXPECT_EQ(Status(), "USB not responding");
    EXPECT_EQ(g_bUsbOpen, 0);
    EXPECT_FALSE(TestControlsEnabled());
    EXPECT_TRUE(h.panel->IsDlgItemEnabled(IDC_OPEN));
}

TEST_F(DeviceConnectionPanelTest, DeviceNumberEntryDecidesWhichDeviceIsOpened)
{
    const struct {
        const char* entry;
        int device;  // -1: refused with the message
    } cases[] = {{"", 0},   {"0", 0},   {"7", 7},    {"64", 64},  {"65", -1},
                 {"-1", -1}, {"100", -1}, {"007", -1}, {"ab", 0}};
    for (const auto& c : cases) {
        PanelHarness run({BuildLibrary("libquillon-sim.so")});
        QuillonSim_Reset();
        run.profile->WriteProfileInt(kSection, "SerDesc", 2);
        run.profile->WriteProfileString(kSection, "DevNmbr", c.entry);
        run.Start();
        const std::string log = CallLog();
        if (c.device < 0) {
            EXPECT_EQ(run.prompts.MessageTexts(),
                      std::vector<std::string>{
                          "Select a method to open or enter a valid device number (0-64)."})
                << c.entry;
            EXPECT_FALSE(Contains(log, "FT_Open")) << c.entry;
        } else {
            EXPECT_TRUE(run.prompts.records.empty()) << c.entry;
            EXPECT_EQ(log.substr(0, log.find('\n')), "FT_Open(" + std::to_string(c.device) + ")")
                << c.entry;
        }
        // The simulator has one device, so only device 0 answers.
        EXPECT_EQ(run.panel->m_strUsbStatus,
                  c.device == 0 ? "USB ready for communication." : "USB not responding")
            << c.entry;
    }
}

TEST_F(DeviceConnectionPanelTest, StartUpHandshakeFailuresShowTheFirstByte)
{
    const struct {
        int reply;  // -1: silent
        const char* status;
    } cases[] = {{0x41, "No response from USB (0x41)"}, {-1, "No response from USB (no reply)"}};
    for (const auto& c : cases) {
        PanelHarness run({BuildLibrary("libquillon-sim.so")});
        QuillonSim_Reset();
        if (c.reply < 0) {
            QuillonSim_SetSilent(0, 1);
        } else {
            QuillonSim_SetHandshakeReply(0, c.reply);
        }
        run.profile->WriteProfileInt(kSection, "SerDesc", 1);
        run.profile->WriteProfileString(kSection, "SerialString", "QSC10001");
        run.Start();
        EXPECT_EQ(run.panel->m_strUsbStatus, c.status);
        EXPECT_EQ(g_bUsbOpen, 0);
        EXPECT_TRUE(run.panel->IsDlgItemEnabled(IDC_OPEN));
        // Start-up keeps the device open.
        EXPECT_FALSE(Contains(CallLog(), "FT_Close"));
    }
}

TEST_F(DeviceConnectionPanelTest, OpenJudgesTheHandshakeAndClosesWhenUnanswered)
{
    const struct {
        std::vector<std::uint8_t> reply;
        const char* status;
    } cases[] = {
        {{0xEE}, "USB ready for communication."},
        {{0xEE, 0x07}, "USB ready for communication."},
        {{0x41}, "USB not responding (0x41)"},
        {{}, "USB not responding (no reply)"},
    };
    UseDevice(0, "Quillon SC");
    const std::vector<std::uint8_t>* reply = nullptr;
    std::vector<unsigned> pauses;
    // The answer arrives during the pause before the handshake; the device itself stays silent.
    h.options.waitMs = [&](unsigned ms) {
        pauses.push_back(ms);
        QuillonSim_Advance(ms);
        if (ms == 150 && reply && !reply->empty()) {
            QuillonSim_Inject(0, reply->data(), reply->size());
        }
    };
    h.Start();
    ASSERT_EQ(Status(), "USB ready for communication.");
    for (const auto& c : cases) {
        reply = &c.reply;
        pauses.clear();
        QuillonSim_SetSilent(0, 1);
        QuillonSim_ClearCallLog();
        h.Click(IDC_OPEN);
        EXPECT_EQ(Status(), c.status);
        EXPECT_EQ(pauses, (std::vector<unsigned>{150, 1}));
        const std::string log = CallLog();
        EXPECT_EQ(log.substr(0, log.find('\n')), "FT_Close");
        EXPECT_TRUE(Contains(log, "FT_OpenEx(\"Quillon SC\",2)\n"));
        const bool ready = c.status == std::string("USB ready for communication.");
        EXPECT_EQ(g_bUsbOpen, ready ? 1 : 0);
        const std::string tail = ready ? "FT_Read(2)\nFT_SetTimeouts(100,100)\n"
                                       : "FT_Read(2)\nFT_Close\nFT_SetTimeouts(100,100)\n";
        EXPECT_EQ(log.substr(log.size() - tail.size()), tail) << log;
    }
    EXPECT_TRUE(h.prompts.records.empty());
}

TEST_F(DeviceConnectionPanelTest, OpenOfAnUnknownDeviceFails)
{
    UseDevice(1, "QSC10001");
    h.Start();
    h.TypeText(IDC_DEVICE, "NOPE");
    h.Click(IDC_OPEN);
    EXPECT_EQ(Status(), "Could not open USB");
    EXPECT_EQ(g_bUsbOpen, 0);
}

class SearchPanelTest : public DeviceConnectionPanelTest {
protected:
    void Attach(int count)
    {
        names.clear();
        serials.clear();
        for (int i = 0; i < count; ++i) {
            names.push_back("Quillon SC " + std::to_string(i));
            char serial[16];
            std::snprintf(serial, sizeof serial, "QSC%05d", 20000 + i);
            serials.push_back(serial);
        }
        std::vector<QuillonSimDevice> devices;
        for (int i = 0; i < count; ++i) {
            devices.push_back({names[i].c_str(), serials[i].c_str()});
        }
        QuillonSim_SetDevices(devices.data(), count);
    }

    std::vector<std::string> names;
    std::vector<std::string> serials;
};

TEST_F(SearchPanelTest, ListsTheAttachedDevicesByTheCheckedMethod)
{
    UseDevice(2, "0");
    h.Start();
    for (int count : {0, 3, 70}) {
        Attach(count);
        for (int method : {0, 1, 2}) {
            h.Click(IDC_BY_DESCRIPTION + method);
            const std::string remembered = h.profile->GetProfileString(
                kSection, method == 0 ? "DescString" : method == 1 ? "SerialString" : "DevNmbr",
                kPrompt);
            h.Click(IDC_SEARCH);

            std::vector<std::string> expected{std::to_string(count) + " device(s) attached:"};
            for (int i = 0; i < count; ++i) {
                expected.push_back(method == 0   ? names[i]
                                   : method == 1 ? serials[i]
                                                 : std::to_string(i));
            }
            EXPECT_EQ(ListLines(*h.panel), expected) << count << " devices, method " << method;
            EXPECT_EQ(Status(), "USB Closed.");
            EXPECT_EQ(h.panel->GetDlgItemText(IDC_DEVICE), "");
            EXPECT_EQ(h.panel->GetDlgItemText(IDC_RECEIVED_BYTES), "0");
            // Emptying the entry is not an edit: the remembered entry stays.
            EXPECT_EQ(h.profile->GetProfileString(kSection,
                                                  method == 0   ? "DescString"
                                                  : method == 1 ? "SerialString"
                                                                : "DevNmbr",
                                                  kPrompt),
                      remembered);
        }
    }
}

TEST_F(SearchPanelTest, SelectingALinePutsItIntoTheEntryAndTheProfile)
{
    UseDevice(1, "QSC10001");
    h.Start();
    Attach(3);
    h.Click(IDC_SEARCH);
    for (int line : {2, 0}) {
        h.panel->m_listReceived->SetCurSel(line);
        h.panel->Notify(IDC_RECEIVED_LIST, Notification::SelChange);
        const std::string text = line == 0 ? "3 device(s) attached:" : serials[1];
        EXPECT_EQ(h.panel->GetDlgItemText(IDC_DEVICE), text);
        EXPECT_EQ(h.profile->GetProfileString(kSection, "SerialString", ""), text);
    }
}

TEST_F(DeviceConnectionPanelTest, EachMethodRemembersItsOwnEntry)
{
    UseDevice(0, "Quillon SC");
    h.Start();
    h.TypeText(IDC_DEVICE, "Bench shutter");
    h.Click(IDC_BY_SERIAL);
    EXPECT_EQ(h.panel->GetDlgItemText(IDC_DEVICE), kPrompt);
    h.TypeText(IDC_DEVICE, "QSC4");
    h.Click(IDC_BY_NUMBER);
    h.TypeText(IDC_DEVICE, "3");

    const struct {
        int id;
        const char* entry;
    } back[] = {{IDC_BY_DESCRIPTION, "Bench shutter"}, {IDC_BY_SERIAL, "QSC4"}, {IDC_BY_NUMBER, "3"}};
    for (const auto& b : back) {
        h.Click(b.id);
        EXPECT_EQ(h.panel->GetDlgItemText(IDC_DEVICE), b.entry);
        EXPECT_EQ(h.profile->GetProfileInt(kSection, "SerDesc", -9), b.id - IDC_BY_DESCRIPTION);
    }
}

TEST_F(DeviceConnectionPanelTest, EmptiedEntrySwitchesToDeviceNumberAndOpensDeviceZero)
{
    UseDevice(1, "QSC10001");
    h.Start();
    h.TypeText(IDC_DEVICE, "");
    EXPECT_TRUE(h.panel->IsDlgButtonChecked(IDC_BY_NUMBER));
    EXPECT_EQ(h.panel->m_nOpenBy, 2);
    EXPECT_EQ(h.profile->GetProfileString(kSection, "SerialString", kPrompt), "");
    EXPECT_EQ(h.profile->GetProfileInt(kSection, "SerDesc", -9), 1);

    QuillonSim_ClearCallLog();
    h.Click(IDC_OPEN);
    EXPECT_TRUE(Contains(CallLog(), "FT_Open(0)\n"));
    EXPECT_EQ(Status(), "USB ready for communication.");
}

class MissingLibraryPanelTest : public DeviceConnectionPanelTest {
protected:
    MissingLibraryPanelTest() : DeviceConnectionPanelTest("/nonexistent/libftd2xx.so") {}
};

TEST_F(MissingLibraryPanelTest, OneLoadBoxThenTheWrappersReport)
{
    UseDevice(2, "0");
    h.Start();
    EXPECT_TRUE(h.panel->isVisible());
    const std::vector<std::string> texts = h.prompts.MessageTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_TRUE(Contains(texts[0], "/nonexistent/libftd2xx.so")) << texts[0];
    EXPECT_EQ(texts[1], "FT_Open is not valid!");
    EXPECT_EQ(texts[2], "FT_SetTimeouts is not valid!");
    for (const auto& record : h.prompts.records) {
        EXPECT_EQ(record.caption, h.panel->AppName());
    }
    EXPECT_EQ(Status(), "USB not responding");
}

class NoBaudRatePanelTest : public DeviceConnectionPanelTest {
protected:
    NoBaudRatePanelTest() : DeviceConnectionPanelTest(BuildLibrary("libquillon-sim-nobaud.so")) {}
};

TEST_F(NoBaudRatePanelTest, ConfigurationReportsTheEmptySlotsAndTheHandshakeStillRuns)
{
    UseDevice(2, "0");
    h.Start();
    EXPECT_EQ(h.prompts.MessageTexts(),
              (std::vector<std::string>{
                  "Error: Can't Find FT_SetBaudRate", "FT_SetLatencyTimer is not valid!",
                  "FT_SetBaudRate is not valid!", "FT_SetUSBParameters is not valid!"}));
    EXPECT_EQ(Status(), "USB ready for communication.");
}

class NoWritePanelTest : public DeviceConnectionPanelTest {
protected:
    NoWritePanelTest() : DeviceConnectionPanelTest(BuildLibrary("libquillon-sim-nowrite.so")) {}
};

TEST_F(NoWritePanelTest, EverySlotStaysEmpty)
{
    UseDevice(0, "Quillon SC");
    h.Start();
    EXPECT_EQ(h.prompts.MessageTexts(),
              (std::vector<std::string>{"Error: Can't Find FT_Write", "FT_OpenEx is not valid!",
                                        "FT_SetTimeouts is not valid!"}));
    EXPECT_EQ(Status(), "USB not responding");

    h.prompts.Clear();
    h.Click(IDC_SEARCH);
    EXPECT_EQ(h.prompts.MessageTexts(),
              (std::vector<std::string>{"FT_Close is not valid!", "FT_ListDevices is not valid!",
                                        "FT_ListDevices failed"}));
    EXPECT_EQ(h.panel->m_listReceived->GetCount(), 0);
}

}  // namespace

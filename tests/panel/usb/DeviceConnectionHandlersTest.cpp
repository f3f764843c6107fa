// Opening, checking and listing devices through the panel, against the simulator on its manual
// clock.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "QuillonSim.h"
#include "common/FileSizeLimit.h"
#include "panel/ReceivedList.h"
#include "support/PanelHarness.h"
#include "support/SimCalls.h"
#include "unit/usb/FakeUsbTree.h"
#include "usb/LinkFlags.h"

namespace {

constexpr const char* kPrompt = "Enter device Description or Serial Number here.";
constexpr const char* kSection = "MyTiveloAp";
constexpr const char* kReady = "USB ready for communication.";
constexpr const char* const kEntryKeys[] = {"DescString", "SerialString", "DevNmbr"};
// Asked before every open.
const std::string kCount = "FT_ListDevices(0x80000000)\n";

// A panel on the given driver library (the simulator by default), its profile naming a device.
struct PanelRun {
    explicit PanelRun(int method = -1, const std::string& entry = "",
                      const std::string& library = BuildLibrary("libquillon-sim.so"))
        : h({library})
    {
        h.options.terminalLine = [this](const std::string& line) { terminal.push_back(line); };
        QuillonSim_Reset();
        g_bBlinkRunning = 0;
        if (method >= 0) {
            h.profile->WriteProfileInt(kSection, "SerDesc", method);
            h.profile->WriteProfileString(kSection, kEntryKeys[method], entry);
        }
    }
    CShutterPanelDlg& panel() { return *h.panel; }
    std::string Status() { return h.panel->GetDlgItemText(IDC_USB_STATUS); }
    std::string Entry() { return h.panel->GetDlgItemText(IDC_DEVICE); }
    std::string Remembered(int method) const
    {
        return h.profile->GetProfileString(kSection, kEntryKeys[method], kPrompt);
    }
    std::vector<std::string> Listed()
    {
        std::vector<std::string> lines;
        for (int i = 0; i < h.panel->m_listReceived->GetCount(); ++i)
            lines.push_back(h.panel->m_listReceived->GetText(i));
        return lines;
    }

    PanelHarness h;
    std::vector<std::string> terminal;
};

// Sets an environment variable for one scope.
struct ScopedEnv {
    ScopedEnv(const char* name, const std::string& value) : name(name)
    {
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { ::unsetenv(name); }
    const char* name;
};

// The untouched prompt (or no profile at all) and a bad device number are refused before any
// open; a good number opens that device, and only device 0 of the simulator answers.
TEST(DeviceConnectionPanelTest, TheEntryDecidesWhatStartUpOpens)
{
    const char* const enter = "You must enter a Device Description or Serial Number.";
    const char* const badNumber = "Select a method to open or enter a valid device number (0-64).";
    const struct {
        int method;
        const char* entry;
        const char* refusal;
        int device;  // opened; -1: none
    } cases[] = {{-1, kPrompt, enter, -1},  {1, kPrompt, enter, -1},
                 {2, kPrompt, enter, -1},   {2, "", "", 0},
                 {2, "0", "", 0},           {2, "7", "", 7},
                 {2, "64", "", 64},         {2, "65", badNumber, -1},
                 {2, "-1", badNumber, -1},  {2, "100", badNumber, -1},
                 {2, "007", badNumber, -1}, {2, "ab", "", 0},
                 {2, " 7", "", 7},          {2, "3x", "", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.method) + " '" + c.entry + "'");
        PanelRun run(c.method, c.entry);
        run.h.Start();
        const std::string log = SimCallLog();
        if (c.device < 0) {
            EXPECT_EQ(run.h.prompts.MessageTexts(), std::vector<std::string>{c.refusal});
            EXPECT_EQ(run.h.prompts.records[0].caption, run.panel().AppName());
            EXPECT_EQ(log.find("FT_Open"), std::string::npos);
        } else {
            EXPECT_TRUE(run.h.prompts.records.empty());
            EXPECT_EQ(log.rfind(kCount + "FT_Open(" + std::to_string(c.device) + ")\n", 0), 0u)
                << log;
        }
        EXPECT_EQ(run.Status(), c.device == 0 ? kReady : "USB not responding");
        for (int id : {IDC_BLINK_LEDS, IDC_BLINK_OFF, IDC_SPEED})
            EXPECT_EQ(run.panel().IsDlgItemEnabled(id), c.device == 0) << id;
        EXPECT_TRUE(run.panel().IsDlgItemEnabled(IDC_OPEN));
    }
}

// A library that cannot reach USB fails the count and would crash in its open functions (the
// simulator aborts there): no open is attempted, the panel shows, and the terminal is told why.
TEST(DeviceConnectionPanelTest, ALibraryThatCannotReachUsbIsNeverAskedToOpen)
{
    const std::pair<int, const char*> methods[] = {{0, "Quillon SC"}, {1, "QSC10001"}, {2, "0"}};
    const std::string hint =
        "quillon-utility: the driver library cannot count USB devices (FT_ListDevices status 18), "
        "so no device was opened; run quillon-utility --diagnose to see why.";
    for (const auto& [method, entry] : methods) {
        SCOPED_TRACE(method);
        PanelRun run(method, entry);
        QuillonSim_ImitateNoUsb(1);
        run.h.Start();
        EXPECT_TRUE(run.panel().isVisible());
        EXPECT_EQ(SimCallLog(), kCount + "FT_SetTimeouts(100,100)\n");
        EXPECT_EQ(run.Status(), "USB not responding");
        EXPECT_EQ(g_bUsbOpen, 0);

        QuillonSim_ClearCallLog();
        run.h.Click(IDC_OPEN);
        EXPECT_EQ(SimCallLog(), "FT_Close\n" + kCount + "FT_SetTimeouts(100,100)\n");
        EXPECT_EQ(run.Status(), "Could not open USB");
        EXPECT_TRUE(run.h.prompts.records.empty());
        EXPECT_EQ(run.terminal, std::vector<std::string>(2, hint));

        QuillonSim_ImitateNoUsb(0);  // once the library reaches USB again, "Open" works
        run.h.Click(IDC_OPEN);
        EXPECT_EQ(run.Status(), kReady);
    }

    // No device at all is no failure of the library: the open is attempted as before.
    PanelRun run(2, "0");
    QuillonSim_SetDevices(nullptr, 0);
    run.h.Start();
    EXPECT_EQ(SimCallLog(), kCount + "FT_Open(0)\nFT_SetTimeouts(100,100)\n");
    EXPECT_EQ(run.Status(), "USB not responding");
    EXPECT_TRUE(run.terminal.empty()) << "the simulator is no USB device to diagnose";
}

// The simulator under the D2XX library's name sees no device, and the bus shows the bridge held
// by ftdi_sio: the status line keeps its texts, the terminal is pointed at --diagnose.
TEST(DeviceConnectionPanelTest, AFailedOpenTheDiagnosisExplainsNamesDiagnose)
{
    FakeUsbTree tree;
    tree.AddFtdi("1-1.4", "Quillon SC", "QSC10001", "ftdi_sio", "ttyUSB0");
    const ScopedEnv sysfs("QUILLON_TTY_SYSFS_ROOT", tree.roots.sysfs);
    const ScopedEnv dev("QUILLON_TTY_DEV_ROOT", tree.roots.dev);
    const std::string d2xx = tree.roots.dev + "/../libftd2xx.so";
    std::filesystem::create_symlink(BuildLibrary("libquillon-sim.so"), d2xx);

    PanelRun run(0, "Quillon SC", d2xx);
    QuillonSim_SetDevices(nullptr, 0);
    run.h.Start();
    run.h.Click(IDC_OPEN);
    EXPECT_EQ(run.Status(), "Could not open USB");
    EXPECT_TRUE(run.h.prompts.records.empty());
    EXPECT_EQ(run.terminal,
              std::vector<std::string>(
                  2,
                  "quillon-utility: the kernel's ftdi_sio driver holds USB device 1-1.4, so "
                  "the D2XX library cannot open it; run quillon-utility --diagnose for "
                  "details."));
}

// Beyond 63 devices every name must still arrive, each in a buffer of its own.
TEST(DeviceConnectionPanelTest, SearchListsTheAttachedDevicesByTheCheckedMethod)
{
    PanelRun run(2, "0");
    run.h.Start();
    // What each method lists for device i: description, serial number, device number.
    const auto text = [](int method, int i) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "QSC%05d", 20000 + i);
        return method == 0 ? "Quillon SC " + std::to_string(i)
                           : (method == 1 ? serial : std::to_string(i));
    };
    const auto attach = [&](int count) {
        std::vector<std::string> texts;
        for (int i = 0; i < 2 * count; ++i) texts.push_back(text(i % 2, i / 2));
        std::vector<QuillonSimDevice> devices;
        for (int i = 0; i < count; ++i)
            devices.push_back({texts[2 * i].c_str(), texts[2 * i + 1].c_str()});
        QuillonSim_SetDevices(devices.data(), count);
    };
    attach(70);
    for (int method : {0, 1, 2}) {
        run.h.Click(IDC_BY_DESCRIPTION + method);
        const std::string remembered = run.Remembered(method);
        run.h.Click(IDC_SEARCH);
        std::vector<std::string> expected{"70 device(s) attached:"};
        for (int i = 0; i < 70; ++i) expected.push_back(text(method, i));
        EXPECT_EQ(run.Listed(), expected) << "method " << method;
        EXPECT_EQ(run.Status(), "USB Closed.");
        EXPECT_EQ(run.Entry(), "");
        EXPECT_EQ(run.Remembered(method), remembered) << "emptying the entry is not an edit";
    }

    // A selected line goes into the entry and under the method's key; with nothing selected the
    // entry keeps its text.
    for (int selected : {0, -1}) {
        run.panel().m_listReceived->SetCurSel(selected);
        run.panel().Notify(IDC_RECEIVED_LIST, Notification::SelChange);
        EXPECT_EQ(run.Entry(), "70 device(s) attached:");
        EXPECT_EQ(run.Remembered(2), "70 device(s) attached:");
    }

    // More devices than a machine can carry is taken for a driver fault, not allocated for.
    attach(5000);
    run.h.Click(IDC_SEARCH);
    EXPECT_EQ(run.h.prompts.MessageTexts(), std::vector<std::string>{"FT_ListDevices failed"});
    EXPECT_TRUE(run.Listed().empty());
}

TEST(DeviceConnectionPanelTest, EachMethodRemembersItsOwnEntryAndEmptyMeansDeviceZero)
{
    PanelRun run(1, "QSC10001");
    run.h.Start();
    EXPECT_EQ(run.Status(), kReady);
    run.h.Click(IDC_BY_DESCRIPTION);
    EXPECT_EQ(run.Entry(), kPrompt);
    for (const auto& [id, typed] : {std::pair{IDC_BY_DESCRIPTION, "Bench shutter"},
                                    {IDC_BY_SERIAL, "QSC4"},
                                    {IDC_BY_NUMBER, "3"}}) {
        run.h.Click(id);
        run.h.TypeText(IDC_DEVICE, typed);
    }
    const std::pair<int, const char*> back[] = {
        {IDC_BY_DESCRIPTION, "Bench shutter"}, {IDC_BY_NUMBER, "3"}, {IDC_BY_SERIAL, "QSC4"}};
    for (const auto& [id, entry] : back) {
        run.h.Click(id);
        EXPECT_EQ(run.Entry(), entry);
        EXPECT_EQ(run.h.profile->GetProfileInt(kSection, "SerDesc", -9), id - IDC_BY_DESCRIPTION);
    }

    // An emptied entry opens device 0, so the method follows it.
    run.h.TypeText(IDC_DEVICE, "");
    EXPECT_TRUE(run.panel().IsDlgButtonChecked(IDC_BY_NUMBER));
    EXPECT_EQ(run.Remembered(1), "");
    EXPECT_EQ(run.h.profile->GetProfileInt(kSection, "SerDesc", -9), 1);
    QuillonSim_ClearCallLog();
    run.h.Click(IDC_OPEN);
    EXPECT_NE(SimCallLog().find("FT_Open(0)\n"), std::string::npos);
    EXPECT_EQ(run.Status(), kReady);
}

// The entry is written as it is typed: a profile that cannot grow is told once, and keeps its text.
TEST(DeviceConnectionPanelTest, AProfileThatCannotBeWrittenIsToldOnce)
{
    PanelRun run(1, "QSC1");
    run.h.Start();
    const std::string path = run.h.profile->Path();
    const std::string boxes = InChildWithFileSizeLimit(std::filesystem::file_size(path), [&] {
        run.h.prompts.Clear();
        for (const char* typed : {"QSC10", "QSC100", "QSC1000"}) run.h.TypeText(IDC_DEVICE, typed);
        std::string out;
        for (const auto& r : run.h.prompts.records) out += r.caption + ": " + r.text + "\n";
        return out;
    });
    EXPECT_EQ(boxes, "Warning: Cannot save the settings to " + path + ".\nFile too large\n");
    EXPECT_EQ(run.Remembered(1), "QSC1");
}

}  // namespace

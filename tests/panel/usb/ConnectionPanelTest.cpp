// The panel's side of the device connection, the link exercise and the transcript: its boxes,
// the terminal, the profile, the list, button readiness and the transcript's menu entry.

#include <fstream>

#include "usb/LinkExercise.h"
#include "usb/LinkPanel.h"

namespace {

const char* const kKeys[] = {"DescString", "SerialString", "DevNmbr"};
constexpr auto npos = std::string::npos;

// A transcript's lines without their times.
Strings Transcript(const std::string& path)
{
    std::ifstream in(path);
    Strings bodies;
    for (std::string line; std::getline(in, line);) bodies.push_back(line.substr(line.find(' ')));
    return bodies;
}

// Refusals are boxes before any open; a number opens that device, and only device 0 answers.
TEST(ConnectionPanelTest, TheEntryDecidesWhatIsOpened)
{
    const struct {
        int method;
        const char* entry;
        const char* refusal;  // nullptr: device `device` is opened
        int device;
    } cases[] = {
        {1, "Enter device Description or Serial Number here.",
         "You must enter a Device Description or Serial Number.", -1},
        {2, "65", "Select a method to open or enter a valid device number (0-64).", -1},
        {2, "7", nullptr, 7},
        {2, "", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        LinkPanel p;
        p.h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", c.method);
        p.h.profile->WriteProfileString("MyTiveloAp", kKeys[c.method], c.entry);
        p.Start();
        EXPECT_EQ(p.h.prompts.MessageTexts(), c.refusal ? Strings{c.refusal} : Strings{});
        const std::string log = SimCallLog();
        EXPECT_EQ(log.find(c.refusal ? "FT_Open"
                                     : "\nFT_Open(" + std::to_string(c.device) + ")\n") != npos,
                  !c.refusal)
            << log;
        EXPECT_EQ(p.Status(), c.device == 0 ? kReadyText : "USB not responding");
    }

    // A library that cannot reach USB is never asked to open; the terminal is told why.
    LinkPanel p;
    QuillonSim_ImitateNoUsb(1);
    p.Start();
    p.h.Click(IDC_OPEN);
    EXPECT_EQ(SimCallLog().find("FT_Open"), npos);
    EXPECT_EQ(p.Status(), "Could not open USB");
    EXPECT_TRUE(p.h.prompts.records.empty());
    EXPECT_EQ(p.terminal, Strings(2,
                                  "quillon-utility: the driver library cannot count USB devices "
                                  "(FT_ListDevices status 18), so no device was opened; run "
                                  "quillon-utility --diagnose to see why."));
    QuillonSim_ImitateNoUsb(0);
    p.h.Click(IDC_OPEN);
    EXPECT_EQ(p.Status(), kReadyText);
}

// Each method shows and keeps its own entry; an emptied entry opens device 0. Search closes the
// link and lists the devices by the checked method; a selected line becomes the entry.
TEST(ConnectionPanelTest, TheEntryTheProfileAndSearch)
{
    LinkPanel p;
    p.StartReady();
    p.h.Click(IDC_BY_DESCRIPTION);
    EXPECT_EQ(p.Text(IDC_DEVICE), "Enter device Description or Serial Number here.");
    for (const auto& [id, typed] :
         {std::pair{IDC_BY_DESCRIPTION, "Bench"}, {IDC_BY_SERIAL, "QSC4"}, {IDC_BY_NUMBER, "3"}}) {
        p.h.Click(id);
        p.h.TypeText(IDC_DEVICE, typed);
    }
    for (const auto& [id, entry] :
         {std::pair{IDC_BY_DESCRIPTION, "Bench"}, {IDC_BY_NUMBER, "3"}, {IDC_BY_SERIAL, "QSC4"}}) {
        p.h.Click(id);
        EXPECT_EQ(p.Text(IDC_DEVICE), entry);
        EXPECT_EQ(p.h.profile->GetProfileInt("MyTiveloAp", "SerDesc", -9), id - IDC_BY_DESCRIPTION);
    }
    p.h.TypeText(IDC_DEVICE, "");
    EXPECT_TRUE(p.P().IsDlgButtonChecked(IDC_BY_NUMBER));
    EXPECT_EQ(p.h.profile->GetProfileString("MyTiveloAp", "SerialString", "?"), "");
    p.h.Click(IDC_OPEN);
    EXPECT_NE(SimCallLog().find("FT_Open(0)\n"), npos);
    EXPECT_EQ(p.Status(), kReadyText);

    LinkPanel::Inject({0x01});
    p.Tick();
    const QuillonSimDevice devices[] = {{"Quillon SC", "QSC10001"}, {"Bench", "QSC20002"}};
    QuillonSim_SetDevices(devices, 2);
    const Strings listed[] = {{"Quillon SC", "Bench"}, {"QSC10001", "QSC20002"}, {"0", "1"}};
    for (int method : {0, 1, 2}) {
        p.h.Click(IDC_BY_DESCRIPTION + method);
        p.h.Click(IDC_SEARCH);
        Strings expected = listed[method];
        expected.insert(expected.begin(), "2 device(s) attached:");
        EXPECT_EQ(p.Lines(), expected);
        EXPECT_EQ(p.Status(), "USB Closed.");
        EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), "0");
        EXPECT_EQ(p.Text(IDC_DEVICE), "");
    }
    p.P().m_listReceived->SetCurSel(2);
    p.P().Notify(IDC_RECEIVED_LIST, Notification::SelChange);
    EXPECT_EQ(p.Text(IDC_DEVICE), "1");
    std::vector<QuillonSimDevice> many(5000, devices[0]);  // taken for a driver fault
    QuillonSim_SetDevices(many.data(), int(many.size()));
    p.h.Click(IDC_SEARCH);
    EXPECT_EQ(p.h.prompts.MessageTexts(), Strings{"FT_ListDevices failed"});
    EXPECT_TRUE(p.Lines().empty());
}

// "Blink LEDs" needs a handshake; while the exercise runs only "Blink Off" and the speed are
// enabled; exiting stops the worker before the library goes.
TEST(ConnectionPanelTest, TheLinkExercisesButtonsAndExit)
{
    LinkPanel p;
    const auto controls = [&] {
        return std::vector<bool>{p.Enabled(IDC_BLINK_LEDS), p.Enabled(IDC_BLINK_OFF),
                                 p.Enabled(IDC_SPEED), p.Enabled(IDOK)};
    };
    const std::vector<bool> idle(4, true);
    QuillonSim_SetSilent(0, 1);
    p.Start();
    p.P().OnBlinkOff();  // enables "Blink LEDs" in any state
    p.h.Click(IDC_BLINK_LEDS);
    EXPECT_EQ(p.P().m_blink, nullptr);
    EXPECT_EQ(controls(), idle);
    QuillonSim_SetSilent(0, 0);
    p.h.Click(IDC_OPEN);
    p.P().m_sliderSpeed.SetPos(499);
    p.P().Notify(IDC_SPEED, Notification::ReleasedCapture);
    EXPECT_EQ(g_nBlinkSpeed, 499);
    p.h.Click(IDC_BLINK_LEDS);
    EXPECT_EQ(controls(), (std::vector<bool>{false, true, true, false}));
    p.h.Click(IDC_BLINK_OFF);
    EXPECT_EQ(controls(), idle);
    EXPECT_EQ(g_bBlinkRunning, 0);
    g_nBlinkSpeed = 0;  // the worker sits in a 500 ms wait
    p.h.Click(IDC_BLINK_LEDS);
    ASSERT_TRUE(p.P().m_blink->Running());
    p.P().close();
    EXPECT_EQ(p.h.exitCodes, std::vector<int>{0});
    EXPECT_FALSE(p.P().m_blink->Running());
    EXPECT_FALSE(p.P().m_usb.Loaded());
}

// A transcript file that cannot be made is told once; the menu entry asks for a file, records
// (Search as one CLOSE) until chosen again, and a cancelled dialog starts nothing.
TEST(ConnectionPanelTest, TranscriptMenuEntry)
{
    LinkPanel p;
    const std::string bad = p.h.dir.filePath("missing/t.txt").toStdString();
    const std::string file = p.h.dir.filePath("t.txt").toStdString();
    p.h.options.transcriptPath = bad;
    p.Start();
    ASSERT_EQ(p.h.prompts.records.size(), 1u);
    EXPECT_EQ(p.h.prompts.records[0].caption, "Warning");
    EXPECT_NE(p.h.prompts.records[0].text.find(bad), npos);
    EXPECT_EQ(p.Status(), kReadyText);
    p.Settle();
    p.P().OnTimer();
    p.h.prompts.fileAnswers = {file, std::nullopt};
    p.P().OnRecordTranscript();
    EXPECT_TRUE(p.P().m_usb.Transcript().Recording());
    p.h.Click(IDC_STATUS);
    p.TickUntilQuiet();
    p.h.Click(IDC_SEARCH);  // one CLOSE, however the next ticks find the handle
    for (int i = 0; i < 3; ++i) p.Tick();
    p.P().OnRecordTranscript();
    EXPECT_FALSE(p.P().m_usb.Transcript().Recording());
    const Strings lines = Transcript(file);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), " TX 1 CC");
    EXPECT_EQ(lines.back(), " CLOSE");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), " CLOSE"), 1);
    p.h.Click(IDC_OPEN);
    EXPECT_EQ(Transcript(file), lines) << "nothing after the recording stopped";
    p.P().OnRecordTranscript();
    EXPECT_FALSE(p.P().m_usb.Transcript().Recording());
    ASSERT_EQ(p.h.prompts.records.size(), 2u);
    for (const auto& r : p.h.prompts.records) EXPECT_EQ(r.kind, ScriptedPrompts::Kind::SaveFile);
}

}  // namespace

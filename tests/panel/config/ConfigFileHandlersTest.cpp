// "Save Config." and "Load Config." on a real panel: the file written from the panel, the panel
// rebuilt from a file, and failures that report and change nothing.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <sstream>
#include <string>
#include <vector>

#include "common/FileSizeLimit.h"
#include "config/ConfigFile.h"
#include "support/PanelHarness.h"
#include "timing/TimeRecord.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kFilter = "Quillon Config (*.cfg)|*.cfg|All Files (*.*)|*.*||";

const ConfigFile kExample{1, 0, 0, 0, 1, 0, {"1", "2", "3", "456", "7"}, {}, 2, "10"};
const Bytes kExampleBytes{0x01, 0x31, 0x01, 0x30, 0x01, 0x30, 0x01, 0x30, 0x01, 0x31, 0x01, 0x30,
                          0x01, 0x31, 0x01, 0x32, 0x01, 0x33, 0x03, 0x34, 0x35, 0x36, 0x01, 0x37,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x32, 0x02, 0x31, 0x30};
// Differs from the example in every item.
const ConfigFile kOther{0, 2,  50, 3, 0, 1, {"", "", "9", "", ""}, {"2", "", "", "100", "3"},
                        1, "4"};

class ConfigFileHandlersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTimeRecords();
        h.Start();
        h.prompts.Clear();
        ASSERT_TRUE(files.isValid());
    }
    void TearDown() override { ResetTimeRecords(); }

    CShutterPanelDlg& Panel() { return *h.panel; }
    std::string Path(const char* name) const { return files.filePath(name).toStdString(); }
    std::string Text(int id) const { return h.panel->GetDlgItemText(id); }

    // The fields and records as an operation would leave them; the widgets follow by a push.
    void Preset(const ConfigFile& c)
    {
        ApplyConfigFile(c, Panel(), g_closedTime, g_exposureTime);
        Panel().UpdateData(false);
    }
    // kOther with every display, caption, box and editor text showing something of its own.
    void PresetOther()
    {
        Preset(kOther);
        CShutterPanelDlg& p = Panel();
        p.SetDlgItemText(IDC_ND, "Neutral Density - 50");
        p.SetDlgItemText(IDC_OPENING_TIME, "13.19 ms");
        p.SetDlgItemText(IDC_CLOSING_TIME, "13.19 ms");
        p.CheckDlgButton(IDC_TRIGGER_PULSE, true);
        p.CheckDlgButton(IDC_SYNC_PULSE, true);
        p.LoadEditorFromRecord(1);
        p.m_strSeconds = "42";  // typed, not uploaded
        p.m_strLeftCycles = "2";
        RecomputeCycleTime(p.m_nShutterMode, p.m_nNdSteps);
        p.ShowTimeDisplays();
        p.UpdateData(false);
    }

    // What the panel holds, from its fields (pull first to read what the widgets show).
    ConfigFile Held() const
    {
        const CShutterPanelDlg& p = *h.panel;
        return {p.m_nShutterState,  p.m_nShutterMode,   p.m_nNdSteps, p.m_nTriggerMode,
                p.m_nSyncPolarity,  p.m_nTimerSelect,   g_closedTime, g_exposureTime,
                p.m_nFreeRunOption, p.m_strRepeatNumber};
    }

    // Every control, every field and the three records, to show that nothing moved.
    std::string Snapshot() const
    {
        const CShutterPanelDlg& p = *h.panel;
        std::ostringstream s;
        for (const ControlTemplate& c : p.Template().controls) {
            if (c.id == IDC_STATIC)
                continue;
            s << c.id << " '" << p.GetDlgItemText(c.id) << "'";
            if (auto* b = p.Item<QAbstractButton>(c.id); b && b->isChecked())
                s << " checked";
            if (auto* slider = p.Item<QSlider>(c.id))
                s << " at " << slider->value();
            if (auto* combo = p.Item<QComboBox>(c.id))
                s << " selected " << combo->currentIndex();
            s << '\n';
        }
        s << p.m_nShutterState << ' ' << p.m_nShutterMode << ' ' << p.m_nNdSteps << ' '
          << p.m_nTriggerMode << ' ' << p.m_nSyncPolarity << ' ' << p.m_nTimerSelect << ' '
          << p.m_nFreeRunOption << " '" << p.m_strRepeatNumber << "' '" << p.m_strLeftCycles
          << "' '" << p.m_strHours << "' '" << p.m_strMinutes << "' '" << p.m_strSeconds << "' '"
          << p.m_strMs << "' '" << p.m_strTenthMs << "'\n";
        for (const TimeRecord& r : g_timeRecords)
            for (auto field : kTimeRecordFields) s << '\'' << r.*field << "' ";
        return s.str();
    }

    static void Write(const std::string& path, const Bytes& bytes)
    {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    Bytes Read(const std::string& path)
    {
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path;
        const QByteArray data = f.readAll();
        return Bytes(data.begin(), data.end());
    }

    void Save(const std::optional<std::string>& path)
    {
        h.prompts.fileAnswers.push_back(path);
        h.Click(IDC_SAVE_CONFIG);
    }
    void Load(const std::optional<std::string>& path)
    {
        h.prompts.fileAnswers.push_back(path);
        h.Click(IDC_LOAD_CONFIG);
    }

    // The file dialog, then one box; returns the box.
    ScriptedPrompts::Record OnlyBoxAfterDialog()
    {
        EXPECT_EQ(h.prompts.records.size(), 2u);
        if (h.prompts.records.size() < 2)
            return {};
        const ScriptedPrompts::Record box = h.prompts.records.back();
        EXPECT_EQ(box.kind, ScriptedPrompts::Kind::Message);
        EXPECT_EQ(box.buttons, MbButtons::Ok);
        return box;
    }

    PanelHarness h;
    QTemporaryDir files;
};

TEST_F(ConfigFileHandlersTest, SaveWritesTheStoredTimesNotTheEditor)
{
    ConfigFile shown = kExample;
    shown.repeatNumber = "3";
    Preset(shown);
    Panel().LoadEditorFromRecord(0);
    Panel().UpdateData(false);
    h.TypeText(IDC_HOURS, "4");    // typed, never uploaded
    h.TypeText(IDC_REPEAT, "10");  // taken in by the save's pull
    h.prompts.Clear();
    const std::string path = Path("example.cfg");
    Write(path, Bytes(100, 0xAA));  // replaced, not overwritten in place

    Save(path);
    EXPECT_EQ(Read(path), kExampleBytes);
    ASSERT_EQ(h.prompts.records.size(), 1u);
    const auto& dialog = h.prompts.records.front();
    EXPECT_EQ(dialog.kind, ScriptedPrompts::Kind::SaveFile);
    EXPECT_EQ(dialog.text, kFilter);
    EXPECT_EQ(dialog.defaultExt, "cfg");
    EXPECT_EQ(Text(IDC_HOURS), "4");
    EXPECT_EQ(g_closedTime.hours, "1");
}

TEST_F(ConfigFileHandlersTest, LoadShowsTheFileOnEveryControl)
{
    PresetOther();
    const std::string path = Path("example.cfg");
    Write(path, kExampleBytes);

    Load(path);
    ASSERT_EQ(h.prompts.records.size(), 1u);
    EXPECT_EQ(h.prompts.records[0].kind, ScriptedPrompts::Kind::OpenFile);
    EXPECT_EQ(h.prompts.records[0].text, kFilter);
    EXPECT_EQ(Held(), kExample);

    for (int id : {IDC_SHUTTER_CLOSE, IDC_FAST, IDC_ENABLE_HIGH, IDC_LOW_FOR_OPEN, IDC_GO,
                   IDC_TRIGGER_PULSE, IDC_SYNC_PULSE})
        EXPECT_TRUE(Panel().IsDlgButtonChecked(id)) << id;
    for (int id : {IDC_SHUTTER_OPEN, IDC_ND, IDC_FALLING_EDGE, IDC_HIGH_FOR_OPEN, IDC_ON_TRIGGER})
        EXPECT_FALSE(Panel().IsDlgButtonChecked(id)) << id;
    EXPECT_EQ(h.Item<QComboBox>(IDC_TIMER_SELECT)->currentIndex(), 0);
    const std::tuple<int, int, const char*> editor[] = {{IDC_HOURS, IDC_SLIDER_HOURS, "1"},
                                                        {IDC_MINUTES, IDC_SLIDER_MINUTES, "2"},
                                                        {IDC_SECONDS, IDC_SLIDER_SECONDS, "3"},
                                                        {IDC_MS, IDC_SLIDER_MS, "456"},
                                                        {IDC_TENTH_MS, IDC_SLIDER_TENTH_MS, "7"}};
    for (const auto& [edit, slider, text] : editor) {
        EXPECT_EQ(Text(edit), text);
        EXPECT_EQ(h.Item<QSlider>(slider)->value(), std::stoi(text));
    }
    EXPECT_EQ(Text(IDC_ND), "Neutral Density");
    EXPECT_EQ(Text(IDC_OPENING_TIME), "12 ms");
    EXPECT_EQ(Text(IDC_CLOSING_TIME), "12 ms");
    EXPECT_EQ(Text(IDC_CLOSED_DISPLAY), "01:02:03:456:7");
    EXPECT_EQ(Text(IDC_EXPOSURE_DISPLAY), "00:00:00:000:0");
    EXPECT_EQ(Text(IDC_CYCLE_DISPLAY), "Cycle Time - 01:02:03:480:7");
    EXPECT_EQ(Text(IDC_REPEAT), "10");
    EXPECT_EQ(Text(IDC_LEFT_CYCLES), "10");
}

TEST_F(ConfigFileHandlersTest, LoadedModeSetsItsCaptionsAndNoModeKeepsThem)
{
    struct Case {
        int mode, steps;
        const char* nd;
        const char* transition;
        const char* cycle;
    };
    const Case cases[] = {
        {2, 50, "Neutral Density - 50", "13.19 ms", "Cycle Time - 00:00:00:026:4"},
        {1, 50, "Neutral Density", "70 ms", "Cycle Time - 00:00:00:140:0"},
        {-1, 50, "kept", "kept ms", "Cycle Time - 00:00:00:024:0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        Panel().SetDlgItemText(IDC_ND, "kept");
        Panel().SetDlgItemText(IDC_OPENING_TIME, "kept ms");
        Panel().SetDlgItemText(IDC_CLOSING_TIME, "kept ms");
        ConfigFile config;
        config.shutterMode = c.mode;
        config.ndSteps = c.steps;
        const std::string path = Path("mode.cfg");
        Write(path, EncodeConfigFile(config));
        Load(path);
        EXPECT_EQ(Text(IDC_ND), c.nd);
        EXPECT_EQ(Text(IDC_OPENING_TIME), c.transition);
        EXPECT_EQ(Text(IDC_CLOSING_TIME), c.transition);
        EXPECT_EQ(Text(IDC_CYCLE_DISPLAY), c.cycle);
        EXPECT_EQ(Panel().m_nShutterMode, c.mode);
    }
    EXPECT_EQ(h.prompts.MessageTexts().size(), 0u);
}

TEST_F(ConfigFileHandlersTest, SavedSettingsComeBackAfterEverythingChanged)
{
    const ConfigFile cases[] = {
        // Trigger and sync differ, either way round: each box shows its own setting.
        {0, 2, 144, -1, 0, 1, {"4", "07", "", "999", "9"}, {"5", "", "", "", ""}, 1, "Continuous"},
        {},  // nothing selected anywhere
        {1, 1, 7, 2, -1, 0, {}, {"\u00e9", "", "", "", ""}, 0, std::string(255, '9')},
    };
    for (const ConfigFile& c : cases) {
        SCOPED_TRACE("repeat \"" + c.repeatNumber.substr(0, 12) + "\"");
        const std::string path = Path("round.cfg");
        Preset(c);
        Save(path);
        PresetOther();
        Load(path);
        // The widgets show it too: pulled back, nothing differs.
        Panel().UpdateData(true);
        EXPECT_EQ(Held(), c);
        EXPECT_EQ(Panel().m_strLeftCycles, c.repeatNumber);
        EXPECT_EQ(Panel().IsDlgButtonChecked(IDC_TRIGGER_PULSE), c.triggerMode != -1);
        EXPECT_EQ(Panel().IsDlgButtonChecked(IDC_SYNC_PULSE), c.syncPolarity != -1);
        const TimeRecord& shown = c.timerSelect == 1 ? c.exposureTime : c.closedTime;
        EXPECT_EQ((TimeRecord{Panel().m_strHours, Panel().m_strMinutes, Panel().m_strSeconds,
                              Panel().m_strMs, Panel().m_strTenthMs}),
                  shown);
        EXPECT_TRUE(h.prompts.MessageTexts().empty());
        h.prompts.Clear();
    }
}

TEST_F(ConfigFileHandlersTest, LongRepeatTextLoadsWhole)
{
    ConfigFile config = kExample;
    config.repeatNumber = std::string(70000, '5');
    const std::string path = Path("long.cfg");
    Write(path, EncodeConfigFile(config));
    Load(path);
    EXPECT_EQ(Panel().m_strLeftCycles, config.repeatNumber);
    Panel().UpdateData(true);  // the controls hold the whole text, so a pull keeps it
    EXPECT_EQ(Panel().m_strRepeatNumber, config.repeatNumber);
}

TEST_F(ConfigFileHandlersTest, FailuresAreReportedAndChangeNothing)
{
    PresetOther();
    const std::string before = Snapshot();

    Save(std::nullopt);  // cancelled dialogs: no box, no file
    Load(std::nullopt);
    ASSERT_EQ(h.prompts.records.size(), 2u);
    EXPECT_EQ(h.prompts.records[0].kind, ScriptedPrompts::Kind::SaveFile);
    EXPECT_EQ(h.prompts.records[1].kind, ScriptedPrompts::Kind::OpenFile);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(QDir(files.path()).isEmpty());

    Write(Path("plain"), {'x'});
    ASSERT_TRUE(QDir().mkpath(files.filePath("folder.cfg")));
    const std::pair<bool, std::string> unusable[] = {{false, Path("missing.cfg")},
                                                     {false, Path("folder.cfg")},
                                                     {true, Path("absent/a.cfg")},
                                                     {true, Path("plain/a.cfg")},
                                                     {false, "/dev/null"}};  // never a .cfg
    for (const auto& [save, path] : unusable) {
        SCOPED_TRACE(path);
        h.prompts.Clear();
        save ? Save(path) : Load(path);
        const auto box = OnlyBoxAfterDialog();
        const std::string head =
            (save ? "Cannot save the configuration to " : "Cannot load the configuration from ") +
            path + ".\n";
        EXPECT_EQ(box.text.rfind(head, 0), 0u) << box.text;
        EXPECT_GT(box.text.size(), head.size()) << "the reason is given";
        EXPECT_EQ(box.caption, "Warning");
        EXPECT_EQ(box.icon, MbIcon::Exclamation);
        EXPECT_EQ(Snapshot(), before);
    }
    EXPECT_EQ(Read(Path("plain")), Bytes{'x'});

    // Complete, but with values the panel would refuse: the first is named.
    ConfigFile refused = kExample;
    refused.shutterMode = 7;
    refused.closedTime.minutes = "-7";
    Write(Path("refused.cfg"), EncodeConfigFile(refused));
    h.prompts.Clear();
    Load(Path("refused.cfg"));
    const auto box = OnlyBoxAfterDialog();
    EXPECT_EQ(box.text, "Cannot load the configuration from " + Path("refused.cfg") +
                            ".\nShutter mode \"7\": there is no such choice.");
    EXPECT_EQ(box.icon, MbIcon::Exclamation);
    EXPECT_EQ(Snapshot(), before);

    // Files that end early, and seventeen texts without the last: decoded whole before anything
    // is taken over.
    ConfigFile longer = kOther;
    longer.repeatNumber = std::string(300, '8');
    std::vector<Bytes> contents;
    for (const Bytes& full : {kExampleBytes, EncodeConfigFile(longer)})
        for (std::size_t n = 0; n < full.size(); ++n)
            contents.emplace_back(full.begin(), full.begin() + n);
    contents.emplace_back();
    for (int i = 0; i < 17; ++i) contents.back().insert(contents.back().end(), {0x01, '1'});
    const std::string path = Path("short.cfg");
    for (const Bytes& bytes : contents) {
        SCOPED_TRACE(std::to_string(bytes.size()) + " bytes");
        Write(path, bytes);
        h.prompts.Clear();
        Load(path);
        const auto box = OnlyBoxAfterDialog();
        EXPECT_EQ(box.text, "An attempt was made to access " + path + " past its end.");
        EXPECT_EQ(box.caption, Panel().AppName());
        EXPECT_EQ(box.icon, MbIcon::Stop);
        ASSERT_EQ(Snapshot(), before);
    }
}

TEST_F(ConfigFileHandlersTest, ASaveThatCannotWriteEveryByteKeepsTheOldFile)
{
    const std::string path = Path("old.cfg");
    Write(path, kExampleBytes);
    Preset(kOther);
    // Cut short inside the new file, and before its first byte.
    for (const rlim_t limit : {rlim_t(EncodeConfigFile(kOther).size() - 1), rlim_t(0)}) {
        const std::string box = InChildWithFileSizeLimit(limit, [&] {
            h.prompts.Clear();
            Save(path);
            const auto& r = h.prompts.records;
            return r.size() == 2 ? r[1].caption + ": " + r[1].text : "no box";
        });
        EXPECT_EQ(box, "Warning: Cannot save the configuration to " + path + ".\nFile too large");
        EXPECT_EQ(Read(path), kExampleBytes);
        EXPECT_EQ(QDir(files.path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
            << "no temporary file is left behind";
    }
}

}  // namespace

// quillonctl against the simulated controller, in-process: each row runs one command line and
// checks its exit status, its output and the frames it wrote after the handshake.

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "QuillonSim.h"
#include "QuillonSimD2xx.h"
#include "config/ConfigFile.h"
#include "framework/Profile.h"
#include "tool/Tool.h"

namespace {

using Strings = std::vector<std::string>;

std::string SimCallLog()
{
    std::string log(QuillonSim_CallLog(nullptr, 0) + 1, '\0');
    QuillonSim_CallLog(log.data(), log.size());
    return log.c_str();
}

// The frames written since the call log was cleared, in hexadecimal.
Strings SimWrites(const std::string& log)
{
    Strings out;
    for (std::size_t at = log.find("FT_Write("); at != std::string::npos; at = log.find("FT_Write(", at + 1))
        out.push_back(log.substr(at + 9, log.find(')', at) - at - 9));
    return out;
}

const std::string kSim = std::string(QUILLON_BUILD_DIR) + "/libquillon-sim.so";
// The fault tests' driver: the same simulator, with a hook before every driver call.
const std::string kShim = std::string(QUILLON_BUILD_DIR) + "/libquillon-shim.so";

struct AtWrite {
    static inline int nth = 0, seen = 0;
    static inline void (*action)() = nullptr;
};

// Through the shim: action runs just before the tool's nth write (the handshake's is the first).
std::function<void()> AtWriteNumber(int nth, void (*action)())
{
    return [nth, action] {
        AtWrite::nth = nth;
        AtWrite::seen = 0;
        AtWrite::action = action;
        static void* const shim = dlopen(kShim.c_str(), RTLD_NOW);
        ASSERT_NE(shim, nullptr) << dlerror();
        using SetHook = void (*)(void (*)(const char*));
        reinterpret_cast<SetHook>(dlsym(shim, "QuillonShim_SetHook"))([](const char* entry) {
            if (std::string(entry) == "FT_Write" && ++AtWrite::seen == AtWrite::nth)
                AtWrite::action();
        });
    };
}

std::string CfgFile(const std::string& name, const ConfigFile& config)
{
    const std::string path = testing::TempDir() + name;
    const std::vector<std::uint8_t> bytes = EncodeConfigFile(config);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

ConfigFile GoodConfig()
{
    ConfigFile c;
    c.shutterState = 1;
    c.shutterMode = 0;
    c.triggerMode = 0;
    c.syncPolarity = 1;
    c.closedTime = {"0", "0", "2", "0", "0"};
    c.exposureTime = {"0", "0", "0", "250", "0"};
    c.repeatNumber = "3";
    return c;
}

struct ToolRun {
    int status;
    std::string out;
    std::string err;
    Strings writes;  // after the handshake's EE
    std::string log;
};

// The panel's profile, in a folder of the test's own.
std::string ProfilePath()
{
    const std::string folder = testing::TempDir() + "quillonctl-config";
    mkdir(folder.c_str(), 0700);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    return Profile::DefaultPath(ProfileFileName(false));
}

void ProfileNames(int openBy, const std::string& entry)
{
    Profile profile(ProfilePath());
    profile.WriteProfileInt("MyTiveloAp", "SerDesc", openBy);
    profile.WriteProfileString("MyTiveloAp", openBy == 0 ? "DescString" : "SerialString", entry);
}

ToolRun Quillonctl(Strings args, const std::function<void()>& fault = {}, Strings lines = {},
                   std::ostream* errStream = nullptr)
{
    LineReader input = [&lines](std::string& line, unsigned) {
        if (lines.empty())
            return LineStatus::End;
        line = lines.front();
        lines.erase(lines.begin());
        return LineStatus::Line;
    };
    QuillonSim_Reset();
    std::remove(ProfilePath().c_str());
    if (fault)
        fault();
    QuillonSim_ClearCallLog();
    args.insert(args.begin(), {"--driver", kSim});
    std::ostringstream out, err;
    const int status = RunQuillonctl(args, out, errStream ? *errStream : err, {}, input);
    const std::string log = SimCallLog();
    ToolRun run{status, out.str(), err.str(), SimWrites(log), log};
    if (!run.writes.empty() && run.writes.front() == "EE")
        run.writes.erase(run.writes.begin());
    return run;
}

constexpr const char* kFactoryStatus =
    "shutter: closed\nmode: fast\nnd-steps: 0\ntrigger: enable-high\nsync: low\n"
    "closed-time: 0:00:00.0000\nexposure-time: 0:00:00.0000\ncycle-time: 0:00:00.0240\n"
    "run: none\nrepeat: 0\n";

struct Row {
    Strings args;
    Strings writes;
    std::string out;  // the whole of standard output, or its start when it ends in "..."
};

const Row kCommands[] = {
    {{"status"}, {"CC"}, kFactoryStatus},
    {{"--json", "status"},
     {"CC"},
     "{\"schema\":1,\"type\":\"status\",\"shutter\":\"closed\",\"mode\":\"fast\",\"nd-steps\":0,"
     "\"trigger\":\"enable-high\",\"sync\":\"low\",\"closed-time\":0.0,\"exposure-time\":0.0,"
     "\"cycle-time\":24.0,\"run\":\"none\",\"repeat\":0}\n"},
    {{"info"}, {"FD"}, "serial: QSC10001\nfirmware: V1.0\n"},
    {{"shutter", "open"}, {"AA"}, "command: shutter\n"},
    {{"shutter", "close"}, {"AC"}, "..."},
    {{"mode", "fast"}, {"DC"}, "..."},
    {{"mode", "soft"}, {"DD"}, "..."},
    {{"mode", "nd", "144"}, {"DE 90"}, "..."},
    {{"trigger", "off"}, {"FA A0"}, "..."},
    {{"trigger", "enable-high"}, {"FA A1"}, "..."},
    {{"trigger", "enable-low"}, {"FA A2"}, "..."},
    {{"trigger", "rising"}, {"FA A3"}, "..."},
    {{"trigger", "falling"}, {"FA A4"}, "..."},
    {{"sync", "off"}, {"FA B0"}, "..."},
    {{"sync", "high"}, {"FA B1"}, "..."},
    {{"sync", "low"}, {"FA B2"}, "..."},
    {{"timer", "exposure", "0:00:01.5003"}, {"FA 20 00 01 50 03"}, "..."},
    {{"timer", "closed", "4:59:59.9999"}, {"FA 14 3B 3B 99 99"}, "..."},
    {{"timer", "closed", "2.5"}, {"FA 10 00 02 50 00"}, "..."},
    {{"repeat", "5"}, {"FA F0 00 05"}, "..."},
    {{"repeat", "continuous"}, {"FA F0 FF FF"}, "..."},
    {{"run", "go"}, {"CC", "FA F3"}, "..."},
    {{"run", "trigger"}, {"CC", "FA F2"}, "..."},
    {{"run", "power-up"}, {"CC", "FA F1"}, "..."},
    {{"stop"}, {"BF"}, "..."},
    {{"online"}, {"EE"}, "..."},
    {{"power", "on"}, {"CE"}, "..."},
    {{"power", "off"}, {"CF"}, "..."},
    {{"save-to-controller"}, {"FA C1"}, "..."},
    {{"reset"}, {"FB", "CC"}, kFactoryStatus},
    {{"restore-defaults"}, {"FA C0", "CC"}, kFactoryStatus},
    {{"list"}, {}, "1 device(s) attached:\nQuillon SC\n"},
    {{"--by", "serial", "list"}, {}, "1 device(s) attached:\nQSC10001\n"},
    {{"--json", "list"},
     {},
     "{\"schema\":1,\"type\":\"device\",\"index\":0,\"name\":\"Quillon SC\"}\n"},
    {{"--by", "serial", "--device", "QSC10001", "stop"}, {"BF"}, "..."},
    {{"--device", "Quillon SC", "stop"}, {"BF"}, "..."},
};

TEST(QuillonctlTest, EachCommandWritesItsFramesAndPrintsItsResult)
{
    for (const Row& row : kCommands) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        const ToolRun run = Quillonctl(row.args);
        EXPECT_EQ(run.status, kExitOk) << run.err;
        EXPECT_EQ(run.writes, row.writes);
        if (row.out != "...") {
            EXPECT_EQ(run.out, row.out);
        }
        EXPECT_EQ(run.err, "");
    }
}

TEST(QuillonctlTest, ApplySendsTheFileFrameByFrameToTheEnd)
{
    const ToolRun run = Quillonctl({"apply", CfgFile("good.cfg", GoodConfig())});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.writes, (Strings{"AC", "DC", "FA A1", "FA B2", "FA 10 00 02 00 00",
                                   "FA 20 00 00 25 00", "FA F0 00 03"}));
    QuillonSimState state{};
    QuillonSim_GetState(0, &state);
    EXPECT_EQ(state.repeatCount, 3);
    EXPECT_EQ(state.sync, 2);
}

// Two cycles of 100 ms closed and 50 ms open, from closed.
void TwoShortCycles()
{
    QuillonSimState state{};
    QuillonSim_GetState(0, &state);
    state.repeatCount = 2;
    state.closedTime[3] = 100;
    state.exposureTime[3] = 50;
    QuillonSim_SetState(0, &state);
}

TEST(QuillonctlTest, RunAndWatchTellEachEventAsItHappens)
{
    const std::string cycles =
        "shutter state=opened\nshutter state=closed\ncycle left=1\n"
        "shutter state=opened\nshutter state=closed\ncycle left=0\n";
    ToolRun run = Quillonctl({"run", "go", "--wait"}, TwoShortCycles);
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.writes, (Strings{"CC", "FA F3"}));
    EXPECT_EQ(run.out, "command: run\n" + cycles + "run-end\n");
    // A repeat count of 0 runs nothing: the ready byte that says so is the run's end.
    run = Quillonctl({"--timeout", "300", "run", "go", "--wait"}, {});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "command: run\nrun-end\n");

    // A run started elsewhere: nothing is counted, and its end is the controller's ready byte.
    run = Quillonctl({"--json", "watch", "--until", "run-end"}, [] {
        TwoShortCycles();
        QSIM_FT_HANDLE h = nullptr;
        FT_Open(0, &h);
        uint8_t go[] = {0xFA, 0xF3};
        QSIM_DWORD written = 0;
        FT_Write(h, go, sizeof go, &written);
    });
    EXPECT_EQ(run.status, kExitOk) << run.err;
    const std::string event = "{\"schema\":1,\"type\":\"event\",\"event\":";
    const std::string opened = event + "\"shutter\",\"state\":\"opened\"}\n";
    const std::string closed = event + "\"shutter\",\"state\":\"closed\"}\n";
    EXPECT_EQ(run.out, opened + closed + opened + closed + event + "\"ready\"}\n");
}

TEST(QuillonctlTest, ShellAnswersEachLineWithOneLineOnTheLinkKeptOpen)
{
    // Each command's answer is awaited, so none is taken for an event or for the next reply.
    ToolRun run =
        Quillonctl({"shell"}, {},
                   {"shutter open", "status", "", "bogus", "info", "mode nd 7", "quit", "stop"});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.writes, (Strings{"AA", "CC", "FD", "DE 07"}));
    EXPECT_EQ(run.out,
              "sent command=shutter\n"
              "status shutter=open mode=fast nd-steps=0 trigger=enable-high sync=low "
              "closed-time=0:00:00.0000 exposure-time=0:00:00.0000 cycle-time=0:00:00.0240 "
              "run=none repeat=0\n"
              "error class=usage message=Unknown command 'bogus'; quillonctl --help lists them.\n"
              "info serial=QSC10001 firmware=V1.0\n"
              "sent command=mode\n");

    run = Quillonctl({"--json", "shell"}, {}, {"shutter ajar"});
    EXPECT_EQ(run.out,
              "{\"schema\":1,\"type\":\"error\",\"class\":\"usage\",\"message\":"
              "\"shutter takes open|close, not 'ajar'.\"}\n");
}

TEST(QuillonctlTest, WithoutDeviceOptionsTheProfileChoosesAsThePanelWould)
{
    static const QuillonSimDevice two[] = {{"Quillon SC", "QSC10001"}, {"Quillon SC", "QSC10002"}};
    const struct {
        Strings args;
        std::function<void()> profile;
        const char* opened;
    } rows[] = {
        {{"stop"}, [] { ProfileNames(1, "QSC10002"); }, "FT_OpenEx(\"QSC10002\",1)"},
        // Another method's entry: the method given, its entry from the profile.
        {{"--by", "serial", "stop"}, [] { ProfileNames(1, "QSC10002"); }, "\"QSC10002\",1)"},
        {{"--device", "QSC10001", "--by", "serial", "stop"},
         [] { ProfileNames(1, "QSC10002"); },
         "\"QSC10001\",1)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        const ToolRun run = Quillonctl(row.args, [&] {
            QuillonSim_SetDevices(two, 2);
            row.profile();
        });
        EXPECT_EQ(run.status, kExitOk) << run.err;
        EXPECT_NE(run.log.find(row.opened), std::string::npos) << run.log;
    }
}

TEST(QuillonctlTest, ALongWaitShowsProgressOnlyOnATerminal)
{
    for (const bool terminal : {true, false}) {
        SCOPED_TRACE(terminal);
        int reader = -1, writer = -1;
        if (terminal) {
            ASSERT_EQ(openpty(&reader, &writer, nullptr, nullptr, nullptr), 0);
        } else {
            const std::string path = testing::TempDir() + "quillonctl-stderr";
            writer = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
            reader = open(path.c_str(), O_RDONLY);
        }
        const int saved = dup(2);
        dup2(writer, 2);
        const ToolRun run = Quillonctl({"reset"}, {}, {}, &std::cerr);
        dup2(saved, 2);
        close(saved);
        close(writer);
        std::string shown;
        char buffer[4096];
        for (ssize_t got; (got = read(reader, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, static_cast<std::size_t>(got));
        close(reader);
        EXPECT_EQ(run.status, kExitOk);
        EXPECT_EQ(shown.rfind("\rreset: awaiting the controller's ready byte, ", 0) == 0, terminal)
            << shown;
        EXPECT_EQ(shown.ends_with("\r\x1b[K"), terminal);
        EXPECT_EQ(run.out, kFactoryStatus);
    }
}

struct Failing {
    Strings args;
    std::function<void()> fault;
    int status;
    std::string message;  // a part of standard error
};

TEST(QuillonctlTest, EveryFailureHasItsExitStatusAndSaysWhy)
{
    ConfigFile outOfRange = GoodConfig();
    outOfRange.repeatNumber = "-12";
    ConfigFile noMode = GoodConfig();
    noMode.shutterMode = -1;
    const QuillonSimDevice two[] = {{"Quillon SC", "QSC10001"}, {"Quillon SC", "QSC10002"}};
    const Failing rows[] = {
        {{"--bogus", "status"}, {}, kExitUsage, "Unknown option 'bogus'."},
        {{"--timeout"}, {}, kExitUsage, "Missing value after '--timeout'."},
        {{"--by", "name", "status"}, {}, kExitUsage, "--by takes description, serial or number"},
        {{}, {}, kExitUsage, "No command given"},
        {{"fly"}, {}, kExitUsage, "Unknown command 'fly'"},
        {{"shutter"}, {}, kExitUsage, "Usage: quillonctl shutter open|close"},
        {{"shutter", "ajar"}, {}, kExitUsage, "shutter takes open|close, not 'ajar'."},
        {{"mode", "nd", "-1"}, {}, kExitUsage, "Steps must be between 0 and 144."},
        {{"timer", "closed", "6:00:00"}, {}, kExitUsage, "Hours number must be less than 6!"},
        {{"timer", "exposure", "0:60:00"}, {}, kExitUsage, "inute"},
        {{"timer", "exposure", "1:2:3:4"}, {}, kExitUsage, "is no time"},
        {{"repeat", "-3"}, {}, kExitUsage, "repeat takes a count"},
        {{"--by", "number", "--device", "99", "stop"}, {}, kExitUsage, "valid device number"},
        {{"status"},
         [] { QuillonSim_SetDevices(nullptr, 0); },
         kExitNoDevice,
         "no controller is attached"},
        {{"status"},
         [&] { QuillonSim_SetDevices(two, 2); },
         kExitNoDevice,
         "Quillon SC (QSC10002)"},
        {{"--device", "Nope", "status"}, {}, kExitNoDevice, "cannot open \"Nope\""},
        {{"status"},
         [] { ProfileNames(0, "Nope"); },
         kExitNoDevice,
         "cannot open \"Nope\" (the panel's choice, kept in "},
        {{"status"},
         [] { QuillonSim_SetSilent(0, 1); },
         kExitTimeOut,
         "did not answer the handshake (no reply)"},
        {{"status"}, [] { QuillonSim_SetHandshakeReply(0, 0x41); }, kExitTimeOut, "(0x41)"},
        {{"apply", CfgFile("nomode.cfg", noMode)},
         {},
         kExitTimeOut,
         "awaited the configuration transfer's answers, 2 byte(s) came"},
        {{"status"}, [] { QuillonSim_ImitateNoUsb(1); }, kExitDriver, "cannot count USB devices"},
        {{"--driver", "/nonexistent/libnothing.so", "status"},
         {},
         kExitDriver,
         "no driver library"},
        // Refused before any device is looked for.
        {{"apply", CfgFile("bad.cfg", outOfRange)},
         [] { QuillonSim_SetDevices(nullptr, 0); },
         kExitFileRefused,
         "Cannot load the configuration from"},
        {{"apply", testing::TempDir()}, {}, kExitFileRefused, "It is not a regular file."},
        {{"status"}, [] { QuillonSim_SetWriteStatus(0, 4); }, kExitTimeOut, "(no reply)"},
        // Garbage for an answer, then a cable pulled at the third frame of a configuration.
        {{"--driver", kShim, "--timeout", "500", "shutter", "open"},
         AtWriteNumber(2, [] { QuillonSim_CorruptAnswerBytes(0, 1); }),
         kExitFailed,
         "device number 0 answered the shutter frame AA with 55 0D, which is not its answer"},
        {{"--driver", kShim, "--timeout", "500", "mode", "nd", "9"},
         AtWriteNumber(2,
                       [] { QuillonSim_Inject(0, reinterpret_cast<const uint8_t*>("\x41"), 1); }),
         kExitFailed,
         "answered the mode frame DE 09 with 41 DE 09"},
        {{"--driver", kShim, "--timeout", "500", "apply", CfgFile("pulled.cfg", GoodConfig())},
         AtWriteNumber(4, [] { QuillonSim_Unplug(0); }),
         kExitNoDevice,
         "the link to device number 0 was lost: the configuration transfer stopped at frame FA "
         "A1, which did not go out whole"},
    };
    for (const Failing& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        const ToolRun run = Quillonctl(row.args, row.fault);
        EXPECT_EQ(run.status, row.status);
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    }
    const ToolRun json = Quillonctl({"--json", "fly"});
    EXPECT_EQ(json.out,
              "{\"schema\":1,\"type\":\"error\",\"class\":\"usage\",\"message\":"
              "\"Unknown command 'fly'; quillonctl --help lists them.\"}\n");
}

}  // namespace

// quillonctl against the simulated controller, in-process: each row runs one command line and
// checks its exit status, its output and the frames it wrote after the handshake. What the
// operations do on the link is the core tests' concern; here, how the tool maps words to them.

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "QuillonSim.h"
#include "QuillonSimD2xx.h"
#include "config/ConfigFile.h"
#include "framework/Profile.h"
#include "tool/Tool.h"
#include "unit/Rows.h"

namespace {

using Strings = std::vector<std::string>;
using Fault = std::function<void()>;

const std::string kSim = QUILLON_BUILD_DIR "/libquillon-sim.so";
// The fault tests' driver: the same simulator, with a hook before every driver call.
const std::string kShim = QUILLON_BUILD_DIR "/libquillon-shim.so";

// Through the shim: the action runs just before the tool's nth write (the handshake's is the
// first).
Fault AtWrite(int nth, void (*action)())
{
    return [nth, action] {
        static int count, at;
        static void (*run)();
        count = 0, at = nth, run = action;
        static void* const shim = dlopen(kShim.c_str(), RTLD_NOW);
        ASSERT_NE(shim, nullptr) << dlerror();
        reinterpret_cast<void (*)(void (*)(const char*))>(dlsym(shim, "QuillonShim_SetHook"))(
            [](const char* entry) {
                if (std::string(entry) == "FT_Write" && ++count == at)
                    run();
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

// Close, Fast, Enable on High, Low for Open, 2 s closed, 0.25 s exposure, 3 repeats.
ConfigFile GoodConfig(int mode = 0, const char* repeat = "3")
{
    return {1, mode, 0, 0, 1, -1, {"0", "0", "2", "0", "0"}, {"0", "0", "0", "250", "0"}, -1, repeat};
}

// The panel's profile, in a folder of the test's own.
std::string ProfilePath()
{
    const std::string folder = testing::TempDir() + "quillonctl-config";
    mkdir(folder.c_str(), 0700);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    return Profile::DefaultPath(ProfileFileName(false));
}

Fault ProfileNames(int openBy, const std::string& entry)
{
    return [=] {
        Profile profile(ProfilePath());
        profile.WriteProfileInt("MyTiveloAp", "SerDesc", openBy);
        profile.WriteProfileString("MyTiveloAp", openBy == 0 ? "DescString" : "SerialString", entry);
    };
}

struct ToolRun {
    int status;
    std::string out, err;
    Strings writes;  // after the handshake's EE
    std::string log;
};

ToolRun Quillonctl(Strings args, const Fault& fault = {}, Strings lines = {},
                   std::ostream* errStream = nullptr)
{
    const LineReader input = [&lines](std::string& line, unsigned) {
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
    ToolRun run{status, out.str(), err.str(), {}, std::string(QuillonSim_CallLog(nullptr, 0) + 1, 0)};
    QuillonSim_CallLog(run.log.data(), run.log.size());
    run.log.pop_back();
    for (std::size_t at = run.log.find("FT_Write("); at != std::string::npos;
         at = run.log.find("FT_Write(", at + 1))
        run.writes.push_back(run.log.substr(at + 9, run.log.find(')', at) - at - 9));
    if (!run.writes.empty() && run.writes.front() == "EE")
        run.writes.erase(run.writes.begin());
    return run;
}

constexpr const char* kFactoryStatus =
    "shutter: closed\nmode: fast\nnd-steps: 0\ntrigger: enable-high\nsync: low\n"
    "closed-time: 0:00:00.0000\nexposure-time: 0:00:00.0000\ncycle-time: 0:00:00.0240\n"
    "run: none\nrepeat: 0\n";

// A row's fields: words between single blanks ("~" a blank inside one), or items between ", ".
Strings Split(const std::string& text, const std::string& by, char blank = ' ')
{
    Strings parts;
    for (std::size_t from = 0, at = 0; at != std::string::npos && !text.empty(); from = at + by.size()) {
        at = text.find(by, from);
        parts.push_back(text.substr(from, at - from));
        std::replace(parts.back().begin(), parts.back().end(), '~', blank);
    }
    return parts;
}

// A row's arguments, with the .cfg files and the fault tests' driver it names made real.
Strings Args(const std::string& text)
{
    static const std::map<std::string, std::string> files = {
        {"good.cfg", CfgFile("good.cfg", GoodConfig())}, {"nomode.cfg", CfgFile("nomode.cfg", GoodConfig(-1))},
        {"negative.cfg", CfgFile("negative.cfg", GoodConfig(0, "-12"))}, {"shim", kShim}};
    Strings args = Split(text, " ");
    for (std::string& arg : args)
        if (arg.starts_with('{') && arg.ends_with('}'))
            arg = files.at(arg.substr(1, arg.size() - 2));
    return args;
}

// Two cycles of 100 ms closed and 50 ms open, from closed.
void TwoShortCycles()
{
    QuillonSimState state{};
    QuillonSim_GetState(0, &state);
    state.repeatCount = 2, state.closedTime[3] = 100, state.exposureTime[3] = 50;
    QuillonSim_SetState(0, &state);
}

TEST(Quillonctl, RunAndWatchTellEachEventAsItHappens)
{
    const std::string cycle = "shutter state=opened\nshutter state=closed\ncycle left=";
    ToolRun run = Quillonctl({"run", "go", "--wait"}, TwoShortCycles);
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "command: run\n" + cycle + "1\n" + cycle + "0\nrun-end\n");
    // A repeat count of 0 runs nothing: the ready byte that says so is the run's end.
    run = Quillonctl({"--timeout", "300", "run", "go", "--wait"});
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
    const std::string event = "{\"schema\":1,\"type\":\"event\",\"event\":";
    const std::string shutter = event + "\"shutter\",\"state\":";
    const std::string twice = shutter + "\"opened\"}\n" + shutter + "\"closed\"}\n";
    EXPECT_EQ(run.out, twice + twice + event + "\"ready\"}\n");
}

// Each command's answer is awaited, so none is taken for an event or for the next reply.
TEST(Quillonctl, ShellAnswersEachLineWithOneLineOnTheLinkKeptOpen)
{
    ToolRun run = Quillonctl({"shell"}, {}, {"shutter open", "status", "", "bogus", "info", "info", "mode nd 7", "quit", "stop"});
    EXPECT_EQ(run.writes, (Strings{"AA", "CC", "FD", "FD", "DE 07"}));
    EXPECT_EQ(run.out,
              "sent command=shutter\n"
              "status shutter=open mode=fast nd-steps=0 trigger=enable-high sync=low "
              "closed-time=0:00:00.0000 exposure-time=0:00:00.0000 cycle-time=0:00:00.0240 "
              "run=none repeat=0\n"
              "error class=usage message=Unknown command 'bogus'; quillonctl --help lists them.\n"
              "info serial=QSC10001 firmware=V1.0\ninfo serial=QSC10001 firmware=V1.0\n"
              "sent command=mode\n");
    run = Quillonctl({"--json", "shell"}, {}, {"shutter ajar"});
    EXPECT_EQ(run.out,
              "{\"schema\":1,\"type\":\"error\",\"class\":\"usage\",\"message\":"
              "\"shutter takes open|close, not 'ajar'.\"}\n");
    // A lost link ends the shell: no later line goes to whatever is attached next.
    run = Quillonctl({"--driver", kShim, "shell"}, AtWrite(4, [] { QuillonSim_Unplug(0); }),
                     {"apply " + CfgFile("good.cfg", GoodConfig()), "stop"});
    EXPECT_EQ(std::pair(run.status, run.writes.back()), std::pair(3, std::string("FA A1")));
    // A run's report and the ready byte that ends it, come before an answer, are the run's.
    run = Quillonctl(
        {"--driver", kShim, "shell"},
        AtWrite(5, [] { QuillonSim_Inject(0, reinterpret_cast<const uint8_t*>("\xAC\x0D"), 2); }),
        {"repeat 5", "run go", "repeat 23"});
    EXPECT_EQ(run.out, "sent command=repeat\nsent command=run\nsent command=repeat\n") << run.err;
}

TEST(Quillonctl, ALongWaitShowsProgressOnlyOnATerminal)
{
    for (const bool terminal : {true, false}) {
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
        close(saved), close(writer);
        std::string shown;
        char buffer[4096];
        for (ssize_t got; (got = read(reader, buffer, sizeof buffer)) > 0;) shown.append(buffer, std::size_t(got));
        close(reader);
        EXPECT_EQ(run.out, kFactoryStatus);
        EXPECT_EQ(shown.starts_with("\rreset: awaiting the controller's ready byte, "), terminal) << shown;
        EXPECT_EQ(shown.ends_with("\r\x1b[K"), terminal);
    }
}

// Each row of the table runs one command line: its exit status, the frames it wrote and what it
// said, on standard output when it succeeds, on standard error when it fails.
TEST(Quillonctl, EachCommandLineEndsWritesAndSaysAsItShould)
{
    static const QuillonSimDevice two[] = {{"Quillon SC", "QSC10001"}, {"Quillon SC", "QSC10002"}};
    static const QuillonSimDevice shortSerial{"Quillon SC", "Q1"};
    const std::map<std::string, Fault> faults = {
        {"-", {}},
        {"no-device", [] { QuillonSim_SetDevices(nullptr, 0); }},
        {"two-devices", [] { QuillonSim_SetDevices(two, 2); }},
        {"profile-names-Nope", ProfileNames(0, "Nope")},
        {"silent", [] { QuillonSim_SetSilent(0, 1); }},
        {"handshake-41", [] { QuillonSim_SetHandshakeReply(0, 0x41); }},
        {"short-serial", [] { QuillonSim_SetDevices(&shortSerial, 1); }},
        {"times", [] {
             QuillonSimState s{};
             QuillonSim_GetState(0, &s);
             std::copy_n(std::begin({1, 2, 3, 456, 7}), 5, s.closedTime);
             s.exposureTime[4] = 5;
             QuillonSim_SetState(0, &s);
         }},
        {"no-usb", [] { QuillonSim_ImitateNoUsb(1); }},
        {"streaming", [] {  // a run of 100 of the shortest cycles (2.4 s), in real time
             QuillonSimState s{};
             QuillonSim_GetState(0, &s);
             s.freeRunOption = 2, s.repeatCount = 100;
             QuillonSim_SetState(0, &s);
             QuillonSim_UseRealTime(1);
             QuillonSim_TriggerPulse(0);
         }},
        {"garbled-first-answer", AtWrite(2, [] { QuillonSim_CorruptAnswerBytes(0, 1); })},
        {"41-before-first-answer",
         AtWrite(2, [] { QuillonSim_Inject(0, reinterpret_cast<const uint8_t*>("\x41"), 1); })},
        {"unplugged-at-third-frame", AtWrite(4, [] { QuillonSim_Unplug(0); })}};
    for (const Row& row : Rows("quillonctl-commands.txt")) {
        SCOPED_TRACE(row[0] + " with " + row[1]);
        const ToolRun run = Quillonctl(Args(row[0]), faults.at(row[1]));
        EXPECT_EQ(run.status, std::stoi(row[2])) << run.err;
        EXPECT_EQ(run.writes, row[3] == "*" ? run.writes : Split(row[3], ", "));
        if (row[2] == "0") {
            EXPECT_TRUE(row[4] == "-" || run.out == row[4]) << run.out;
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_NE((run.err + run.out).find(row[4]), std::string::npos) << run.err << run.out;
        }
    }
    EXPECT_NE(Quillonctl({"--by", "number", "--device", "0", "stop"}).log.find("FT_Open(0)"), std::string::npos);
}

}  // namespace

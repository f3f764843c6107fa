#include "tool/Tool.h"

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>

#include "config/ConfigFile.h"
#include "protocol/DecoderState.h"
#include "protocol/Operations.h"
#include "timing/IntegerReading.h"
#include "tool/ToolHost.h"
#include "tool/ToolOutput.h"
#include "usb/ControllerLink.h"
#include "usb/DeviceConnection.h"
#include "usb/DriverLocation.h"

#ifndef QUILLON_VERSION
#define QUILLON_VERSION "1.12"
#endif

void ToolHost::Write(const Frame& frame)
{
    m_lastFrame = frame;
    m_sent = WriteFrame(m_link, frame);
}

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

// The handshake's own time-out: the longest any answer of the controller may take.
constexpr int kDefaultTimeoutMs = 3000;
// How long one blocking read waits for the next byte; the time-out is counted in these.
constexpr unsigned kReadSliceMs = 50;
constexpr std::size_t kMaxConfigBytes = 16 * 1024 * 1024;

struct ToolOptions {
    std::string driver;
    bool simulate = false;
    int openBy = -1;
    std::string device;
    bool deviceSet = false;
    bool json = false;
    int timeoutMs = kDefaultTimeoutMs;
    bool help = false;
    bool version = false;
    bool wait = false;               // run go: until the run ends
    bool untilRunEnd = false;        // watch: until a run ends
    std::vector<std::string> words;  // the command and its arguments
};

struct Failure {
    int status;
    const char* errorClass;
    std::string message;
};

const char* ClassOf(int status)
{
    switch (status) {
        case kExitUsage:
            return "usage";
        case kExitNoDevice:
            return "no-device";
        case kExitTimeOut:
            return "time-out";
        case kExitDriver:
            return "driver";
        case kExitFileRefused:
            return "file-refused";
        default:
            return "failed";
    }
}

// Bad usage, or nothing.
std::optional<std::string> ParseOptions(const std::vector<std::string>& args, ToolOptions& opts)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            opts.words.push_back(arg);
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        const std::string name = arg.substr(2);
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        const auto flag = [&](bool& target) -> std::optional<std::string> {
            if (inlineValue)
                return "Option '" + name + "' takes no value.";
            target = true;
            return std::nullopt;
        };
        std::optional<std::string> problem;
        if (name == "help" || name == "version" || name == "simulate" || name == "json" ||
            name == "wait") {
            problem = flag(name == "help"      ? opts.help
                           : name == "version" ? opts.version
                           : name == "json"    ? opts.json
                           : name == "wait"    ? opts.wait
                                               : opts.simulate);
        } else if (name == "driver" || name == "by" || name == "device" || name == "timeout" ||
                   name == "until") {
            const std::optional<std::string> v = value();
            if (!v)
                return "Missing value after '--" + name + "'.";
            if (name == "driver") {
                opts.driver = *v;
            } else if (name == "until") {
                if (*v != "run-end")
                    return "--until takes run-end, not '" + *v + "'.";
                opts.untilRunEnd = true;
            } else if (name == "device") {
                opts.device = *v;
                opts.deviceSet = true;
            } else if (name == "by") {
                const char* methods[] = {"description", "serial", "number"};
                opts.openBy = -1;
                for (int m = 0; m < 3; ++m)
                    if (*v == methods[m])
                        opts.openBy = m;
                if (opts.openBy < 0)
                    return "--by takes description, serial or number, not '" + *v + "'.";
            } else {
                const bool digits = !v->empty() && v->size() <= 7 &&
                                    v->find_first_not_of("0123456789") == std::string::npos;
                if (!digits || std::stoi(*v) == 0)
                    return "--timeout takes a number of milliseconds from 1 to 9999999, not '" +
                           *v + "'.";
                opts.timeoutMs = std::stoi(*v);
            }
        } else {
            return "Unknown option '" + name + "'.";
        }
        if (problem)
            return problem;
    }
    return std::nullopt;
}

// The link to one controller, opened as the panel opens it, and the decoder on it.
class Session {
public:
    Session(ToolOptions& opts, ToolOutput& out, const ToolPlaces& places)
        : m_opts(opts), m_out(out), m_places(places)
    {
    }
    ~Session()
    {
        if (m_link.Handle())
            m_link.Close();
    }

    std::optional<Failure> LoadDriver();
    std::optional<Failure> Open();
    // Reads and decodes until done() holds; fails when the controller stays silent for the
    // time-out or the link is lost.
    std::optional<Failure> Await(const std::function<bool()>& done, const std::string& what);
    // The same without a time-out (silence is no fault), until done() or Ctrl+C.
    std::optional<Failure> Watch(const std::function<bool()>& done);
    // Decodes, telling each event as it happens while m_events is set.
    void Decode(const uint8_t* bytes, std::size_t count);

    bool m_events = false;
    // Answer bytes still owed to the last command: decoded, but no events.
    int m_answerOwed = 0;
    bool m_runEnded = false;

    UsbLink m_link;
    ToolHost m_host{m_link};
    ReplyDecoder m_decoder{m_host};
    std::string m_name;  // the device, for messages
    ToolOptions& m_opts;
    ToolOutput& m_out;

private:
    const ToolPlaces& m_places;
    std::vector<std::string> m_reports;
};

std::optional<Failure> Session::LoadDriver()
{
    m_link.SetReporter([this](const std::string& message) { m_reports.push_back(message); });
    const std::vector<std::string> candidates = DriverCandidates(
        m_opts.driver, m_opts.simulate, m_places.executableDir, m_places.installLibDirs);
    if (!m_link.LoadD2xx(candidates)) {
        std::string message = "no driver library could be loaded";
        for (const std::string& report : m_reports) message += "; " + report;
        return Failure{kExitDriver, ClassOf(kExitDriver), message};
    }
    if (const UsbReach reach = CheckUsbReach(m_link); !reach.Reachable())
        return Failure{kExitDriver, ClassOf(kExitDriver),
                       "the driver library " + m_link.LibraryPath() +
                           " cannot count USB devices (FT_ListDevices status " +
                           std::to_string(reach.status) +
                           "), so no device was opened; quillon-utility --diagnose tells why"};
    return std::nullopt;
}

std::optional<Failure> Session::Open()
{
    if (auto failure = LoadDriver())
        return failure;
    int openBy = m_opts.openBy;
    std::string entry = m_opts.device;
    if (openBy < 0 && !m_opts.deviceSet) {
        // Nothing chosen: the one controller attached.
        const SearchResult found = SearchDevices(m_link, 0);
        if (found.countFailed)
            return Failure{kExitDriver, ClassOf(kExitDriver),
                           "the driver library cannot list devices"};
        const std::size_t count = found.lines.size() - 1;
        if (count != 1) {
            std::string message = count == 0 ? "no controller is attached"
                                             : "several controllers are attached; choose one "
                                               "with --by and --device:";
            // Descriptions alone may not tell them apart.
            const SearchResult serials = SearchDevices(m_link, 1);
            for (std::size_t i = 1; i < found.lines.size(); ++i)
                message += "\n  " + found.lines[i] +
                           (i < serials.lines.size() ? " (" + serials.lines[i] + ")" : "");
            return Failure{kExitNoDevice, ClassOf(kExitNoDevice), message};
        }
        openBy = 2;
        entry = "0";
    } else if (openBy < 0) {
        openBy = 0;
    }
    const OpenTarget target = ResolveOpenTarget(openBy, entry);
    if (target.kind == OpenTarget::Kind::PromptInEntry)
        return Failure{kExitUsage, ClassOf(kExitUsage), kMsgEnterDevice};
    if (target.kind == OpenTarget::Kind::BadDeviceNumber)
        return Failure{kExitUsage, ClassOf(kExitUsage), kMsgBadDeviceNumber};
    m_name = target.kind == OpenTarget::Kind::DeviceNumber
                 ? "device number " + std::to_string(target.deviceNumber)
                 : "\"" + entry + "\"";
    if (const FT_STATUS status = OpenTargetDevice(m_link, target, entry); status != FT_OK)
        return Failure{kExitNoDevice, ClassOf(kExitNoDevice),
                       "cannot open " + m_name + ": no such device, or it is in use (status " +
                           std::to_string(status) + ")"};
    const HandshakeResult handshake = ConfigureAndHandshake(m_link);
    if (!handshake.answered)
        return Failure{kExitTimeOut, ClassOf(kExitTimeOut),
                       m_name + " did not answer the handshake" + HandshakeSuffix(handshake)};
    // The open purged whatever came before: nothing from earlier is awaited.
    ResetDecoderState();
    ResetTimeRecords();
    m_host.Panel().m_strUsbStatus = kUsbReady;
    m_link.SetTimeouts(100, 100);
    return std::nullopt;
}

void Session::Decode(const uint8_t* bytes, std::size_t count)
{
    if (!m_events) {
        m_answerOwed = std::max(m_answerOwed - static_cast<int>(count), 0);
        m_decoder.Decode(bytes, count);
        return;
    }
    PanelState& p = m_host.Panel();
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        const int running = g_nFreeRunKind;
        const bool awaiting = g_nInfoIndex >= 0 || g_nStatusIndex >= 0 || g_nTransferReceived >= 0;
        const int owed = g_nStatusAfterReset;
        const std::string left = p.m_strLeftCycles;
        m_decoder.Decode(&b, 1);
        if (m_answerOwed > 0) {
            --m_answerOwed;
            continue;
        }
        const bool shutterByte = b == cmd::kShutterOpen || b == cmd::kShutterClose;
        if (running > 0) {
            if (shutterByte)
                m_out.Result(
                    "event",
                    {{"event", std::string("shutter")},
                     {"state", std::string(b == cmd::kShutterOpen ? "opened" : "closed")}});
            if (shutterByte && p.m_nShutterState == g_nFreeRunStartState) {
                const bool continuous = p.m_strRepeatNumber == "Continuous";
                m_out.Result("event", {{"event", std::string("cycle")},
                                       {"left", continuous ? FieldValue{std::string("continuous")}
                                                           : FieldValue{ReadInteger(left) - 1LL}}});
            }
            if (g_nFreeRunKind == 0) {
                m_runEnded = true;
                m_out.Result("event", {{"event", std::string("run-end")}});
            }
        } else if (owed > 0 && g_nStatusAfterReset == 0) {
            m_out.Result("event", {{"event", std::string("ready")}});
        } else if (!awaiting && shutterByte) {
            m_out.Result("event",
                         {{"event", std::string("shutter")},
                          {"state", std::string(b == cmd::kShutterOpen ? "opened" : "closed")}});
        } else if (!awaiting && b == cmd::kReady) {
            // Not awaited here: a run, reset or restore started elsewhere has ended.
            m_runEnded = true;
            m_out.Result("event", {{"event", std::string("ready")}});
        } else if (!awaiting) {
            m_out.Result("event",
                         {{"event", std::string("byte")}, {"value", static_cast<long long>(b)}});
        }
    }
}

std::optional<Failure> Session::Watch(const std::function<bool()>& done)
{
    const int timeout = m_opts.timeoutMs;
    m_opts.timeoutMs = 0;
    auto failure = Await([&] { return g_interrupted || done(); }, "events");
    m_opts.timeoutMs = timeout;
    return failure;
}

std::optional<Failure> Session::Await(const std::function<bool()>& done, const std::string& what)
{
    const int before = m_host.Panel().m_nReceivedBytes;
    unsigned silentMs = 0;
    m_link.SetTimeouts(kReadSliceMs, kReadSliceMs);
    const auto decode = [this](const uint8_t* bytes, std::size_t count) { Decode(bytes, count); };
    while (!done()) {
        const LinkPoll poll = PollLink(m_link, decode);
        if (poll.decoded) {
            silentMs = 0;
            continue;
        }
        // A read that brings nothing from a queue said to hold bytes: the device is failing.
        FT_STATUS status = poll.kind == LinkPoll::Read ? FT_IO_ERROR : FT_OK;
        if (poll.kind == LinkPoll::Idle) {
            // Nothing queued: wait for the next byte, for one slice.
            unsigned char byte = 0;
            DWORD got = 0;
            status = m_link.Read(&byte, 1, &got);
            if (got == 1 && (status == FT_OK || status == FT_IO_ERROR)) {
                Decode(&byte, 1);
                silentMs = 0;
                continue;
            }
            silentMs += kReadSliceMs;
        }
        if (poll.kind == LinkPoll::Lost || status != FT_OK)
            return Failure{kExitNoDevice, ClassOf(kExitNoDevice),
                           "the link to " + m_name + " was lost while awaiting " + what};
        if (m_opts.timeoutMs > 0 && silentMs >= static_cast<unsigned>(m_opts.timeoutMs))
            return Failure{kExitTimeOut, ClassOf(kExitTimeOut),
                           "no answer from " + m_name + " within " +
                               std::to_string(m_opts.timeoutMs) + " ms: awaited " + what + ", " +
                               std::to_string(m_host.Panel().m_nReceivedBytes - before) +
                               " byte(s) came"};
    }
    m_link.SetTimeouts(100, 100);
    return std::nullopt;
}

// --- Commands ---

using Args = std::vector<std::string>;
using Outcome = std::optional<Failure>;

Failure Usage(const std::string& message)
{
    return {kExitUsage, ClassOf(kExitUsage), message};
}

Outcome Report(Session& s, const std::string& command, const OpResult& result)
{
    switch (result.kind) {
        case OpResult::Sent:
            // The controller's answer belongs to the command: the next command's reply must
            // not be read from it.
            s.m_answerOwed = ImmediateAnswerLength(s.m_host.m_lastFrame);
            if (auto failure =
                    s.Await([&s] { return s.m_answerOwed == 0; }, "the answer to " + command))
                return failure;
            s.m_out.Result("sent", {{"command", command}});
            return std::nullopt;
        case OpResult::Refused:
            return Usage(result.refusal);
        case OpResult::Unsent:
            return Failure{kExitFailed, ClassOf(kExitFailed),
                           "the " + command + " frame did not go out whole to " + s.m_name};
        case OpResult::NotReady:
            break;
    }
    return Failure{kExitFailed, ClassOf(kExitFailed), s.m_name + " is not ready for commands"};
}

long long Number(const std::string& text)
{
    return ReadInteger(text);
}

Millis RecordMillis(const TimeRecord& r)
{
    return {Number(r.hours) * 3600000.0 + Number(r.minutes) * 60000.0 + Number(r.seconds) * 1000.0 +
            Number(r.milliseconds) + Number(r.tenthMs) / 10.0};
}

const char* Word(int value, std::initializer_list<const char*> words)
{
    // words[0] is for -1 (none).
    const int index = value + 1;
    return index >= 0 && index < static_cast<int>(words.size()) ? std::data(words)[index]
                                                                : "unknown";
}

void PrintStatus(Session& s)
{
    const PanelState& p = s.m_host.Panel();
    const int repeat = ReadInteger(p.m_strRepeatNumber);
    s.m_out.Result("status",
                   {{"shutter", Word(p.m_nShutterState, {"none", "open", "closed"})},
                    {"mode", Word(p.m_nShutterMode, {"none", "fast", "soft", "nd"})},
                    {"nd-steps", static_cast<long long>(p.m_nNdSteps)},
                    {"trigger", Word(p.m_nTriggerMode,
                                     {"off", "enable-high", "enable-low", "rising", "falling"})},
                    {"sync", Word(p.m_nSyncPolarity, {"off", "high", "low"})},
                    {"closed-time", RecordMillis(g_closedTime)},
                    {"exposure-time", RecordMillis(g_exposureTime)},
                    {"cycle-time", RecordMillis(g_cycleTime)},
                    {"run", Word(p.m_nFreeRunOption, {"none", "power-up", "trigger", "go"})},
                    {"repeat", repeat == 0xFFFF ? FieldValue{std::string("continuous")}
                                                : FieldValue{static_cast<long long>(repeat)}}});
}

Outcome AwaitStatus(Session& s)
{
    return s.Await([] { return g_nStatusIndex == -1; }, "the status reply");
}

Outcome Status(Session& s, const Args&)
{
    const OpResult result = RequestStatus(s.m_host);
    if (!result.Ok())
        return Report(s, "status", result);
    if (auto failure = AwaitStatus(s))
        return failure;
    PrintStatus(s);
    return std::nullopt;
}

Outcome Info(Session& s, const Args&)
{
    // The echo starts the identity reply; it is no event.
    s.m_answerOwed = 1;
    const OpResult result = SendPlain(s.m_host, SingleByteFrame(cmd::kControllerInfo));
    if (!result.Ok()) {
        s.m_answerOwed = 0;
        return Report(s, "info", result);
    }
    if (auto failure =
            s.Await([&] { return s.m_host.m_identity.size() >= 2; }, "the identity reply"))
        return failure;
    s.m_out.Result("info", {{"serial", Latin1ToUtf8(s.m_host.m_identity[0])},
                            {"firmware", Latin1ToUtf8(s.m_host.m_identity[1])}});
    return std::nullopt;
}

// Reset and Restore Default: done when the status owed after the controller's ready byte is in.
Outcome AfterReset(Session& s, const std::string& command, const OpResult& result)
{
    if (!result.Ok())
        return Report(s, command, result);
    if (auto failure = s.Await([] { return g_nStatusAfterReset == 0 && g_nStatusIndex == -1; },
                               "the controller's ready byte and status after " + command))
        return failure;
    PrintStatus(s);
    return std::nullopt;
}

// One of the words, as its index; fails with the choices.
std::optional<int> Choice(const std::string& word, std::initializer_list<const char*> words)
{
    int index = 0;
    for (const char* w : words) {
        if (word == w)
            return index;
        ++index;
    }
    return std::nullopt;
}

// "[[H:]MM:]SS[.ffff]": the milliseconds and their tenth as four decimals.
std::optional<TimeRecord> ParseTime(const std::string& text)
{
    std::string whole = text;
    std::string fraction;
    if (const std::size_t dot = text.find('.'); dot != std::string::npos) {
        whole = text.substr(0, dot);
        fraction = text.substr(dot + 1);
        if (fraction.empty() || fraction.size() > 4)
            return std::nullopt;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t colon; (colon = whole.find(':', start)) != std::string::npos;
         start = colon + 1)
        parts.push_back(whole.substr(start, colon - start));
    parts.push_back(whole.substr(start));
    if (parts.size() > 3)
        return std::nullopt;
    fraction.resize(4, '0');
    for (const std::string& part : parts)
        if (part.empty() || part.size() > 6 ||
            part.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
    if (fraction.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    while (parts.size() < 3) parts.insert(parts.begin(), "0");
    const auto decimal = [](const std::string& digits) {
        return std::to_string(std::stoi(digits));
    };
    return TimeRecord{decimal(parts[0]), decimal(parts[1]), decimal(parts[2]),
                      decimal(fraction.substr(0, 3)), decimal(fraction.substr(3))};
}

Outcome Timer(Session& s, const Args& args)
{
    const std::optional<int> which = Choice(args[0], {"closed", "exposure"});
    if (!which)
        return Usage("timer takes closed or exposure, not '" + args[0] + "'.");
    const std::optional<TimeRecord> time = ParseTime(args[1]);
    if (!time)
        return Usage("'" + args[1] + "' is no time: write H:MM:SS.ffff, e.g. 0:00:01.5003.");
    if (const auto refusal = CheckTimeRecord(*time))
        return Usage(std::string(refusal->reason));
    PanelState& p = s.m_host.Panel();
    p.m_nTimerSelect = *which;
    p.m_strHours = time->hours;
    p.m_strMinutes = time->minutes;
    p.m_strSeconds = time->seconds;
    p.m_strMs = time->milliseconds;
    p.m_strTenthMs = time->tenthMs;
    return Report(s, "timer", UploadTimer(s.m_host));
}

Outcome Repeat(Session& s, const Args& args)
{
    std::string text = args[0];
    if (text == "continuous")
        text = "65535";
    else if (text.empty() || text.size() > 5 ||
             text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) > 65000)
        return Usage("repeat takes a count from 0 to 65000 or continuous, not '" + args[0] + "'.");
    s.m_host.Panel().m_strRepeatNumber = text;
    return Report(s, "repeat", SendRepeat(s.m_host));
}

Outcome Run(Session& s, const Args& args)
{
    const std::optional<int> option = Choice(args[0], {"power-up", "trigger", "go"});
    if (!option)
        return Usage("run takes go, trigger or power-up, not '" + args[0] + "'.");
    // A counted run counts down from the controller's repeat count, from its shutter state.
    if (const OpResult status = RequestStatus(s.m_host); !status.Ok())
        return Report(s, "status", status);
    if (auto failure = AwaitStatus(s))
        return failure;
    s.m_events = s.m_opts.wait;
    const OpResult result = StartFreeRun(s.m_host, *option);
    if (!s.m_opts.wait || !result.Ok())
        return Report(s, "run", result);
    if (*option != 2)
        return Usage("--wait waits for a run started by run go.");
    s.m_out.Result("sent", {{"command", std::string("run")}});
    // Silence is normal for as long as a cycle lasts.
    ToolOptions& opts = s.m_opts;
    opts.timeoutMs += static_cast<int>(RecordMillis(g_cycleTime).ms);
    if (auto failure = s.Await([] { return g_nFreeRunKind == 0; }, "the end of the run"))
        return failure;
    // The run is counted out at its last report; the controller's ready byte follows it.
    s.m_answerOwed = 1;
    return s.Await([&s] { return s.m_answerOwed == 0; }, "the ready byte after the run");
}

Outcome Apply(Session& s, const Args& args)
{
    const std::string& path = args[0];
    const auto refused = [&](const std::string& why) {
        return Failure{kExitFileRefused, ClassOf(kExitFileRefused),
                       "Cannot load the configuration from " + path + ".\n" + why};
    };
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return refused("It is not a regular file.");
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return refused("The file cannot be read.");
    std::vector<std::uint8_t> bytes;
    char chunk[4096];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        bytes.insert(bytes.end(), chunk, chunk + file.gcount());
        if (bytes.size() > kMaxConfigBytes)
            return refused("The file is too large to be a configuration.");
    }
    const ConfigLoad load = ReadConfigFile(bytes);
    if (load.endedEarly)
        return refused("The file ends before the configuration is complete.");
    if (!load.config)
        return refused(load.refusal);
    ApplyConfigFile(*load.config, s.m_host.Panel(), g_closedTime, g_exposureTime);
    const OpResult result = StartTransfer(s.m_host);
    if (!result.Ok())
        return Report(s, "apply", result);
    if (auto failure = s.Await([] { return g_nTransferReceived == -1; },
                               "the configuration transfer's answers"))
        return failure;
    s.m_out.Result("applied", {{"file", path}});
    return std::nullopt;
}

struct Command {
    const char* name;
    const char* synopsis;
    std::size_t arguments;
    std::function<Outcome(Session&, const Args&)> run;
};

// A command whose one argument picks a fixed operation.
template <typename Op>
std::function<Outcome(Session&, const Args&)> Pick(const char* name,
                                                   std::initializer_list<const char*> words, Op op)
{
    std::vector<std::string> choices(words.begin(), words.end());
    return [name, choices, op](Session& s, const Args& args) -> Outcome {
        for (std::size_t i = 0; i < choices.size(); ++i)
            if (args[0] == choices[i])
                return Report(s, name, op(s.m_host, static_cast<int>(i)));
        std::string list;
        for (const std::string& c : choices) list += (list.empty() ? "" : "|") + c;
        return Usage(std::string(name) + " takes " + list + ", not '" + args[0] + "'.");
    };
}

std::function<Outcome(Session&, const Args&)> Plain(const char* name, Frame frame)
{
    return [name, frame](Session& s, const Args&) {
        return Report(s, name, SendPlain(s.m_host, frame));
    };
}

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"status", "status", 0, Status},
        {"info", "info", 0, Info},
        {"shutter", "shutter open|close", 1,
         Pick("shutter", {"open", "close"},
              [](DecoderHost& h, int i) { return SetShutterState(h, i); })},
        {"mode", "mode fast|soft|nd STEPS", 1,
         [](Session& s, const Args& args) -> Outcome {
             if (args[0] != "nd")
                 return Pick("mode", {"fast", "soft"},
                             [](DecoderHost& h, int i) { return SetPlainMode(h, i); })(s, args);
             if (args.size() != 2)
                 return Usage("mode nd takes the number of steps.");
             if (const char* reason = NdStepsRefusal(args[1]))
                 return Usage(reason);
             if (args[1].find_first_not_of("0123456789") != std::string::npos)
                 return Usage("'" + args[1] + "' is no step count.");
             return Report(s, "mode", SetNdMode(s.m_host, ReadInteger(args[1])));
         }},
        {"trigger", "trigger off|enable-high|enable-low|rising|falling", 1,
         Pick("trigger", {"off", "enable-high", "enable-low", "rising", "falling"},
              [](DecoderHost& h, int i) { return ChooseSignal(h, Signal::Trigger, i - 1); })},
        {"sync", "sync off|high|low", 1,
         Pick("sync", {"off", "high", "low"},
              [](DecoderHost& h, int i) { return ChooseSignal(h, Signal::Sync, i - 1); })},
        {"timer", "timer closed|exposure H:MM:SS.ffff", 2, Timer},
        {"repeat", "repeat N|continuous", 1, Repeat},
        {"run", "run go [--wait]|trigger|power-up", 1, Run},
        {"stop", "stop", 0, Plain("stop", SingleByteFrame(cmd::kStop))},
        {"online", "online", 0, Plain("online", SingleByteFrame(cmd::kOnline))},
        {"power", "power on|off", 1,
         Pick("power", {"on", "off"},
              [](DecoderHost& h, int i) {
                  return SendPlain(h, SingleByteFrame(i == 0 ? cmd::kPowerOn : cmd::kPowerOff));
              })},
        {"reset", "reset", 0,
         [](Session& s, const Args&) { return AfterReset(s, "reset", ResetController(s.m_host)); }},
        {"restore-defaults", "restore-defaults", 0,
         [](Session& s, const Args&) {
             return AfterReset(s, "restore-defaults", RestoreDefaults(s.m_host));
         }},
        {"save-to-controller", "save-to-controller", 0,
         Plain("save-to-controller", SettingsFrame(cmd::kSaveConfig))},
        {"apply", "apply FILE.cfg", 1, Apply},
        {"watch", "watch [--until run-end]", 0,
         [](Session& s, const Args&) -> Outcome {
             s.m_events = true;
             if (auto failure = s.Watch([&] { return s.m_opts.untilRunEnd && s.m_runEnded; }))
                 return failure;
             return std::nullopt;
         }},
    };
    return commands;
}

Outcome List(Session& s, const ToolOptions& opts)
{
    if (auto failure = s.LoadDriver())
        return failure;
    const SearchResult found = SearchDevices(s.m_link, opts.openBy < 0 ? 0 : opts.openBy);
    if (found.countFailed)
        return Failure{kExitDriver, ClassOf(kExitDriver), "the driver library cannot list devices"};
    if (!s.m_out.Json()) {
        for (const std::string& line : found.lines) s.m_out.Result(line, {});
        return std::nullopt;
    }
    for (std::size_t i = 1; i < found.lines.size(); ++i)
        s.m_out.Result("device",
                       {{"index", static_cast<long long>(i - 1)}, {"name", found.lines[i]}});
    return std::nullopt;
}

std::vector<std::string> SplitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : line + ' ') {
        if (c == ' ' || c == '\t' || c == '\r') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

// One command on a session, opened first unless it is open.
Outcome RunCommand(Session& session, const std::string& name, const Args& args, bool open)
{
    for (const Command& command : Commands()) {
        if (name != command.name)
            continue;
        const bool ndSteps = name == "mode" && args.size() == 2;
        if (args.size() != command.arguments && !ndSteps)
            return Usage(std::string("Usage: quillonctl ") + command.synopsis);
        if (open)
            if (auto failure = session.Open())
                return failure;
        return command.run(session, args);
    }
    return Usage("Unknown command '" + name + "'; quillonctl --help lists them.");
}

// Commands from the input, one a line, on the link kept open; between them the controller's
// events are told as they come. Ends at the input's end, "quit", Ctrl+C or a lost link.
int Shell(Session& session, ToolOptions& opts, const LineReader& input)
{
    if (auto failure = session.Open()) {
        session.m_out.Error(failure->errorClass, failure->message);
        return failure->status;
    }
    session.m_events = true;
    session.m_out.SetOneLine(true);
    const int timeout = opts.timeoutMs;
    const auto decode = [&session](const uint8_t* bytes, std::size_t count) {
        session.Decode(bytes, count);
    };
    for (std::string line;;) {
        const LineStatus status = input(line, kReadSliceMs);
        if (status == LineStatus::End || g_interrupted)
            return kExitOk;
        if (status == LineStatus::None) {
            if (PollLink(session.m_link, decode).kind == LinkPoll::Lost) {
                session.m_out.Error(ClassOf(kExitNoDevice),
                                    "the link to " + session.m_name + " was lost");
                return kExitNoDevice;
            }
            continue;
        }
        ToolOptions lineOpts;
        if (const auto problem = ParseOptions(SplitWords(line), lineOpts)) {
            session.m_out.Error(ClassOf(kExitUsage), *problem);
            continue;
        }
        if (lineOpts.words.empty())
            continue;
        if (lineOpts.words[0] == "quit")
            return kExitOk;
        opts.wait = lineOpts.wait;
        opts.timeoutMs = timeout;
        const Args args(lineOpts.words.begin() + 1, lineOpts.words.end());
        if (const Outcome outcome = RunCommand(session, lineOpts.words[0], args, false)) {
            session.m_out.Error(outcome->errorClass, outcome->message);
            if (outcome->status == kExitNoDevice)
                return kExitNoDevice;
        }
    }
}

}  // namespace

void InterruptQuillonctl()
{
    g_interrupted = 1;
}

std::string QuillonctlHelp()
{
    std::string help =
        "Usage: quillonctl [OPTIONS] COMMAND [ARGUMENTS]\n"
        "Drives a Quillon smart shutter controller from scripts.\n"
        "\n"
        "Options:\n"
        "  --driver NAME|PATH  Load this driver library instead of searching: tty, sim, d2xx,\n"
        "                      or the path of a library.\n"
        "  --simulate          Use the bundled simulated controller.\n"
        "  --by METHOD         Open the device by description, serial or number.\n"
        "  --device TEXT       The device's description, serial number or number (0-64).\n"
        "                      With neither, the one controller attached is opened.\n"
        "  --json              One JSON object per line for every result and error.\n"
        "  --timeout MS        How long the controller may stay silent (default 3000).\n"
        "  --wait              run go: print each cycle and wait for the run's end.\n"
        "  --until run-end     watch: stop when a run ends.\n"
        "  --help              Show this help and exit.\n"
        "  --version           Show the version and exit.\n"
        "\n"
        "Commands:\n"
        "  list\n"
        "  shell\n";
    for (const Command& command : Commands()) help += std::string("  ") + command.synopsis + "\n";
    help +=
        "\n"
        "Times are H:MM:SS.ffff: hours, minutes, seconds, then milliseconds and their tenth\n"
        "(0:00:01.5003 is 1500.3 ms). With --json, times are in milliseconds.\n"
        "\n"
        "Exit status:\n"
        "  0  success\n"
        "  1  the frame did not go out, or the controller is not ready\n"
        "  2  bad usage\n"
        "  3  no such device, the device is in use, or the link was lost\n"
        "  4  no answer within the time-out\n"
        "  5  the driver library is missing or unusable\n"
        "  6  the file was refused\n";
    return help;
}

int RunQuillonctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const ToolPlaces& places, const LineReader& input)
{
    g_interrupted = 0;
    ToolOptions opts;
    const std::optional<std::string> problem = ParseOptions(args, opts);
    ToolOutput output(out, err, opts.json);
    const auto fail = [&](const Failure& failure) {
        output.Error(failure.errorClass, failure.message);
        return failure.status;
    };
    if (problem)
        return fail(Usage(*problem));
    if (opts.help) {
        out << QuillonctlHelp();
        return kExitOk;
    }
    if (opts.version) {
        out << "quillonctl " QUILLON_VERSION "\n";
        return kExitOk;
    }
    if (opts.words.empty())
        return fail(Usage("No command given; quillonctl --help lists them."));
    Session session(opts, output, places);
    const std::string& name = opts.words[0];
    const Args commandArgs(opts.words.begin() + 1, opts.words.end());
    if (name == "list") {
        if (!commandArgs.empty())
            return fail(Usage("list takes no arguments."));
        const Outcome outcome = List(session, opts);
        return outcome ? fail(*outcome) : kExitOk;
    }
    if (name == "shell") {
        if (!commandArgs.empty() || !input)
            return fail(Usage("shell takes no arguments."));
        return Shell(session, opts, input);
    }
    const Outcome outcome = RunCommand(session, name, commandArgs, true);
    return outcome ? fail(*outcome) : kExitOk;
}

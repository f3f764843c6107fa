#include "tool/ToolCommands.h"

#include <iterator>

#include "config/ConfigFile.h"
#include "protocol/DecoderState.h"
#include "protocol/Operations.h"
#include "timing/IntegerReading.h"
#include "tool/ToolSession.h"
#include "usb/ControllerLink.h"
#include "usb/DeviceConnection.h"

namespace quillonctl {
namespace {

Outcome Report(Session& s, const std::string& command, const OpResult& result)
{
    Outcome outcome = AwaitAnswer(s, command, result);
    if (!outcome)
        s.m_out.Result("sent", {{"command", command}});
    return outcome;
}

// Progress shown for the waits of one command.
class ShowProgress {
public:
    ShowProgress(Session& s, std::function<std::string()> text) : m_s(s)
    {
        m_s.m_progress = std::move(text);
    }
    ~ShowProgress() { m_s.m_progress = nullptr; }
    ShowProgress(const ShowProgress&) = delete;
    ShowProgress& operator=(const ShowProgress&) = delete;

private:
    Session& m_s;
};

void PrintStatus(Session& s)
{
    s.m_out.Result("status", StatusFields(s.m_host.Panel()));
}

Outcome Status(Session& s, const Args&)
{
    if (auto failure = FetchStatus(s))
        return failure;
    PrintStatus(s);
    return std::nullopt;
}

Outcome Info(Session& s, const Args&)
{
    if (auto failure = FetchIdentity(s))
        return failure;
    s.m_out.Result("info", {{"serial", Latin1ToUtf8(s.m_host.m_identity[0])},
                            {"firmware", Latin1ToUtf8(s.m_host.m_identity[1])}});
    return std::nullopt;
}

// Reset and Restore Default: done when the status owed after the controller's ready byte is in.
Outcome AfterReset(Session& s, const std::string& command, const OpResult& result)
{
    const ShowProgress progress(s, [command] {
        return command + (g_nStatusAfterReset > 0 ? ": awaiting the controller's ready byte"
                                                  : ": awaiting the controller's status");
    });
    if (auto failure = AwaitReset(s, command, result))
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
    if (auto failure = FetchStatus(s))
        return failure;
    s.m_events = s.m_opts.wait;
    s.m_runEndedOnReady = false;
    const OpResult result = StartFreeRun(s.m_host, *option);
    if (!s.m_opts.wait || !result.Ok())
        return Report(s, "run", result);
    if (*option != 2)
        return Usage("--wait waits for a run started by run go.");
    s.m_out.Result("sent", {{"command", std::string("run")}});
    const PanelState& p = s.m_host.Panel();
    const ShowProgress progress(s, [&p] {
        return p.m_strRepeatNumber == "Continuous" ? std::string("run: continuous")
                                                   : "run: " + p.m_strLeftCycles + " cycle(s) left";
    });
    // Silence is normal for as long as a cycle lasts.
    ToolOptions& opts = s.m_opts;
    opts.timeoutMs += static_cast<int>(RecordMillis(g_cycleTime).ms);
    if (auto failure = s.Await([] { return g_nFreeRunKind == 0; }, "the end of the run", false))
        return failure;
    // The run is counted out at its last report; the controller's ready byte follows it, unless
    // that byte was the run's end (a repeat count of 0 runs nothing).
    if (s.m_runEndedOnReady)
        return std::nullopt;
    s.m_answerOwed = 1;
    s.m_answerExpected.clear();
    return s.Await([&s] { return s.m_answerOwed == 0; }, "the ready byte after the run");
}

// Before the device is opened: a refused file touches nothing.
Outcome CheckConfig(Session& s, const Args& args)
{
    const std::string& path = args[0];
    const auto refused = [&](const std::string& why) {
        return Failure{kExitFileRefused, ClassOf(kExitFileRefused),
                       "Cannot load the configuration from " + path + ".\n" + why};
    };
    const ConfigFileRead read = ReadConfigFileAt(path);
    if (!read.failure.empty())
        return refused(read.failure);
    const ConfigLoad& load = read.load;
    if (load.endedEarly)
        return refused("The file ends before the configuration is complete.");
    if (!load.config)
        return refused(load.refusal);
    s.m_config = load.config;
    return std::nullopt;
}

Outcome Apply(Session& s, const Args& args)
{
    const std::string& path = args[0];
    ApplyConfigFile(*s.m_config, s.m_host.Panel(), g_closedTime, g_exposureTime);
    const int before = s.m_host.m_frames;
    const ShowProgress progress(s, [&s, &path, before] {
        return "apply " + path + ": frame " + std::to_string(s.m_host.m_frames - before) + " sent";
    });
    if (auto failure = AwaitTransfer(s, StartTransfer(s.m_host)))
        return failure;
    s.m_out.Result("applied", {{"file", path}});
    return std::nullopt;
}

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

}  // namespace

Outcome AwaitAnswer(Session& s, const std::string& what, const OpResult& result)
{
    switch (result.kind) {
        case OpResult::Sent:
            // The controller's answer belongs to the command: the next command's reply must
            // not be read from it.
            s.ExpectAnswer(s.m_host.m_lastFrame);
            if (auto failure =
                    s.Await([&s] { return s.m_answerOwed == 0; }, "the answer to " + what))
                return failure;
            if (s.m_answerGarbled)
                return Failure{kExitFailed, ClassOf(kExitFailed),
                               s.m_name + " answered the " + what + " frame " +
                                   s.m_host.m_lastFrame.Hex() + " with " + s.m_answerCame +
                                   ", which is not its answer"};
            return std::nullopt;
        case OpResult::Refused:
            return Usage(result.refusal);
        case OpResult::Unsent:
            return Failure{kExitFailed, ClassOf(kExitFailed),
                           "the " + what + " frame did not go out whole to " + s.m_name};
        case OpResult::NotReady:
            break;
    }
    return Failure{kExitFailed, ClassOf(kExitFailed), s.m_name + " is not ready for commands"};
}

Outcome FetchStatus(Session& s)
{
    const OpResult result = RequestStatus(s.m_host);
    if (!result.Ok())
        return AwaitAnswer(s, "status", result);
    return s.Await([] { return g_nStatusIndex == -1; }, "the status reply");
}

Outcome FetchIdentity(Session& s)
{
    // The echo starts the identity reply; it is no event. An identity told before is not the
    // answer: awaiting that made a second info return at once and its reply, come later, was read
    // as the next command's answer.
    s.m_answerOwed = 1;
    s.m_answerExpected.clear();
    s.m_host.m_identity.clear();
    const OpResult result = SendPlain(s.m_host, SingleByteFrame(cmd::kControllerInfo));
    if (!result.Ok()) {
        s.m_answerOwed = 0;
        return AwaitAnswer(s, "info", result);
    }
    return s.Await([&s] { return s.m_host.m_identity.size() >= 2; }, "the identity reply");
}

Outcome AwaitReset(Session& s, const std::string& what, const OpResult& result)
{
    if (!result.Ok())
        return AwaitAnswer(s, what, result);
    return s.Await([] { return g_nStatusAfterReset == 0 && g_nStatusIndex == -1; },
                   "the controller's ready byte and status after " + what);
}

Outcome AwaitTransfer(Session& s, const OpResult& result)
{
    if (!result.Ok())
        return AwaitAnswer(s, "apply", result);
    if (auto failure = s.Await([] { return g_nTransferReceived == -1; },
                               "the configuration transfer's answers"))
        return failure;
    // The decoder stops a transfer whose next frame did not go out.
    if (!s.m_host.LastWriteSent()) {
        const std::string stopped = "the configuration transfer stopped at frame " +
                                    s.m_host.m_lastFrame.Hex() + ", which did not go out whole";
        const auto decode = [&s](const uint8_t* bytes, std::size_t count) {
            s.Decode(bytes, count);
        };
        if (PollLink(s.m_link, decode).kind == LinkPoll::Lost)
            return Failure{kExitNoDevice, ClassOf(kExitNoDevice),
                           "the link to " + s.m_name + " was lost: " + stopped};
        return Failure{kExitFailed, ClassOf(kExitFailed), stopped + " to " + s.m_name};
    }
    return std::nullopt;
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
        {"apply", "apply FILE.cfg", 1, Apply, CheckConfig},
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

Outcome RunCommand(Session& session, const std::string& name, const Args& args, bool open)
{
    for (const Command& command : Commands()) {
        if (name != command.name)
            continue;
        const bool ndSteps = name == "mode" && args.size() == 2;
        if (args.size() != command.arguments && !ndSteps)
            return Usage(std::string("Usage: quillonctl ") + command.synopsis);
        if (command.check)
            if (auto failure = command.check(session, args))
                return failure;
        if (open)
            if (auto failure = session.Open())
                return failure;
        return command.run(session, args);
    }
    return Usage("Unknown command '" + name + "'; quillonctl --help lists them.");
}

}  // namespace quillonctl

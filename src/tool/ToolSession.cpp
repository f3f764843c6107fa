#include "tool/ToolSession.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "framework/Profile.h"
#include "protocol/DecoderState.h"
#include "protocol/Frames.h"
#include "protocol/Operations.h"
#include "timing/IntegerReading.h"
#include "tool/ToolCommands.h"
#include "usb/ControllerLink.h"
#include "usb/DeviceConnection.h"
#include "usb/DriverLocation.h"

void ToolHost::Write(const Frame& frame)
{
    m_lastFrame = frame;
    ++m_frames;
    m_sent = WriteFrame(m_link, frame);
}

namespace quillonctl {

volatile std::sig_atomic_t g_interrupted = 0;

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
    std::string chosenBy;
    if (!m_opts.deviceSet) {
        // The entry the panel would show for the method, as its profile keeps it.
        const Profile profile(
            Profile::DefaultPath(ProfileFileName(SimulatorChosen(m_opts.driver, m_opts.simulate))));
        const int method =
            openBy >= 0 ? openBy : profile.GetProfileInt(kProfileSection, kProfileOpenBy, 0);
        if (const char* key = DeviceProfileKey(method)) {
            const std::string kept = profile.GetProfileString(kProfileSection, key, kDevicePrompt);
            if (kept != kDevicePrompt) {
                openBy = method;
                entry = kept;
                chosenBy = " (the panel's choice, kept in " + profile.Path() + ")";
            }
        }
    }
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
                       "cannot open " + m_name + chosenBy +
                           ": no such device, or it is in use (status " + std::to_string(status) +
                           ")"};
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

void Session::ExpectAnswer(const Frame& frame)
{
    const int length = ImmediateAnswerLength(frame);
    m_answerOwed = length;
    m_answerExpected.assign(static_cast<std::size_t>(length), -1);
    m_answerCame.clear();
    m_answerGarbled = false;
    for (std::size_t i = 0; i < frame.size() && i < m_answerExpected.size(); ++i)
        m_answerExpected[i] = frame[i];
    // The online reply's second byte is the power state.
    if (length == static_cast<int>(frame.size()) + 1 && frame[0] != cmd::kOnline)
        m_answerExpected.back() = cmd::kReady;
}

bool Session::TakeAnswerByte(uint8_t b, bool running)
{
    const std::size_t at = m_answerExpected.size() - static_cast<std::size_t>(m_answerOwed);
    const bool known = static_cast<std::size_t>(m_answerOwed) <= m_answerExpected.size();
    // A free run's report, or the ready byte that ends it, may come before or inside an answer:
    // it is the run's, and the answer goes on after it.
    const bool runByte = b == cmd::kShutterOpen || b == cmd::kShutterClose || b == cmd::kReady;
    if (running && runByte && known && m_answerExpected[at] >= 0 && m_answerExpected[at] != b)
        return false;
    if (known) {
        char hex[4];
        std::snprintf(hex, sizeof hex, m_answerCame.empty() ? "%02X" : " %02X", b);
        m_answerCame += hex;
        if (m_answerExpected[at] >= 0 && m_answerExpected[at] != b)
            m_answerGarbled = true;
    }
    --m_answerOwed;
    return true;
}

void Session::Decode(const uint8_t* bytes, std::size_t count)
{
    if (!m_events) {
        for (std::size_t i = 0; i < count; ++i) {
            if (m_answerOwed > 0)
                TakeAnswerByte(bytes[i], g_nFreeRunKind > 0);
            m_decoder.Decode(bytes + i, 1);
            if (m_afterByte)
                m_afterByte(bytes[i]);
        }
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
        if (m_answerOwed > 0 && TakeAnswerByte(b, running > 0))
            continue;
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
                m_runEndedOnReady = b == cmd::kReady;
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

std::optional<Failure> Session::Await(const std::function<bool()>& done, const std::string& what,
                                      bool bounded)
{
    const int before = m_host.Panel().m_nReceivedBytes;
    unsigned silentMs = 0;
    m_link.SetTimeouts(kReadSliceMs, kReadSliceMs);
    const auto decode = [this](const uint8_t* bytes, std::size_t count) { Decode(bytes, count); };
    const auto start = std::chrono::steady_clock::now();
    struct EndProgress {
        ToolOutput& out;
        ~EndProgress() { out.EndProgress(); }
    } endProgress{m_out};
    while (!done()) {
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        if (bounded && m_opts.timeoutMs > 0 && waited.count() >= 2LL * m_opts.timeoutMs)
            return Failure{
                kExitTimeOut, ClassOf(kExitTimeOut),
                "no answer from " + m_name + " within " + std::to_string(2 * m_opts.timeoutMs) +
                    " ms, though it kept sending: awaited " + what + ", " +
                    std::to_string(m_host.Panel().m_nReceivedBytes - before) + " byte(s) came"};
        if (m_progress) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, ", %.1f s", waited.count() / 1000.0);
            m_out.Progress(m_progress() + seconds);
        }
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

void Session::ForgetAwaited()
{
    g_nStatusIndex = g_nInfoIndex = g_nTransferReceived = g_nTransferExpected = -1;
    g_nStatusAfterReset = 0;
    m_answerOwed = 0;
}

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
            if (outcome->status != kExitUsage)
                session.ForgetAwaited();
            if (outcome->status == kExitNoDevice)
                return kExitNoDevice;
        }
    }
}

}  // namespace quillonctl

#include "tango/ShutterLink.h"

#include <algorithm>
#include <chrono>
#include <sstream>

#include "protocol/DecoderState.h"
#include "protocol/Frames.h"
#include "timing/IntegerReading.h"
#include "tool/ToolCommands.h"
#include "tool/ToolOutput.h"
#include "tool/ToolSession.h"
#include "usb/ControllerLink.h"

using quillonctl::ClassOf;
using quillonctl::Failure;
using quillonctl::Outcome;
using quillonctl::Session;

namespace {

// How long the link's thread sleeps when nothing is queued: the panel's timer.
constexpr auto kIdlePoll = std::chrono::milliseconds(2);

bool StateChanged(const ShutterView& a, const ShutterView& b)
{
    return a.ready != b.ready || a.opening != b.opening || a.running != b.running ||
           a.shutter != b.shutter;
}

}  // namespace

ShutterLink::ShutterLink(ShutterSettings settings, ToolPlaces places, Notify notify)
    : m_settings(std::move(settings)), m_places(std::move(places)), m_notify(std::move(notify))
{
    m_thread = std::thread([this] { Loop(); });
}

ShutterLink::~ShutterLink()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

ShutterView ShutterLink::View() const
{
    const std::lock_guard lock(m_mutex);
    return m_view;
}

Outcome ShutterLink::Run(Job job)
{
    std::future<Outcome> done;
    std::uint64_t id;
    {
        const std::lock_guard lock(m_mutex);
        id = ++m_lastId;
        m_requests.push_back({id, std::move(job), {}});
        done = m_requests.back().done.get_future();
    }
    m_wake.notify_all();
    // A reset's ready byte and the status after it come within two time-outs; the client's own
    // time-out (3 s by default) must not run out first.
    const auto limit = std::chrono::milliseconds(2 * m_settings.timeoutMs + 500);
    if (done.wait_for(limit) == std::future_status::ready)
        return done.get();
    const std::lock_guard lock(m_mutex);
    const auto queued = std::find_if(m_requests.begin(), m_requests.end(),
                                     [id](const Request& r) { return r.id == id; });
    if (queued != m_requests.end()) {
        m_requests.erase(queued);
        return Failure{kExitTimeOut, ClassOf(kExitTimeOut),
                       "the controller's link was still busy with an earlier request; this one "
                       "was withdrawn and nothing of it sent"};
    }
    return Failure{kExitTimeOut, ClassOf(kExitTimeOut),
                   "the request was still under way on the controller's link when its time ran "
                   "out; what it did is not known"};
}

void ShutterLink::Lost(const std::string& why)
{
    ShutterView before, after;
    {
        const std::lock_guard lock(m_mutex);
        before = m_view;
        m_view.ready = false;
        m_view.opening = false;
        m_view.running = false;
        m_view.fault = why;
        after = m_view;
    }
    if (StateChanged(before, after))
        m_notify(before, after);
}

void ShutterLink::Follow(Session& s, int byte)
{
    const PanelState& p = s.m_host.Panel();
    ShutterView v = View();
    const ShutterView before = v;
    v.shutter = p.m_nShutterState;
    v.mode = p.m_nShutterMode;
    v.ndSteps = p.m_nNdSteps;
    v.trigger = p.m_nTriggerMode;
    v.sync = p.m_nSyncPolarity;
    v.freeRun = p.m_nFreeRunOption;
    v.closedMs = RecordMillis(g_closedTime).ms;
    v.exposureMs = RecordMillis(g_exposureTime).ms;
    v.cycleMs = RecordMillis(g_cycleTime).ms;
    v.continuous = p.m_strRepeatNumber == "Continuous";
    if (!v.continuous && !p.m_strRepeatNumber.empty())
        v.repeatCount = ReadInteger(p.m_strRepeatNumber);
    v.running = v.ready && g_nFreeRunKind > 0;
    v.bytesReceived = p.m_nReceivedBytes;
    if (s.m_host.m_identity.size() >= 2)
        v.identity = Latin1ToUtf8(s.m_host.m_identity[0] + " " + s.m_host.m_identity[1]);
    // The decoder shows the repeat count again once a run is counted out; the device says that
    // nothing is left, until the count moves again.
    const bool cycleEnd = (byte == cmd::kShutterOpen || byte == cmd::kShutterClose) &&
                          p.m_nShutterState == g_nFreeRunStartState;
    if (before.running && cycleEnd && !v.continuous && before.cyclesLeft == 1) {
        m_countedOut = true;
        m_leftWhenCountedOut = p.m_strLeftCycles;
    } else if (m_countedOut && p.m_strLeftCycles != m_leftWhenCountedOut) {
        m_countedOut = false;
    }
    v.cyclesLeft = v.continuous ? -1 : m_countedOut ? 0 : ReadInteger(p.m_strLeftCycles);
    {
        const std::lock_guard lock(m_mutex);
        m_view = v;
    }
    if (StateChanged(before, v) || before.cyclesLeft != v.cyclesLeft)
        m_notify(before, v);
}

void ShutterLink::OpenLink(Session& s)
{
    if (auto failure = s.Open())
        return Lost(failure->message);
    // What the attributes show comes from the controller, not from defaults: the device is
    // ready once the controller has told its status and identity.
    Outcome failure = quillonctl::FetchStatus(s);
    if (!failure)
        failure = quillonctl::FetchIdentity(s);
    if (failure) {
        s.m_link.Close();
        return Lost(failure->message);
    }
    ShutterView before, after;
    {
        const std::lock_guard lock(m_mutex);
        before = m_view;
        m_view.ready = true;
        m_view.opening = false;
        m_view.fault.clear();
        after = m_view;
    }
    m_notify(before, after);
    Follow(s, -1);
}

void ShutterLink::Loop()
{
    std::ostringstream sink;
    ToolOutput out(sink, sink, false);
    quillonctl::ToolOptions opts;
    opts.driver = m_settings.driver;
    opts.openBy = m_settings.openBy;
    opts.device = m_settings.device;
    opts.deviceSet = m_settings.deviceSet;
    opts.timeoutMs = m_settings.timeoutMs;
    Session s(opts, out, m_places);
    s.m_afterByte = [this, &s](uint8_t byte) { Follow(s, byte); };
    OpenLink(s);
    const auto decode = [&s](const uint8_t* bytes, std::size_t count) { s.Decode(bytes, count); };
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (!m_requests.empty()) {
            Request request = std::move(m_requests.front());
            m_requests.pop_front();
            const bool ready = m_view.ready;
            const std::string fault = m_view.fault;
            lock.unlock();
            Outcome outcome;
            if (!ready) {
                outcome = Failure{kExitNoDevice, ClassOf(kExitNoDevice),
                                  "the controller's link is not ready (" + fault +
                                      "); Init opens it again"};
            } else {
                outcome = request.job(s);
                if (outcome && outcome->status != kExitUsage)
                    s.ForgetAwaited();
                Follow(s, -1);
                if (outcome && outcome->status == kExitNoDevice) {
                    s.m_link.Close();
                    Lost(outcome->message);
                }
            }
            request.done.set_value(outcome);
            lock.lock();
            continue;
        }
        if (!m_view.ready) {
            m_wake.wait(lock);
            continue;
        }
        lock.unlock();
        const LinkPoll poll = PollLink(s.m_link, decode);
        if (poll.kind == LinkPoll::Lost || (poll.kind == LinkPoll::Read && !poll.decoded)) {
            s.m_link.Close();
            Lost("the link to " + s.m_name + " was lost");
        }
        lock.lock();
        if (poll.kind == LinkPoll::Idle && m_requests.empty() && !m_stop)
            m_wake.wait_for(lock, kIdlePoll);
    }
}

#pragma once
// The link to one controller as the TANGO device holds it: one thread owns the link and the
// reply decoder (whose state is per process), runs the client's requests on it in order and
// reads the controller between them. Free of TANGO, whose headers stay in the device's file.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "tool/Tool.h"
#include "tool/ToolOptions.h"

namespace quillonctl {
class Session;
}

// What the device shows: the decoded state, copied out by the link's thread.
struct ShutterView {
    bool ready = false;
    bool opening = true;  // not ready yet, and not failed: start-up or Init
    std::string fault;    // why the link is not ready
    int shutter = -1;     // 0 open, 1 closed, -1 unknown
    int mode = -1;        // 0 fast, 1 soft, 2 neutral density
    int ndSteps = 0;
    int trigger = -1;  // -1 off, else the trigger mode
    int sync = -1;
    int freeRun = -1;  // -1 none, 0 on power up, 1 on trigger pulse, 2 go
    double closedMs = 0, exposureMs = 0, cycleMs = 0;
    int repeatCount = 0;  // the last finite count
    bool continuous = false;
    int cyclesLeft = 0;  // -1 while continuous
    bool running = false;
    std::string identity;
    int bytesReceived = 0;
};

struct ShutterSettings {
    std::string driver;
    int openBy = -1;
    std::string device;
    bool deviceSet = false;
    int timeoutMs = 1000;  // silence that fails a request
};

class ShutterLink {
public:
    using Job = std::function<quillonctl::Outcome(quillonctl::Session&)>;
    // Called on the link's thread when the shutter, the cycles left or the state change: it must
    // not wait for anything the client's requests hold.
    using Notify = std::function<void(const ShutterView& before, const ShutterView& after)>;

    ShutterLink(ShutterSettings settings, ToolPlaces places, Notify notify);
    ~ShutterLink();
    ShutterLink(const ShutterLink&) = delete;
    ShutterLink& operator=(const ShutterLink&) = delete;

    // Runs the job on the link's thread after those before it; fails, rather than waits on, a
    // job that has not ended within the request's time-out, and withdraws it if it has not
    // started: a client told that its request failed must not see it done later. The job must
    // own what it uses.
    quillonctl::Outcome Run(Job job);
    ShutterView View() const;

private:
    struct Request {
        std::uint64_t id;
        Job job;
        std::promise<quillonctl::Outcome> done;
    };
    void Loop();
    void OpenLink(quillonctl::Session& s);
    void Follow(quillonctl::Session& s, int byte);
    void Lost(const std::string& why);

    ShutterSettings m_settings;
    ToolPlaces m_places;
    Notify m_notify;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_requests;
    std::uint64_t m_lastId = 0;
    bool m_stop = false;
    ShutterView m_view;
    bool m_countedOut = false;  // a counted run has ended: no cycle left until the count moves
    std::string m_leftWhenCountedOut;
    std::thread m_thread;
};

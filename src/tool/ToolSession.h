#pragma once
// The link to one controller as the tool holds it, and the shell that keeps it open.

#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/ConfigFile.h"
#include "protocol/ReplyDecoder.h"
#include "tool/ToolHost.h"
#include "tool/ToolOptions.h"
#include "tool/ToolOutput.h"
#include "usb/UsbLink.h"

namespace quillonctl {

extern volatile std::sig_atomic_t g_interrupted;

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
    // time-out or the link is lost, and, when bounded, after twice the time-out in all: an answer
    // owed must not wait forever behind a free run's reports. Only a run's end is unbounded.
    std::optional<Failure> Await(const std::function<bool()>& done, const std::string& what,
                                 bool bounded = true);
    // The same without a time-out (silence is no fault), until done() or Ctrl+C.
    std::optional<Failure> Watch(const std::function<bool()>& done);
    // Decodes, telling each event as it happens while m_events is set.
    void Decode(const uint8_t* bytes, std::size_t count);

    // While set, a wait longer than a moment shows this on a terminal, with the time waited.
    std::function<std::string()> m_progress;

    bool m_events = false;
    // Called after each byte is decoded, outside events, for a face that follows every change.
    std::function<void(uint8_t)> m_afterByte;
    // Answer bytes still owed to the last command: decoded, but no events.
    int m_answerOwed = 0;
    // What the owed answer must read, when known (-1: any byte), and what came of it.
    std::vector<int> m_answerExpected;
    std::string m_answerCame;
    bool m_answerGarbled = false;
    // The answer a frame must get at once: its echo, and the ready byte after a setting.
    void ExpectAnswer(const Frame& frame);
    // After a failed command: what it awaited is not coming as awaited, so the bytes that follow
    // must not be read as its reply. A free run goes on being counted.
    void ForgetAwaited();
    bool m_runEnded = false;
    bool m_runEndedOnReady = false;  // a run with nothing to do ends on the ready byte itself

    UsbLink m_link;
    ToolHost m_host{m_link};
    ReplyDecoder m_decoder{m_host};
    std::string m_name;                  // the device, for messages
    std::optional<ConfigFile> m_config;  // the file apply checked
    ToolOptions& m_opts;
    ToolOutput& m_out;

private:
    // False when b is a free run's (running: a run was in progress before b), not the answer's.
    bool TakeAnswerByte(uint8_t b, bool running);

    const ToolPlaces& m_places;
    std::vector<std::string> m_reports;
};

// Commands from the input, one a line, on the link kept open; between them the controller's
// events are told as they come. Ends at the input's end, "quit", Ctrl+C or a lost link.
int Shell(Session& session, ToolOptions& opts, const LineReader& input);

}  // namespace quillonctl

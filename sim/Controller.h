#pragma once
// The Quillon controller as seen from the wire: it takes the bytes of one USB write, splits them
// into frames, keeps the controller's settings and its free run, and says which bytes it sends
// back and when. It knows nothing of handles, queues or clocks; the caller passes the time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "QuillonSim.h"

namespace quillon_sim {

// One byte the controller sends, at a simulator time in microseconds.
struct Answer {
    uint64_t atUs;
    uint8_t byte;
};

// A time setting as the timer frame carries it: hours (low nibble of the frame's second byte),
// minutes, seconds, and the two packed-decimal millisecond bytes. Kept raw so the status reply
// gives back exactly what was set.
struct TimeSetting {
    uint8_t hours = 0;
    uint8_t minutes = 0;
    uint8_t seconds = 0;
    uint8_t msHigh = 0;  // hundreds and tens of ms, one per nibble
    uint8_t msLow = 0;   // units of ms, tenths of ms

    int Milliseconds() const { return (msHigh >> 4) * 100 + (msHigh & 0x0F) * 10 + (msLow >> 4); }
    int Tenths() const { return msLow & 0x0F; }
    uint64_t DurationUs() const;
    static TimeSetting From(int h, int m, int s, int ms, int tenths);
};

// What Save configuration stores and Restore factory defaults brings back.
struct Setting {
    bool shutterOpen = false;
    int mode = 0;  // 0 fast, 1 soft, 2 neutral density
    int ndSteps = 0;
    int trigger = 1;  // 0 off, 1 enable on high, 2 enable on low, 3 rising, 4 falling
    int sync = 2;     // 0 off, 1 high for open, 2 low for open
    TimeSetting closed;
    TimeSetting exposure;
    int freeRunOption = 0;  // 0 none, 1 on power up, 2 on trigger, 3 go
    int repeatCount = 0;    // 0xFFFF continuous
};

// Length of the frame that starts at p (avail bytes there): > 0 its length (possibly more than
// avail, then the frame is incomplete), -1 when p[0] cannot start a frame.
int FrameLength(const uint8_t* p, size_t avail);

class Controller {
public:
    explicit Controller(const std::string& serial = "QSC10001");

    // One FT_Write's bytes. Frames are complete within one write: the panel writes each frame
    // in one call, so a frame cut off at the end of a write is discarded, and a byte that
    // cannot start a frame is skipped (the next byte is tried as a first byte).
    void Receive(const uint8_t* data, size_t n, uint64_t nowUs, std::vector<Answer>& out);

    // Produces the free run's reports due up to nowUs.
    void RunUntil(uint64_t nowUs, std::vector<Answer>& out);
    // Time of the free run's next report; false when no run is in progress.
    bool NextEvent(uint64_t* atUs) const;

    void TriggerPulse(uint64_t nowUs, std::vector<Answer>& out);
    void PowerUp(uint64_t nowUs, std::vector<Answer>& out);
    void Halt() { running_ = false; }

    void SetHandshakeReply(int byte) { handshakeReply_ = byte; }
    QuillonSimState State() const;
    void SetState(const QuillonSimState& s);

    static uint64_t TransitionUs(int mode, int ndSteps);

private:
    void HandleFrame(const uint8_t* f, size_t len, uint64_t nowUs, std::vector<Answer>& out);
    void StatusReply(uint64_t nowUs, std::vector<Answer>& out) const;
    void StartRun(uint64_t nowUs, std::vector<Answer>& out);

    Setting cur_;
    Setting saved_;
    bool savedFlag_ = false;
    bool powered_ = true;
    int handshakeReply_ = -1;
    std::string identity_;  // 12 characters

    bool running_ = false;
    bool startOpen_ = false;   // shutter state the run started from; a cycle ends there again
    bool nextIsOpen_ = false;  // the next report is an opening (0xAA)
    uint64_t nextUs_ = 0;
    int cycles_ = 0;
};

}  // namespace quillon_sim

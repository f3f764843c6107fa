#include "Controller.h"

#include <algorithm>

namespace quillon_sim {
namespace {

constexpr uint8_t kReady = 0x0D;
constexpr uint64_t kMinHalfCycleUs = 100;  // so that all-zero times cannot stall the clock
constexpr int kContinuous = 0xFFFF;

void Emit(std::vector<Answer>& out, uint64_t atUs, const uint8_t* bytes, size_t n)
{
    for (size_t i = 0; i < n; ++i) out.push_back({atUs, bytes[i]});
}

void Emit(std::vector<Answer>& out, uint64_t atUs, uint8_t byte)
{
    out.push_back({atUs, byte});
}

void FillTime(const TimeSetting& t, int (&fields)[5])
{
    fields[0] = t.hours;
    fields[1] = t.minutes;
    fields[2] = t.seconds;
    fields[3] = t.Milliseconds();
    fields[4] = t.Tenths();
}

}  // namespace

uint64_t TimeSetting::DurationUs() const
{
    const uint64_t wholeSeconds = uint64_t(hours) * 3600 + uint64_t(minutes) * 60 + seconds;
    return wholeSeconds * 1000000 + uint64_t(Milliseconds()) * 1000 + uint64_t(Tenths()) * 100;
}

TimeSetting TimeSetting::From(int h, int m, int s, int ms, int tenths)
{
    TimeSetting t;
    t.hours = uint8_t(h & 0x0F);
    t.minutes = uint8_t(m);
    t.seconds = uint8_t(s);
    t.msHigh = uint8_t((ms / 100) * 16 + (ms % 100) / 10);
    t.msLow = uint8_t((ms % 10) * 16 + (tenths & 0x0F));
    return t;
}

int FrameLength(const uint8_t* p, size_t avail)
{
    const uint8_t b = p[0];
    if (b >= 0x40 && b <= 0x4F)
        return 1;
    switch (b) {
        case 0xAA:
        case 0xAC:
        case 0xDC:
        case 0xDD:
        case 0xBF:
        case 0xCC:
        case 0xCE:
        case 0xCF:
        case 0xEE:
        case 0xFB:
        case 0xFD:
            return 1;
        case 0xDE:
            return 2;
        case 0xFA:
            break;
        default:
            return -1;
    }
    if (avail < 2)
        return 2;  // incomplete; the caller discards it
    const uint8_t s = p[1];
    switch (s >> 4) {
        case 0xA:
            return s <= 0xA4 ? 2 : -1;
        case 0xB:
            return s <= 0xB2 ? 2 : -1;
        case 0xC:
            return s <= 0xC1 ? 2 : -1;
        case 0x1:
        case 0x2:
            return 6;
        case 0xF:
            return s == 0xF0 ? 4 : (s <= 0xF3 ? 2 : -1);
        default:
            return -1;
    }
}

Controller::Controller(const std::string& serial)
{
    identity_ = serial.substr(0, 8);
    identity_.resize(8, ' ');
    identity_ += std::string(QUILLON_SIM_FIRMWARE).substr(0, 4);
    identity_.resize(12, ' ');
}

uint64_t Controller::TransitionUs(int mode, int ndSteps)
{
    switch (mode) {
        case 0:
            return 12000;
        case 1:
            return 70000;
        default:
            return uint64_t(ndSteps) * 38000 / 144;
    }
}

void Controller::Receive(const uint8_t* data, size_t n, uint64_t nowUs, std::vector<Answer>& out)
{
    size_t i = 0;
    while (i < n) {
        const int len = FrameLength(data + i, n - i);
        if (len < 0) {
            ++i;
            continue;
        }
        if (i + size_t(len) > n)
            break;  // cut off at the end of the write
        HandleFrame(data + i, size_t(len), nowUs, out);
        i += size_t(len);
    }
}

void Controller::HandleFrame(const uint8_t* f, size_t len, uint64_t nowUs, std::vector<Answer>& out)
{
    // Settings frames: echo and a ready byte, as the configuration transfer counts them.
    auto acknowledge = [&] {
        Emit(out, nowUs, f, len);
        Emit(out, nowUs, kReady);
    };
    switch (f[0]) {
        case 0xEE:
            Emit(out, nowUs, handshakeReply_ < 0 ? uint8_t(0xEE) : uint8_t(handshakeReply_));
            Emit(out, nowUs, powered_ ? 0x01 : 0x00);
            return;
        case 0xAA:
        case 0xAC:
            cur_.shutterOpen = f[0] == 0xAA;
            acknowledge();
            return;
        case 0xDC:
        case 0xDD:
            cur_.mode = f[0] - 0xDC;
            acknowledge();
            return;
        case 0xDE:
            cur_.mode = 2;
            cur_.ndSteps = f[1];
            acknowledge();
            return;
        case 0xBF: {
            Emit(out, nowUs, 0xBF);
            if (running_) {
                running_ = false;
                Emit(out, nowUs, kReady);
            }
            return;
        }
        case 0xCC:
            StatusReply(nowUs, out);
            return;
        case 0xCE:
        case 0xCF:
            powered_ = f[0] == 0xCE;
            Emit(out, nowUs, f[0]);
            return;
        case 0xFB:
            running_ = false;
            Emit(out, nowUs + uint64_t(QUILLON_SIM_RESET_MARKER_MS) * 1000, kReady);
            return;
        case 0xFD:
            Emit(out, nowUs, 0xFD);
            Emit(out, nowUs, reinterpret_cast<const uint8_t*>(identity_.data()), 12);
            return;
        case 0xFA:
            break;
        default:
            return;  // link exercise bytes: the LEDs blink, nothing is answered
    }

    const uint8_t s = f[1];
    switch (s >> 4) {
        case 0xA:
            cur_.trigger = s - 0xA0;
            acknowledge();
            return;
        case 0xB:
            cur_.sync = s - 0xB0;
            acknowledge();
            return;
        case 0xC:
            if (s == 0xC0) {
                running_ = false;
                cur_ = Setting{};
                saved_ = Setting{};
                savedFlag_ = false;
                Emit(out, nowUs + uint64_t(QUILLON_SIM_RESTORE_MARKER_MS) * 1000, kReady);
            } else {
                saved_ = cur_;
                savedFlag_ = true;
                Emit(out, nowUs, f, len);
            }
            return;
        case 0x1:
        case 0x2: {
            TimeSetting& t = (s >> 4) == 1 ? cur_.closed : cur_.exposure;
            t.hours = s & 0x0F;
            t.minutes = f[2];
            t.seconds = f[3];
            t.msHigh = f[4];
            t.msLow = f[5];
            acknowledge();
            return;
        }
        default:
            break;
    }
    // 0xF_: free run.
    if (s == 0xF0) {
        cur_.repeatCount = f[2] << 8 | f[3];
        acknowledge();
        return;
    }
    cur_.freeRunOption = s - 0xF0;
    running_ = false;  // a new option replaces a run in progress; no marker, the panel counts
    if (s == 0xF3)
        StartRun(nowUs, out);
}

void Controller::StatusReply(uint64_t nowUs, std::vector<Answer>& out) const
{
    std::vector<uint8_t> r;
    r.push_back(0xCC);
    r.push_back(cur_.shutterOpen ? 0xAA : 0xAC);
    r.push_back(uint8_t(0xDC + cur_.mode));
    if (cur_.mode == 2)
        r.push_back(uint8_t(cur_.ndSteps));
    r.push_back(0x00);
    r.push_back(uint8_t(0xA0 + cur_.trigger));
    r.push_back(uint8_t(0xB0 + cur_.sync));
    for (int which = 0; which < 2; ++which) {
        const TimeSetting& t = which == 0 ? cur_.closed : cur_.exposure;
        r.push_back(uint8_t((which == 0 ? 0x10 : 0x20) + (t.hours & 0x0F)));
        r.push_back(t.minutes);
        r.push_back(t.seconds);
        r.push_back(t.msHigh);
        r.push_back(t.msLow);
    }
    r.push_back(uint8_t(0xF0 + cur_.freeRunOption));
    r.push_back(uint8_t(cur_.repeatCount >> 8));
    r.push_back(uint8_t(cur_.repeatCount));
    if (r.size() < 20)
        r.push_back(kReady);
    Emit(out, nowUs, r.data(), r.size());
}

void Controller::StartRun(uint64_t nowUs, std::vector<Answer>& out)
{
    cycles_ = 0;
    if (cur_.repeatCount == 0) {  // nothing to run
        running_ = false;
        Emit(out, nowUs, kReady);
        return;
    }
    running_ = true;
    startOpen_ = cur_.shutterOpen;
    nextIsOpen_ = !cur_.shutterOpen;
    const TimeSetting& wait = nextIsOpen_ ? cur_.closed : cur_.exposure;
    nextUs_ = nowUs +
              std::max(kMinHalfCycleUs, wait.DurationUs() + TransitionUs(cur_.mode, cur_.ndSteps));
}

void Controller::RunUntil(uint64_t nowUs, std::vector<Answer>& out)
{
    while (running_ && nextUs_ <= nowUs) {
        const uint64_t t = nextUs_;
        cur_.shutterOpen = nextIsOpen_;
        Emit(out, t, nextIsOpen_ ? 0xAA : 0xAC);
        if (cur_.shutterOpen == startOpen_) {
            ++cycles_;
            if (cur_.repeatCount != kContinuous && cycles_ >= cur_.repeatCount) {
                running_ = false;
                Emit(out, t, kReady);
                return;
            }
        }
        nextIsOpen_ = !cur_.shutterOpen;
        const TimeSetting& wait = nextIsOpen_ ? cur_.closed : cur_.exposure;
        nextUs_ = t + std::max(kMinHalfCycleUs,
                               wait.DurationUs() + TransitionUs(cur_.mode, cur_.ndSteps));
    }
}

bool Controller::NextEvent(uint64_t* atUs) const
{
    if (!running_)
        return false;
    *atUs = nextUs_;
    return true;
}

void Controller::TriggerPulse(uint64_t nowUs, std::vector<Answer>& out)
{
    if (cur_.freeRunOption == 2 && !running_)
        StartRun(nowUs, out);
}

void Controller::PowerUp(uint64_t nowUs, std::vector<Answer>& out)
{
    running_ = false;
    cur_ = saved_;
    powered_ = true;
    if (cur_.freeRunOption == 1)
        StartRun(nowUs, out);
}

QuillonSimState Controller::State() const
{
    QuillonSimState s{};
    s.shutterOpen = cur_.shutterOpen ? 1 : 0;
    s.mode = cur_.mode;
    s.ndSteps = cur_.ndSteps;
    s.trigger = cur_.trigger;
    s.sync = cur_.sync;
    FillTime(cur_.closed, s.closedTime);
    FillTime(cur_.exposure, s.exposureTime);
    s.freeRunOption = cur_.freeRunOption;
    s.repeatCount = cur_.repeatCount;
    s.running = running_ ? 1 : 0;
    s.cyclesDone = cycles_;
    s.powered = powered_ ? 1 : 0;
    s.saved = savedFlag_ ? 1 : 0;
    return s;
}

void Controller::SetState(const QuillonSimState& s)
{
    cur_.shutterOpen = s.shutterOpen != 0;
    cur_.mode = s.mode;
    cur_.ndSteps = s.ndSteps & 0xFF;
    cur_.trigger = s.trigger;
    cur_.sync = s.sync;
    const int* c = s.closedTime;
    const int* e = s.exposureTime;
    cur_.closed = TimeSetting::From(c[0], c[1], c[2], c[3], c[4]);
    cur_.exposure = TimeSetting::From(e[0], e[1], e[2], e[3], e[4]);
    cur_.freeRunOption = s.freeRunOption;
    cur_.repeatCount = s.repeatCount & 0xFFFF;
    powered_ = s.powered != 0;
}

}  // namespace quillon_sim

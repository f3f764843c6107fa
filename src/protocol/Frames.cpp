#include "protocol/Frames.h"

#include <algorithm>
#include <cstdio>

#include "timing/IntegerReading.h"

Frame::Frame(std::initializer_list<uint8_t> bytes)
{
    m_size = std::min(bytes.size(), sizeof m_bytes);
    std::copy_n(bytes.begin(), m_size, m_bytes);
}

bool Frame::operator==(const Frame& other) const
{
    return m_size == other.m_size && std::equal(m_bytes, m_bytes + m_size, other.m_bytes);
}

std::string Frame::Hex() const
{
    std::string out;
    for (std::size_t i = 0; i < m_size; ++i) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X", m_bytes[i]);
        if (i > 0) {
            out += ' ';
        }
        out += text;
    }
    return out;
}

Frame SingleByteFrame(uint8_t code)
{
    return Frame{code};
}

Frame ShutterFrame(int shutterState)
{
    return Frame{shutterState == 0 ? cmd::kShutterOpen : cmd::kShutterClose};
}

Frame NdModeFrame(int steps)
{
    return Frame{cmd::kNdMode, LowByte(steps)};
}

const char* NdStepsRefusal(std::string_view text)
{
    const int steps = ReadInteger(text);
    if (steps > 144)
        return "Steps must be less than 145.";
    if (steps < 0)
        return "Steps must be between 0 and 144.";
    if (text.empty())
        return "No steps.";
    return nullptr;
}

Frame ModeFrame(int shutterMode, int ndSteps)
{
    switch (shutterMode) {
        case 0:
            return Frame{cmd::kFastMode};
        case 1:
            return Frame{cmd::kSoftMode};
        case 2:
            return NdModeFrame(ndSteps);
        default:
            return {};
    }
}

Frame TriggerFrame(int triggerMode)
{
    return Frame{cmd::kSettings,
                 triggerMode == -1 ? cmd::kTriggerOff : LowByte(0xA1 + triggerMode)};
}

Frame SyncFrame(int syncPolarity)
{
    return Frame{cmd::kSettings, syncPolarity == -1 ? cmd::kSyncOff : LowByte(0xB1 + syncPolarity)};
}

Frame SettingsFrame(uint8_t code)
{
    return Frame{cmd::kSettings, code};
}

Frame EncodeTimeFrame(TimeKind kind, const TimeRecord& time)
{
    // The hours share their byte with the frame's kind: a loaded record may hold any number, and
    // one past the nibble would make the controller read another frame (or none) instead.
    const int h = std::clamp(ReadInteger(time.hours), 0, 15);
    const int m = ReadInteger(time.minutes);
    const int s = ReadInteger(time.seconds);
    const int ms = ReadInteger(time.milliseconds);
    const int t = ReadInteger(time.tenthMs);
    const int base = kind == TimeKind::Closed ? 0x10 : 0x20;
    return Frame{cmd::kSettings,
                 LowByte(base + h),
                 LowByte(m),
                 LowByte(s),
                 LowByte((ms / 100) * 16 + (ms % 100) / 10),
                 LowByte((ms % 10) * 16 + t)};
}

Frame RepeatCountFrame(int count)
{
    return Frame{cmd::kSettings, cmd::kRepeatCount, LowByte(count / 256), LowByte(count % 256)};
}

namespace {
constexpr const char* kContinuous = "Continuous";
const Frame kContinuousFrame{cmd::kSettings, cmd::kRepeatCount, 0xFF, 0xFF};
}  // namespace

const char* RepeatNumberRefusal(std::string_view repeatNumber)
{
    return ReadInteger(repeatNumber) < 0 ? "Repeat number must not be negative!" : nullptr;
}

RepeatCount SendRepeatCount(const std::string& repeatNumber)
{
    // The controller takes 16 bits; FF FF means continuous, so does anything above 65000.
    const int count = ReadInteger(repeatNumber);
    if (count <= 65000) {
        return {RepeatCountFrame(count), repeatNumber};
    }
    return {kContinuousFrame, kContinuous};
}

RepeatCount TransferRepeatCount(const std::string& repeatNumber)
{
    const int count = ReadInteger(repeatNumber);
    if (repeatNumber == kContinuous || count > 0xFFFF) {
        return {kContinuousFrame, kContinuous};
    }
    return {RepeatCountFrame(count), repeatNumber};
}

Frame FreeRunFrame(int freeRunOption)
{
    if (freeRunOption < 0 || freeRunOption > 2) {
        return {};
    }
    return SettingsFrame(LowByte(cmd::kFreeRunOnPowerUp + freeRunOption));
}

int ImmediateAnswerLength(const Frame& frame)
{
    if (frame.empty())
        return 0;
    switch (frame[0]) {
        case cmd::kOnline:
            return 2;
        case cmd::kShutterOpen:
        case cmd::kShutterClose:
        case cmd::kFastMode:
        case cmd::kSoftMode:
        case cmd::kNdMode:
            return static_cast<int>(frame.size()) + 1;
        case cmd::kStop:
        case cmd::kPowerOn:
        case cmd::kPowerOff:
            return 1;
        case cmd::kSettings:
            break;
        default:
            return 0;
    }
    if (frame.size() < 2)
        return 0;
    switch (frame[1]) {
        case cmd::kRestoreDefaults:
        case cmd::kFreeRunOnPowerUp:
        case cmd::kFreeRunOnTrigger:
        case cmd::kFreeRunGo:
            return 0;
        case cmd::kSaveConfig:
            return 2;
        default:
            // Trigger, sync, both times and the repeat count: echo and ready byte.
            return static_cast<int>(frame.size()) + 1;
    }
}

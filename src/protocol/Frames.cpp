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

Frame TransferRepeatCountFrame(const std::string& repeatNumber)
{
    if (repeatNumber == "Continuous") {
        return Frame{cmd::kSettings, cmd::kRepeatCount, 0xFF, 0xFF};
    }
    return RepeatCountFrame(ReadInteger(repeatNumber));
}

Frame FreeRunFrame(int freeRunOption)
{
    if (freeRunOption < 0 || freeRunOption > 2) {
        return {};
    }
    return SettingsFrame(LowByte(cmd::kFreeRunOnPowerUp + freeRunOption));
}

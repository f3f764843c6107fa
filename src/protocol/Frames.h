#pragma once
// The command frames the controller understands. A frame is 1 to 6 bytes written in one go, with
// no length field, checksum or terminator: the controller tells a frame's length from its first
// byte, and for settings frames (0xFA) from the second.

#include <cstddef>
#include <cstdint>
#include <string>

#include "timing/TimeRecord.h"

namespace cmd {
inline constexpr uint8_t kOnline = 0xEE;
inline constexpr uint8_t kShutterOpen = 0xAA;
inline constexpr uint8_t kShutterClose = 0xAC;
inline constexpr uint8_t kFastMode = 0xDC;
inline constexpr uint8_t kSoftMode = 0xDD;
inline constexpr uint8_t kNdMode = 0xDE;
inline constexpr uint8_t kStop = 0xBF;
inline constexpr uint8_t kStatusRequest = 0xCC;
inline constexpr uint8_t kPowerOn = 0xCE;
inline constexpr uint8_t kPowerOff = 0xCF;
inline constexpr uint8_t kReset = 0xFB;
inline constexpr uint8_t kControllerInfo = 0xFD;
inline constexpr uint8_t kSettings = 0xFA;
// What the controller sends when a reset, a restore or a free run is over.
inline constexpr uint8_t kReady = 0x0D;

inline constexpr uint8_t kTriggerOff = 0xA0;
inline constexpr uint8_t kSyncOff = 0xB0;
inline constexpr uint8_t kRestoreDefaults = 0xC0;
inline constexpr uint8_t kSaveConfig = 0xC1;
inline constexpr uint8_t kRepeatCount = 0xF0;
inline constexpr uint8_t kFreeRunOnPowerUp = 0xF1;
inline constexpr uint8_t kFreeRunOnTrigger = 0xF2;
inline constexpr uint8_t kFreeRunGo = 0xF3;
}  // namespace cmd

// Up to six bytes, held by value: building a frame allocates nothing.
class Frame {
public:
    Frame() = default;
    Frame(std::initializer_list<uint8_t> bytes);

    const uint8_t* data() const { return m_bytes; }
    uint8_t* data() { return m_bytes; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    uint8_t operator[](std::size_t i) const { return m_bytes[i]; }
    bool operator==(const Frame& other) const;

    // "FA F0 01 2C", for messages and test output.
    std::string Hex() const;

private:
    uint8_t m_bytes[6] = {};
    std::size_t m_size = 0;
};

// Every number in a frame keeps only its low 8 bits.
constexpr uint8_t LowByte(int value)
{
    return static_cast<uint8_t>(static_cast<unsigned>(value) & 0xFFu);
}

Frame SingleByteFrame(uint8_t code);
// Shutter open for state 0, close for anything else (also none selected).
Frame ShutterFrame(int shutterState);
Frame NdModeFrame(int steps);
// Fast, Soft or Neutral density (with the step count) for modes 0, 1 and 2; empty for any other
// mode, none selected included.
Frame ModeFrame(int shutterMode, int ndSteps);
// Trigger off when no trigger mode is selected (-1), else A1 + the mode.
Frame TriggerFrame(int triggerMode);
// Sync off when no polarity is selected (-1), else B1 + the polarity.
Frame SyncFrame(int syncPolarity);
Frame SettingsFrame(uint8_t code);

enum class TimeKind { Closed, Exposure };
// FA, 10+h (closed) or 20+h (exposure), minutes and seconds in binary, then the milliseconds'
// three digits and the tenths packed one digit per nibble. Hours outside 0 to 15 go as the
// nearer end.
Frame EncodeTimeFrame(TimeKind kind, const TimeRecord& time);

Frame RepeatCountFrame(int count);
// The repeat count as the configuration transfer sends it: FF FF for exactly "Continuous",
// otherwise the integer reading of the text, high byte first.
Frame TransferRepeatCountFrame(const std::string& repeatNumber);
// Free run on power up, on trigger or go for options 0, 1 and 2; empty for any other option.
Frame FreeRunFrame(int freeRunOption);

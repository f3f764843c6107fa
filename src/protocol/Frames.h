#pragma once
// The command frames the controller understands. A frame is 1 to 6 bytes written in one go, with
// no length field, checksum or terminator: the controller tells a frame's length from its first
// byte, and for settings frames (0xFA) from the second.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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
// The steps dialog's check of a typed step count: why it is refused, or null. Only the low 8
// bits would go out, so a negative count would ask the controller for an unrelated one.
const char* NdStepsRefusal(std::string_view text);
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

// A repeat count as it goes out, and the repeat text it leaves in the panel ("Continuous" when
// a count too large for the frame went as continuous); "Left Cycle Number" follows that text.
struct RepeatCount {
    Frame frame;
    std::string repeatNumber;
};
// Why Send to Controller refuses the repeat text, or null: a negative count, whose low bytes
// would ask for an unrelated one.
const char* RepeatNumberRefusal(std::string_view repeatNumber);
// Send to Controller: the integer reading ("Continuous" reads as 0); above 65000 continuous.
RepeatCount SendRepeatCount(const std::string& repeatNumber);
// The configuration transfer: FF FF for exactly "Continuous", otherwise the integer reading,
// high byte first, without Send to Controller's limit; a count beyond 16 bits goes as continuous,
// as Send to Controller takes it, rather than as its low bits.
RepeatCount TransferRepeatCount(const std::string& repeatNumber);
// Free run on power up, on trigger or go for options 0, 1 and 2; empty for any other option.
Frame FreeRunFrame(int freeRunOption);

// How many bytes the controller answers a frame with at once: the echo of a setting and its
// ready byte, the online reply, the echo of the rest. Replies the decoder reads itself (status,
// identity) and ready bytes that come later (after a reset, a restore or a run) are not counted.
int ImmediateAnswerLength(const Frame& frame);

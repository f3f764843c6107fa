#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/Frames.h"

namespace {

TimeRecord T(std::string h, std::string m, std::string s, std::string ms, std::string t)
{
    return TimeRecord{std::move(h), std::move(m), std::move(s), std::move(ms), std::move(t)};
}

TEST(Frames, EveryCommandIsByteExact)
{
    struct Case {
        Frame frame;
        const char* bytes;
    };
    const std::vector<Case> cases = {
        {SingleByteFrame(cmd::kOnline), "EE"},
        {ShutterFrame(0), "AA"},
        {ShutterFrame(1), "AC"},
        {ShutterFrame(-1), "AC"},  // nothing selected closes
        {ModeFrame(0, 144), "DC"},
        {ModeFrame(1, 144), "DD"},
        {ModeFrame(2, 144), "DE 90"},
        {ModeFrame(2, 300), "DE 2C"},  // low 8 bits
        {ModeFrame(-1, 144), ""},
        {ModeFrame(3, 144), ""},
        {TriggerFrame(-1), "FA A0"},
        {TriggerFrame(0), "FA A1"},
        {TriggerFrame(1), "FA A2"},
        {TriggerFrame(2), "FA A3"},
        {TriggerFrame(3), "FA A4"},
        {SyncFrame(-1), "FA B0"},
        {SyncFrame(0), "FA B1"},
        {SyncFrame(1), "FA B2"},
        {SettingsFrame(cmd::kRestoreDefaults), "FA C0"},
        {SettingsFrame(cmd::kSaveConfig), "FA C1"},
        {EncodeTimeFrame(TimeKind::Closed, T("1", "2", "3", "456", "7")), "FA 11 02 03 45 67"},
        {EncodeTimeFrame(TimeKind::Exposure, T("", "", "59", "999", "9")), "FA 20 00 3B 99 99"},
        {EncodeTimeFrame(TimeKind::Exposure, T("", "", "", "50", "")), "FA 20 00 00 05 00"},
        {EncodeTimeFrame(TimeKind::Exposure, T("5", "", "", "", "")), "FA 25 00 00 00 00"},
        {EncodeTimeFrame(TimeKind::Closed, T("", "", "", "", "")), "FA 10 00 00 00 00"},
        {EncodeTimeFrame(TimeKind::Closed, T("0", "07", "0", "0", "0")), "FA 10 07 00 00 00"},
        // Minutes and seconds are binary, not packed decimal.
        {EncodeTimeFrame(TimeKind::Closed, T("", "45", "30", "", "")), "FA 10 2D 1E 00 00"},
        // Hours a loaded file may hold stay in their nibble, so the frame stays a time frame.
        {EncodeTimeFrame(TimeKind::Closed, T("34", "", "", "", "")), "FA 1F 00 00 00 00"},
        {EncodeTimeFrame(TimeKind::Closed, T("-1", "170", "", "", "")), "FA 10 AA 00 00 00"},
        {EncodeTimeFrame(TimeKind::Exposure, T("16", "", "", "", "")), "FA 2F 00 00 00 00"},
        {EncodeTimeFrame(TimeKind::Exposure, T("15", "", "", "", "")), "FA 2F 00 00 00 00"},
        {RepeatCountFrame(300), "FA F0 01 2C"},
        {TransferRepeatCount("300").frame, "FA F0 01 2C"},
        {TransferRepeatCount("Continuous").frame, "FA F0 FF FF"},
        {TransferRepeatCount("continuous").frame, "FA F0 00 00"},  // only the exact text
        {TransferRepeatCount("").frame, "FA F0 00 00"},
        {TransferRepeatCount("65535").frame, "FA F0 FF FF"},  // no Send to Controller limit
        // Beyond 16 bits: continuous, as Send to Controller reads it, never the low bits.
        {TransferRepeatCount(" 70000x").frame, "FA F0 FF FF"},
        {FreeRunFrame(0), "FA F1"},
        {FreeRunFrame(1), "FA F2"},
        {FreeRunFrame(2), "FA F3"},
        {FreeRunFrame(-1), ""},
        {FreeRunFrame(3), ""},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].frame.Hex(), cases[i].bytes) << "case " << i;
        EXPECT_EQ(cases[i].frame.empty(), cases[i].frame.size() == 0) << "case " << i;
    }
}

}  // namespace

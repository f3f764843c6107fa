// The .cfg reader on any bytes: a file loads whole or fails and changes nothing; what loads
// holds only values the controller takes, so Apply sends every field within its range; and every
// file saved from a loaded panel loads back the same.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "PanelFields.h"
#include "config/ConfigFile.h"
#include "protocol/ConfigTransfer.h"
#include "timing/IntegerReading.h"

namespace {

// A panel that differs from any default in every item, so a partial load shows.
PanelState PresetPanel()
{
    PanelState p;
    p.m_strUsbStatus = kUsbReady;
    p.m_nReceivedBytes = 77;
    p.m_nNdSteps = 50;
    p.m_nShutterState = 0;
    p.m_nShutterMode = 2;
    p.m_nSyncPolarity = 1;
    p.m_nTimerSelect = 1;
    p.m_strHours = "1";
    p.m_strMinutes = "2";
    p.m_strSeconds = "3";
    p.m_strMs = "4";
    p.m_strTenthMs = "5";
    p.m_nFreeRunOption = 1;
    p.m_strRepeatNumber = "preset";
    p.m_strLeftCycles = "left";
    p.m_nTriggerMode = 3;
    p.m_nClientHeight = 400;
    p.m_nScrollPos = 9;
    p.m_rcWindow = {1, 2, 3, 4};
    return p;
}

const TimeRecord kPresetClosed{"a", "b", "c", "d", "e"};
const TimeRecord kPresetExposure{"f", "g", "h", "i", "j"};

bool Within(int value, int low, int high)
{
    return value >= low && value <= high;
}

// A time frame as the controller reads it: hours in the kind's low nibble, then minutes,
// seconds and four decimal digits, and nothing past five hours.
bool TimeFrameFits(const Frame& f, std::uint8_t kind)
{
    const int hours = f[1] - kind;
    const bool digits =
        (f[4] >> 4) <= 9 && (f[4] & 0x0F) <= 9 && (f[5] >> 4) <= 9 && (f[5] & 0x0F) <= 9;
    const bool belowFive = f[2] == 0 && f[3] == 0 && f[4] == 0 && f[5] == 0;
    return f.size() == 6 && f[0] == cmd::kSettings && Within(hours, 0, 5) && f[2] < 60 &&
           f[3] < 60 && digits && (hours < 5 || belowFive);
}

// Apply from the loaded panel, every answer coming: each frame's every field within range.
void CheckApply(PanelState& panel, const TimeRecord& closed, const TimeRecord& exposure)
{
    const Frame shutter = ShutterFrame(panel.m_nShutterState);
    FUZZ_CHECK(shutter[0] == (panel.m_nShutterState == 0 ? cmd::kShutterOpen : cmd::kShutterClose));
    const std::string repeat = panel.m_strRepeatNumber;
    int received = 2;
    for (int band = 0; band < 7; ++band) {
        const TransferStep step = NextTransferStep(received, panel, closed, exposure);
        const Frame& f = step.frame;
        switch (band) {
            case 0:
                FUZZ_CHECK(f.empty() == (panel.m_nShutterMode == -1));
                if (f.empty())
                    return;  // no mode: the transfer waits for the next Apply
                FUZZ_CHECK(f == ModeFrame(panel.m_nShutterMode, panel.m_nNdSteps));
                FUZZ_CHECK(f[0] != cmd::kNdMode || f[1] <= 144);
                break;
            case 1:
                FUZZ_CHECK(f.size() == 2 && f[0] == cmd::kSettings && Within(f[1], 0xA0, 0xA4));
                break;
            case 2:
                FUZZ_CHECK(f.size() == 2 && f[0] == cmd::kSettings && Within(f[1], 0xB0, 0xB2));
                break;
            case 3:
                FUZZ_CHECK(TimeFrameFits(f, 0x10));
                break;
            case 4:
                FUZZ_CHECK(TimeFrameFits(f, 0x20));
                break;
            case 5: {
                // The count the text stands for, or continuous; never its low bits.
                FUZZ_CHECK(f.size() == 4 && f[0] == cmd::kSettings && f[1] == cmd::kRepeatCount);
                const int count = f[2] << 8 | f[3];
                const int meant = ReadInteger(repeat);
                FUZZ_CHECK(meant >= 0);
                if (repeat == "Continuous" || meant > 0xFFFF)
                    FUZZ_CHECK(count == 0xFFFF && panel.m_strRepeatNumber == "Continuous");
                else
                    FUZZ_CHECK(count == meant && panel.m_strRepeatNumber == repeat);
                FUZZ_CHECK(panel.m_strLeftCycles == panel.m_strRepeatNumber);
                break;
            }
            default:
                FUZZ_CHECK(step.ends);
                FUZZ_CHECK(f.empty() ? panel.m_nFreeRunOption == -1
                                     : f.size() == 2 && f[0] == cmd::kSettings &&
                                           Within(f[1], cmd::kFreeRunOnPowerUp, cmd::kFreeRunGo));
                return;
        }
        FUZZ_CHECK(!step.ends);
        received += step.answer;
    }
}

// A saved file loads back as what was saved.
void CheckSavedLoadsBack(const PanelState& panel, const TimeRecord& closed,
                         const TimeRecord& exposure)
{
    const ConfigFile held = ConfigFromPanel(panel, closed, exposure);
    const std::vector<std::uint8_t> saved = EncodeConfigFile(held);
    const ConfigLoad reloaded = ReadConfigFile(saved);
    FUZZ_CHECK(reloaded.config == held);
    FUZZ_CHECK(EncodeConfigFile(*reloaded.config) == saved);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const PanelState before = PresetPanel();
    PanelState panel = before;
    TimeRecord closed = kPresetClosed;
    TimeRecord exposure = kPresetExposure;

    const ConfigLoad load = LoadConfigFile(bytes, panel, closed, exposure);
    const bool loaded = load.config.has_value();
    const std::optional<ConfigFile> decoded = DecodeConfigFile(bytes);
    FUZZ_CHECK(load.endedEarly == !decoded.has_value());
    FUZZ_CHECK(loaded == (decoded && load.refusal.empty()));
    // A refusal is the box's one second line.
    FUZZ_CHECK(loaded || load.endedEarly ||
               (!load.refusal.empty() && load.refusal.find('\n') == std::string::npos));
    if (!loaded) {
        FUZZ_CHECK(SamePanel(panel, before));
        FUZZ_CHECK(closed == kPresetClosed && exposure == kPresetExposure);
        return 0;
    }

    // Every item taken, the left cycles restarted, nothing else touched.
    const ConfigFile held = ConfigFromPanel(panel, closed, exposure);
    FUZZ_CHECK(held == *decoded);
    FUZZ_CHECK(panel.m_strLeftCycles == panel.m_strRepeatNumber);
    PanelState rest = panel;
    ApplyConfigFile(ConfigFromPanel(before, kPresetClosed, kPresetExposure), rest, closed,
                    exposure);
    rest.m_strLeftCycles = before.m_strLeftCycles;
    FUZZ_CHECK(SamePanel(rest, before));

    // Anything after the eighteenth text is ignored.
    std::vector<std::uint8_t> longer(bytes.begin(), bytes.end());
    longer.push_back(0x05);
    FUZZ_CHECK(DecodeConfigFile(longer) == decoded);

    // Saved again, the file loads back as the same items, and saving that gives the same bytes:
    // a loaded text is Latin-1 already and a number reads back as itself. So it does after
    // Apply, which may have turned the repeat text into "Continuous".
    CheckSavedLoadsBack(panel, closed, exposure);
    CheckApply(panel, closed, exposure);
    CheckSavedLoadsBack(panel, closed, exposure);
    return 0;
}

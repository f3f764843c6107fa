// The .cfg reader on any bytes: a file loads whole or fails and changes nothing; what loads
// holds only values the controller takes, so Apply sends every field within its range; and every
// file saved from a loaded panel loads back the same.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "config/ConfigFile.h"
#include "protocol/ConfigTransfer.h"
#include "timing/IntegerReading.h"

namespace {

// A panel that differs from any default in every item, so a partial load shows.
const PanelState kPreset{.m_strUsbStatus = kUsbReady,
                         .m_nReceivedBytes = 77,
                         .m_nNdSteps = 50,
                         .m_nShutterState = 0,
                         .m_nShutterMode = 2,
                         .m_nSyncPolarity = 1,
                         .m_nTimerSelect = 1,
                         .m_strMinutes = "2",
                         .m_strSeconds = "3",
                         .m_strHours = "1",
                         .m_strMs = "4",
                         .m_strTenthMs = "5",
                         .m_nFreeRunOption = 1,
                         .m_strRepeatNumber = "preset",
                         .m_strLeftCycles = "left",
                         .m_nTriggerMode = 3,
                         .m_nClientHeight = 400,
                         .m_nScrollPos = 9,
                         .m_rcWindow = {1, 2, 3, 4}};
const TimeRecord kPresetClosed{"a", "b", "c", "d", "e"};
const TimeRecord kPresetExposure{"f", "g", "h", "i", "j"};

// Apply from the loaded panel, every answer coming: each frame's every field within range.
void CheckApply(PanelState& panel, const TimeRecord& closed, const TimeRecord& exposure)
{
    const Frame shutter = ShutterFrame(panel.m_nShutterState);
    FUZZ_CHECK(shutter[0] == (panel.m_nShutterState == 0 ? cmd::kShutterOpen : cmd::kShutterClose));
    const std::string repeat = panel.m_strRepeatNumber;
    // The settings frames after the mode by their second byte; a time frame holds hours in the
    // kind's low nibble, then minutes, seconds and four decimal digits, nothing past five hours.
    static constexpr int kLow[] = {0, 0xA0, 0xB0, 0x10, 0x20, 0xF0, 0xF1};
    static constexpr int kHigh[] = {0, 0xA4, 0xB2, 0x15, 0x25, 0xF0, 0xF3};
    static constexpr std::size_t kSize[] = {0, 2, 2, 6, 6, 4, 2};
    int received = 2;
    for (int band = 0; band < 7; ++band) {
        const TransferStep step = NextTransferStep(received, panel, closed, exposure);
        const Frame& f = step.frame;
        if (band == 0) {
            // No mode: the transfer waits for the next Apply.
            FUZZ_CHECK(f.empty() == (panel.m_nShutterMode == -1));
            if (f.empty())
                return;
            FUZZ_CHECK(f == ModeFrame(panel.m_nShutterMode, panel.m_nNdSteps));
            FUZZ_CHECK(f[0] != cmd::kNdMode || f[1] <= 144);
        } else if (band < 6 || !f.empty()) {
            FUZZ_CHECK(f.size() == kSize[band] && f[0] == cmd::kSettings && f[1] >= kLow[band] &&
                       f[1] <= kHigh[band]);
        }
        FUZZ_CHECK(step.ends == (band == 6) && (!f.empty() || panel.m_nFreeRunOption == -1));
        if (band == 3 || band == 4) {
            const bool belowFive = f[2] == 0 && f[3] == 0 && f[4] == 0 && f[5] == 0;
            FUZZ_CHECK(f[2] < 60 && f[3] < 60 && ((f[1] & 0x0F) < 5 || belowFive));
            for (int digit : {f[4] >> 4, f[4] & 0x0F, f[5] >> 4, f[5] & 0x0F})
                FUZZ_CHECK(digit <= 9);
        }
        if (band == 5) {
            // The count the text stands for, or continuous; never its low bits.
            const int count = f[2] << 8 | f[3], meant = ReadInteger(repeat);
            FUZZ_CHECK(meant >= 0 && panel.m_strLeftCycles == panel.m_strRepeatNumber);
            if (repeat == "Continuous" || meant > 0xFFFF)
                FUZZ_CHECK(count == 0xFFFF && panel.m_strRepeatNumber == "Continuous");
            else
                FUZZ_CHECK(count == meant && panel.m_strRepeatNumber == repeat);
        }
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
    PanelState panel = kPreset;
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
        FUZZ_CHECK(PanelFields(panel) == PanelFields(kPreset));
        FUZZ_CHECK(closed == kPresetClosed && exposure == kPresetExposure);
        return 0;
    }

    // Every item taken, the left cycles restarted, nothing else touched.
    const ConfigFile held = ConfigFromPanel(panel, closed, exposure);
    FUZZ_CHECK(held == *decoded);
    FUZZ_CHECK(panel.m_strLeftCycles == panel.m_strRepeatNumber);
    PanelState rest = panel;
    ApplyConfigFile(ConfigFromPanel(kPreset, kPresetClosed, kPresetExposure), rest, closed,
                    exposure);
    rest.m_strLeftCycles = kPreset.m_strLeftCycles;
    FUZZ_CHECK(PanelFields(rest) == PanelFields(kPreset));

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

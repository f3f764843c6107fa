// The .cfg reader on any bytes: a file loads whole or fails and changes nothing, and what loads
// saves to a file that loads back the same.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "PanelFields.h"
#include "config/ConfigFile.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const PanelState before = PresetPanel();
    PanelState panel = before;
    TimeRecord closed = kPresetClosed;
    TimeRecord exposure = kPresetExposure;

    const bool loaded = LoadConfigFile(bytes, panel, closed, exposure);
    const std::optional<ConfigFile> decoded = DecodeConfigFile(bytes);
    FUZZ_CHECK(loaded == decoded.has_value());
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
    // a loaded text is Latin-1 already and a number reads back as itself.
    const std::vector<std::uint8_t> saved = EncodeConfigFile(held);
    const std::optional<ConfigFile> reloaded = DecodeConfigFile(saved);
    FUZZ_CHECK(reloaded == held);
    FUZZ_CHECK(EncodeConfigFile(*reloaded) == saved);
    return 0;
}

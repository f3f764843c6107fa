#pragma once
// The .cfg file: the panel's controller settings as eighteen length-prefixed Latin-1 texts, with
// nothing before them. Texts here are UTF-8; they are converted at this boundary.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/PanelState.h"
#include "timing/TimeRecord.h"

// The eighteen items, in file order.
struct ConfigFile {
    int shutterState = -1;    // -1 none, 0 Open, 1 Close
    int shutterMode = -1;     // -1 none, 0 Fast, 1 Soft, 2 Neutral Density
    int ndSteps = 0;          // neutral-density step count
    int triggerMode = -1;     // -1 none, 0 to 3
    int syncPolarity = -1;    // -1 none, 0 High for Open, 1 Low for Open
    int timerSelect = -1;     // -1 none, 0 closed time, 1 exposure time
    TimeRecord closedTime;    // five texts, as stored
    TimeRecord exposureTime;  // five texts, as stored
    int freeRunOption = -1;   // -1 none, 0 On Power Up, 1 On Trigger Pulse, 2 Go
    std::string repeatNumber;

    bool operator==(const ConfigFile&) const = default;
};

std::vector<std::uint8_t> EncodeConfigFile(const ConfigFile& config);

// Nothing when the data ends before the eighteenth text is complete; a length running past the
// end counts as that. Numbers are read by ReadInteger and not range-checked (ReadConfigFile
// does that). Anything after the eighteenth text is ignored.
std::optional<ConfigFile> DecodeConfigFile(std::span<const std::uint8_t> data);

// The panel's eighteen items, as Save Config. writes them.
ConfigFile ConfigFromPanel(const PanelState& panel, const TimeRecord& closed,
                           const TimeRecord& exposure);

// Load Config.'s change to the panel's fields and the two time records: every item, and the
// left cycles restart from the repeat number. The controls are the caller's.
void ApplyConfigFile(const ConfigFile& config, PanelState& panel, TimeRecord& closed,
                     TimeRecord& exposure);

// The load rule: a file loads only when it is complete and every value in it is one the panel
// would have taken from the operator: each time text as the time editor checks it, the repeat
// text as Send to Controller reads it, the step count as the steps dialog checks it and each
// radio choice within its group or none. A text that is no number reads as 0, as it does there.
struct ConfigLoad {
    std::optional<ConfigFile> config;  // the file's items, when it loads
    bool endedEarly = false;           // else: it ends before the eighteenth text is complete,
    std::string refusal;               // or the first value refused and why, on one line
};
ConfigLoad ReadConfigFile(std::span<const std::uint8_t> data);

// The file at path, read (at most 16 MiB of it) and put to the load rule. failure, when set,
// says on one line why it could not be read: not a regular file (a pipe or a device would block
// or never end), the system's reason, or too large to be a configuration.
struct ConfigFileRead {
    ConfigLoad load;
    std::string failure;
};
ConfigFileRead ReadConfigFileAt(const std::string& path);

// ReadConfigFile, then ApplyConfigFile only when the file loads: otherwise nothing changes.
ConfigLoad LoadConfigFile(std::span<const std::uint8_t> data, PanelState& panel, TimeRecord& closed,
                          TimeRecord& exposure);

// Characters outside Latin-1 (and bytes that are not UTF-8) become '?', one per character.
std::string Utf8ToLatin1(std::string_view utf8);
std::string Latin1ToUtf8(std::string_view latin1);

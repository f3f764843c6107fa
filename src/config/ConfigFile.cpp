#include "config/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "protocol/Frames.h"
#include "timing/IntegerReading.h"

namespace {

// The length prefix: one byte below 0xFF; else 0xFF and 16 bits below 0xFFFF (0xFFFE marking
// 2-byte characters when reading); else 0xFF, 0xFFFF and 32 bits.
constexpr std::uint8_t kLong = 0xFF;
constexpr std::uint16_t kWideMarker = 0xFFFE;
constexpr std::uint16_t kVeryLong = 0xFFFF;

constexpr std::size_t kTextCount = 18;

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void WriteText(std::vector<std::uint8_t>& out, std::string_view utf8)
{
    const std::string text = Utf8ToLatin1(utf8);
    // Texts come from edit fields and decimal numbers, far below the 32-bit limit.
    const auto length = static_cast<std::uint32_t>(text.size());
    if (length < kLong) {
        out.push_back(static_cast<std::uint8_t>(length));
    } else if (length < kWideMarker) {
        out.push_back(kLong);
        PutLe(out, length, 2);
    } else {
        out.push_back(kLong);
        PutLe(out, kVeryLong, 2);
        PutLe(out, length, 4);
    }
    out.insert(out.end(), text.begin(), text.end());
}

void WriteInt(std::vector<std::uint8_t>& out, int value)
{
    WriteText(out, std::to_string(value));
}

// Reads forward through the file's bytes; every read checks what is left first.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data) : m_data(data) {}

    std::size_t Remaining() const { return m_data.size() - m_pos; }

    bool Le(std::uint32_t& value, int bytes)
    {
        if (Remaining() < static_cast<std::size_t>(bytes))
            return false;
        value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<std::uint32_t>(m_data[m_pos++]) << (8 * i);
        return true;
    }

    std::span<const std::uint8_t> Take(std::size_t count)
    {
        const auto part = m_data.subspan(m_pos, count);
        m_pos += count;
        return part;
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

// wide is null for the length that follows the 2-byte marker: there 0xFFFE is a length.
bool ReadLength(Reader& in, std::uint32_t& length, bool* wide)
{
    if (!in.Le(length, 1))
        return false;
    if (length != kLong)
        return true;
    if (!in.Le(length, 2))
        return false;
    if (length == kWideMarker && wide) {
        *wide = true;
        return ReadLength(in, length, nullptr);
    }
    return length != kVeryLong || in.Le(length, 4);
}

// A 2-byte-character text as Latin-1: a character outside it, a surrogate pair included,
// becomes one '?'.
std::string Utf16LeToLatin1(std::span<const std::uint8_t> bytes)
{
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = bytes[i] | (bytes[i + 1] << 8);
        const bool high = unit >= 0xD800 && unit < 0xDC00;
        if (high && i + 3 < bytes.size()) {
            const unsigned next = bytes[i + 2] | (bytes[i + 3] << 8);
            if (next >= 0xDC00 && next < 0xE000)
                i += 2;
        }
        out.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
    }
    return out;
}

// The text as UTF-8, or false when the file ends first.
bool ReadText(Reader& in, std::string& text)
{
    bool wide = false;
    std::uint32_t length = 0;
    if (!ReadLength(in, length, &wide))
        return false;
    // Compared with what is left before anything is taken, so a damaged length cannot make
    // the reader allocate or run past the end.
    if (length > in.Remaining() / (wide ? 2 : 1))
        return false;
    const auto bytes = in.Take(std::size_t{length} * (wide ? 2 : 1));
    if (wide) {
        text = Latin1ToUtf8(Utf16LeToLatin1(bytes));
    } else {
        text = Latin1ToUtf8({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeConfigFile(const ConfigFile& config)
{
    std::vector<std::uint8_t> out;
    for (int value : {config.shutterState, config.shutterMode, config.ndSteps, config.triggerMode,
                      config.syncPolarity, config.timerSelect})
        WriteInt(out, value);
    for (const TimeRecord* record : {&config.closedTime, &config.exposureTime})
        for (auto field : kTimeRecordFields) WriteText(out, record->*field);
    WriteInt(out, config.freeRunOption);
    WriteText(out, config.repeatNumber);
    return out;
}

namespace {

using Texts = std::array<std::string, kTextCount>;

std::optional<Texts> ReadTexts(std::span<const std::uint8_t> data)
{
    Reader in(data);
    Texts texts;
    for (std::string& text : texts)
        if (!ReadText(in, text))
            return std::nullopt;
    return texts;
}

ConfigFile ConfigFromTexts(Texts texts)
{
    ConfigFile config;
    auto next = texts.begin();
    for (int* value : {&config.shutterState, &config.shutterMode, &config.ndSteps,
                       &config.triggerMode, &config.syncPolarity, &config.timerSelect})
        *value = ReadInteger(*next++);
    for (TimeRecord* record : {&config.closedTime, &config.exposureTime})
        for (auto field : kTimeRecordFields) record->*field = std::move(*next++);
    config.freeRunOption = ReadInteger(*next++);
    config.repeatNumber = std::move(*next);
    return config;
}

// The items in file order, for messages; the radio groups with their last choice.
struct Item {
    const char* name;
    int lastChoice;  // a radio group: -1 (none) to this; 0 for other items
};
constexpr Item kItems[kTextCount] = {
    {"Shutter state", 1},
    {"Shutter mode", 2},
    {"Neutral-density step count", 0},
    {"Trigger mode", 3},
    {"Sync polarity", 1},
    {"Timer selection", 1},
    {"Closed time hours", 0},
    {"Closed time minutes", 0},
    {"Closed time seconds", 0},
    {"Closed time milliseconds", 0},
    {"Closed time 1/10 milliseconds", 0},
    {"Exposure time hours", 0},
    {"Exposure time minutes", 0},
    {"Exposure time seconds", 0},
    {"Exposure time milliseconds", 0},
    {"Exposure time 1/10 milliseconds", 0},
    {"Free-run option", 2},
    {"Repeat number", 0},
};
constexpr std::size_t kStepsItem = 2;
constexpr std::size_t kClosedItem = 6;
constexpr std::size_t kExposureItem = 11;
constexpr std::size_t kRepeatItem = 17;

std::string Refusal(const Texts& texts, std::size_t item, const char* reason)
{
    // A refused text can be any length; its start names it well enough.
    constexpr std::size_t kShown = 24;
    const std::string& text = texts[item];
    std::size_t cut = std::min(text.size(), kShown);
    while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;  // not inside a character
    std::string shown = cut == text.size() ? text : text.substr(0, cut) + "...";
    // The message is one line, whatever the file holds.
    std::replace_if(
        shown.begin(), shown.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '?');
    return std::string(kItems[item].name) + " \"" + shown + "\": " + reason;
}

// The first value the panel would refuse, in file order, or empty.
std::string CheckTexts(const Texts& texts)
{
    for (std::size_t item = 0; item < kTextCount; ++item) {
        const char* reason = nullptr;
        const int last = kItems[item].lastChoice;
        if (last != 0) {
            const int choice = ReadInteger(texts[item]);
            if (choice < -1 || choice > last)
                reason = "there is no such choice.";
        } else if (item == kStepsItem) {
            reason = NdStepsRefusal(texts[item]);
        } else if (item == kClosedItem || item == kExposureItem) {
            const TimeRecord record{texts[item], texts[item + 1], texts[item + 2], texts[item + 3],
                                    texts[item + 4]};
            if (const std::optional<TimeRefusal> refused = CheckTimeRecord(record))
                return Refusal(texts, item + refused->field, refused->reason);
        } else if (item == kRepeatItem) {
            reason = RepeatNumberRefusal(texts[item]);
        }
        if (reason)
            return Refusal(texts, item, reason);
    }
    return {};
}

}  // namespace

std::optional<ConfigFile> DecodeConfigFile(std::span<const std::uint8_t> data)
{
    std::optional<Texts> texts = ReadTexts(data);
    if (!texts)
        return std::nullopt;
    return ConfigFromTexts(std::move(*texts));
}

ConfigFile ConfigFromPanel(const PanelState& panel, const TimeRecord& closed,
                           const TimeRecord& exposure)
{
    return {panel.m_nShutterState,  panel.m_nShutterMode,   panel.m_nNdSteps, panel.m_nTriggerMode,
            panel.m_nSyncPolarity,  panel.m_nTimerSelect,   closed,           exposure,
            panel.m_nFreeRunOption, panel.m_strRepeatNumber};
}

void ApplyConfigFile(const ConfigFile& config, PanelState& panel, TimeRecord& closed,
                     TimeRecord& exposure)
{
    panel.m_nShutterState = config.shutterState;
    panel.m_nShutterMode = config.shutterMode;
    panel.m_nNdSteps = config.ndSteps;
    closed = config.closedTime;
    exposure = config.exposureTime;
    panel.m_nTriggerMode = config.triggerMode;
    panel.m_nSyncPolarity = config.syncPolarity;
    panel.m_nTimerSelect = config.timerSelect;
    panel.m_nFreeRunOption = config.freeRunOption;
    panel.m_strRepeatNumber = config.repeatNumber;
    panel.m_strLeftCycles = panel.m_strRepeatNumber;
}

ConfigLoad ReadConfigFile(std::span<const std::uint8_t> data)
{
    std::optional<Texts> texts = ReadTexts(data);
    if (!texts)
        return {std::nullopt, true, {}};
    std::string refusal = CheckTexts(*texts);
    if (!refusal.empty())
        return {std::nullopt, false, std::move(refusal)};
    return {ConfigFromTexts(std::move(*texts)), false, {}};
}

ConfigFileRead ReadConfigFileAt(const std::string& path)
{
    // Far beyond any file the panel writes (its texts come from edit fields); a larger pick is
    // not a configuration, and reading it whole could exhaust memory.
    constexpr std::size_t kMaxBytes = 16 * 1024 * 1024;
    ConfigFileRead read;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        read.failure = "It is not a regular file.";
        return read;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        read.failure = std::strerror(errno);
        return read;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    while (bytes.size() < kMaxBytes) {
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, kMaxBytes - bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            read.failure = std::strerror(errno);
        if (n <= 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    if (!read.failure.empty())
        return read;
    read.load = ReadConfigFile(bytes);
    if (read.load.endedEarly && bytes.size() >= kMaxBytes)
        read.failure = "The file is too large to be a configuration.";
    return read;
}

ConfigLoad LoadConfigFile(std::span<const std::uint8_t> data, PanelState& panel, TimeRecord& closed,
                          TimeRecord& exposure)
{
    ConfigLoad load = ReadConfigFile(data);
    if (load.config)
        ApplyConfigFile(*load.config, panel, closed, exposure);
    return load;
}

std::string Utf8ToLatin1(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        // Sequence length and the smallest code point it may carry (shorter forms are invalid).
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        char32_t cp = length == 0 || lead >= 0xF8 ? 0 : lead & (0x7F >> length);
        std::size_t n = 1;
        for (; length != 0 && n < length && i + n < utf8.size(); ++n) {
            const auto c = static_cast<unsigned char>(utf8[i + n]);
            if ((c & 0xC0) != 0x80)
                break;
            cp = (cp << 6) | (c & 0x3F);
        }
        const bool valid = length != 0 && lead < 0xF8 && n == length && cp >= kMinimum[length] &&
                           cp <= 0x10FFFF && !(cp >= 0xD800 && cp < 0xE000);
        if (valid) {
            out.push_back(cp <= 0xFF ? static_cast<char>(cp) : '?');
            i += length;
        } else {
            // Not UTF-8: this byte alone is one unknown character.
            out.push_back('?');
            ++i;
        }
    }
    return out;
}

std::string Latin1ToUtf8(std::string_view latin1)
{
    std::string out;
    out.reserve(latin1.size());
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

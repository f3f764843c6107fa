// The .cfg codec and its load rule: what Save Config. writes, what Load Config. takes back, and
// what it refuses without changing anything.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "config/ConfigFile.h"
#include "unit/Rows.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Close, Fast, 0 steps, Enable on High, Low for Open, closed time selected, closed 1:2:3:456:7,
// exposure empty, Go, repeat "10".
const ConfigFile kExample{1, 0, 0, 0, 1, 0, {"1", "2", "3", "456", "7"}, {}, 2, "10"};
const Bytes kExampleBytes{0x01, 0x31, 0x01, 0x30, 0x01, 0x30, 0x01, 0x30, 0x01, 0x31, 0x01, 0x30,
                          0x01, 0x31, 0x01, 0x32, 0x01, 0x33, 0x03, 0x34, 0x35, 0x36, 0x01, 0x37,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x32, 0x02, 0x31, 0x30};

std::string WriteFile(const std::string& name, const Bytes& bytes)
{
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// Panel states the operator can make, at random.
std::vector<ConfigFile> PanelStates()
{
    std::mt19937 random(11);
    const auto pick = [&random](int from, int to) { return from + int(random() % (to - from + 1)); };
    const auto text = [&](int below) {
        const int v = pick(-1, below - 1);
        return v < 0 ? std::string() : (pick(0, 3) == 0 ? "0" : "") + std::to_string(v);
    };
    const auto time = [&] {
        return TimeRecord{text(5), text(60), text(60), text(1000), text(10)};
    };
    const std::string repeats[] = {"", "Continuous", "65000", "70000", "12 cycles",
                                   "\u00e9 \u00b5s", std::string(300, '9')};
    std::vector<ConfigFile> states = {{}, kExample};
    for (int i = 0; i < 100; ++i)
        states.push_back({pick(-1, 1), pick(-1, 2), pick(0, 144), pick(-1, 3), pick(-1, 1),
                          pick(-1, 1), time(), time(), pick(-1, 2),
                          pick(0, 1) ? std::to_string(pick(0, 70000)) : repeats[pick(0, 6)]});
    return states;
}

TEST(ConfigFile, ExampleIsWrittenByteForByteAndReadBack)
{
    EXPECT_EQ(EncodeConfigFile(kExample), kExampleBytes);
    Bytes trailing = kExampleBytes;  // data after the eighteenth text is ignored
    trailing.insert(trailing.end(), {0x05, 'x', 0xFF, 0xFF});
    EXPECT_EQ(DecodeConfigFile(trailing), kExample);
}

// Every state saved loads back the same, with the left cycles restarted from the repeat
// number; every file cut short is refused and changes nothing.
TEST(ConfigFile, EverySavedStateLoadsBackTheSameAndEveryTruncationChangesNothing)
{
    const std::vector<ConfigFile> states = PanelStates();
    for (std::size_t i = 0; i < states.size(); ++i) {
        const ConfigFile& state = states[i];
        SCOPED_TRACE("state " + std::to_string(i));
        PanelState saved;
        TimeRecord closed, exposure;
        ApplyConfigFile(state, saved, closed, exposure);
        const Bytes bytes = EncodeConfigFile(ConfigFromPanel(saved, closed, exposure));
        const ConfigFileRead read = ReadConfigFileAt(WriteFile("state.cfg", bytes));
        ASSERT_EQ(read.failure, "");
        ASSERT_EQ(read.load.refusal, "");
        ASSERT_TRUE(read.load.config);
        PanelState loaded;
        loaded.m_strLeftCycles = "7";
        TimeRecord loadedClosed{"9", "", "", "", ""}, loadedExposure{"", "9", "", "", ""};
        ApplyConfigFile(*read.load.config, loaded, loadedClosed, loadedExposure);
        EXPECT_EQ(ConfigFromPanel(loaded, loadedClosed, loadedExposure), state);
        EXPECT_EQ(loaded.m_strLeftCycles, state.repeatNumber);
        if (i % 10 != 0)
            continue;
        for (std::size_t n = 0; n < bytes.size(); ++n) {
            const ConfigLoad load =
                LoadConfigFile({bytes.data(), n}, loaded, loadedClosed, loadedExposure);
            ASSERT_TRUE(load.endedEarly) << n;
            ASSERT_FALSE(load.config) << n;
        }
        EXPECT_EQ(ConfigFromPanel(loaded, loadedClosed, loadedExposure), state);
    }
}

TEST(ConfigFile, LengthPrefixTakesTheShortestFormAndReadsBack)
{
    const std::pair<std::size_t, const char*> cases[] = {
        {254, "FE"}, {255, "FF FF 00"}, {65533, "FF FD FF"}, {65534, "FF FF FF FE FF 00 00"},
        {70000, "FF FF FF 70 11 01 00"}};
    const std::size_t head = EncodeConfigFile({}).size() - 1;  // all but the empty repeat text
    for (const auto& [length, hex] : cases) {
        const Bytes prefix = Hex(hex);
        ConfigFile config;
        config.repeatNumber = std::string(length, '7');
        const Bytes bytes = EncodeConfigFile(config);
        ASSERT_EQ(bytes.size(), head + prefix.size() + length) << length;
        EXPECT_EQ(Bytes(bytes.begin() + head, bytes.begin() + head + prefix.size()), prefix);
        EXPECT_EQ(DecodeConfigFile(bytes), config) << length;
    }
}

TEST(ConfigFile, TextsAreLatin1OnDiskAndTwoByteTextsAreRead)
{
    ConfigFile config;
    // e acute, then characters Latin-1 lacks: euro sign, a CJK ideograph, an emoji.
    config.repeatNumber = "\u00e9\u20ac\u4e2d\U0001F600x";
    config.closedTime.hours = "\xff\xc3";  // not UTF-8 at all
    const Bytes bytes = EncodeConfigFile(config);
    EXPECT_EQ(Bytes(bytes.end() - 6, bytes.end()), (Bytes{0x05, 0xE9, '?', '?', '?', 'x'}));
    EXPECT_EQ(DecodeConfigFile(bytes)->repeatNumber, "\u00e9???x");
    EXPECT_EQ(DecodeConfigFile(bytes)->closedTime.hours, "??");

    for (const Row& row : Rows("config-last-texts.txt")) {
        Bytes file;
        for (int i = 0; i < 17; ++i) file.insert(file.end(), {0x01, '0'});
        const Bytes last = Hex(row[0]);
        file.insert(file.end(), last.begin(), last.end());
        const auto decoded = DecodeConfigFile(file);
        EXPECT_EQ(decoded ? decoded->repeatNumber : "refused", row[1]) << row[0];
    }
}

// A file loads only with values the panel would take from the operator; the first refused one
// in file order is named with the reason its own check gives, on one line.
TEST(ConfigFile, LoadsOnlyWhatThePanelWouldTake)
{
    const auto texts = [](std::vector<std::pair<std::size_t, std::string>> changes) {
        std::vector<std::string> t{"1", "0", "0", "0", "1", "0", "1", "2", "3",
                                   "456", "7", "", "", "", "", "", "2", "10"};
        for (const auto& [item, text] : changes) t[item] = text;
        Bytes out;
        for (const std::string& text : t) {
            out.push_back(static_cast<std::uint8_t>(text.size()));
            out.insert(out.end(), text.begin(), text.end());
        }
        return out;
    };
    // Each radio group takes none (-1) up to its last choice.
    for (const auto& [item, last] : {std::pair<std::size_t, int>{0, 1}, {1, 2}, {3, 3}, {4, 1},
                                     {5, 1}, {16, 2}}) {
        for (int v = -2; v <= last + 1; ++v) {
            const bool refused = v < -1 || v > last;
            const ConfigLoad load = ReadConfigFile(texts({{item, std::to_string(v)}}));
            EXPECT_EQ(load.config.has_value(), !refused) << item << " " << v;
            EXPECT_EQ(load.refusal.ends_with("\": there is no such choice."), refused) << item;
        }
    }
    for (const Row& row : Rows("config-load-rule.txt")) {
        std::vector<std::pair<std::size_t, std::string>> changes;
        for (std::size_t from = 0, end = 0; end != std::string::npos; from = end + 2) {
            end = row[0].find("; ", from);
            const std::string change = row[0].substr(from, end - from);
            changes.emplace_back(std::stoul(change), change.substr(change.find('=') + 1));
        }
        const Bytes bytes = texts(changes);
        const ConfigLoad load = ReadConfigFile(bytes);
        const bool loads = row[1] == "loads";
        EXPECT_FALSE(load.endedEarly);
        EXPECT_EQ(load.refusal, loads ? "" : row[1]);
        EXPECT_EQ(load.config, loads ? DecodeConfigFile(bytes) : std::nullopt) << row[1];
    }
}

TEST(ConfigFile, WhatCannotBeReadSaysWhy)
{
    // A length past the end, in a file of 17 MiB.
    const std::string large = WriteFile("large.cfg", Bytes(7, 0xFF));
    std::filesystem::resize_file(large, 17 << 20);
    const std::pair<std::string, std::string> cases[] = {
        {testing::TempDir(), "It is not a regular file."},
        {"/dev/null", "It is not a regular file."},  // a device would never end
        {testing::TempDir() + "missing.cfg", "No such file or directory"},
        {large, "The file is too large to be a configuration."},
    };
    for (const auto& [path, failure] : cases) EXPECT_EQ(ReadConfigFileAt(path).failure, failure);
    std::filesystem::remove(large);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/ConfigFile.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Close, Fast, 0 steps, Enable on High, Low for Open, closed time selected, closed 1:2:3:456:7,
// exposure empty, Go, repeat "10".
const ConfigFile kExample{1, 0, 0, 0, 1, 0, {"1", "2", "3", "456", "7"}, {}, 2, "10"};
const Bytes kExampleBytes{0x01, 0x31, 0x01, 0x30, 0x01, 0x30, 0x01, 0x30, 0x01, 0x31, 0x01, 0x30,
                          0x01, 0x31, 0x01, 0x32, 0x01, 0x33, 0x03, 0x34, 0x35, 0x36, 0x01, 0x37,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x32, 0x02, 0x31, 0x30};

std::optional<ConfigFile> Decode(const Bytes& bytes)
{
    return DecodeConfigFile(bytes);
}

// Seventeen one-character texts "0", then the given last text.
Bytes SeventeenTextsAnd(const Bytes& last)
{
    Bytes out;
    for (int i = 0; i < 17; ++i) out.insert(out.end(), {0x01, '0'});
    out.insert(out.end(), last.begin(), last.end());
    return out;
}

TEST(ConfigFile, ExampleIsWrittenByteForByteAndReadBack)
{
    EXPECT_EQ(EncodeConfigFile(kExample), kExampleBytes);
    EXPECT_EQ(Decode(kExampleBytes), kExample);
    Bytes trailing = kExampleBytes;  // data after the eighteenth text is ignored
    trailing.insert(trailing.end(), {0x05, 'x', 0xFF, 0xFF});
    EXPECT_EQ(Decode(trailing), kExample);
}

TEST(ConfigFile, EveryItemRoundTrips)
{
    const ConfigFile cases[] = {
        {},  // nothing selected: every number -1 (steps 0), every text empty
        {0, 2, 144, 3, 0, 1, {"5", "07", "", "999", "9"}, {"0", "59", "59", "0", "1"}, 1,
         "Continuous"},
        {-1, 7, 255, 2, -1, -1, {"x", " 3", "-4", "abc", ""}, {}, 0, "65000"},
        {2147483647, -2147483647 - 1, -5, 1, 1, 0, {}, {"", "", "", "", "9"}, 2, ""},
        // Latin-1 characters beyond ASCII survive as themselves.
        {0, 0, 0, 0, 0, 0, {"\u00e9", "\u00ff", "", "", ""}, {}, 0, "10 \u00b5s"},
    };
    for (const ConfigFile& c : cases)
        EXPECT_EQ(Decode(EncodeConfigFile(c)), c) << "repeat " << c.repeatNumber;
}

TEST(ConfigFile, LengthPrefixTakesTheShortestFormAndReadsBack)
{
    const std::pair<std::size_t, Bytes> cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    const std::size_t head = EncodeConfigFile({}).size() - 1;  // all but the empty repeat text
    for (const auto& [length, prefix] : cases) {
        ConfigFile config;
        config.repeatNumber = std::string(length, '7');
        const Bytes bytes = EncodeConfigFile(config);
        ASSERT_EQ(bytes.size(), head + prefix.size() + length) << length;
        EXPECT_EQ(Bytes(bytes.begin() + head, bytes.begin() + head + prefix.size()), prefix)
            << length;
        EXPECT_EQ(Decode(bytes), config) << length;
    }
}

TEST(ConfigFile, TextsAreLatin1OnDisk)
{
    ConfigFile config;
    // e acute, then characters Latin-1 lacks: euro sign, a CJK ideograph, an emoji.
    config.repeatNumber = "\u00e9\u20ac\u4e2d\U0001F600x";
    config.closedTime.hours = "\xff\xc3";  // not UTF-8 at all
    const Bytes bytes = EncodeConfigFile(config);
    EXPECT_EQ(Bytes(bytes.end() - 6, bytes.end()), (Bytes{0x05, 0xE9, '?', '?', '?', 'x'}));
    EXPECT_EQ(Decode(bytes)->repeatNumber, "\u00e9???x");
    EXPECT_EQ(Decode(bytes)->closedTime.hours, "??");
}

TEST(ConfigFile, TwoByteCharacterTextsAreReadAndLengthsPastTheEndFail)
{
    struct Case {
        const char* name;
        Bytes last;  // the eighteenth text
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"short", {0xFF, 0xFE, 0xFF, 0x02, '1', 0x00, '0', 0x00}, "10"},
        {"Latin-1 and beyond",
         {0xFF, 0xFE, 0xFF, 0x03, 0xE9, 0x00, 0xAC, 0x20, '!', 0x00},
         "\u00e9?!"},
        {"surrogate pair is one character",
         {0xFF, 0xFE, 0xFF, 0x03, 0x3D, 0xD8, 0x00, 0xDE, 'x', 0x00},
         "?x"},
        {"lone surrogates", {0xFF, 0xFE, 0xFF, 0x02, 0x00, 0xDE, 0x3D, 0xD8}, "??"},
        {"empty", {0xFF, 0xFE, 0xFF, 0x00}, ""},
        {"16-bit length", {0xFF, 0xFE, 0xFF, 0xFF, 0x01, 0x00, 'C', 0x00}, "C"},
        {"32-bit length", {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 'C', 0x00}, "C"},
        // Announced lengths no allocation may trust.
        {"4 GiB", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'x'}, std::nullopt},
        {"one byte short", {0xFF, 0xFE, 0xFF, 0x02, '1', 0x00, '0'}, std::nullopt},
        {"wide 2 Gi", {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'x', 0x00},
         std::nullopt},
    };
    for (const Case& c : cases) {
        const auto config = Decode(SeventeenTextsAnd(c.last));
        ASSERT_EQ(config.has_value(), c.expected.has_value()) << c.name;
        if (config) {
            EXPECT_EQ(config->repeatNumber, *c.expected) << c.name;
        }
    }
    // A number in 2-byte characters reads as the number.
    Bytes bytes{0xFF, 0xFE, 0xFF, 0x02, '-', 0x00, '1', 0x00};
    bytes.resize(bytes.size() + 17, 0x00);
    EXPECT_EQ(Decode(bytes)->shutterState, -1);
}

// The eighteen texts of the example, with some replaced (each under 255 bytes).
Bytes ExampleWith(const std::vector<std::pair<std::size_t, std::string>>& changes)
{
    std::vector<std::string> texts{"1", "0", "0", "0", "1", "0", "1", "2", "3",
                                   "456", "7", "",  "",  "",  "",  "",  "2", "10"};
    for (const auto& [item, text] : changes) texts[item] = text;
    Bytes out;
    for (const std::string& text : texts) {
        out.push_back(static_cast<std::uint8_t>(text.size()));
        out.insert(out.end(), text.begin(), text.end());
    }
    return out;
}

// A file loads only with values the panel would take from the operator; the first refused one
// is named with the reason its own check gives.
TEST(ConfigFile, LoadsOnlyWhatThePanelWouldTake)
{
    const std::pair<std::vector<std::pair<std::size_t, std::string>>, std::string> cases[] = {
        // Taken: choices within their groups or none, texts the editor and dialogs read as 0,
        // the largest values, the five hours with nothing below them.
        {{{0, "-1"}, {1, "2"}, {3, "3"}, {4, "-1"}, {5, "1"}, {16, "-1"}}, ""},
        {{{2, "abc"}, {6, "x"}, {8, " 3"}, {17, "Continuous"}}, ""},
        {{{2, "144"}, {6, "4"}, {7, "59"}, {8, "59"}, {9, "999"}, {10, "9"}, {17, "70000"}}, ""},
        {{{11, "5"}, {12, "0"}, {13, ""}, {14, "00"}, {15, "z"}}, ""},
        // Refused, the first in file order named.
        {{{0, "2"}, {1, "7"}}, "Shutter state \"2\": there is no such choice."},
        {{{1, "-2"}}, "Shutter mode \"-2\": there is no such choice."},
        {{{2, "145"}}, "Neutral-density step count \"145\": Steps must be less than 145."},
        {{{2, "-1"}}, "Neutral-density step count \"-1\": Steps must be between 0 and 144."},
        {{{2, ""}}, "Neutral-density step count \"\": No steps."},
        {{{3, "4"}}, "Trigger mode \"4\": there is no such choice."},
        {{{4, "2"}}, "Sync polarity \"2\": there is no such choice."},
        {{{5, "-3"}}, "Timer selection \"-3\": there is no such choice."},
        {{{16, "3"}}, "Free-run option \"3\": there is no such choice."},
        {{{6, "6"}}, "Closed time hours \"6\": Hours number must be less than 6!"},
        {{{7, "-7"}}, "Closed time minutes \"-7\": Minutes number must be less than 60!"},
        {{{13, "60"}}, "Exposure time seconds \"60\": Seconds number must be less than 60!"},
        {{{14, "1000"}},
         "Exposure time milliseconds \"1000\": Milliseconds number must be less than 1000!"},
        {{{15, "10"}},
         "Exposure time 1/10 milliseconds \"10\": 1/10 Milliseconds number must be less than 10!"},
        {{{11, "5"}, {15, "1"}},
         "Exposure time 1/10 milliseconds \"1\": Timer has reached the maximum value - 5 hours."},
        {{{7, "2147483648"}},
         "Closed time minutes \"2147483648\": Minutes number must be less than 60!"},
        {{{17, "-12"}}, "Repeat number \"-12\": Repeat number must not be negative!"},
        // A long text is cut, a line break in it does not break the message's line.
        {{{17, "-" + std::string(30, '1')}},
         "Repeat number \"-11111111111111111111111...\": Repeat number must not be negative!"},
        {{{0, "\n5"}}, "Shutter state \"?5\": there is no such choice."},
        // As found in the field: everything out of range.
        {{{1, "7"}, {3, "9"}, {4, "5"}, {6, "99"}, {7, "-7"}, {8, "300"}, {9, "12345"}, {17, "-12"}},
         "Shutter mode \"7\": there is no such choice."},
    };
    for (const auto& [changes, refusal] : cases) {
        const Bytes bytes = ExampleWith(changes);
        const ConfigLoad load = ReadConfigFile(bytes);
        EXPECT_FALSE(load.endedEarly);
        EXPECT_EQ(load.refusal, refusal);
        EXPECT_EQ(load.config, refusal.empty() ? Decode(bytes) : std::nullopt) << refusal;
    }
    EXPECT_TRUE(ReadConfigFile(Bytes(kExampleBytes.begin(), kExampleBytes.end() - 1)).endedEarly);
}

TEST(ConfigFile, EveryTruncationFails)
{
    ConfigFile config = kExample;
    config.repeatNumber = std::string(300, '1');
    config.exposureTime.hours = std::string(70000, '2');
    Bytes wide = SeventeenTextsAnd({0xFF, 0xFE, 0xFF, 0xFF, 0x03, 0x01});
    wide.resize(wide.size() + 2 * 0x0103, '0');
    for (const Bytes& full : {kExampleBytes, EncodeConfigFile(config), wide}) {
        ASSERT_TRUE(Decode(full));
        for (std::size_t n = 0; n < full.size(); ++n)
            ASSERT_FALSE(Decode(Bytes(full.begin(), full.begin() + n)))
                << n << " of " << full.size();
    }
}

}  // namespace

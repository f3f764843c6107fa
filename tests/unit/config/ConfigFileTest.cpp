#include <gtest/gtest.h>

#include <cstdint>
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

void Append(Bytes& out, std::initializer_list<int> bytes)
{
    for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
}

// Seventeen one-character texts "0", to be followed by a last text written by the test.
Bytes SeventeenTexts()
{
    Bytes out;
    for (int i = 0; i < 17; ++i) Append(out, {0x01, '0'});
    return out;
}

TEST(ConfigFile, ExampleIsWrittenByteForByteAndReadBack)
{
    EXPECT_EQ(EncodeConfigFile(kExample), kExampleBytes);
    EXPECT_EQ(Decode(kExampleBytes), kExample);
}

TEST(ConfigFile, EveryItemRoundTrips)
{
    const ConfigFile cases[] = {
        {},  // nothing selected: every number -1 (steps 0), every text empty
        {0,
         2,
         144,
         3,
         0,
         1,
         {"5", "07", "", "999", "9"},
         {"0", "59", "59", "0", "1"},
         1,
         "Continuous"},
        {-1, 7, 255, 2, -1, -1, {"x", " 3", "-4", "abc", ""}, {}, 0, "65000"},
        {2147483647, -2147483647 - 1, -5, 1, 1, 0, {}, {"", "", "", "", "9"}, 2, ""},
        // Latin-1 characters beyond ASCII survive as themselves.
        {0, 0, 0, 0, 0, 0, {"\u00e9", "\u00ff", "", "", ""}, {}, 0, "10 \u00b5s"},
        {1, 1, 1, 1, 1, 1, {}, {}, 2, std::string(254, '7')},
        {1, 1, 1, 1, 1, 1, {}, {}, 2, std::string(255, '7')},
        {1, 1, 1, 1, 1, 1, {}, {}, 2, std::string(65533, '7')},
        {1, 1, 1, 1, 1, 1, {}, {}, 2, std::string(65534, '7')},
        {1, 1, 1, 1, 1, 1, {}, {}, 2, std::string(70000, '7')},
    };
    for (const ConfigFile& c : cases) {
        EXPECT_EQ(Decode(EncodeConfigFile(c)), c) << "repeat of " << c.repeatNumber.size();
    }
}

TEST(ConfigFile, LengthPrefixTakesTheShortestForm)
{
    struct Case {
        std::size_t length;
        Bytes prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    const std::size_t head = EncodeConfigFile({}).size() - 1;  // all but the empty repeat text
    for (const Case& c : cases) {
        ConfigFile config;
        config.repeatNumber = std::string(c.length, 'x');
        const Bytes bytes = EncodeConfigFile(config);
        ASSERT_EQ(bytes.size(), head + c.prefix.size() + c.length) << c.length;
        EXPECT_EQ(Bytes(bytes.begin() + head, bytes.begin() + head + c.prefix.size()), c.prefix)
            << c.length;
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

TEST(ConfigFile, TwoByteCharacterTextsAreRead)
{
    struct Case {
        const char* name;
        Bytes last;  // the eighteenth text
        std::string expected;
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
    };
    for (const Case& c : cases) {
        Bytes bytes = SeventeenTexts();
        bytes.insert(bytes.end(), c.last.begin(), c.last.end());
        const auto config = Decode(bytes);
        ASSERT_TRUE(config) << c.name;
        EXPECT_EQ(config->repeatNumber, c.expected) << c.name;
    }
    // A number in 2-byte characters reads as the number.
    Bytes bytes{0xFF, 0xFE, 0xFF, 0x02, '-', 0x00, '1', 0x00};
    for (int i = 0; i < 17; ++i) Append(bytes, {0x00});
    EXPECT_EQ(Decode(bytes)->shutterState, -1);
}

TEST(ConfigFile, DataAfterTheEighteenthTextIsIgnored)
{
    Bytes bytes = kExampleBytes;
    Append(bytes, {0x05, 'x', 0xFF, 0xFF});
    EXPECT_EQ(Decode(bytes), kExample);
}

TEST(ConfigFile, EveryTruncationFails)
{
    ConfigFile config = kExample;
    config.repeatNumber = std::string(300, '1');
    config.exposureTime.hours = std::string(70000, '2');
    Bytes wide = SeventeenTexts();
    Append(wide, {0xFF, 0xFE, 0xFF, 0xFF, 0x03, 0x01});
    wide.resize(wide.size() + 2 * 0x0103, '0');
    for (const Bytes& full : {kExampleBytes, EncodeConfigFile(config), wide}) {
        ASSERT_TRUE(Decode(full));
        for (std::size_t n = 0; n < full.size(); ++n)
            ASSERT_FALSE(Decode(Bytes(full.begin(), full.begin() + n)))
                << n << " of " << full.size();
    }
}

TEST(ConfigFile, LengthsPastTheEndFail)
{
    // Announced lengths no allocation may trust: 4 GiB, and 2-byte characters one byte short.
    const Bytes lasts[] = {
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'x'},
        {0xFF, 0xFE, 0xFF, 0x02, '1', 0x00, '0'},
        {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'x', 0x00},
    };
    for (const Bytes& last : lasts) {
        Bytes bytes = SeventeenTexts();
        bytes.insert(bytes.end(), last.begin(), last.end());
        EXPECT_FALSE(Decode(bytes)) << bytes.size();
    }
}

}  // namespace

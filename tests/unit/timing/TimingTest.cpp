// Numbers read from texts, the time editor's checks, and the time records' derived cycle time
// and displays.

#include <gtest/gtest.h>

#include <climits>

#include "timing/IntegerReading.h"
#include "timing/TimeRecord.h"
#include "unit/Rows.h"

namespace {

TEST(IntegerReading, LenientReadsClampAndWholeFieldsTakeOnlyIntegers)
{
    // 4294967303 would wrap to 7 in 32 bits; a view ends the digits.
    const std::pair<std::string_view, int> lenient[] = {
        {"", 0}, {"abc", 0}, {"07", 7}, {"  -12x", -12}, {" \t\n\v\f\r+9", 9}, {"12 34", 12},
        {"- 5", 0}, {"+-5", 0}, {"-2147483648", INT_MIN}, {"2147483648", INT_MAX},
        {"4294967303", INT_MAX}, {"-99999999999999999999999999", INT_MIN},
        {std::string_view("123456").substr(0, 3), 123}};
    for (const auto& [text, value] : lenient) EXPECT_EQ(ReadInteger(text), value) << text;
    const std::pair<std::string_view, std::optional<int>> whole[] = {
        {" -7 ", -7}, {"+42", 42}, {"-2147483648", INT_MIN}, {"2147483648", std::nullopt},
        {"12ab", std::nullopt}, {"", std::nullopt}, {"-", std::nullopt}, {"1 2", std::nullopt}};
    for (const auto& [text, value] : whole) EXPECT_EQ(ReadWholeInteger(text), value) << text;
}

// Each field takes 0 up to its limit; a text without digits reads as 0. At five hours nothing
// may be added below.
TEST(TimeRecord, TheEditorTakesEachFieldWithinItsRangeAndNothingBelowFiveHours)
{
    const std::pair<int, std::string> ranges[] = {
        {6, "Hours number must be less than 6!"},
        {60, "Minutes number must be less than 60!"},
        {60, "Seconds number must be less than 60!"},
        {1000, "Milliseconds number must be less than 1000!"},
        {10, "1/10 Milliseconds number must be less than 10!"},
    };
    for (std::size_t field = 0; field < 5; ++field) {
        const auto& [limit, reason] = ranges[field];
        for (int v = -2; v <= limit + 1; ++v) {
            const char* refusal = TimeTextRefusal(field, std::to_string(v));
            EXPECT_EQ(refusal ? refusal : "", v < 0 || v >= limit ? reason : "") << field << v;
        }
        for (const char* text : {"", "abc", " 3x"}) EXPECT_FALSE(TimeTextRefusal(field, text));
        EXPECT_TRUE(TimeTextRefusal(field, "99999999999")) << field;
        TimeRecord record{"5", "", "", "", ""};
        EXPECT_FALSE(CheckTimeRecord(record));
        if (field == 0)
            continue;
        record.*kTimeRecordFields[field] = "00";
        EXPECT_FALSE(CheckTimeRecord(record));
        record.*kTimeRecordFields[field] = "1";
        const auto refused = CheckTimeRecord(record);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->field, field);
        EXPECT_STREQ(refused->reason, kFiveHoursReached);
    }
}

// "h|m|s|ms|t", any field may be empty.
TimeRecord R(const std::string& text)
{
    TimeRecord r;
    std::size_t from = 0;
    for (auto field : kTimeRecordFields) {
        const std::size_t bar = text.find('|', from);
        r.*field = text.substr(from, bar - from);
        from = bar == std::string::npos ? text.size() : bar + 1;
    }
    return r;
}

TEST(TimeRecord, NdTransitionMatchesTheSinglePrecisionRuleForEveryStepCount)
{
    for (int s = 0; s <= 255; ++s) {
        const int w = (38 * s) / 144;
        const double f = (s * static_cast<double>(0.2638889f) - w) * 10.0;
        const int r = static_cast<int>(f) + (f - static_cast<int>(f) >= 0.5);
        EXPECT_EQ(NdTransitionTime(s).milliseconds, w) << "steps " << s;
        EXPECT_EQ(NdTransitionTime(s).tenths, r) << "steps " << s;
    }
    // Step counts loaded from a file are not range-checked; the tenths must stay a digit.
    for (int steps : {-1, -15, 2147483647, -2147483647 - 1})
        EXPECT_TRUE(NdTransitionTime(steps).tenths >= 0 && NdTransitionTime(steps).tenths <= 10);
}

TEST(TimeRecord, CycleTimeAndDisplays)
{
    for (const Row& r : Rows("cycle-times.txt"))
        EXPECT_EQ(ComposeCycleTime(ComputeCycleTime(R(r[0]), R(r[1]), std::stoi(r[2]), std::stoi(r[3]))), r[4]);
    for (const Row& r : Rows("time-displays.txt"))
        EXPECT_EQ(ComposeTime(FormatTimeRecord(R(r[0]), r[1] == "1")), r[2]) << r[0];
    // The stored cycle record holds plain decimals; the other records are left as they are.
    ResetTimeRecords();
    g_closedTime = R("1|07");
    RecomputeCycleTime(1, 0);
    EXPECT_EQ(g_timeRecords, (std::array<TimeRecord, 3>{R("1|07"), R(""), R("1|7|0|140|0")}));
    ResetTimeRecords();
}

}  // namespace

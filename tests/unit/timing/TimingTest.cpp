// Numbers read from texts, the time editor's checks, and the time records' derived cycle time
// and displays.

#include <gtest/gtest.h>

#include <climits>

#include "timing/IntegerReading.h"
#include "timing/TimeRecord.h"

namespace {

TEST(IntegerReading, LenientReadsClampAndWholeFieldsTakeOnlyIntegers)
{
    const std::pair<std::string_view, int> lenient[] = {
        {"", 0}, {"abc", 0}, {"07", 7}, {"  -12x", -12}, {" \t\n\v\f\r+9", 9}, {"12 34", 12},
        {"- 5", 0}, {"+-5", 0}, {"-2147483648", INT_MIN}, {"2147483648", INT_MAX},
        {"4294967303", INT_MAX},  // would wrap to 7 in 32 bits
        {"-99999999999999999999999999", INT_MIN},
        {std::string_view("123456").substr(0, 3), 123},  // stops at the end of a view
    };
    for (const auto& [text, value] : lenient) EXPECT_EQ(ReadInteger(text), value) << text;
    const std::pair<std::string_view, std::optional<int>> whole[] = {
        {" -7 ", -7}, {"+42", 42}, {"-2147483648", INT_MIN}, {"2147483648", std::nullopt},
        {"12ab", std::nullopt}, {"", std::nullopt}, {"-", std::nullopt}, {"1 2", std::nullopt},
    };
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

TEST(TimeRecord, CycleTimeSumsBothTimesAndTwoTransitions)
{
    const std::tuple<const char*, const char*, int, int, const char*> cases[] = {
        {"", "", 0, 0, "00:00:00:024:0"},
        {"", "", 7, 99, "00:00:00:024:0"},  // unknown mode: Fast
        {"", "", 1, 0, "00:00:00:140:0"},
        {"", "", 2, 1, "00:00:00:000:6"},
        {"", "", 2, 144, "00:00:00:076:0"},
        {"0|00|59|999|9", "0|00|00|000|1", 0, 0, "00:01:00:024:0"},
        {"5", "5", 0, 0, "10:00:00:024:0"},  // hours unbounded
        {"|07| 3x|abc", "| 3|+4", 0, 0, "00:10:07:024:0"},
        // Sums that one reduction cannot bring into range.
        {"||||9", "||||9", 2, 15, "00:00:00:009:8"},
        {"|||999|9", "|||999|9", 2, 255, "00:00:02:134:4"},
        {"5|59|59|999|9", "5|59|59|999|9", 0, 0, "12:00:00:023:8"},
        {"||75|5000", "||||25", 0, 0, "00:01:20:026:5"},
        {"|99999999999", "|2147483647", 0, 0, "71582788:14:00:024:0"},  // no overflow
    };
    for (const auto& [closed, exposure, mode, steps, cycle] : cases)
        EXPECT_EQ(ComposeCycleTime(ComputeCycleTime(R(closed), R(exposure), mode, steps)),
                  std::string("Cycle Time - ") + cycle);
    // The stored cycle record holds plain decimals; the other records are left as they are.
    ResetTimeRecords();
    g_closedTime = R("1|07");
    RecomputeCycleTime(1, 0);
    EXPECT_EQ(g_timeRecords, (std::array<TimeRecord, 3>{R("1|07"), R(""), R("1|7|0|140|0")}));
    ResetTimeRecords();
}

TEST(TimeRecord, DisplaysPadEachFieldByItsValue)
{
    const std::tuple<const char*, bool, const char*> cases[] = {
        {"", false, "00:00:00:000:0"},
        {"abc|x|-0|+0| ", true, "00:00:00:000:0"},
        {"1|2|3|4|5", false, "01:02:03:004:5"},
        {"5|59|59|45|9", false, "05:59:59:045:9"},
        {"|07|07|07|07", false, "00:007:007:0007:07"},  // the prefix goes before the text
        // Stored hours keep their leading zero at any size; the cycle's do not.
        {"10|||100", false, "010:00:00:100:0"},
        {"100", false, "0100:00:00:000:0"},
        {"7", true, "07:00:00:000:0"},
        {"100", true, "100:00:00:000:0"},
    };
    for (const auto& [record, isCycle, shown] : cases)
        EXPECT_EQ(ComposeTime(FormatTimeRecord(R(record), isCycle)), shown) << record;
}

}  // namespace

#include <gtest/gtest.h>

#include <string>

#include "timing/TimeRecord.h"

namespace {

TEST(NdTransitionTime, MatchesTheSinglePrecisionRuleForEveryStepCount)
{
    const float factor = 0.2638889f;
    for (int s = 0; s <= 255; ++s) {
        const int w = (38 * s) / 144;
        const double f = (s * static_cast<double>(factor) - w) * 10.0;
        int r = static_cast<int>(f);
        if (f - r >= 0.5)
            ++r;
        const NdTransition t = NdTransitionTime(s);
        EXPECT_EQ(t.milliseconds, w) << "steps " << s;
        EXPECT_EQ(t.tenths, r) << "steps " << s;
    }
    // Step counts loaded from a file are not range-checked; the tenths must stay a digit.
    for (int steps : {-1, -15, 100000, 2147483647, -2147483647 - 1}) {
        const int tenths = NdTransitionTime(steps).tenths;
        EXPECT_TRUE(tenths >= 0 && tenths <= 10) << "steps " << steps;
    }
}

TEST(CycleTime, SumsBothTimesAndTwoTransitions)
{
    constexpr int kFast = 0, kSoft = 1, kNd = 2;
    const TimeRecord empty;
    struct Case {
        const char* name;
        TimeRecord closed, exposure;
        int mode, steps;
        const char* expected;
    };
    const Case cases[] = {
        {"empty, Fast", empty, empty, kFast, 0, "00:00:00:024:0"},
        {"empty, unknown mode", empty, empty, 7, 99, "00:00:00:024:0"},
        {"empty, Soft", empty, empty, kSoft, 0, "00:00:00:140:0"},
        {"empty, ND 1 step", empty, empty, kNd, 1, "00:00:00:000:6"},
        {"empty, ND 144 steps", empty, empty, kNd, 144, "00:00:00:076:0"},
        {"one carry up to the minutes",
         {"0", "00", "59", "999", "9"},
         {"0", "00", "00", "000", "1"},
         kFast,
         0,
         "00:01:00:024:0"},
        {"hours add without bound",
         {"5", "", "", "", ""},
         {"5", "", "", "", ""},
         kFast,
         0,
         "10:00:00:024:0"},
        {"texts read by the common rule",
         {"", "07", " 3x", "abc", ""},
         {"", " 3", "+4", "", ""},
         kFast,
         0,
         "00:10:07:024:0"},
        // Sums that one reduction cannot bring into range.
        {"ND 15 steps: tenths addend of 20", empty, empty, kNd, 15, "00:00:00:008:0"},
        {"ND 15 steps, tenths 9 + 9",
         {"", "", "", "", "9"},
         {"", "", "", "", "9"},
         kNd,
         15,
         "00:00:00:009:8"},
        {"ND 255 steps, milliseconds past 2000",
         {"", "", "", "999", "9"},
         {"", "", "", "999", "9"},
         kNd,
         255,
         "00:00:02:134:4"},
        {"maximum times",
         {"5", "59", "59", "999", "9"},
         {"5", "59", "59", "999", "9"},
         kFast,
         0,
         "12:00:00:023:8"},
        {"out-of-range texts from a file",
         {"", "", "75", "5000", ""},
         {"", "", "", "", "25"},
         kFast,
         0,
         "00:01:20:026:5"},
        {"no overflow at the int limit",
         {"", "99999999999", "", "", ""},
         {"", "2147483647", "", "", ""},
         kFast,
         0,
         "71582788:14:00:024:0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComposeCycleTime(ComputeCycleTime(c.closed, c.exposure, c.mode, c.steps)),
                  std::string("Cycle Time - ") + c.expected)
            << c.name;
    }
}

TEST(CycleTime, RecomputeWritesOnlyTheCycleRecordAsPlainDecimals)
{
    ResetTimeRecords();
    g_closedTime = {"1", "07", "", "", ""};
    RecomputeCycleTime(1, 0);
    EXPECT_EQ(g_timeRecords[2], (TimeRecord{"1", "7", "0", "140", "0"}));
    EXPECT_EQ(g_closedTime, (TimeRecord{"1", "07", "", "", ""}));
    EXPECT_EQ(g_exposureTime, TimeRecord{});
    ResetTimeRecords();
    EXPECT_EQ(g_cycleTime, TimeRecord{});
}

TEST(FormatTimeRecord, PadsEachFieldByItsValue)
{
    struct Case {
        TimeRecord record;
        bool isCycle;
        const char* expected;
    };
    const Case cases[] = {
        {{}, false, "00:00:00:000:0"},
        {{"abc", "x", "-0", "+0", " "}, true, "00:00:00:000:0"},
        {{"1", "2", "3", "4", "5"}, false, "01:02:03:004:5"},
        {{"5", "59", "59", "45", "9"}, false, "05:59:59:045:9"},
        {{"", "07", "07", "07", "07"}, false, "00:007:007:0007:07"},
        // Stored hours keep their leading zero at any size; the cycle's do not.
        {{"10", "", "", "100", ""}, false, "010:00:00:100:0"},
        {{"100", "", "", "", ""}, false, "0100:00:00:000:0"},
        {{"7", "", "", "", ""}, true, "07:00:00:000:0"},
        {{"10", "", "", "", ""}, true, "10:00:00:000:0"},
        {{"100", "", "", "", ""}, true, "100:00:00:000:0"},
    };
    for (const Case& c : cases) {
        const TimeRecord& r = c.record;
        EXPECT_EQ(ComposeTime(FormatTimeRecord(r, c.isCycle)), c.expected)
            << r.hours << "|" << r.minutes << "|" << r.seconds << "|" << r.milliseconds << "|"
            << r.tenthMs << (c.isCycle ? " (cycle)" : "");
    }
}

}  // namespace

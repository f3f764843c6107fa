#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "timing/TimeRecord.h"

namespace {

TimeRecord Time(const char* h, const char* m, const char* s, const char* ms, const char* t)
{
    return TimeRecord{h, m, s, ms, t};
}

TEST(NdTransitionTime, MatchesTheSinglePrecisionRuleForEveryStepCount)
{
    const float factor = 0.2638889f;
    for (int s = 0; s <= 255; ++s) {
        const int w = (38 * s) / 144;
        const double f = (s * static_cast<double>(factor) - w) * 10.0;
        int r = static_cast<int>(f);
        if (f - r >= 0.5) {
            ++r;
        }
        const NdTransition t = NdTransitionTime(s);
        EXPECT_EQ(t.milliseconds, w) << "steps " << s;
        EXPECT_EQ(t.tenths, r) << "steps " << s;
    }
}

TEST(NdTransitionTime, KnownStepCounts)
{
    struct Case {
        int steps, ms, tenths;
    };
    const Case cases[] = {{0, 0, 0},   {1, 0, 3},   {15, 3, 10},  {34, 8, 10},
                          {50, 13, 2}, {72, 19, 0}, {144, 38, 0}, {255, 67, 3}};
    for (const Case& c : cases) {
        const NdTransition t = NdTransitionTime(c.steps);
        EXPECT_EQ(t.milliseconds, c.ms) << "steps " << c.steps;
        EXPECT_EQ(t.tenths, c.tenths) << "steps " << c.steps;
    }
    // Step counts loaded from a file are not range-checked; the tenths must stay a digit.
    for (int steps : {-1, -15, -144, 100000, 2147483647, -2147483647 - 1}) {
        const NdTransition t = NdTransitionTime(steps);
        EXPECT_GE(t.tenths, 0) << "steps " << steps;
        EXPECT_LE(t.tenths, 10) << "steps " << steps;
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
        {"empty, Fast", empty, empty, kFast, 0, "Cycle Time - 00:00:00:024:0"},
        {"empty, no mode", empty, empty, -1, 0, "Cycle Time - 00:00:00:024:0"},
        {"empty, unknown mode", empty, empty, 7, 99, "Cycle Time - 00:00:00:024:0"},
        {"empty, Soft", empty, empty, kSoft, 0, "Cycle Time - 00:00:00:140:0"},
        {"empty, ND 0 steps", empty, empty, kNd, 0, "Cycle Time - 00:00:00:000:0"},
        {"empty, ND 1 step", empty, empty, kNd, 1, "Cycle Time - 00:00:00:000:6"},
        {"empty, ND 144 steps", empty, empty, kNd, 144, "Cycle Time - 00:00:00:076:0"},
        {"one carry up to the minutes", Time("0", "00", "59", "999", "9"),
         Time("0", "00", "00", "000", "1"), kFast, 0, "Cycle Time - 00:01:00:024:0"},
        {"hours add without bound", Time("5", "", "", "", ""), Time("5", "", "", "", ""), kFast, 0,
         "Cycle Time - 10:00:00:024:0"},
        {"texts read by the common rule", Time("", "07", " 3x", "abc", ""),
         Time("", " 3", "+4", "", ""), kFast, 0, "Cycle Time - 00:10:07:024:0"},
        // Sums that one reduction cannot bring into range.
        {"ND 15 steps: tenths addend of 20", empty, empty, kNd, 15, "Cycle Time - 00:00:00:008:0"},
        {"ND 15 steps with tenths 9 + 9", Time("", "", "", "", "9"), Time("", "", "", "", "9"), kNd,
         15, "Cycle Time - 00:00:00:009:8"},
        {"ND 255 steps, milliseconds past 2000", Time("", "", "", "999", "9"),
         Time("", "", "", "999", "9"), kNd, 255, "Cycle Time - 00:00:02:134:4"},
        {"maximum times, Fast", Time("5", "59", "59", "999", "9"),
         Time("5", "59", "59", "999", "9"), kFast, 0, "Cycle Time - 12:00:00:023:8"},
        {"out-of-range texts from a file", Time("", "", "75", "5000", ""),
         Time("", "", "", "", "25"), kFast, 0, "Cycle Time - 00:01:20:026:5"},
        {"no overflow at the int limit", Time("", "99999999999", "", "", ""),
         Time("", "2147483647", "", "", ""), kFast, 0, "Cycle Time - 71582788:14:00:024:0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TimeRecord cycle = ComputeCycleTime(c.closed, c.exposure, c.mode, c.steps);
        EXPECT_EQ(ComposeCycleTime(cycle), c.expected);
    }
}

TEST(CycleTime, StoresPlainDecimalTexts)
{
    const TimeRecord cycle = ComputeCycleTime(Time("1", "07", "", "", ""), TimeRecord{}, 1, 0);
    EXPECT_EQ(cycle, Time("1", "7", "0", "140", "0"));
}

TEST(CycleTime, RecomputeWritesOnlyTheCycleRecord)
{
    ResetTimeRecords();
    g_closedTime = Time("0", "0", "59", "999", "9");
    g_exposureTime = Time("0", "0", "0", "0", "1");
    RecomputeCycleTime(0, 0);
    EXPECT_EQ(g_cycleTime, Time("0", "1", "0", "24", "0"));
    EXPECT_EQ(g_timeRecords[2], g_cycleTime);
    EXPECT_EQ(g_closedTime, Time("0", "0", "59", "999", "9"));
    EXPECT_EQ(g_exposureTime, Time("0", "0", "0", "0", "1"));

    ResetTimeRecords();
    for (const TimeRecord& r : g_timeRecords) {
        EXPECT_EQ(r, TimeRecord{});
    }
}

TEST(FormatTimeRecord, PadsEachFieldByItsValue)
{
    struct Case {
        TimeRecord record;
        bool isCycle;
        const char* expected;
    };
    const Case cases[] = {
        {TimeRecord{}, false, "00:00:00:000:0"},
        {TimeRecord{}, true, "00:00:00:000:0"},
        {Time("0", "0", "0", "0", "0"), false, "00:00:00:000:0"},
        {Time("abc", "x", "-0", "+0", " "), false, "00:00:00:000:0"},
        {Time("1", "2", "3", "4", "5"), false, "01:02:03:004:5"},
        {Time("5", "59", "59", "999", "9"), false, "05:59:59:999:9"},
        {Time("", "07", "07", "07", "07"), false, "00:007:007:0007:07"},
        {Time("", "", "", "45", ""), false, "00:00:00:045:0"},
        {Time("", "", "", "100", ""), false, "00:00:00:100:0"},
        // Stored hours keep their leading zero at any size; the cycle's do not.
        {Time("10", "", "", "", ""), false, "010:00:00:000:0"},
        {Time("100", "", "", "", ""), false, "0100:00:00:000:0"},
        {Time("7", "", "", "", ""), true, "07:00:00:000:0"},
        {Time("10", "", "", "", ""), true, "10:00:00:000:0"},
        {Time("100", "", "", "", ""), true, "100:00:00:000:0"},
        {Time("1234", "", "", "", ""), true, "1234:00:00:000:0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ComposeTime({c.record.hours, c.record.minutes, c.record.seconds,
                                  c.record.milliseconds, c.record.tenthMs}) +
                     (c.isCycle ? " (cycle)" : ""));
        EXPECT_EQ(ComposeTime(FormatTimeRecord(c.record, c.isCycle)), c.expected);
    }
}

TEST(FormatTimeRecord, ReturnsTheFivePartsForOtherSeparators)
{
    const FormattedTime parts = FormatTimeRecord(Time("1", "2", "30", "4", "5"), false);
    EXPECT_EQ(parts, (FormattedTime{"01", "02", "30", "004", "5"}));
    EXPECT_EQ(ComposeTime(parts, " : "), "01 : 02 : 30 : 004 : 5");
}

}  // namespace

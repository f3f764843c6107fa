#include <gtest/gtest.h>

#include <string>

#include "timing/TimeRecord.h"

namespace {

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
    const auto cycle = [](const char* closed, const char* exposure, int mode, int steps) {
        return ComposeCycleTime(ComputeCycleTime(R(closed), R(exposure), mode, steps));
    };
    EXPECT_EQ(cycle("", "", kFast, 0), "Cycle Time - 00:00:00:024:0");
    EXPECT_EQ(cycle("", "", 7, 99), "Cycle Time - 00:00:00:024:0");  // unknown mode: Fast
    EXPECT_EQ(cycle("", "", kSoft, 0), "Cycle Time - 00:00:00:140:0");
    EXPECT_EQ(cycle("", "", kNd, 1), "Cycle Time - 00:00:00:000:6");
    EXPECT_EQ(cycle("", "", kNd, 144), "Cycle Time - 00:00:00:076:0");
    EXPECT_EQ(cycle("0|00|59|999|9", "0|00|00|000|1", kFast, 0), "Cycle Time - 00:01:00:024:0");
    EXPECT_EQ(cycle("5", "5", kFast, 0), "Cycle Time - 10:00:00:024:0");  // hours unbounded
    EXPECT_EQ(cycle("|07| 3x|abc", "| 3|+4", kFast, 0), "Cycle Time - 00:10:07:024:0");
    // Sums that one reduction cannot bring into range.
    EXPECT_EQ(cycle("", "", kNd, 15), "Cycle Time - 00:00:00:008:0");
    EXPECT_EQ(cycle("||||9", "||||9", kNd, 15), "Cycle Time - 00:00:00:009:8");
    EXPECT_EQ(cycle("|||999|9", "|||999|9", kNd, 255), "Cycle Time - 00:00:02:134:4");
    EXPECT_EQ(cycle("5|59|59|999|9", "5|59|59|999|9", kFast, 0), "Cycle Time - 12:00:00:023:8");
    EXPECT_EQ(cycle("||75|5000", "||||25", kFast, 0), "Cycle Time - 00:01:20:026:5");
    // No overflow at the int limit.
    EXPECT_EQ(cycle("|99999999999", "|2147483647", kFast, 0), "Cycle Time - 71582788:14:00:024:0");

    // The stored cycle record holds plain decimals; the other records are left as they are.
    ResetTimeRecords();
    g_closedTime = R("1|07");
    RecomputeCycleTime(kSoft, 0);
    EXPECT_EQ(g_timeRecords, (std::array<TimeRecord, 3>{R("1|07"), R(""), R("1|7|0|140|0")}));
    ResetTimeRecords();
}

TEST(FormatTimeRecord, PadsEachFieldByItsValue)
{
    const auto show = [](const char* record, bool isCycle = false) {
        return ComposeTime(FormatTimeRecord(R(record), isCycle));
    };
    EXPECT_EQ(show(""), "00:00:00:000:0");
    EXPECT_EQ(show("abc|x|-0|+0| ", true), "00:00:00:000:0");
    EXPECT_EQ(show("1|2|3|4|5"), "01:02:03:004:5");
    EXPECT_EQ(show("5|59|59|45|9"), "05:59:59:045:9");
    EXPECT_EQ(show("|07|07|07|07"), "00:007:007:0007:07");
    // Stored hours keep their leading zero at any size; the cycle's do not.
    EXPECT_EQ(show("10|||100"), "010:00:00:100:0");
    EXPECT_EQ(show("100"), "0100:00:00:000:0");
    EXPECT_EQ(show("7", true), "07:00:00:000:0");
    EXPECT_EQ(show("10", true), "10:00:00:000:0");
    EXPECT_EQ(show("100", true), "100:00:00:000:0");
}

}  // namespace

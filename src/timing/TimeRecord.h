#pragma once
// The three process-wide time records and the rules that derive and show them.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// One time value as the five texts last stored into it (typed, decoded or loaded); any may be
// empty. Numbers are taken from them with ReadInteger only when needed.
struct TimeRecord {
    std::string hours;
    std::string minutes;
    std::string seconds;
    std::string milliseconds;
    std::string tenthMs;

    bool operator==(const TimeRecord&) const = default;
};

// The five fields in display order, for code that walks them.
inline constexpr std::array<std::string TimeRecord::*, 5> kTimeRecordFields = {
    &TimeRecord::hours, &TimeRecord::minutes, &TimeRecord::seconds, &TimeRecord::milliseconds,
    &TimeRecord::tenthMs};

// The time editor's checks, which a loaded record must pass as well. A text that is no number
// reads as 0 and passes; a negative one is refused, as it would go out as garbage frame bytes.
// Each reason is the editor's message without its request to retype.
inline constexpr const char* kFiveHoursReached = "Timer has reached the maximum value - 5 hours.";
// Why the editor refuses the text in the field (index into kTimeRecordFields), or null.
const char* TimeTextRefusal(std::size_t field, std::string_view text);
// Five hours is the whole range: nothing may be added below it.
bool AtFiveHours(std::string_view hours);
struct TimeRefusal {
    std::size_t field;
    const char* reason;
};
// The first field of the record the editor would not hold, in display order. At five hours a
// lower field must read 0 (the editor leaves it empty; the controller reports "0").
std::optional<TimeRefusal> CheckTimeRecord(const TimeRecord& record);

// Closed, exposure and cycle time, in that order.
extern std::array<TimeRecord, 3> g_timeRecords;
extern TimeRecord& g_closedTime;
extern TimeRecord& g_exposureTime;
extern TimeRecord& g_cycleTime;

// All fifteen texts empty again, as at process start (tests run many panels in one process).
void ResetTimeRecords();

// One neutral-density transition of the shutter: whole milliseconds and the tenths digit,
// rounded half up. The tenths can come out as 10 (15 steps, for one).
struct NdTransition {
    int milliseconds = 0;
    int tenths = 0;
};
NdTransition NdTransitionTime(int ndSteps);

// The cycle time for the given records and mode (0 Fast, 1 Soft, 2 Neutral Density; any other
// value counts as Fast). Every field but the hours is carried into the next one until it is
// within its range, so the result is always a valid time.
TimeRecord ComputeCycleTime(const TimeRecord& closed, const TimeRecord& exposure, int shutterMode,
                            int ndSteps);

// g_cycleTime from g_closedTime and g_exposureTime.
void RecomputeCycleTime(int shutterMode, int ndSteps);

// The five padded display texts: hours, minutes, seconds, milliseconds, tenths.
using FormattedTime = std::array<std::string, 5>;
FormattedTime FormatTimeRecord(const TimeRecord& record, bool isCycle);

// "hh:mm:ss:mmm:t" for the closed and exposure displays, and "Cycle Time - hh:mm:ss:mmm:t".
std::string ComposeTime(const FormattedTime& parts, const std::string& separator = ":");
std::string ComposeCycleTime(const TimeRecord& cycle);

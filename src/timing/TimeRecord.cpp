#include "timing/TimeRecord.h"

#include <cstdint>
#include <iterator>

#include "timing/IntegerReading.h"

std::array<TimeRecord, 3> g_timeRecords;
TimeRecord& g_closedTime = g_timeRecords[0];
TimeRecord& g_exposureTime = g_timeRecords[1];
TimeRecord& g_cycleTime = g_timeRecords[2];

void ResetTimeRecords()
{
    g_timeRecords.fill(TimeRecord{});
}

namespace {

constexpr int kSoft = 1;
constexpr int kNeutralDensity = 2;

// Floor division and modulo: a step count loaded from a file is not range-checked and may be
// negative, and the tenths must stay 0..10 all the same.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

std::int64_t FloorMod(std::int64_t a, std::int64_t b)
{
    return a - FloorDiv(a, b) * b;
}

}  // namespace

namespace {

// The first refused value of each field and why.
struct FieldRange {
    int limit;
    const char* reason;
};
constexpr FieldRange kFieldRanges[] = {
    {6, "Hours number must be less than 6!"},
    {60, "Minutes number must be less than 60!"},
    {60, "Seconds number must be less than 60!"},
    {1000, "Milliseconds number must be less than 1000!"},
    {10, "1/10 Milliseconds number must be less than 10!"},
};
static_assert(std::size(kFieldRanges) == kTimeRecordFields.size());

}  // namespace

const char* TimeTextRefusal(std::size_t field, std::string_view text)
{
    const FieldRange& range = kFieldRanges[field];
    const int value = ReadInteger(text);
    return value < 0 || value >= range.limit ? range.reason : nullptr;
}

bool AtFiveHours(std::string_view hours)
{
    return ReadInteger(hours) == 5;
}

std::optional<TimeRefusal> CheckTimeRecord(const TimeRecord& record)
{
    for (std::size_t i = 0; i < kTimeRecordFields.size(); ++i) {
        const std::string& text = record.*kTimeRecordFields[i];
        if (const char* reason = TimeTextRefusal(i, text))
            return TimeRefusal{i, reason};
        if (i > 0 && AtFiveHours(record.hours) && ReadInteger(text) != 0)
            return TimeRefusal{i, kFiveHoursReached};
    }
    return std::nullopt;
}

NdTransition NdTransitionTime(int ndSteps)
{
    // One step is 38/144 ms = 19/72 ms; integer arithmetic avoids any rounding doubt.
    const std::int64_t s = ndSteps;
    NdTransition t;
    t.milliseconds = static_cast<int>(FloorDiv(38 * s, 144));
    t.tenths = static_cast<int>((10 * FloorMod(19 * s, 72) + 36) / 72);
    return t;
}

TimeRecord ComputeCycleTime(const TimeRecord& closed, const TimeRecord& exposure, int shutterMode,
                            int ndSteps)
{
    // Two transitions per cycle, one opening and one closing; Fast and any unknown mode: 12 ms.
    std::int64_t msAddend = 24;
    std::int64_t tenthsAddend = 0;
    if (shutterMode == kSoft) {
        msAddend = 140;
    } else if (shutterMode == kNeutralDensity) {
        const NdTransition t = NdTransitionTime(ndSteps);
        msAddend = 2 * std::int64_t{t.milliseconds};
        tenthsAddend = 2 * std::int64_t{t.tenths};
    }

    struct Step {
        std::string TimeRecord::*field;
        std::int64_t limit;  // 0: no upper bound
        std::int64_t addend;
    };
    const Step steps[] = {
        {&TimeRecord::tenthMs, 10, tenthsAddend},
        {&TimeRecord::milliseconds, 1000, msAddend},
        {&TimeRecord::seconds, 60, 0},
        {&TimeRecord::minutes, 60, 0},
        {&TimeRecord::hours, 0, 0},
    };

    // 64 bits: the record texts clamp to the int range, and two of them plus the addends
    // would overflow an int.
    TimeRecord cycle;
    std::int64_t carry = 0;
    for (const Step& step : steps) {
        std::int64_t sum = std::int64_t{ReadInteger(closed.*step.field)} +
                           ReadInteger(exposure.*step.field) + carry + step.addend;
        carry = 0;
        // Carry as often as needed: with the neutral-density addend the tenths can reach 20 and
        // more, and two milliseconds near 999 plus an addend reach 2000.
        if (step.limit != 0 && sum >= step.limit) {
            carry = sum / step.limit;
            sum %= step.limit;
        }
        cycle.*step.field = std::to_string(sum);
    }
    return cycle;
}

void RecomputeCycleTime(int shutterMode, int ndSteps)
{
    g_cycleTime = ComputeCycleTime(g_closedTime, g_exposureTime, shutterMode, ndSteps);
}

FormattedTime FormatTimeRecord(const TimeRecord& record, bool isCycle)
{
    // The prefix goes before the stored text unchanged: a stored "07" shows as "007".
    const auto pad = [](const std::string& text, const char* zero, const char* below10,
                        const char* below100, const char* rest) {
        const int v = ReadInteger(text);
        if (v == 0) {
            return std::string(zero);
        }
        if (v < 10) {
            return below10 + text;
        }
        if (v < 100) {
            return below100 + text;
        }
        return rest + text;
    };
    return {
        isCycle ? pad(record.hours, "00", "0", "", "") : pad(record.hours, "00", "0", "0", "0"),
        pad(record.minutes, "00", "0", "", ""),
        pad(record.seconds, "00", "0", "", ""),
        pad(record.milliseconds, "000", "00", "0", ""),
        pad(record.tenthMs, "0", "", "", ""),
    };
}

std::string ComposeTime(const FormattedTime& parts, const std::string& separator)
{
    std::string text = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        text += separator;
        text += parts[i];
    }
    return text;
}

std::string ComposeCycleTime(const TimeRecord& cycle)
{
    return "Cycle Time - " + ComposeTime(FormatTimeRecord(cycle, true));
}

#pragma once
// One line per defended figure, picked up by the summary `make bench` ends with.

#include <cmath>
#include <cstdio>

enum class Goal { AtLeast, AtMost };

inline void ReportFigure(const char* figure, double value, const char* unit, Goal goal,
                         double bound)
{
    const bool met = goal == Goal::AtLeast ? value >= bound : value <= bound;
    const char* fmt = std::fabs(value) >= 1000 ? "%.0f" : "%.2f";
    char shown[64];
    std::snprintf(shown, sizeof shown, fmt, value);
    std::printf("FIGURE %s: %s %s (goal %s %g %s) %s\n", figure, shown, unit,
                goal == Goal::AtLeast ? ">=" : "<=", bound, unit, met ? "met" : "NOT MET");
    std::fflush(stdout);
}

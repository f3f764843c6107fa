#pragma once
// One line per defended figure, picked up by the summary `make bench` ends with.

#include <cmath>
#include <cstdio>

enum class Goal { AtLeast, AtMost };

inline const char* Shown(double value, char (&out)[64])
{
    std::snprintf(out, sizeof out, std::fabs(value) >= 1000 ? "%.0f" : "%.2f", value);
    return out;
}

inline void ReportFigure(const char* figure, double value, const char* unit, Goal goal,
                         double bound)
{
    const bool met = goal == Goal::AtLeast ? value >= bound : value <= bound;
    char shown[64];
    std::printf("FIGURE %s: %s %s (goal %s %g %s) %s\n", figure, Shown(value, shown), unit,
                goal == Goal::AtLeast ? ">=" : "<=", bound, unit, met ? "met" : "NOT MET");
    std::fflush(stdout);
}

// A figure shown for comparison, with no goal of its own.
inline void ReportFigure(const char* figure, double value, const char* unit)
{
    char shown[64];
    std::printf("FIGURE %s: %s %s (no goal)\n", figure, Shown(value, shown), unit);
    std::fflush(stdout);
}

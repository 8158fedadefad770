#pragma once
// One row of the benchmark table. Every bench program prints its figures on
// standard output as
//   FIGURE|<figure>|<measured>|<target>|<result>
// which scripts/bench.sh gathers into one table; everything else a bench
// has to say (counts, breakdowns, failures) goes to standard error.
#include <cstdio>
#include <string>

namespace bench {

enum class Goal { AtMost, AtLeast, None };

// Prints the row; true unless a target was missed.
inline bool figure(const std::string& name, double value, const char* unit, Goal goal = Goal::None,
                   double target = 0, int decimals = 2) {
    const char* gap = *unit ? " " : "";
    char measured[64];
    std::snprintf(measured, sizeof measured, "%.*f%s%s", decimals, value, gap, unit);
    char wanted[64] = "-";
    bool met = true;
    if (goal == Goal::AtMost) {
        std::snprintf(wanted, sizeof wanted, "<= %.*f%s%s", decimals, target, gap, unit);
        met = value <= target;
    } else if (goal == Goal::AtLeast) {
        std::snprintf(wanted, sizeof wanted, ">= %.*f%s%s", decimals, target, gap, unit);
        met = value >= target;
    }
    const char* result = goal == Goal::None ? "-" : met ? "pass" : "FAIL";
    std::printf("FIGURE|%s|%s|%s|%s\n", name.c_str(), measured, wanted, result);
    std::fflush(stdout);
    return met;
}

// A figure that could not be measured: shown as a failed row.
inline void missing(const std::string& name, const std::string& why) {
    std::printf("FIGURE|%s|(not measured: %s)|-|FAIL\n", name.c_str(), why.c_str());
    std::fflush(stdout);
}

}  // namespace bench

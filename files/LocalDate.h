#pragma once
// The local date of a save or a report. Replaceable so that tests can write
// reports and parameter texts that do not change from day to day.
#include <functional>

struct LocalDate {
    int day = 0;     // 1..31, 0 when the local time cannot be determined
    int month = 0;   // 1..12
    int year = 0;    // four digits
};

LocalDate currentLocalDate();
// Null restores the system's local date.
void setLocalDateSource(std::function<LocalDate()> source);

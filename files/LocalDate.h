#pragma once
// The local date (and time) of a save, a report or a backup. Replaceable so that tests can write
// reports and parameter texts that do not change from day to day.
#include <functional>

struct LocalDate {
    int day = 0;     // 1..31, 0 when the local time cannot be determined
    int month = 0;   // 1..12
    int year = 0;    // four digits
    int hour = 0;    // the time of day, where a name needs it (backups)
    int minute = 0;
    int second = 0;
};

LocalDate currentLocalDate();
// Null restores the system's local date.
void setLocalDateSource(std::function<LocalDate()> source);

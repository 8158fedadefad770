#include "files/LocalDate.h"

#include <ctime>

namespace {
std::function<LocalDate()>& dateSource() {
    static std::function<LocalDate()> source;
    return source;
}

LocalDate systemLocalDate() {
    LocalDate date;
    std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) return date;
    std::tm parts{};
    if (!localtime_r(&now, &parts)) return date;
    date.day = parts.tm_mday;
    date.month = parts.tm_mon + 1;
    date.year = parts.tm_year + 1900;
    date.hour = parts.tm_hour;
    date.minute = parts.tm_min;
    date.second = parts.tm_sec;
    return date;
}
}  // namespace

LocalDate currentLocalDate() {
    const auto& source = dateSource();
    return source ? source() : systemLocalDate();
}

void setLocalDateSource(std::function<LocalDate()> source) { dateSource() = std::move(source); }

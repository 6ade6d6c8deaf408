#include "platform/clock.h"

#include <cstdio>

namespace sendrix::platform {

LocalTime SystemClock::now() const {
    const std::time_t seconds = std::time(nullptr);
    std::tm local {};
    localtime_r(&seconds, &local);
    LocalTime time;
    time.year = local.tm_year + 1900;
    time.month = local.tm_mon + 1;
    time.day = local.tm_mday;
    time.hour = local.tm_hour;
    time.minute = local.tm_min;
    time.second = local.tm_sec;
    time.dayOfWeek = local.tm_wday;
    time.utcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
    return time;
}

// The German formats serve every locale: the log and archive lines these
// texts go into are read by people and programs that expect them.
std::string shortDate(const LocalTime& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", time.day, time.month, time.year);
    return text;
}

std::string longTime(const LocalTime& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return text;
}

SystemClock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace sendrix::platform

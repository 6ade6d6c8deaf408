#include "platform/clock.h"

#include <cstdio>

#include "platform/ascii.h"

namespace sendrix::platform {

namespace {

LocalTime fromFields(const std::tm& fields, int utcOffsetMinutes) {
    LocalTime time;
    time.year = fields.tm_year + 1900;
    time.month = fields.tm_mon + 1;
    time.day = fields.tm_mday;
    time.hour = fields.tm_hour;
    time.minute = fields.tm_min;
    time.second = fields.tm_sec;
    time.dayOfWeek = fields.tm_wday;
    time.utcOffsetMinutes = utcOffsetMinutes;
    return time;
}

}  // namespace

LocalTime SystemClock::now() const {
    const std::time_t seconds = std::time(nullptr);
    // localtime_r reads the zone once (only tzset reads it again, and this
    // program never sets TZ), so within one second its answer stays the
    // same: a list send asks several times for every message.
    thread_local std::time_t lastSeconds = -1;
    thread_local LocalTime last;
    if (seconds == lastSeconds)
        return last;
    std::tm local{};
    localtime_r(&seconds, &local);
    last = fromFields(local, static_cast<int>(local.tm_gmtoff / 60));
    lastSeconds = seconds;
    return last;
}

// The German formats serve every locale: the log and archive lines these
// texts go into are read by people and programs that expect them.
std::string shortDate(const LocalTime& time) {
    if (time.year < 0 || time.year > 9999) {
        char text[32];
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", time.day, time.month, time.year);
        return text;
    }
    // Without a format string, as longTime: every log line has one.
    std::string text;
    AppendTwoDigits(text, time.day);
    text += '.';
    AppendTwoDigits(text, time.month);
    text += '.';
    AppendTwoDigits(text, time.year / 100);
    AppendTwoDigits(text, time.year % 100);
    return text;
}

std::string longTime(const LocalTime& time) {
    // Without a format string: a list send writes several such times per
    // message.
    std::string text;
    AppendTwoDigits(text, time.hour);
    text += ':';
    AppendTwoDigits(text, time.minute);
    text += ':';
    AppendTwoDigits(text, time.second);
    return text;
}

LocalTime addSeconds(const LocalTime& time, long seconds) {
    std::tm fields{};
    fields.tm_year = time.year - 1900;
    fields.tm_mon = time.month - 1;
    fields.tm_mday = time.day;
    fields.tm_hour = time.hour;
    fields.tm_min = time.minute;
    fields.tm_sec = time.second;
    // The fields read as UTC, so no time zone of the machine takes part.
    const std::time_t later = timegm(&fields) + seconds;
    std::tm result{};
    gmtime_r(&later, &result);
    return fromFields(result, time.utcOffsetMinutes);
}

SystemClock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace sendrix::platform

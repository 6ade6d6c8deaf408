#pragma once
// Local time and its offset from UTC. Passed by reference to the message
// writer and the send run, so tests can fix the time.
#include <ctime>
#include <string>

namespace sendrix::platform {

struct LocalTime {
    int year = 0, month = 0, day = 0;  // month 1-12
    int hour = 0, minute = 0, second = 0;
    int dayOfWeek = 0;         // 0 = Sunday
    int utcOffsetMinutes = 0;  // local minus UTC, e.g. +60, -210
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
};

class SystemClock : public Clock {
public:
    LocalTime now() const override;
};

class FixedClock : public Clock {
public:
    explicit FixedClock(LocalTime time) : m_time(time) {}
    LocalTime now() const override { return m_time; }
    void set(LocalTime time) { m_time = time; }

private:
    LocalTime m_time;
};

// The locale's short date and long time; in the C/POSIX locale (and any
// German one) "08.12.2026" and "14:05:31".
std::string shortDate(const LocalTime& time);
std::string longTime(const LocalTime& time);

// The wall-clock time `seconds` later, with the same UTC offset (a change
// of daylight-saving time within the span is not followed); for the time
// of a next try shown to the user.
LocalTime addSeconds(const LocalTime& time, long seconds);

SystemClock& systemClock();

}  // namespace sendrix::platform

#pragma once

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

namespace vq::platform {

// A transition rule in the shape the time-zone bias computation was designed around. A rule with
// month 0 means "no transition". With year 0 it recurs yearly: day 1..4 is the first to fourth
// occurrence of dayOfWeek (0 = Sunday) in the month, day 5 the last one. With a year it is a fixed
// date that applies only in that year.
struct TransitionRule {
    int year = 0;
    int month = 0;
    int dayOfWeek = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};

// The zone's rules for one year. Biases are minutes added to local time to get UTC. The daylight
// rule's moment is in local standard time, the standard rule's in local daylight time.
struct TimeZoneInformation {
    int bias = 0;
    TransitionRule standardDate;
    int standardBias = 0;
    TransitionRule daylightDate;
    int daylightBias = 0;
};

// Date-time values here are wall-clock times without a zone; they are held as QDateTime in UTC
// so that no local-time gap or overlap shifts them.
QDateTime ZeroTransitionDateTime();

// The day (weekday 1 = Sunday .. 7 = Saturday) of the n-th such weekday of a month, n = 5 being
// the last; an invalid n gives the zero date (30 December 1899).
QDate NthWeekdayOfMonth(int year, int month, int n, int weekday);

// The moment a rule names in the given year, or the zero date-time when it names none.
QDateTime TransitionDate(const TransitionRule &rule, int year);

// The zone's rules for a year as fixed-date rules: this year's daylight start and end as the zone
// data lists them. A year without daylight saving gives a daylight rule with month 0.
TimeZoneInformation TimeZoneInformationFor(const QTimeZone &zone, int year);

// Minutes to add to local time to get UTC on the given local day: the standard bias, plus the
// daylight bias when the day lies in the daylight period (the day taken at midnight).
int TimeZoneBias(const TimeZoneInformation &info, const QDate &today);

// The bias for a zone at a moment (its local day).
int TimeZoneBias(const QTimeZone &zone, const QDateTime &now);

// The bias of the system's zone today, as the program takes it at start-up.
int SystemTimeZoneBias();

} // namespace vq::platform

#include "TimeZoneInfo.h"

namespace vq::platform {

namespace {

QDateTime wallClock(const QDate &date, const QTime &time)
{
    return QDateTime(date, time, Qt::UTC);
}

QDate zeroDate()
{
    return QDate(1899, 12, 30);
}

// Weekday with 1 = Sunday .. 7 = Saturday (Qt counts 1 = Monday .. 7 = Sunday).
int sundayBasedWeekday(const QDate &date)
{
    return date.dayOfWeek() % 7 + 1;
}

TransitionRule fixedRule(const QDateTime &wall)
{
    TransitionRule rule;
    rule.year = wall.date().year();
    rule.month = wall.date().month();
    rule.dayOfWeek = sundayBasedWeekday(wall.date()) - 1;
    rule.day = wall.date().day();
    rule.hour = wall.time().hour();
    rule.minute = wall.time().minute();
    rule.second = wall.time().second();
    rule.milliseconds = wall.time().msec();
    return rule;
}

} // namespace

QDateTime ZeroTransitionDateTime()
{
    return wallClock(zeroDate(), QTime(0, 0));
}

QDate NthWeekdayOfMonth(int year, int month, int n, int weekday)
{
    const QDate first(year, month, 1);
    if (!first.isValid() || weekday < 1 || weekday > 7)
        return zeroDate();
    int day = 0;
    if (n >= 1 && n <= 4) {
        const int f = sundayBasedWeekday(first);
        day = weekday - f + 1 + 7 * (n - 1);
        if (weekday < f)
            day += 7;
    } else if (n == 5) {
        const int last = first.daysInMonth();
        const int g = sundayBasedWeekday(QDate(year, month, last));
        day = last - g + weekday;
        if (weekday > g)
            day -= 7;
    } else {
        return zeroDate();
    }
    return QDate(year, month, day);
}

QDateTime TransitionDate(const TransitionRule &rule, int year)
{
    if (rule.month == 0)
        return ZeroTransitionDateTime();
    const QTime timeOfDay(rule.hour, rule.minute, rule.second, rule.milliseconds);
    if (rule.year == 0) {
        const QDate day = NthWeekdayOfMonth(year, rule.month, rule.day, rule.dayOfWeek + 1);
        return wallClock(day, timeOfDay.isValid() ? timeOfDay : QTime(0, 0));
    }
    if (rule.year == year) {
        const QDate day(rule.year, rule.month, rule.day);
        if (day.isValid())
            return wallClock(day, timeOfDay.isValid() ? timeOfDay : QTime(0, 0));
    }
    return ZeroTransitionDateTime();
}

TimeZoneInformation TimeZoneInformationFor(const QTimeZone &zone, int year)
{
    TimeZoneInformation info;
    const QDateTime yearStart = wallClock(QDate(year, 1, 1), QTime(0, 0));
    info.bias = -zone.standardTimeOffset(yearStart) / 60;

    // A day of margin on either side covers every zone's offset; the local year decides.
    const QList<QTimeZone::OffsetData> transitions =
        zone.transitions(yearStart.addDays(-1), wallClock(QDate(year + 1, 1, 1), QTime(0, 0)).addDays(1));
    bool haveStart = false;
    bool haveEnd = false;
    for (const QTimeZone::OffsetData &t : transitions) {
        const QDateTime before = t.atUtc.addSecs(-1);
        const int offsetBefore = zone.offsetFromUtc(before);
        const int daylightBefore = zone.daylightTimeOffset(before);
        // The rules name the moment in the wall-clock time that was in force until then.
        const QDateTime wall = t.atUtc.toUTC().addSecs(offsetBefore);
        if (wall.date().year() != year)
            continue;
        // Daylight offsets can be negative (a zone whose summer time is its standard time).
        if (!haveStart && daylightBefore == 0 && t.daylightTimeOffset != 0) {
            info.daylightDate = fixedRule(wall);
            info.daylightBias = -t.daylightTimeOffset / 60;
            haveStart = true;
        } else if (!haveEnd && daylightBefore != 0 && t.daylightTimeOffset == 0) {
            info.standardDate = fixedRule(wall);
            haveEnd = true;
        }
    }
    return info;
}

int TimeZoneBias(const TimeZoneInformation &info, const QDate &today)
{
    int bias = info.bias;
    if (info.daylightDate.month == 0)
        return bias;
    const int year = today.year();
    const QDateTime midnight = wallClock(today, QTime(0, 0));
    const QDateTime start = TransitionDate(info.daylightDate, year);
    const QDateTime end = TransitionDate(info.standardDate, year);
    // Where daylight time spans the turn of the year (southern hemisphere), it covers the days
    // up to its end and from its start on.
    const bool daylight = start <= end ? (midnight >= start && midnight <= end)
                                       : (midnight >= start || midnight <= end);
    if (daylight)
        bias += info.daylightBias;
    return bias;
}

int TimeZoneBias(const QTimeZone &zone, const QDateTime &now)
{
    const QDate today = now.toTimeZone(zone).date();
    return TimeZoneBias(TimeZoneInformationFor(zone, today.year()), today);
}

int SystemTimeZoneBias()
{
    return TimeZoneBias(QTimeZone::systemTimeZone(), QDateTime::currentDateTimeUtc());
}

} // namespace vq::platform

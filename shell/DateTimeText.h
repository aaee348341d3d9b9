#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

namespace vq {

// Day 0 of the date-time values kept in the configuration: 30 December 1899, 00:00.
QDateTime ZeroDateTime();

// The user's short date format, with the year always in four digits: a two-digit year written
// today would read back as 19xx.
QString ShortDateFormat(const QLocale &locale = QLocale());

// The user's long time format without a time-zone name, which would not read back reliably.
QString LongTimeFormat(const QLocale &locale = QLocale());

// Date and time as the user reads them: short date, a blank, long time; the time is left out at
// exactly midnight.
QString DateTimeToStr(const QDateTime &value, const QLocale &locale = QLocale());

// The reverse of DateTimeToStr (a date alone is midnight); nothing when the text does not parse.
std::optional<QDateTime> StrToDateTime(const QString &text, const QLocale &locale = QLocale());

} // namespace vq

#include "DateTimeText.h"

#include <QRegularExpression>

namespace vq {

QDateTime ZeroDateTime()
{
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0));
}

QString ShortDateFormat(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

QString LongTimeFormat(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    // Drop the zone token ("t", "tttt") together with the blank that separates it.
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}

QString DateTimeToStr(const QDateTime &value, const QLocale &locale)
{
    const QString date = locale.toString(value.date(), ShortDateFormat(locale));
    if (value.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(value.time(), LongTimeFormat(locale));
}

std::optional<QDateTime> StrToDateTime(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QString dateFormat = ShortDateFormat(locale);
    QDateTime value = locale.toDateTime(trimmed, dateFormat + QLatin1Char(' ') + LongTimeFormat(locale));
    if (!value.isValid()) {
        const QDate date = locale.toDate(trimmed, dateFormat);
        if (date.isValid())
            value = QDateTime(date, QTime(0, 0));
    }
    if (!value.isValid())
        return std::nullopt;
    return value;
}

} // namespace vq

#include "SpeedUnits.h"

#include <algorithm>
#include <cmath>

namespace vq {

namespace {

TSpeedUnit MakeUnit(int multiplier)
{
    switch (multiplier) {
    case 1:
        return {1, QStringLiteral("Kbps"), 128.0, 1000.0, 2, 10.0, QStringLiteral("Kbps (Kilobits per second)")};
    case 2:
        return {2, QStringLiteral("MB/s"), 1048576.0, 100.0, 1, 1.0, QStringLiteral("MB/s (MegaBytes per second)")};
    case 3:
        return {3, QStringLiteral("Mbps"), 131072.0, 1000.0, 2, 10.0, QStringLiteral("Mbps (Megabits per second)")};
    default:
        return {0, QStringLiteral("KB/s"), 1024.0, 100.0, 1, 1.0, QStringLiteral("KB/s (KiloBytes per second)")};
    }
}

// Inserts the group separator every three digits of a run of decimal digits.
QString GroupDigits(const QString &digits, const QString &separator)
{
    if (digits.size() <= 3 || separator.isEmpty())
        return digits;
    QString out;
    out.reserve(digits.size() + (digits.size() / 3) * separator.size());
    const qsizetype head = digits.size() % 3;
    out += QStringView(digits).left(head);
    for (qsizetype i = head; i < digits.size(); i += 3) {
        if (i > 0)
            out += separator;
        out += QStringView(digits).mid(i, 3);
    }
    return out;
}

template <typename F>
std::int64_t RoundHalfEvenImpl(F x)
{
    if (!std::isfinite(x))
        return 0;
    const F floor = std::floor(x);
    const F diff = x - floor;
    F result = floor;
    if (diff > F(0.5))
        result = floor + 1;
    else if (diff == F(0.5))
        result = std::fmod(floor, F(2)) == 0 ? floor : floor + 1;
    constexpr F kMax = F(9.2e18);
    if (result > kMax)
        return std::int64_t(9200000000000000000LL);
    if (result < -kMax)
        return -std::int64_t(9200000000000000000LL);
    return std::int64_t(result);
}

} // namespace

TSpeedUnit UnitFor(int multiplier)
{
    return MakeUnit(multiplier);
}

TSpeedUnit UnitNamed(const QString &name)
{
    for (int m = 0; m < 4; ++m) {
        TSpeedUnit unit = MakeUnit(m);
        if (unit.name == name)
            return unit;
    }
    TSpeedUnit none = MakeUnit(0);
    none.multiplier = -1;
    return none;
}

std::int64_t RoundHalfEven(double x)
{
    return RoundHalfEvenImpl(x);
}

std::int64_t RoundHalfEven(long double x)
{
    return RoundHalfEvenImpl(x);
}

double BytesPerSecond(std::int64_t bytes, std::int64_t milliseconds)
{
    if (milliseconds == 0)
        return 0.0;
    return double(bytes) / (double(milliseconds) / 1000.0);
}

int DialPosition(double valueInUnits, const TSpeedUnit &unit)
{
    const std::int64_t position = RoundHalfEven(valueInUnits / unit.dialScale);
    if (position < 0)
        return 0;
    if (position > 100)
        return 100;
    return int(position);
}

TNumberFormats::TNumberFormats(const QLocale &locale)
    : m_group(locale.groupSeparator())
    , m_point(locale.decimalPoint())
{
    if (m_point.isEmpty())
        m_point = QStringLiteral(".");
}

QString TNumberFormats::Grouped(double value, int decimals) const
{
    if (!std::isfinite(value))
        value = 0.0;
    // QString::number rounds the exact binary value to the shown decimals.
    QString text = QString::number(value, 'f', decimals);
    bool negative = text.startsWith(u'-');
    if (negative)
        text.remove(0, 1);
    const qsizetype dot = text.indexOf(u'.');
    const QString whole = dot < 0 ? text : text.left(dot);
    QString out = GroupDigits(whole, m_group);
    if (dot >= 0) {
        out += m_point;
        out += QStringView(text).mid(dot + 1);
    }
    // No "-0.00": a value that rounds to zero has no sign.
    if (negative && std::any_of(out.cbegin(), out.cend(), [](QChar c) { return c >= u'1' && c <= u'9'; }))
        out.prepend(u'-');
    return out;
}

QString TNumberFormats::Bytes(std::int64_t bytes) const
{
    if (bytes < 0)
        return u'-' + GroupDigits(QString::number(-(bytes + 1) + 1ULL), m_group);
    return GroupDigits(QString::number(bytes), m_group);
}

QString TNumberFormats::Speed(double value, const QString &unitName) const
{
    return Grouped(value, 2) + u' ' + unitName;
}

} // namespace vq

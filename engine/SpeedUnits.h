#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>

namespace vq {

// One display unit of speed. Every speed is held in bytes per second and shown divided by the
// unit's divisor; a kilo is 1024 and a kilobit 128 bytes.
struct TSpeedUnit {
    int multiplier;     // the unit index ("Multiplier")
    QString name;       // "KB/s", "Kbps", "MB/s", "Mbps"
    double divisor;     // bytes per second per unit
    double maxValue;    // the dials' scale maximum
    int showValuesSkip; // the dials' label step
    double dialScale;   // a dial position is value / dialScale
    QString listText;   // the text of the unit in the preferences
};

// The unit of a "Multiplier" value; anything other than 1 to 3 is "KB/s".
TSpeedUnit UnitFor(int multiplier);
// The unit whose name is given exactly ("KB/s", "Kbps", "MB/s", "Mbps"); multiplier -1 when none.
TSpeedUnit UnitNamed(const QString &name);

// The integer nearest to x, halves going to the even neighbour.
std::int64_t RoundHalfEven(double x);
std::int64_t RoundHalfEven(long double x);

// Bytes per second of bytes received in milliseconds; 0 when no time passed.
double BytesPerSecond(std::int64_t bytes, std::int64_t milliseconds);

// Where a dial's needle stands for a value in the display unit. Positions beyond the end of the
// scale stop at its end (100): the label beside the dial carries the real figure.
int DialPosition(double valueInUnits, const TSpeedUnit &unit);

// The number texts of the test pages, with the locale's grouping and decimal characters.
class TNumberFormats
{
public:
    explicit TNumberFormats(const QLocale &locale = QLocale());

    // ",0" with a given number of decimals after the point: grouped digits.
    QString Grouped(double value, int decimals) const;

    QString Bytes(std::int64_t bytes) const;                                                      // 1,234,567
    QString Seconds(double seconds) const { return Grouped(seconds, 3); }                          // 12.345
    QString Speed(double value, const QString &unitName) const;                                    // 96.50 KB/s
    QString TotalBytes(std::int64_t bytes) const { return Bytes(bytes) + QStringLiteral(" Bytes"); } // 1,234,567 Bytes
    QString TotalSeconds(double seconds) const { return Seconds(seconds) + QStringLiteral(" s"); }  // 12.345 s
    static QString Raw(std::int64_t value) { return QString::number(value); }                     // 1234567
    // The "Speed" text of a row that took no measurable time.
    static QString ZeroSpeed(const QString &unitName) { return QStringLiteral("0.00 ") + unitName; }

    QString groupSeparator() const { return m_group; }
    QString decimalPoint() const { return m_point; }

private:
    QString m_group;
    QString m_point;
};

} // namespace vq

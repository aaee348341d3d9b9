#include "TimeZoneInfo.h"

#include <QTest>

#include <ctime>

Q_DECLARE_METATYPE(vq::platform::TransitionRule)
Q_DECLARE_METATYPE(vq::platform::TimeZoneInformation)

using namespace vq::platform;

namespace {

QDateTime wall(int y, int m, int d, int h = 0, int min = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min), Qt::UTC);
}

// A yearly rule: the n-th (5 = last) weekday (0 = Sunday) of a month at a time of day.
TransitionRule yearly(int month, int n, int dayOfWeek, int hour)
{
    TransitionRule r;
    r.month = month;
    r.day = n;
    r.dayOfWeek = dayOfWeek;
    r.hour = hour;
    return r;
}

// Sets TZ for one scope and puts the previous value back.
class ScopedTZ
{
public:
    explicit ScopedTZ(const QByteArray &tz)
        : m_old(qgetenv("TZ"))
        , m_had(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", tz);
        tzset();
    }
    ~ScopedTZ()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray m_old;
    bool m_had;
};

} // namespace

class TestTimeZone : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nthWeekdayOfMonth_data();
    void nthWeekdayOfMonth();
    void transitionDate_data();
    void transitionDate();
    void rulesOfTheYearFromTheZoneData();
    void biasFromRules_data();
    void biasFromRules();
    void biasOfZones_data();
    void biasOfZones();
    void systemZoneFollowsTZ_data();
    void systemZoneFollowsTZ();
};

void TestTimeZone::nthWeekdayOfMonth_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("weekday"); // 1 = Sunday
    QTest::addColumn<QDate>("expected");
    QTest::newRow("second Sunday of March 2026") << 2026 << 3 << 2 << 1 << QDate(2026, 3, 8);
    QTest::newRow("last Sunday of March 2026") << 2026 << 3 << 5 << 1 << QDate(2026, 3, 29);
    QTest::newRow("first Sunday of November 2026") << 2026 << 11 << 1 << 1 << QDate(2026, 11, 1);
    QTest::newRow("last Sunday of October 2026") << 2026 << 10 << 5 << 1 << QDate(2026, 10, 25);
    // The 1st of February 2026 is a Sunday, the 28th a Saturday.
    QTest::newRow("first weekday is the 1st") << 2026 << 2 << 1 << 1 << QDate(2026, 2, 1);
    QTest::newRow("day after the 1st") << 2026 << 2 << 1 << 2 << QDate(2026, 2, 2);
    QTest::newRow("fourth Sunday") << 2026 << 2 << 4 << 1 << QDate(2026, 2, 22);
    QTest::newRow("last day is the weekday") << 2026 << 2 << 5 << 7 << QDate(2026, 2, 28);
    QTest::newRow("last, a week back") << 2026 << 2 << 5 << 1 << QDate(2026, 2, 22);
    QTest::newRow("last Sunday of leap February") << 2024 << 2 << 5 << 1 << QDate(2024, 2, 25);
    QTest::newRow("weekday before the 1st's") << 2026 << 4 << 1 << 1 << QDate(2026, 4, 5); // 1 April 2026: Wednesday
    QTest::newRow("n = 0 is the zero date") << 2026 << 3 << 0 << 1 << QDate(1899, 12, 30);
    QTest::newRow("n = 6 is the zero date") << 2026 << 3 << 6 << 1 << QDate(1899, 12, 30);
}

void TestTimeZone::nthWeekdayOfMonth()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, n);
    QFETCH(int, weekday);
    QFETCH(QDate, expected);
    QCOMPARE(NthWeekdayOfMonth(year, month, n, weekday), expected);
}

void TestTimeZone::transitionDate_data()
{
    QTest::addColumn<TransitionRule>("rule");
    QTest::addColumn<int>("year");
    QTest::addColumn<QDateTime>("expected");

    QTest::newRow("second Sunday of March, 02:00") << yearly(3, 2, 0, 2) << 2026 << wall(2026, 3, 8, 2);
    QTest::newRow("last Sunday of March, 02:00") << yearly(3, 5, 0, 2) << 2026 << wall(2026, 3, 29, 2);
    QTest::newRow("first Sunday of November, 02:00") << yearly(11, 1, 0, 2) << 2026 << wall(2026, 11, 1, 2);
    TransitionRule withSeconds = yearly(10, 5, 0, 3);
    withSeconds.minute = 30;
    withSeconds.second = 15;
    withSeconds.milliseconds = 500;
    QTest::newRow("time of day in full") << withSeconds << 2026
                                         << QDateTime(QDate(2026, 10, 25), QTime(3, 30, 15, 500), Qt::UTC);
    QTest::newRow("month 0: none") << TransitionRule{} << 2026 << wall(1899, 12, 30);
    QTest::newRow("invalid occurrence keeps the time") << yearly(3, 7, 0, 2) << 2026 << wall(1899, 12, 30, 2);

    TransitionRule fixed;
    fixed.year = 2026;
    fixed.month = 4;
    fixed.day = 5;
    fixed.hour = 3;
    QTest::newRow("fixed date in its year") << fixed << 2026 << wall(2026, 4, 5, 3);
    QTest::newRow("fixed date in another year") << fixed << 2027 << wall(1899, 12, 30);
}

void TestTimeZone::transitionDate()
{
    QFETCH(TransitionRule, rule);
    QFETCH(int, year);
    QFETCH(QDateTime, expected);
    QCOMPARE(TransitionDate(rule, year), expected);
}

void TestTimeZone::rulesOfTheYearFromTheZoneData()
{
    // Daylight time begins at 02:00 standard time and ends at 02:00 daylight time in New York;
    // in Berlin at 02:00 and 03:00 local time.
    const TimeZoneInformation ny = TimeZoneInformationFor(QTimeZone("America/New_York"), 2026);
    QCOMPARE(ny.bias, 300);
    QCOMPARE(ny.daylightBias, -60);
    QCOMPARE(TransitionDate(ny.daylightDate, 2026), wall(2026, 3, 8, 2));
    QCOMPARE(TransitionDate(ny.standardDate, 2026), wall(2026, 11, 1, 2));
    QCOMPARE(TransitionDate(ny.daylightDate, 2027), wall(1899, 12, 30)); // a fixed date of 2026

    const TimeZoneInformation berlin = TimeZoneInformationFor(QTimeZone("Europe/Berlin"), 2026);
    QCOMPARE(berlin.bias, -60);
    QCOMPARE(TransitionDate(berlin.daylightDate, 2026), wall(2026, 3, 29, 2));
    QCOMPARE(TransitionDate(berlin.standardDate, 2026), wall(2026, 10, 25, 3));

    const TimeZoneInformation kolkata = TimeZoneInformationFor(QTimeZone("Asia/Kolkata"), 2026);
    QCOMPARE(kolkata.bias, -330);
    QCOMPARE(kolkata.daylightDate.month, 0);
}

void TestTimeZone::biasFromRules_data()
{
    QTest::addColumn<TimeZoneInformation>("info");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("bias");

    TimeZoneInformation us;
    us.bias = 300;
    us.daylightDate = yearly(3, 2, 0, 2);
    us.standardDate = yearly(11, 1, 0, 2);
    us.daylightBias = -60;
    QTest::newRow("winter") << us << QDate(2026, 1, 15) << 300;
    // Midnight of the first day is earlier than the 02:00 transition.
    QTest::newRow("first day of daylight time") << us << QDate(2026, 3, 8) << 300;
    QTest::newRow("day after") << us << QDate(2026, 3, 9) << 240;
    QTest::newRow("last day of daylight time") << us << QDate(2026, 11, 1) << 240;
    QTest::newRow("day after the end") << us << QDate(2026, 11, 2) << 300;

    TimeZoneInformation none;
    none.bias = 60;
    QTest::newRow("no daylight saving: one hour behind UTC") << none << QDate(2026, 7, 1) << 60;

    // Southern hemisphere: daylight time from October to April, across the turn of the year.
    TimeZoneInformation south;
    south.bias = -600;
    south.daylightDate = yearly(10, 1, 0, 2);
    south.standardDate = yearly(4, 1, 0, 3);
    south.daylightBias = -60;
    QTest::newRow("south, January") << south << QDate(2026, 1, 15) << -660;
    QTest::newRow("south, last day of daylight time") << south << QDate(2026, 4, 5) << -660;
    QTest::newRow("south, winter") << south << QDate(2026, 6, 15) << -600;
    QTest::newRow("south, first day of daylight time") << south << QDate(2026, 10, 4) << -600;
    QTest::newRow("south, December") << south << QDate(2026, 12, 24) << -660;
}

void TestTimeZone::biasFromRules()
{
    QFETCH(TimeZoneInformation, info);
    QFETCH(QDate, today);
    QFETCH(int, bias);
    QCOMPARE(TimeZoneBias(info, today), bias);
}

void TestTimeZone::biasOfZones_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("bias");
    QTest::newRow("UTC") << QByteArray("UTC") << QDate(2026, 7, 1) << 0;
    QTest::newRow("one hour behind UTC") << QByteArray("Etc/GMT+1") << QDate(2026, 7, 1) << 60;
    QTest::newRow("Kolkata") << QByteArray("Asia/Kolkata") << QDate(2026, 1, 15) << -330;
    QTest::newRow("New York, winter") << QByteArray("America/New_York") << QDate(2026, 1, 15) << 300;
    QTest::newRow("New York, summer") << QByteArray("America/New_York") << QDate(2026, 7, 1) << 240;
    QTest::newRow("New York, start day") << QByteArray("America/New_York") << QDate(2026, 3, 8) << 300;
    QTest::newRow("New York, end day") << QByteArray("America/New_York") << QDate(2026, 11, 1) << 240;
    QTest::newRow("Berlin, end day") << QByteArray("Europe/Berlin") << QDate(2026, 10, 25) << -120;
    QTest::newRow("Berlin, day after the end") << QByteArray("Europe/Berlin") << QDate(2026, 10, 26) << -60;
    QTest::newRow("St. John's, summer") << QByteArray("America/St_Johns") << QDate(2026, 7, 1) << 150;
    QTest::newRow("Sydney, January") << QByteArray("Australia/Sydney") << QDate(2026, 1, 15) << -660;
    QTest::newRow("Sydney, June") << QByteArray("Australia/Sydney") << QDate(2026, 6, 15) << -600;
    QTest::newRow("Auckland, January") << QByteArray("Pacific/Auckland") << QDate(2026, 1, 15) << -780;
    // Irish winter time is a negative daylight offset from Irish standard (summer) time.
    QTest::newRow("Dublin, winter") << QByteArray("Europe/Dublin") << QDate(2026, 1, 15) << 0;
    QTest::newRow("Dublin, summer") << QByteArray("Europe/Dublin") << QDate(2026, 7, 1) << -60;
    QTest::newRow("São Paulo, no daylight time any more")
        << QByteArray("America/Sao_Paulo") << QDate(2026, 1, 15) << 180;
}

void TestTimeZone::biasOfZones()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDate, today);
    QFETCH(int, bias);
    const QTimeZone tz(zone);
    QVERIFY2(tz.isValid(), zone.constData());
    QCOMPARE(TimeZoneBias(tz, QDateTime(today, QTime(12, 0), tz)), bias);
}

void TestTimeZone::systemZoneFollowsTZ_data()
{
    QTest::addColumn<QByteArray>("tz");
    QTest::addColumn<QList<int>>("possible");
    QTest::newRow("UTC") << QByteArray("UTC") << QList<int>{0};
    QTest::newRow("Etc/GMT+1") << QByteArray("Etc/GMT+1") << QList<int>{60};
    QTest::newRow("Asia/Kolkata") << QByteArray("Asia/Kolkata") << QList<int>{-330};
    QTest::newRow("colon form") << QByteArray(":Asia/Tokyo") << QList<int>{-540};
    QTest::newRow("America/New_York") << QByteArray("America/New_York") << QList<int>{300, 240};
}

void TestTimeZone::systemZoneFollowsTZ()
{
    QFETCH(QByteArray, tz);
    QFETCH(QList<int>, possible);
    ScopedTZ scoped(tz);
    const int bias = SystemTimeZoneBias();
    QVERIFY2(possible.contains(bias), QByteArray::number(bias).constData());
    const QByteArray id = tz.startsWith(':') ? tz.mid(1) : tz;
    QCOMPARE(bias, TimeZoneBias(QTimeZone(id), QDateTime::currentDateTimeUtc()));
}

QTEST_GUILESS_MAIN(TestTimeZone)
#include "tst_timezone.moc"

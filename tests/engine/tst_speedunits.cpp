#include "SpeedUnits.h"

#include <QTest>

using namespace vq;

class TestSpeedUnits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unitTable_data();
    void unitTable();
    void formats_data();
    void formats();
    void localeSeparators();
    void oneSpeedInEveryUnit_data();
    void oneSpeedInEveryUnit();
    void roundHalfEven_data();
    void roundHalfEven();
};

void TestSpeedUnits::unitTable_data()
{
    QTest::addColumn<int>("multiplier");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("divisor");
    QTest::addColumn<double>("maxValue");
    QTest::addColumn<int>("skip");
    QTest::addColumn<QString>("listText");
    QTest::newRow("0") << 0 << "KB/s" << 1024.0 << 100.0 << 1 << "KB/s (KiloBytes per second)";
    QTest::newRow("1") << 1 << "Kbps" << 128.0 << 1000.0 << 2 << "Kbps (Kilobits per second)";
    QTest::newRow("2") << 2 << "MB/s" << 1048576.0 << 100.0 << 1 << "MB/s (MegaBytes per second)";
    QTest::newRow("3") << 3 << "Mbps" << 131072.0 << 1000.0 << 2 << "Mbps (Megabits per second)";
    QTest::newRow("7 is KB/s") << 7 << "KB/s" << 1024.0 << 100.0 << 1 << "KB/s (KiloBytes per second)";
    QTest::newRow("-1 is KB/s") << -1 << "KB/s" << 1024.0 << 100.0 << 1 << "KB/s (KiloBytes per second)";
}

void TestSpeedUnits::unitTable()
{
    QFETCH(int, multiplier);
    const TSpeedUnit unit = UnitFor(multiplier);
    QFETCH(QString, name);
    QFETCH(double, divisor);
    QFETCH(double, maxValue);
    QFETCH(int, skip);
    QFETCH(QString, listText);
    QCOMPARE(unit.name, name);
    QCOMPARE(unit.divisor, divisor);
    QCOMPARE(unit.maxValue, maxValue);
    QCOMPARE(unit.showValuesSkip, skip);
    QCOMPARE(unit.listText, listText);
    QCOMPARE(UnitNamed(name).divisor, divisor);
}

void TestSpeedUnits::formats_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("bytes") << "bytes" << 1234567.0 << "1,234,567";
    QTest::newRow("bytes small") << "bytes" << 999.0 << "999";
    QTest::newRow("bytes zero") << "bytes" << 0.0 << "0";
    QTest::newRow("bytes 1000") << "bytes" << 1000.0 << "1,000";
    QTest::newRow("seconds") << "seconds" << 12.345 << "12.345";
    QTest::newRow("seconds grouped") << "seconds" << 1234.5 << "1,234.500";
    QTest::newRow("seconds zero") << "seconds" << 0.0 << "0.000";
    QTest::newRow("speed") << "speed" << 96.5 << "96.50 KB/s";
    QTest::newRow("speed grouped") << "speed" << 1000.0 << "1,000.00 KB/s";
    QTest::newRow("speed rounds") << "speed" << 0.9765625 << "0.98 KB/s";
    QTest::newRow("speed tiny negative has no sign") << "speed" << -0.001 << "0.00 KB/s";
    QTest::newRow("total bytes") << "totalBytes" << 1234567.0 << "1,234,567 Bytes";
    QTest::newRow("total seconds") << "totalSeconds" << 12.345 << "12.345 s";
    QTest::newRow("raw") << "raw" << 1234567.0 << "1234567";
}

void TestSpeedUnits::formats()
{
    QFETCH(QString, kind);
    QFETCH(double, value);
    QFETCH(QString, text);
    const TNumberFormats f{QLocale::c()};
    QString got;
    if (kind == u"bytes")
        got = f.Bytes(std::int64_t(value));
    else if (kind == u"seconds")
        got = f.Seconds(value);
    else if (kind == u"speed")
        got = f.Speed(value, QStringLiteral("KB/s"));
    else if (kind == u"totalBytes")
        got = f.TotalBytes(std::int64_t(value));
    else if (kind == u"totalSeconds")
        got = f.TotalSeconds(value);
    else
        got = TNumberFormats::Raw(std::int64_t(value));
    QCOMPARE(got, text);
}

void TestSpeedUnits::localeSeparators()
{
    // The user's own grouping and decimal characters.
    const TNumberFormats german{QLocale(QLocale::German, QLocale::Germany)};
    QCOMPARE(german.Bytes(1234567), QStringLiteral("1.234.567"));
    QCOMPARE(german.Seconds(1234.5), QStringLiteral("1.234,500"));
    QCOMPARE(german.Speed(96.5, QStringLiteral("KB/s")), QStringLiteral("96,50 KB/s"));
    const TNumberFormats french{QLocale(QLocale::French, QLocale::France)};
    QCOMPARE(french.Bytes(1234567), QStringLiteral("1") + french.groupSeparator() + QStringLiteral("234")
                                        + french.groupSeparator() + QStringLiteral("567"));
    QCOMPARE(french.Seconds(1.5), QStringLiteral("1,500"));
}

void TestSpeedUnits::oneSpeedInEveryUnit_data()
{
    QTest::addColumn<int>("multiplier");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("dial");
    // 1,536,000 bytes in 12,000 ms: 128,000 bytes per second.
    QTest::newRow("KB/s") << 0 << "125.00 KB/s" << 100;
    QTest::newRow("Kbps") << 1 << "1,000.00 Kbps" << 100;
    QTest::newRow("MB/s") << 2 << "0.12 MB/s" << 0;
    QTest::newRow("Mbps") << 3 << "0.98 Mbps" << 0;
}

void TestSpeedUnits::oneSpeedInEveryUnit()
{
    QFETCH(int, multiplier);
    QFETCH(QString, text);
    QFETCH(int, dial);
    const TSpeedUnit unit = UnitFor(multiplier);
    const double bps = BytesPerSecond(1536000, 12000);
    QCOMPARE(bps, 128000.0);
    QCOMPARE(TNumberFormats(QLocale::c()).Speed(bps / unit.divisor, unit.name), text);
    // The dial stops at the end of its scale (125 KB/s lies beyond it).
    QCOMPARE(DialPosition(bps / unit.divisor, unit), dial);
    QCOMPARE(BytesPerSecond(10, 0), 0.0);
}

void TestSpeedUnits::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("rounded");
    QTest::newRow("0.5") << 0.5 << qint64(0);
    QTest::newRow("1.5") << 1.5 << qint64(2);
    QTest::newRow("2.5") << 2.5 << qint64(2);
    QTest::newRow("2.5000001") << 2.5000001 << qint64(3);
    QTest::newRow("-2.5") << -2.5 << qint64(-2);
    QTest::newRow("-3.5") << -3.5 << qint64(-4);
    QTest::newRow("40") << 40.0 << qint64(40);
    QTest::newRow("nan") << qQNaN() << qint64(0);
}

void TestSpeedUnits::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(qint64, rounded);
    QCOMPARE(qint64(RoundHalfEven(value)), rounded);
    // Switching units after a run: 50 KB/s with the needle at 50 becomes 400 Kbps at 40.
    QCOMPARE(DialPosition(50.0, UnitFor(0)), 50);
    QCOMPARE(DialPosition(400.0, UnitFor(1)), 40);
    QCOMPARE(DialPosition(-3.0, UnitFor(0)), 0);
}

QTEST_GUILESS_MAIN(TestSpeedUnits)
#include "tst_speedunits.moc"

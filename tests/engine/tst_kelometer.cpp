#include "KeloMeter.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>

using namespace vq;

namespace {

using G = TKeloMeterGeometry;

// The four meters of the main window.
TKeloMeter *MainWindowMeter(QWidget *parent = nullptr)
{
    auto *meter = new TKeloMeter(parent);
    meter->resize(185, 169);
    meter->setMaxValue(100.0);
    meter->setShowValues(true);
    meter->setCaption(QStringLiteral("KB/s"));
    QFont f = meter->font();
    f.setPixelSize(11);
    f.setBold(true);
    meter->setFont(f);
    return meter;
}

} // namespace

class TestKeloMeter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mainWindowGeometry();
    void labels_data();
    void labels();
    void newControl();
    void percentSetter();
    void minMaxRules();
    void renderToImage_data();
    void renderToImage();
};

void TestKeloMeter::mainWindowGeometry()
{
    const G g = G::For(185, 169, true);
    QCOMPARE(g.R, 124);
    QCOMPARE(g.C, 159);
    // Band boundaries: green/blue at 60 %, blue/red at 90 %.
    QCOMPARE(g.PointAt(G::AngleOfPercent(60), g.R), QPoint(86, 59));
    QCOMPARE(g.PointAt(G::AngleOfPercent(90), g.R), QPoint(140, 37));
    QCOMPARE(g.NeedleWidth(), 7);
    QCOMPARE(g.HubPenWidth(), 3);
    QCOMPARE(g.HubRect().topLeft(), QPoint(156, 156));
    QCOMPARE(g.HubRect().bottomRight(), QPoint(162, 162));
    QCOMPARE(g.NeedleLength(true), 104);
    QCOMPARE(g.Needle(0, true)[1], QPoint(55, 159));
    QCOMPARE(g.Needle(50, true)[1], QPoint(85, 85));
    QCOMPARE(g.Needle(100, true)[1], QPoint(159, 55));
    QCOMPARE(g.CaptionAnchor(), QPoint(115, 115));
    QCOMPARE(g.BandRect(), QRect(QPoint(35, 35), QPoint(283, 283)));
    // The blade's base straddles the pivot at half the needle's width.
    QCOMPARE(g.Needle(50, true)[0], g.PointAt(G::AngleOfPercent(20), 3));
    // Beyond 100 the needle passes the top into the upper right.
    const QPoint over = g.Needle(150, true)[1];
    QVERIFY(over.x() > g.C && over.y() < g.C);
    // Ticks: majors across the band, minors on its inner quarter, none at the ends.
    QCOMPARE(g.MajorTick(5), QLine(g.PointAt(G::AngleOfTenth(5), 134), g.PointAt(G::AngleOfTenth(5), 114)));
    QCOMPARE(g.MinorTick(1), QLine(g.PointAt(G::AngleOfPercent(1), 119), g.PointAt(G::AngleOfPercent(1), 114)));
}

void TestKeloMeter::labels_data()
{
    QTest::addColumn<double>("minValue");
    QTest::addColumn<double>("maxValue");
    QTest::addColumn<int>("skip");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<QPoint>>("anchors");
    QTest::newRow("bit units") << 0.0 << 1000.0 << 2 << QStringList{"0", "200", "400", "600", "800", "1000"}
                               << QList<QPoint>{{20, 159}, {27, 116}, {47, 77}, {77, 47}, {116, 27}, {159, 20}};
    QTest::newRow("ties to even") << 0.0 << 25.0 << 1
                                  << QStringList{"0", "2", "5", "8", "10", "12", "15", "18", "20", "22", "25"}
                                  << QList<QPoint>{};
    QTest::newRow("a step below 1 counts as 1") << 0.0 << 100.0 << 0
                                                << QStringList{"0", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100"}
                                                << QList<QPoint>{};
    QTest::newRow("step 3") << 10.0 << 20.0 << 3 << QStringList{"10", "13", "16", "19"} << QList<QPoint>{};
}

void TestKeloMeter::labels()
{
    QFETCH(double, minValue);
    QFETCH(double, maxValue);
    QFETCH(int, skip);
    QFETCH(QStringList, texts);
    QFETCH(QList<QPoint>, anchors);
    const QList<G::Label> labels = G::For(185, 169, true).Labels(minValue, maxValue, skip);
    QStringList gotTexts;
    QList<QPoint> gotAnchors;
    for (const G::Label &l : labels) {
        gotTexts.append(l.text);
        gotAnchors.append(l.anchor);
    }
    QCOMPARE(gotTexts, texts);
    if (!anchors.isEmpty())
        QCOMPARE(gotAnchors, anchors);
}

void TestKeloMeter::newControl()
{
    TKeloMeter meter;
    QCOMPARE(meter.size(), QSize(100, 100));
    QCOMPARE(meter.Percent(), 0);
    QCOMPARE(meter.NeedleColor(), QColor(255, 0, 0));
    QCOMPARE(meter.MaxValue(), 0.0);
    QCOMPARE(meter.ShowValuesSkip(), 1);
    QVERIFY(!meter.ShowValues());
    QCOMPARE(meter.BorderStyle(), TFrameStyle::fsNone);
    const G g = G::For(100, 100, false);
    QCOMPARE(g.R, 80);
    QCOMPARE(g.C, 90);
    QCOMPARE(g.NeedleLength(false), 65);
    QCOMPARE(g.NeedleWidth(), 5); // 80 div 15
}

void TestKeloMeter::percentSetter()
{
    TKeloMeter meter;
    QList<int> changes;
    meter.OnChange = [&changes, &meter](TKeloMeter *sender, int percent) {
        QCOMPARE(sender, &meter);
        changes.append(percent);
    };
    meter.setPercent(0); // the same value: nothing
    meter.setPercent(40);
    meter.setPercent(40);
    meter.setPercent(180); // not clamped
    QCOMPARE(changes, (QList<int>{40, 180}));
    QCOMPARE(meter.Percent(), 180);
}

void TestKeloMeter::minMaxRules()
{
    TKeloMeter meter;
    meter.setMinValue(5); // MaxValue 0: it takes the old MinValue first
    QCOMPARE(meter.MaxValue(), 0.0);
    QCOMPARE(meter.MinValue(), 5.0);
    meter.setMaxValue(3); // below MinValue
    QCOMPARE(meter.MaxValue(), 5.0);
    meter.setMaxValue(50);
    meter.setMinValue(80); // above a non-zero MaxValue
    QCOMPARE(meter.MinValue(), 50.0);
    meter.setMinValue(10);
    QCOMPARE(meter.MinValue(), 10.0);
    QCOMPARE(meter.MaxValue(), 50.0);
}

void TestKeloMeter::renderToImage_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("1x") << qreal(1);
    QTest::newRow("2x") << qreal(2);
    QTest::newRow("1.5x") << qreal(1.5);
}

void TestKeloMeter::renderToImage()
{
    QFETCH(qreal, ratio);
    std::unique_ptr<TKeloMeter> meter(MainWindowMeter());
    meter->setPercent(50);
    QImage image(QSize(185, 169) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    meter->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    const G g = G::For(185, 169, true);
    auto at = [&](QPoint logical) {
        return image.pixelColor(int(std::floor(logical.x() * ratio + ratio / 2)), int(std::floor(logical.y() * ratio + ratio / 2)));
    };
    // No background: the parent shows through.
    QCOMPARE(at({2, 2}).alpha(), 0);
    QCOMPARE(at({180, 20}).alpha(), 0);
    // The band in its three colours, in the middle of each part (off the ticks).
    QCOMPARE(at(g.PointAt(G::AngleOfPercent(33.5), g.R + 7)), QColor(0, 128, 0));
    QCOMPARE(at(g.PointAt(G::AngleOfPercent(73.5), g.R + 7)), QColor(0, 0, 255));
    QCOMPARE(at(g.PointAt(G::AngleOfPercent(94.5), g.R + 7)), QColor(255, 0, 0));
    // A major tick crosses the band in white (the line runs between rounded end points, so
    // look next to the ideal point too).
    auto near = [&](QPoint logical, const QColor &color) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (at(logical + QPoint(dx, dy)) == color)
                    return true;
        return false;
    };
    QVERIFY(near(g.PointAt(G::AngleOfTenth(1), g.R + 5), Qt::white));
    QVERIFY(near(g.PointAt(G::AngleOfTenth(5), g.R - 8), Qt::white));
    // The needle at 50 % and the white hub around the pivot.
    const QColor blade = at(g.PointAt(G::AngleOfPercent(50), 40));
    QVERIFY(blade.red() > 200 && blade.green() < 40 && blade.blue() < 40);
    if (qEnvironmentVariableIsSet("VQ_SAVE_DIAL"))
        image.save(QStringLiteral("%1/dial-%2.png").arg(qEnvironmentVariable("VQ_SAVE_DIAL")).arg(ratio));
    QCOMPARE(at(g.PointAt(G::AngleOfPercent(0), 60)).alpha(), 0);
    // Caption and labels are drawn in the window's text colour somewhere near their anchors.
    auto inked = [&](QRect logical) {
        for (int y = logical.top(); y <= logical.bottom(); ++y)
            for (int x = logical.left(); x <= logical.right(); ++x)
                if (at({x, y}).alpha() > 0)
                    return true;
        return false;
    };
    QVERIFY(inked(QRect(115, 115, 25, 10)));           // "KB/s"
    QVERIFY(inked(QRect(QPoint(10, 150), QPoint(20, 158)))); // "0", right-aligned at (20, 159)
    // Drawn at the device's resolution, not scaled up: the image holds ratio^2 as many pixels
    // and a 1-pixel tick stays about one logical pixel wide.
    QCOMPARE(image.size(), QSize(qRound(185 * ratio), qRound(169 * ratio)));
}

QTEST_MAIN(TestKeloMeter)
#include "tst_kelometer.moc"

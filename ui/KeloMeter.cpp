#include "KeloMeter.h"

#include <QPainter>
#include <QPainterPath>

#include <cfenv>
#include <cmath>

namespace vq {

namespace {

constexpr long double kHalfPi = 1.570796326794896619231321691639751442L;

// Nearest integer, halves to the even neighbour.
long long Nearest(long double x)
{
    const long double f = std::floor(x);
    const long double d = x - f;
    if (d > 0.5L)
        return (long long)f + 1;
    if (d < 0.5L)
        return (long long)f;
    return std::fmod(f, 2.0L) == 0 ? (long long)f : (long long)f + 1;
}

// Qt angles are in sixteenths of a degree, counter-clockwise from three o'clock; the dial's
// angle t runs clockwise from nine o'clock.
int QtAngle16(long double t)
{
    return int(Nearest((180.0L - t * 180.0L / (2 * kHalfPi)) * 16.0L));
}

} // namespace

TKeloMeterGeometry TKeloMeterGeometry::For(int width, int height, bool showValues)
{
    TKeloMeterGeometry g;
    g.m = showValues ? 25 : 0;
    g.R = std::min(width, height) - g.m - 20;
    g.C = g.m + 10 + g.R;
    return g;
}

QPoint TKeloMeterGeometry::PointAt(long double angle, long double distance) const
{
    return QPoint(int(C - Nearest(distance * std::cos(angle))), int(C - Nearest(distance * std::sin(angle))));
}

long double TKeloMeterGeometry::AngleOfPercent(long double percent)
{
    return percent * kHalfPi / 100.0L;
}

long double TKeloMeterGeometry::AngleOfTenth(int k)
{
    return k * kHalfPi / 10.0L;
}

QRect TKeloMeterGeometry::BandRect() const
{
    return QRect(QPoint(m + 10, m + 10), QPoint(m + 10 + 2 * R, m + 10 + 2 * R));
}

QLine TKeloMeterGeometry::MajorTick(int k) const
{
    return QLine(PointAt(AngleOfTenth(k), R + 10), PointAt(AngleOfTenth(k), R - 10));
}

QLine TKeloMeterGeometry::MinorTick(int p) const
{
    return QLine(PointAt(AngleOfPercent(p), R - 5), PointAt(AngleOfPercent(p), R - 10));
}

QPoint TKeloMeterGeometry::CaptionAnchor() const
{
    return PointAt(kHalfPi / 2, R / 2);
}

int TKeloMeterGeometry::NeedleWidth() const
{
    if (R > 200)
        return 10;
    if (R > 100)
        return 7;
    return R / 15;
}

int TKeloMeterGeometry::NeedleLength(bool showValues) const
{
    return showValues ? R - 20 : R - 15;
}

int TKeloMeterGeometry::HubPenWidth() const
{
    const int w = NeedleWidth();
    return w > 4 ? w - 4 : 0;
}

QRect TKeloMeterGeometry::HubRect() const
{
    const int half = NeedleWidth() / 2;
    return QRect(QPoint(C - half, C - half), QPoint(C + half, C + half));
}

std::array<QPoint, 3> TKeloMeterGeometry::Needle(int percent, bool showValues) const
{
    const int half = NeedleWidth() / 2;
    return {PointAt(AngleOfPercent(percent - 30), half), PointAt(AngleOfPercent(percent), NeedleLength(showValues)),
            PointAt(AngleOfPercent(percent + 30), half)};
}

QList<TKeloMeterGeometry::Label> TKeloMeterGeometry::Labels(double minValue, double maxValue, int skip) const
{
    QList<Label> labels;
    const int step = std::max(skip, 1);
    for (int k = 0; k <= 10; k += step) {
        const long double value = (static_cast<long double>(maxValue) - minValue) * k / 10 + minValue;
        labels.append({QString::number(Nearest(value)), PointAt(AngleOfTenth(k), R + 15)});
    }
    return labels;
}

TKeloMeter::TKeloMeter(QWidget *parent)
    : QWidget(parent)
{
    resize(100, 100);
}

void TKeloMeter::setNeedleColor(const QColor &color)
{
    if (color == m_needleColor)
        return;
    m_needleColor = color;
    update();
}

void TKeloMeter::setPercent(int percent)
{
    if (percent == m_percent)
        return;
    m_percent = percent;
    Change();
    repaint();
}

void TKeloMeter::Change()
{
    if (OnChange)
        OnChange(this, m_percent);
    Q_EMIT percentChanged(m_percent);
}

void TKeloMeter::setMaxValue(double value)
{
    if (value == m_maxValue)
        return;
    m_maxValue = value >= m_minValue ? value : m_minValue;
    repaintValues();
}

void TKeloMeter::setMinValue(double value)
{
    if (value == m_minValue)
        return;
    if (m_maxValue != 0 && value > m_maxValue) {
        m_minValue = m_maxValue;
    } else {
        if (m_maxValue == 0)
            m_maxValue = m_minValue;
        m_minValue = value;
    }
    repaintValues();
}

void TKeloMeter::repaintValues()
{
    // Without labels the scale's values are not visible.
    if (m_showValues)
        repaint();
}

void TKeloMeter::setShowValues(bool show)
{
    if (show == m_showValues)
        return;
    m_showValues = show;
    repaint();
}

void TKeloMeter::setShowValuesSkip(int skip)
{
    m_showValuesSkip = std::max(skip, 1); // the next paint shows it
}

void TKeloMeter::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    repaint();
}

void TKeloMeter::setBorderStyle(TFrameStyle style)
{
    if (style == m_borderStyle)
        return;
    m_borderStyle = style;
    repaint();
}

void TKeloMeter::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const TKeloMeterGeometry g = TKeloMeterGeometry::For(width(), height(), m_showValues);
    const qreal dpr = p.device()->devicePixelRatioF();
    // Straight lines on whole pixels stay crisp without smoothing at whole ratios; curves and
    // slanted edges are smoothed.
    const bool fractional = std::abs(dpr - std::round(dpr)) > 0.01;

    // 1. Frame.
    if (m_borderStyle != TFrameStyle::fsNone) {
        QColor topLeft = palette().color(QPalette::Dark);
        QColor bottomRight = palette().color(QPalette::Light);
        switch (m_borderStyle) {
        case TFrameStyle::fsFlat:
            topLeft = bottomRight = palette().color(QPalette::WindowText);
            break;
        case TFrameStyle::fsBump:
        case TFrameStyle::fsRaised:
            std::swap(topLeft, bottomRight);
            break;
        default:
            break;
        }
        const QRect r = rect();
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(topLeft, 1));
        p.drawLine(r.left(), r.bottom(), r.left(), r.top());
        p.drawLine(r.left(), r.top(), r.right(), r.top());
        p.setPen(QPen(bottomRight, 1));
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
    }

    // 2. Band: 0-60 % green, 60-90 % blue, 90-100 % red, 20 pixels wide across the radius R.
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF band = QRectF(g.BandRect()).adjusted(0, 0, -1, -1);
    auto arc = [&](const QColor &color, long double from, long double to) {
        p.setPen(QPen(color, 20, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        const int start = QtAngle16(to);
        p.drawArc(band, start, QtAngle16(from) - start);
    };
    arc(QColor(0, 128, 0), 0.0L, 0.3L * 2 * kHalfPi);
    arc(QColor(0, 0, 255), 0.3L * 2 * kHalfPi, 0.45L * 2 * kHalfPi);
    arc(QColor(255, 0, 0), 0.45L * 2 * kHalfPi, kHalfPi);

    // 3. Caption.
    if (m_showValues && !m_caption.isEmpty()) {
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        const QPoint at = g.CaptionAnchor();
        p.drawText(QPoint(at.x(), at.y() + p.fontMetrics().ascent()), m_caption);
    }

    // 4 and 5. Ticks, across the band and on its inner quarter.
    p.setRenderHint(QPainter::Antialiasing, fractional);
    p.setPen(QPen(Qt::white, 1));
    for (int k = 1; k <= 9; ++k)
        p.drawLine(g.MajorTick(k));
    for (int pc = 1; pc <= 99; ++pc)
        p.drawLine(g.MinorTick(pc));

    // 6. Value labels, right-aligned on their baseline.
    if (m_showValues) {
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        const QFontMetrics fm = p.fontMetrics();
        for (const TKeloMeterGeometry::Label &label : g.Labels(m_minValue, m_maxValue, m_showValuesSkip))
            p.drawText(QPoint(label.anchor.x() - fm.horizontalAdvance(label.text), label.anchor.y()), label.text);
    }

    // 7. Needle: the hub, then the blade over it.
    p.setRenderHint(QPainter::Antialiasing, true);
    const int hubPen = g.HubPenWidth();
    p.setPen(hubPen > 0 ? QPen(m_needleColor, hubPen) : QPen(m_needleColor, 1));
    p.setBrush(Qt::white);
    p.drawEllipse(g.HubRect());
    p.setPen(QPen(m_needleColor, 1));
    p.setBrush(m_needleColor);
    const std::array<QPoint, 3> blade = g.Needle(m_percent, m_showValues);
    p.drawPolygon(blade.data(), int(blade.size()));
}

} // namespace vq

#pragma once

#include <QColor>
#include <QLine>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

namespace vq {

// The frame around a dial.
enum class TFrameStyle { fsNone, fsFlat, fsGroove, fsBump, fsRecessed, fsRaised };

// Where everything of a dial lies, for a client size: pure integer geometry, so that it can be
// checked number by number. Angle 0 is due left of the pivot, pi/2 straight up; the scale is the
// upper-left quarter of a circle, 0 % at its left end and 100 % at its top.
struct TKeloMeterGeometry {
    int m = 0; // margin for the value labels
    int R = 0; // radius of the band's middle
    int C = 0; // the pivot is (C, C)

    static TKeloMeterGeometry For(int width, int height, bool showValues);

    // The point at an angle (radians) and a distance from the pivot, rounded half to even.
    QPoint PointAt(long double angle, long double distance) const;
    static long double AngleOfPercent(long double percent); // p * (pi/2) / 100
    static long double AngleOfTenth(int k);                 // k * (pi/2) / 10

    QRect BandRect() const; // the circle of radius R around the pivot
    QLine MajorTick(int k) const; // k = 1..9, across the band
    QLine MinorTick(int p) const; // p = 1..99, on the band's inner quarter
    QPoint CaptionAnchor() const; // top-left corner of the caption

    int NeedleWidth() const;
    int NeedleLength(bool showValues) const;
    int HubPenWidth() const;
    QRect HubRect() const; // corners (C - w div 2, C - w div 2) and (C + w div 2, C + w div 2)
    std::array<QPoint, 3> Needle(int percent, bool showValues) const; // base, tip, base

    struct Label {
        QString text;
        QPoint anchor; // right end of the text, on its baseline
    };
    QList<Label> Labels(double minValue, double maxValue, int skip) const;
};

// The speed gauge: a quarter-circle dial with a green, blue and red band, ticks, value labels,
// a unit caption and a triangular needle at a percentage of the scale. It paints no background
// (its parent shows through) and keeps no state beyond its properties.
class TKeloMeter : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor NeedleColor READ NeedleColor WRITE setNeedleColor)
    Q_PROPERTY(int Percent READ Percent WRITE setPercent)
    Q_PROPERTY(double MinValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(double MaxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(bool ShowValues READ ShowValues WRITE setShowValues)
    Q_PROPERTY(int ShowValuesSkip READ ShowValuesSkip WRITE setShowValuesSkip)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)

public:
    explicit TKeloMeter(QWidget *parent = nullptr);

    QColor NeedleColor() const { return m_needleColor; }
    int Percent() const { return m_percent; }
    double MinValue() const { return m_minValue; }
    double MaxValue() const { return m_maxValue; }
    bool ShowValues() const { return m_showValues; }
    int ShowValuesSkip() const { return m_showValuesSkip; }
    QString Caption() const { return m_caption; }
    TFrameStyle BorderStyle() const { return m_borderStyle; }

    void setNeedleColor(const QColor &color);
    // A different value is stored, reported through Change, and painted at once; the same value
    // does nothing. Values beyond 0..100 are drawn by the same formula, past the scale's ends.
    void setPercent(int percent);
    // MaxValue never falls below MinValue, and MinValue never rises above a non-zero MaxValue.
    void setMinValue(double value);
    void setMaxValue(double value);
    void setShowValues(bool show);
    // The step between labelled tenths; below 1 counts as 1.
    void setShowValuesSkip(int skip);
    void setCaption(const QString &caption);
    void setBorderStyle(TFrameStyle style);

    // Called with the control and its new Percent after every change of Percent.
    std::function<void(TKeloMeter *Sender, int Percent)> OnChange;

    QSize sizeHint() const override { return {185, 169}; }

Q_SIGNALS:
    void percentChanged(int percent);

protected:
    virtual void Change();
    void paintEvent(QPaintEvent *event) override;

private:
    void repaintValues();

    int m_percent = 0;
    QColor m_needleColor = QColor(255, 0, 0);
    double m_minValue = 0.0;
    bool m_showValues = false;
    QString m_caption;
    double m_maxValue = 0.0;
    TFrameStyle m_borderStyle = TFrameStyle::fsNone;
    int m_showValuesSkip = 1;
};

} // namespace vq

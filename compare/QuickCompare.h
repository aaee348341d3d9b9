#pragma once

#include <QList>
#include <QString>

#include <cstdint>

namespace vq {

class Service1Soap;

// One entry of a selector of the "Quick compare" page: the text the list shows and the value
// the service is sent.
struct TQuickCompareChoice {
    QString text;
    QString value;
};

// ComboBox3, whom to compare with: "everyone" is "world", the neighbours by zip code, state or
// country are "zipcode", "state" and "country" (relative to the active profile).
QList<TQuickCompareChoice> QuickCompareAreas();
// ComboBox4, the time of day of the others' tests: "anytime", "morning", "afternoon", "night".
QList<TQuickCompareChoice> QuickComparePeriods();

// The value of the entry at an index of one of the lists above; the first entry's value for an
// index outside the list (nothing selected).
QString QuickCompareValue(const QList<TQuickCompareChoice> &choices, int index);

// The average Veloqua of the others for the profile, in bytes per second: GetAvgVeloqua, a
// scalar call (FPendingRequest 6). Throws the service client's exceptions.
int GetQuickCompareAverage(Service1Soap &service, std::uint8_t &FPendingRequest, int profileId, const QString &area,
                           const QString &period);

} // namespace vq

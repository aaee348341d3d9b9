#include "QuickCompare.h"

#include "wsVeloqua.h"

namespace vq {

QList<TQuickCompareChoice> QuickCompareAreas()
{
    return {
        {QStringLiteral("everyone"), QStringLiteral("world")},
        {QStringLiteral("your neighbors by zip code"), QStringLiteral("zipcode")},
        {QStringLiteral("your neighbors by state"), QStringLiteral("state")},
        {QStringLiteral("your neighbors by country"), QStringLiteral("country")},
    };
}

QList<TQuickCompareChoice> QuickComparePeriods()
{
    return {
        {QStringLiteral("at anytime"), QStringLiteral("anytime")},
        {QStringLiteral("in the morning"), QStringLiteral("morning")},
        {QStringLiteral("in the afternoon "), QStringLiteral("afternoon")},
        {QStringLiteral("at night"), QStringLiteral("night")},
    };
}

QString QuickCompareValue(const QList<TQuickCompareChoice> &choices, int index)
{
    if (choices.isEmpty())
        return QString();
    return choices.value(index, choices.constFirst()).value;
}

int GetQuickCompareAverage(Service1Soap &service, std::uint8_t &FPendingRequest, int profileId, const QString &area,
                           const QString &period)
{
    FPendingRequest = 6; // the answer is a number, not a table
    return service.GetAvgVeloqua(profileId, area, period);
}

} // namespace vq

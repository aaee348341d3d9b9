#pragma once

#include "Storage.h"

#include <QList>

#include <optional>
#include <QMetaType>
#include <QString>
#include <QVariant>

namespace vq::server {

// A table answer: typed columns and rows (a null value is an absent field).
struct ResultTable {
    struct Column {
        QString name;
        QMetaType::Type type; // Int or QString
    };
    QList<Column> columns;
    QList<QVariantList> rows;
};

// The comparisons, computed from the stored test runs.
//
// Areas are relative to the asking profile: "zipcode" its country and zip code, "state" its
// country and state, "country" its country, "world" everything. A test run counts where its
// profile was when it ran.
//
// Periods of the tables by date: "day" the last 24 hours, one figure per hour; "week" and
// "month" the last 7 and 31 days, one figure per day. Dates (Column1, "2006-05-17" or
// "2006-05-17 13") are in the asking profile's local time.
//
// The current figures (by ISP, by state, and the single average) cover the last 31 days. The
// time of day of GetAvgVeloqua is the tester's local time when the test ran: "morning" 06-12,
// "afternoon" 12-18, "night" 18-06, "anytime" all.
//
// Figures are averages of the runs' overall speeds in whole bytes per second, rounded to the
// nearest (halves to even); the asking profile's own runs count too.
class Comparisons
{
public:
    explicit Comparisons(Storage &storage)
        : m_storage(storage)
    {
    }

    enum class GroupBy { Isp, ConnectionType };

    ResultTable veloquaByDate(GroupBy by, int profileId, const QString &period, const QString &area, qint64 now);
    ResultTable avgByState(int profileId, const QString &area, qint64 now);
    ResultTable avgByIsp(int profileId, const QString &area, qint64 now);
    ResultTable myVeloquaByDate(int profileId, const QString &period, qint64 now);
    int myAvg(int profileId, const QString &period, qint64 now);
    int avg(int profileId, const QString &area, const QString &period, qint64 now);

    static constexpr qint64 kCurrentWindow = 31 * 86400;

private:
    ProfileRecord requireProfile(int profileId);
    // The averages of the current window per value of one column, within the area; ispId keeps
    // the runs of one ISP only.
    ResultTable currentAverages(const QString &column, const ResultTable::Column &key, const ProfileRecord &p,
                                const QString &area, qint64 now, std::optional<int> ispId);

    Storage &m_storage;
};

// Rounds an average to whole bytes per second (halves to even).
int RoundSpeed(double average);

} // namespace vq::server

#include "Comparisons.h"

#include <QDateTime>
#include <QTimeZone>
#include <QSqlQuery>

#include <cmath>

namespace vq::server {

namespace {

struct Window {
    qint64 span;   // seconds back from now
    qint64 bucket; // seconds per figure
};

Window DateWindow(const QString &period)
{
    if (period == QLatin1String("day"))
        return {86400, 3600};
    if (period == QLatin1String("week"))
        return {7 * 86400, 86400};
    if (period == QLatin1String("month"))
        return {31 * 86400, 86400};
    throw EBadRequest(QStringLiteral("Period must be one of day, week, month; got \"%1\".").arg(period));
}

// The area's condition on the tests table, with its bound values.
QString AreaClause(const QString &area, const ProfileRecord &p, QVariantList *binds)
{
    if (area == QLatin1String("world"))
        return QString();
    if (area == QLatin1String("country")) {
        binds->append(p.country);
        return QStringLiteral(" AND country = ?");
    }
    if (area == QLatin1String("state")) {
        binds->append(p.country);
        binds->append(p.state);
        return QStringLiteral(" AND country = ? AND state = ?");
    }
    if (area == QLatin1String("zipcode")) {
        binds->append(p.country);
        binds->append(p.zipCode);
        return QStringLiteral(" AND country = ? AND zip_code = ?");
    }
    throw EBadRequest(QStringLiteral("Area must be one of zipcode, state, country, world; got \"%1\".").arg(area));
}

// Refuses an area outside its set before anything is looked up.
void CheckArea(const QString &area)
{
    QVariantList unused;
    AreaClause(area, ProfileRecord(), &unused);
}

QString TimeOfDayClause(const QString &period)
{
    if (period == QLatin1String("anytime"))
        return QString();
    if (period == QLatin1String("morning"))
        return QStringLiteral(" AND local_hour >= 6 AND local_hour < 12");
    if (period == QLatin1String("afternoon"))
        return QStringLiteral(" AND local_hour >= 12 AND local_hour < 18");
    if (period == QLatin1String("night"))
        return QStringLiteral(" AND (local_hour >= 18 OR local_hour < 6)");
    throw EBadRequest(QStringLiteral("Period must be one of anytime, morning, afternoon, night; got \"%1\".").arg(period));
}

// Column1 of a figure: the bucket's start in the asking profile's local time.
QString BucketText(qint64 bucketIndex, qint64 bucket)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(bucketIndex * bucket, Qt::UTC);
    if (bucket == 3600)
        return local.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + QString::number(local.time().hour());
    return local.toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace

int RoundSpeed(double average)
{
    const double r = std::nearbyint(average); // the default rounding mode: halves to even
    if (!(r < 2147483647.0))
        return 2147483647;
    return r < 0 ? 0 : int(r);
}

ProfileRecord Comparisons::requireProfile(int profileId)
{
    const std::optional<ProfileRecord> p = m_storage.profile(profileId);
    if (!p)
        throw EBadRequest(QStringLiteral("Unknown profile %1.").arg(profileId));
    return *p;
}

ResultTable Comparisons::veloquaByDate(GroupBy by, int profileId, const QString &period, const QString &area, qint64 now)
{
    const Window w = DateWindow(period);
    CheckArea(area);
    const ProfileRecord p = requireProfile(profileId);
    QVariantList binds;
    const QString areaClause = AreaClause(area, p, &binds);
    const QString column = by == GroupBy::Isp ? QStringLiteral("isp_id") : QStringLiteral("connection_type_id");
    const qint64 shift = qint64(p.timeZone) * 60; // local = UTC - bias
    QSqlQuery q = m_storage.prepare(
        QStringLiteral("SELECT %1, (tested_at - ?) / ? AS bucket, AVG(veloqua) FROM tests "
                       "WHERE tested_at > ? AND tested_at <= ?%2 GROUP BY %1, bucket ORDER BY %1, bucket")
            .arg(column, areaClause));
    q.addBindValue(shift);
    q.addBindValue(w.bucket);
    q.addBindValue(now - w.span);
    q.addBindValue(now);
    for (const QVariant &v : binds)
        q.addBindValue(v);
    m_storage.execLimited(q);

    ResultTable t;
    t.columns = {{by == GroupBy::Isp ? QStringLiteral("iISPId") : QStringLiteral("iConnectionTypeId"), QMetaType::Int},
                 {QStringLiteral("Column1"), QMetaType::QString},
                 {QStringLiteral("iVeloqua"), QMetaType::Int}};
    while (q.next()) {
        t.rows.append({q.value(0).isNull() ? QVariant() : QVariant(q.value(0).toInt()),
                       BucketText(q.value(1).toLongLong(), w.bucket), RoundSpeed(q.value(2).toDouble())});
    }
    return t;
}

ResultTable Comparisons::currentAverages(const QString &column, const ResultTable::Column &key, const ProfileRecord &p,
                                         const QString &area, qint64 now, std::optional<int> ispId)
{
    QVariantList binds;
    const QString areaClause = AreaClause(area, p, &binds);
    QSqlQuery q = m_storage.prepare(QStringLiteral("SELECT %1, AVG(veloqua) FROM tests WHERE %2tested_at > ? "
                                                   "AND tested_at <= ?%3 GROUP BY %1 ORDER BY %1")
                                        .arg(column, ispId ? QStringLiteral("isp_id = ? AND ") : QString(), areaClause));
    if (ispId)
        q.addBindValue(*ispId);
    q.addBindValue(now - kCurrentWindow);
    q.addBindValue(now);
    for (const QVariant &v : binds)
        q.addBindValue(v);
    m_storage.execLimited(q);
    ResultTable t;
    t.columns = {key, {QStringLiteral("iVeloqua"), QMetaType::Int}};
    while (q.next()) {
        const QVariant value = q.value(0);
        t.rows.append({value.isNull() ? QVariant() : (key.type == QMetaType::Int ? QVariant(value.toInt()) : QVariant(value.toString())),
                       RoundSpeed(q.value(1).toDouble())});
    }
    return t;
}

ResultTable Comparisons::avgByState(int profileId, const QString &area, qint64 now)
{
    CheckArea(area);
    const ProfileRecord p = requireProfile(profileId);
    return currentAverages(QStringLiteral("state"), {QStringLiteral("vcState"), QMetaType::QString}, p, area, now, p.ispId);
}

ResultTable Comparisons::avgByIsp(int profileId, const QString &area, qint64 now)
{
    CheckArea(area);
    const ProfileRecord p = requireProfile(profileId);
    return currentAverages(QStringLiteral("isp_id"), {QStringLiteral("iISPId"), QMetaType::Int}, p, area, now, std::nullopt);
}

ResultTable Comparisons::myVeloquaByDate(int profileId, const QString &period, qint64 now)
{
    const Window w = DateWindow(period);
    const ProfileRecord p = requireProfile(profileId);
    QSqlQuery q = m_storage.prepare(QStringLiteral("SELECT (tested_at - ?) / ? AS bucket, AVG(veloqua) FROM tests "
                                                   "WHERE profile_id = ? AND tested_at > ? AND tested_at <= ? "
                                                   "GROUP BY bucket ORDER BY bucket"));
    q.addBindValue(qint64(p.timeZone) * 60);
    q.addBindValue(w.bucket);
    q.addBindValue(profileId);
    q.addBindValue(now - w.span);
    q.addBindValue(now);
    m_storage.execLimited(q);
    ResultTable t;
    t.columns = {{QStringLiteral("Column1"), QMetaType::QString}, {QStringLiteral("iVeloqua"), QMetaType::Int}};
    while (q.next())
        t.rows.append({BucketText(q.value(0).toLongLong(), w.bucket), RoundSpeed(q.value(1).toDouble())});
    return t;
}

int Comparisons::myAvg(int profileId, const QString &period, qint64 now)
{
    requireProfile(profileId);
    // Either a span of days (day, week, month) or a time of day over the current window.
    QString condition;
    qint64 span = kCurrentWindow;
    if (period == QLatin1String("day") || period == QLatin1String("week") || period == QLatin1String("month"))
        span = DateWindow(period).span;
    else
        condition = TimeOfDayClause(period);
    QSqlQuery q = m_storage.prepare(
        QStringLiteral("SELECT AVG(veloqua) FROM tests WHERE profile_id = ? AND tested_at > ? AND tested_at <= ?%1").arg(condition));
    q.addBindValue(profileId);
    q.addBindValue(now - span);
    q.addBindValue(now);
    m_storage.execLimited(q);
    return q.next() && !q.value(0).isNull() ? RoundSpeed(q.value(0).toDouble()) : 0;
}

int Comparisons::avg(int profileId, const QString &area, const QString &period, qint64 now)
{
    CheckArea(area);
    TimeOfDayClause(period);
    const ProfileRecord p = requireProfile(profileId);
    QVariantList binds;
    const QString areaClause = AreaClause(area, p, &binds);
    const QString timeClause = TimeOfDayClause(period);
    QSqlQuery q = m_storage.prepare(
        QStringLiteral("SELECT AVG(veloqua) FROM tests WHERE tested_at > ? AND tested_at <= ?%1%2").arg(areaClause, timeClause));
    q.addBindValue(now - kCurrentWindow);
    q.addBindValue(now);
    for (const QVariant &v : binds)
        q.addBindValue(v);
    m_storage.execLimited(q);
    return q.next() && !q.value(0).isNull() ? RoundSpeed(q.value(0).toDouble()) : 0;
}

} // namespace vq::server

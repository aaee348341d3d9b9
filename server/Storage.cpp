#include "Storage.h"

#include <QAtomicInt>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>
#include <QUrl>
#include <QVariant>

#include <sqlite3.h>

#include <chrono>
#include <limits>

namespace vq::server {

namespace {

QAtomicInt g_instances;

using Clock = std::chrono::steady_clock;
// Deadline of the aggregate running on this thread (SQLite checks it from its progress handler).
thread_local Clock::time_point t_deadline = Clock::time_point::max();

int ProgressHandler(void *)
{
    return Clock::now() > t_deadline ? 1 : 0; // non-zero interrupts the statement
}

struct TableInfo {
    const char *table;
    const char *idColumn;
    const char *textColumn;
    const char *changeName;
};

TableInfo Info(RefTable t)
{
    switch (t) {
    case RefTable::Sites:
        return {"sites", "site_id", "url", "sites"};
    case RefTable::ConnectionTypes:
        return {"connection_types", "connection_type_id", "name", "connection_types"};
    case RefTable::Isps:
        break;
    }
    return {"isps", "isp_id", "name", "isps"};
}

QString S(const char *text)
{
    return QString::fromLatin1(text);
}

int LocalHour(qint64 utcSeconds, int biasMinutes)
{
    const qint64 local = utcSeconds - qint64(biasMinutes) * 60;
    const qint64 day = ((local % 86400) + 86400) % 86400;
    return int(day / 3600);
}

} // namespace

Storage::Storage(const QString &database, const StorageOptions &options)
    : m_database(database)
    , m_options(options)
    , m_instance(g_instances.fetchAndAddRelaxed(1))
{
    m_postgres = database.startsWith(QLatin1String("postgresql://")) || database.startsWith(QLatin1String("postgres://"));
}

Storage::~Storage()
{
    releaseThreadConnection();
}

qint64 Storage::NowUtc()
{
    return QDateTime::currentSecsSinceEpoch();
}

QString Storage::describe() const
{
    if (!m_postgres)
        return m_database;
    QUrl url(m_database);
    url.setPassword(QString());
    return url.toString();
}

QString Storage::connectionName() const
{
    return QStringLiteral("vqsvc%1_%2").arg(m_instance).arg(quintptr(QThread::currentThreadId()));
}

QSqlDatabase Storage::db()
{
    const QString name = connectionName();
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase existing = QSqlDatabase::database(name, false);
        if (existing.isOpen())
            return existing;
    }
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(m_postgres ? QStringLiteral("QPSQL")
                                                                                          : QStringLiteral("QSQLITE"),
                                                                               name);
    if (m_postgres) {
        const QUrl url(m_database);
        db.setHostName(url.host());
        if (url.port() > 0)
            db.setPort(url.port());
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setDatabaseName(url.path().mid(1));
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    } else {
        db.setDatabaseName(m_database);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_options.busyTimeoutMs));
    }
    if (!db.open())
        throw EStorageError(QStringLiteral("Cannot open the database %1: %2").arg(describe(), db.lastError().text()));
    configure(db);
    return db;
}

void Storage::releaseThreadConnection()
{
    const QString name = connectionName();
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void Storage::configure(QSqlDatabase &db)
{
    QSqlQuery q(db);
    if (m_postgres) {
        q.exec(QStringLiteral("SET lock_timeout = %1").arg(m_options.busyTimeoutMs));
        return;
    }
    // WAL lets readers run beside the writer; FULL makes every commit reach the disk before the
    // answer is sent (see the class comment).
    q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    q.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(m_options.busyTimeoutMs));
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        if (sqlite3 *h = *static_cast<sqlite3 *const *>(handle.constData()))
            sqlite3_progress_handler(h, 10000, &ProgressHandler, nullptr);
    }
}

QSqlQuery Storage::prepare(const QString &sql)
{
    QSqlQuery q(db());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw EStorageError(QStringLiteral("The database refused a statement: %1").arg(q.lastError().text()));
    return q;
}

void Storage::exec(QSqlQuery &query)
{
    if (query.exec())
        return;
    const QSqlError e = query.lastError();
    // SQLite: SQLITE_INTERRUPT (9) from the progress handler; PostgreSQL: query_canceled.
    if (e.nativeErrorCode() == QLatin1String("9") || e.nativeErrorCode() == QLatin1String("57014"))
        throw EQueryTimeout(QStringLiteral("The query took longer than %1 ms and was stopped.").arg(m_options.queryTimeLimitMs));
    throw EStorageError(QStringLiteral("The database failed: %1").arg(e.text()));
}

void Storage::execLimited(QSqlQuery &query)
{
    // SQLite: the progress handler checks the deadline; PostgreSQL: the server's own timer,
    // switched off again once the whole (small) result has arrived.
    query.setForwardOnly(false);
    QSqlQuery limit(db());
    if (m_postgres)
        limit.exec(QStringLiteral("SET statement_timeout = %1").arg(m_options.queryTimeLimitMs));
    t_deadline = Clock::now() + std::chrono::milliseconds(m_options.queryTimeLimitMs);
    auto reset = [&] {
        t_deadline = Clock::time_point::max();
        if (m_postgres)
            limit.exec(QStringLiteral("SET statement_timeout = 0"));
    };
    try {
        exec(query);
    } catch (...) {
        reset();
        throw;
    }
    reset();
}

void Storage::writeTransaction(const std::function<void(QSqlDatabase &)> &f)
{
    QSqlDatabase d = db();
    QSqlQuery q(d);
    const bool begun = m_postgres ? d.transaction() : q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!begun)
        throw EStorageError(QStringLiteral("The database is busy: %1")
                                .arg(m_postgres ? d.lastError().text() : q.lastError().text()));
    try {
        f(d);
    } catch (...) {
        if (m_postgres)
            d.rollback();
        else
            q.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    const bool committed = m_postgres ? d.commit() : q.exec(QStringLiteral("COMMIT"));
    if (!committed) {
        const QString why = m_postgres ? d.lastError().text() : q.lastError().text();
        if (m_postgres)
            d.rollback();
        else
            q.exec(QStringLiteral("ROLLBACK"));
        throw EStorageError(QStringLiteral("The database could not commit: %1").arg(why));
    }
}

void Storage::initialize(const QString &seedFile)
{
    createSchema();
    QSqlQuery q = prepare(QStringLiteral("SELECT COUNT(*) FROM ref_changes"));
    exec(q);
    const bool fresh = q.next() && q.value(0).toLongLong() == 0;
    q.finish();
    if (fresh)
        seed(seedFile);
}

void Storage::createSchema()
{
    const QString id = m_postgres ? QStringLiteral("INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                                  : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    const QStringList ddl = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS ref_changes (name VARCHAR(32) PRIMARY KEY, changed_at BIGINT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS sites (site_id %1, url TEXT NOT NULL)").arg(id),
        QStringLiteral("CREATE TABLE IF NOT EXISTS connection_types (connection_type_id %1, name TEXT NOT NULL)").arg(id),
        QStringLiteral("CREATE TABLE IF NOT EXISTS isps (isp_id %1, name TEXT NOT NULL)").arg(id),
        QStringLiteral("CREATE TABLE IF NOT EXISTS users (user_id %1, processor_type TEXT, processor_speed TEXT, os TEXT, "
                       "os_version TEXT, sys_manufacturer TEXT, sys_model TEXT, created_at BIGINT NOT NULL)")
            .arg(id),
        QStringLiteral("CREATE TABLE IF NOT EXISTS profiles (profile_id %1, user_id INTEGER NOT NULL REFERENCES users(user_id), "
                       "mac_address TEXT, name TEXT, ip_address TEXT, isp_id INTEGER, zip_code TEXT, state TEXT, country TEXT, "
                       "time_zone INTEGER, satisfaction_level TEXT, contract_speed TEXT, connection_type_id INTEGER, "
                       "updated_at BIGINT NOT NULL)")
            .arg(id),
        // A test run keeps where and how its profile was connected when it ran.
        QStringLiteral("CREATE TABLE IF NOT EXISTS tests (veloqua_id %1, profile_id INTEGER NOT NULL REFERENCES profiles(profile_id), "
                       "veloqua INTEGER NOT NULL, ram TEXT, ram_available TEXT, hd_free_space TEXT, tested_at BIGINT NOT NULL, "
                       "local_hour INTEGER NOT NULL, isp_id INTEGER, connection_type_id INTEGER, zip_code TEXT, state TEXT, "
                       "country TEXT, time_zone INTEGER)")
            .arg(id),
        QStringLiteral("CREATE TABLE IF NOT EXISTS test_results (result_id %1, veloqua_id INTEGER NOT NULL REFERENCES tests(veloqua_id), "
                       "download_time_ms INTEGER, page_size INTEGER, site_id INTEGER)")
            .arg(id),
        QStringLiteral("CREATE INDEX IF NOT EXISTS tests_time ON tests (tested_at, veloqua)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS tests_area ON tests (country, state, zip_code, tested_at)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS tests_zip ON tests (country, zip_code, tested_at)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS tests_profile ON tests (profile_id, tested_at)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS test_results_veloqua ON test_results (veloqua_id)"),
    };
    writeTransaction([&](QSqlDatabase &d) {
        for (const QString &statement : ddl) {
            QSqlQuery q(d);
            if (!q.exec(statement))
                throw EStorageError(QStringLiteral("Cannot create the schema: %1").arg(q.lastError().text()));
        }
    });
}

void Storage::seed(const QString &seedFile)
{
    QJsonObject root;
    if (!seedFile.isEmpty()) {
        QFile file(seedFile);
        if (!file.open(QIODevice::ReadOnly))
            throw EStorageError(QStringLiteral("Cannot read the seed file %1: %2").arg(seedFile, file.errorString()));
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
        if (!doc.isObject())
            throw EStorageError(QStringLiteral("The seed file %1 is not a JSON object: %2").arg(seedFile, error.errorString()));
        root = doc.object();
    }
    const qint64 now = NowUtc();
    writeTransaction([&](QSqlDatabase &) {
        const std::pair<RefTable, const char *> lists[] = {
            {RefTable::Sites, "sites"}, {RefTable::ConnectionTypes, "connectionTypes"}, {RefTable::Isps, "isps"}};
        for (const auto &[table, key] : lists) {
            const TableInfo info = Info(table);
            for (const QJsonValue &v : root.value(QLatin1String(key)).toArray()) {
                QSqlQuery q = prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)").arg(S(info.table), S(info.textColumn)));
                q.addBindValue(v.toString());
                exec(q);
            }
            touch(table, now);
        }
    });
}

void Storage::touch(RefTable table, qint64 at)
{
    // A change date is always later than the one before, so a client that fetched the previous
    // version within the same second still sees this one as newer.
    const TableInfo info = Info(table);
    QSqlQuery q = prepare(QStringLiteral("SELECT changed_at FROM ref_changes WHERE name = ?"));
    q.addBindValue(S(info.changeName));
    exec(q);
    if (q.next())
        at = std::max(at, q.value(0).toLongLong() + 1);
    q.finish();
    QSqlQuery u = prepare(QStringLiteral("INSERT INTO ref_changes (name, changed_at) VALUES (?, ?) "
                                         "ON CONFLICT (name) DO UPDATE SET changed_at = excluded.changed_at"));
    u.addBindValue(S(info.changeName));
    u.addBindValue(at);
    exec(u);
}

QDateTime Storage::lastChanged(RefTable table)
{
    QSqlQuery q = prepare(QStringLiteral("SELECT changed_at FROM ref_changes WHERE name = ?"));
    q.addBindValue(S(Info(table).changeName));
    exec(q);
    const qint64 at = q.next() ? q.value(0).toLongLong() : 0;
    return QDateTime::fromSecsSinceEpoch(at, Qt::UTC);
}

QList<RefRow> Storage::list(RefTable table)
{
    const TableInfo info = Info(table);
    QSqlQuery q = prepare(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1").arg(S(info.idColumn), S(info.textColumn), S(info.table)));
    exec(q);
    QList<RefRow> rows;
    while (q.next())
        rows.append({q.value(0).toInt(), q.value(1).toString()});
    return rows;
}

int Storage::add(RefTable table, const QString &text)
{
    const TableInfo info = Info(table);
    int id = 0;
    writeTransaction([&](QSqlDatabase &) {
        QSqlQuery q = prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (?) RETURNING %3").arg(S(info.table), S(info.textColumn), S(info.idColumn)));
        q.addBindValue(text);
        exec(q);
        if (!q.next())
            throw EStorageError(QStringLiteral("The database gave no id for the new row."));
        id = q.value(0).toInt();
        q.finish();
        touch(table, NowUtc());
    });
    return id;
}

bool Storage::remove(RefTable table, int id)
{
    const TableInfo info = Info(table);
    bool removed = false;
    writeTransaction([&](QSqlDatabase &) {
        QSqlQuery q = prepare(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(S(info.table), S(info.idColumn)));
        q.addBindValue(id);
        exec(q);
        removed = q.numRowsAffected() > 0;
        if (removed)
            touch(table, NowUtc());
    });
    return removed;
}

int Storage::saveUser(const QString &processorType, const QString &processorSpeed, const QString &os,
                      const QString &osVersion, const QString &sysManufacturer, const QString &sysModel)
{
    int id = 0;
    writeTransaction([&](QSqlDatabase &) {
        QSqlQuery q = prepare(QStringLiteral("INSERT INTO users (processor_type, processor_speed, os, os_version, "
                                             "sys_manufacturer, sys_model, created_at) VALUES (?, ?, ?, ?, ?, ?, ?) RETURNING user_id"));
        for (const QString &v : {processorType, processorSpeed, os, osVersion, sysManufacturer, sysModel})
            q.addBindValue(v);
        q.addBindValue(NowUtc());
        exec(q);
        if (!q.next())
            throw EStorageError(QStringLiteral("The database gave no id for the new user."));
        id = q.value(0).toInt();
        q.finish();
    });
    return id;
}

int Storage::saveProfile(const ProfileRecord &p)
{
    int id = p.profileId;
    writeTransaction([&](QSqlDatabase &) {
        QSqlQuery u = prepare(QStringLiteral("SELECT 1 FROM users WHERE user_id = ?"));
        u.addBindValue(p.userId);
        exec(u);
        if (!u.next())
            throw EBadRequest(QStringLiteral("Unknown user %1.").arg(p.userId));
        u.finish();

        const QVariantList values = {p.userId, p.macAddress, p.name, p.ipAddress, p.ispId, p.zipCode, p.state,
                                     p.country, p.timeZone, p.satisfactionLevel, p.contractSpeed, p.connectionTypeId,
                                     NowUtc()};
        if (p.profileId == 0) {
            QSqlQuery q = prepare(QStringLiteral(
                "INSERT INTO profiles (user_id, mac_address, name, ip_address, isp_id, zip_code, state, country, time_zone, "
                "satisfaction_level, contract_speed, connection_type_id, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                "RETURNING profile_id"));
            for (const QVariant &v : values)
                q.addBindValue(v);
            exec(q);
            if (!q.next())
                throw EStorageError(QStringLiteral("The database gave no id for the new profile."));
            id = q.value(0).toInt();
            q.finish();
            return;
        }
        QSqlQuery q = prepare(QStringLiteral(
            "UPDATE profiles SET user_id = ?, mac_address = ?, name = ?, ip_address = ?, isp_id = ?, zip_code = ?, state = ?, "
            "country = ?, time_zone = ?, satisfaction_level = ?, contract_speed = ?, connection_type_id = ?, updated_at = ? "
            "WHERE profile_id = ?"));
        for (const QVariant &v : values)
            q.addBindValue(v);
        q.addBindValue(p.profileId);
        exec(q);
        if (q.numRowsAffected() < 1)
            throw EBadRequest(QStringLiteral("Unknown profile %1.").arg(p.profileId));
    });
    return id;
}

std::optional<ProfileRecord> Storage::profile(int profileId)
{
    QSqlQuery q = prepare(QStringLiteral(
        "SELECT profile_id, user_id, mac_address, name, ip_address, isp_id, zip_code, state, country, time_zone, "
        "satisfaction_level, contract_speed, connection_type_id FROM profiles WHERE profile_id = ?"));
    q.addBindValue(profileId);
    exec(q);
    if (!q.next())
        return std::nullopt;
    ProfileRecord p;
    p.profileId = q.value(0).toInt();
    p.userId = q.value(1).toInt();
    p.macAddress = q.value(2).toString();
    p.name = q.value(3).toString();
    p.ipAddress = q.value(4).toString();
    p.ispId = q.value(5).toInt();
    p.zipCode = q.value(6).toString();
    p.state = q.value(7).toString();
    p.country = q.value(8).toString();
    p.timeZone = q.value(9).toInt();
    p.satisfactionLevel = q.value(10).toString();
    p.contractSpeed = q.value(11).toString();
    p.connectionTypeId = q.value(12).toInt();
    return p;
}

int Storage::insertVeloqua(int profileId, int veloqua, const QString &ram, const QString &ramAvailable,
                           const QString &hdFreeSpace, qint64 testedAt)
{
    int id = 0;
    writeTransaction([&](QSqlDatabase &) {
        const std::optional<ProfileRecord> p = profile(profileId);
        if (!p)
            throw EBadRequest(QStringLiteral("Unknown profile %1.").arg(profileId));
        QSqlQuery q = prepare(QStringLiteral(
            "INSERT INTO tests (profile_id, veloqua, ram, ram_available, hd_free_space, tested_at, local_hour, isp_id, "
            "connection_type_id, zip_code, state, country, time_zone) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
            "RETURNING veloqua_id"));
        const QVariantList values = {profileId, veloqua, ram, ramAvailable, hdFreeSpace, testedAt,
                                     LocalHour(testedAt, p->timeZone), p->ispId, p->connectionTypeId, p->zipCode,
                                     p->state, p->country, p->timeZone};
        for (const QVariant &v : values)
            q.addBindValue(v);
        exec(q);
        if (!q.next())
            throw EStorageError(QStringLiteral("The database gave no id for the new test."));
        id = q.value(0).toInt();
        q.finish();
    });
    return id;
}

int Storage::insertTestResult(int veloquaId, int downloadTimeMs, int pageSize, int siteId)
{
    int id = 0;
    writeTransaction([&](QSqlDatabase &) {
        QSqlQuery t = prepare(QStringLiteral("SELECT 1 FROM tests WHERE veloqua_id = ?"));
        t.addBindValue(veloquaId);
        exec(t);
        if (!t.next())
            throw EBadRequest(QStringLiteral("Unknown test %1 (VeloquaId).").arg(veloquaId));
        t.finish();
        QSqlQuery q = prepare(QStringLiteral("INSERT INTO test_results (veloqua_id, download_time_ms, page_size, site_id) "
                                             "VALUES (?, ?, ?, ?) RETURNING result_id"));
        q.addBindValue(veloquaId);
        q.addBindValue(downloadTimeMs);
        q.addBindValue(pageSize);
        q.addBindValue(siteId);
        exec(q);
        if (!q.next())
            throw EStorageError(QStringLiteral("The database gave no id for the new result."));
        id = q.value(0).toInt();
        q.finish();
    });
    return id;
}

qint64 Storage::countTestResults()
{
    QSqlQuery q = prepare(QStringLiteral("SELECT COUNT(*) FROM test_results"));
    exec(q);
    return q.next() ? q.value(0).toLongLong() : 0;
}

} // namespace vq::server

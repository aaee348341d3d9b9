#pragma once

// What the reference service stored, read from its SQLite file beside the running service (its
// journal lets a reader in while it writes), and the seed that points its site list at pages
// of a test's own server.
#include "TestEnvironment.h"

#include <QAtomicInt>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariantMap>

namespace vq::test {

class StoredRows
{
public:
    explicit StoredRows(const QString &databaseFile)
        : m_name(QStringLiteral("stored-rows-%1").arg(s_connections.fetchAndAddRelaxed(1)))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(databaseFile);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        db.open();
    }
    ~StoredRows() { QSqlDatabase::removeDatabase(m_name); }
    StoredRows(const StoredRows &) = delete;
    StoredRows &operator=(const StoredRows &) = delete;

    // Every row of a query, each as column name -> value.
    QList<QVariantMap> rows(const QString &sql, const QVariantList &values = {}) const
    {
        QList<QVariantMap> out;
        {
            QSqlQuery q(QSqlDatabase::database(m_name));
            q.prepare(sql);
            for (const QVariant &v : values)
                q.addBindValue(v);
            if (!q.exec())
                qFatal("stored rows: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
            while (q.next()) {
                QVariantMap row;
                for (int i = 0; i < q.record().count(); ++i)
                    row.insert(q.record().fieldName(i), q.value(i));
                out.append(row);
            }
        }
        return out;
    }
    int count(const QString &table) const
    {
        return rows(QStringLiteral("SELECT COUNT(*) AS n FROM ") + table).first().value(QStringLiteral("n")).toInt();
    }
    // The test runs, oldest first, and the site results of one run in the order they came.
    QList<QVariantMap> tests() const { return rows(QStringLiteral("SELECT * FROM tests ORDER BY veloqua_id")); }
    QList<QVariantMap> results(int veloquaId) const
    {
        return rows(QStringLiteral("SELECT * FROM test_results WHERE veloqua_id = ? ORDER BY result_id"), {veloquaId});
    }

private:
    static inline QAtomicInt s_connections;
    QString m_name;
};

// A seed for the reference service: the shipped tables with these sites. Returns its path.
inline QString WriteSeed(const QString &folder, const QStringList &sites)
{
    QFile shipped(BinaryDir() + QStringLiteral("/service-seed.json"));
    if (!shipped.open(QIODevice::ReadOnly))
        qFatal("service-seed.json is missing beside the programs");
    QJsonObject seed = QJsonDocument::fromJson(shipped.readAll()).object();
    seed.insert(QStringLiteral("sites"), QJsonArray::fromStringList(sites));
    const QString path = folder + QStringLiteral("/seed.json");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(seed).toJson()) < 0)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace vq::test

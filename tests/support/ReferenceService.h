#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace vq::test {

// A throw-away database for the reference service: a temporary SQLite file, or, when the test
// runs against PostgreSQL (VQ_TEST_DATABASE=postgres), a fresh database on the test cluster
// that scripts/pg-test-server.sh started on loopback. Removed again at the end.
class TestDatabase
{
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    // The --database value: a file path or a postgresql:// URL. Empty when the PostgreSQL
    // cluster was asked for but is not there (see error()).
    QString address() const { return m_address; }
    bool isPostgres() const { return m_postgres; }
    QString error() const { return m_error; }

    // True when this test run uses PostgreSQL.
    static bool WantPostgres();

private:
    QTemporaryDir m_dir;
    QString m_address;
    QString m_server; // postgresql://user@host:port
    QString m_name;
    QString m_error;
    bool m_postgres = false;
};

// The reference service (build/bin/veloqua-service) on an ephemeral loopback port over a
// throw-away database, for tests that talk to the real service.
class ReferenceService
{
public:
    ReferenceService();
    ~ReferenceService(); // stops the service

    // Starts the service and waits until it listens. extraArgs go on its command line.
    // Returns false (see log()) when it did not come up.
    bool start(const QStringList &extraArgs = {});
    // SIGTERM, and waits for the process to end. Returns its exit code (-1: it had to be killed).
    int stop();
    // SIGKILL: the process dies on the spot.
    void kill();

    QString endpoint() const { return m_endpoint; } // http://127.0.0.1:PORT/Veloqua/wsVeloqua.asmx
    int port() const { return m_port; }
    QString log() const;
    TestDatabase &database() { return m_database; }
    QString databaseAddress() const { return m_database.address(); }

    // Runs an admin command of the service on the same database; returns its exit code.
    int admin(const QStringList &args, QString *output = nullptr) const;

    static QString Program();
    // The sites a test service is seeded with: addresses on this machine where nothing listens,
    // so no test ever sends a request beyond loopback (unless it passes its own --seed).
    static QStringList SeededSites();

private:
    TestDatabase m_database;
    std::unique_ptr<QProcess> m_process;
    QTemporaryDir m_logDir;
    QString m_logFile;
    int m_starts = 0;
    QByteArray m_log;
    QString m_endpoint;
    int m_port = 0;
};

} // namespace vq::test

#include "ReferenceService.h"

#include "TestEnvironment.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

#include <csignal>
#include <sys/prctl.h>

namespace vq::test {

namespace {

QAtomicInt g_databases;

// The cluster's address, written by scripts/pg-test-server.sh.
QString PostgresServer()
{
    const QString file = qEnvironmentVariable("VQ_TEST_PG_URL_FILE");
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll()).trimmed();
}

// createdb/dropdb against the test cluster.
bool RunPgTool(const QString &tool, const QString &server, const QString &name, QString *error)
{
    const QUrl url(server);
    QProcess p;
    p.start(tool, {QStringLiteral("-h"), url.host(), QStringLiteral("-p"), QString::number(url.port()), QStringLiteral("-U"),
                   url.userName(), name});
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("%1 failed: %2").arg(tool, QString::fromLocal8Bit(p.readAllStandardError()));
        return false;
    }
    return true;
}

// The seed of a test service: the shipped reference tables, but sites on this machine only
// (nothing listens on port 9), so a test that runs the standard list never leaves loopback.
QString WriteLoopbackSeed(const QString &folder)
{
    QFile shipped(BinaryDir() + QStringLiteral("/service-seed.json"));
    if (!shipped.open(QIODevice::ReadOnly))
        return QString();
    QJsonObject seed = QJsonDocument::fromJson(shipped.readAll()).object();
    QJsonArray sites;
    for (const QString &site : ReferenceService::SeededSites())
        sites.append(site);
    seed.insert(QStringLiteral("sites"), sites);
    const QString path = folder + QStringLiteral("/seed.json");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(seed).toJson()) < 0)
        return QString();
    return path;
}

} // namespace

QStringList ReferenceService::SeededSites()
{
    return {QStringLiteral("http://127.0.0.1:9/first/"), QStringLiteral("http://127.0.0.1:9/second/"),
            QStringLiteral("http://127.0.0.1:9/third/")};
}

bool TestDatabase::WantPostgres()
{
    return qEnvironmentVariable("VQ_TEST_DATABASE") == QLatin1String("postgres");
}

TestDatabase::TestDatabase()
{
    if (!WantPostgres()) {
        m_address = m_dir.path() + QStringLiteral("/veloqua.sqlite");
        return;
    }
    m_postgres = true;
    m_server = PostgresServer();
    if (m_server.isEmpty()) {
        m_error = QStringLiteral("no PostgreSQL test cluster (VQ_TEST_PG_URL_FILE); scripts/pg-test-server.sh starts one");
        return;
    }
    m_name = QStringLiteral("vqtest_%1_%2").arg(QCoreApplication::applicationPid()).arg(g_databases.fetchAndAddRelaxed(1));
    if (!RunPgTool(QStringLiteral("createdb"), m_server, m_name, &m_error))
        return;
    m_address = m_server + QLatin1Char('/') + m_name;
}

TestDatabase::~TestDatabase()
{
    if (m_postgres && !m_address.isEmpty())
        RunPgTool(QStringLiteral("dropdb"), m_server, m_name, nullptr);
}

ReferenceService::ReferenceService() = default;

ReferenceService::~ReferenceService()
{
    if (m_process && m_process->state() != QProcess::NotRunning)
        stop();
}

QString ReferenceService::Program()
{
    return BinaryDir() + QStringLiteral("/veloqua-service");
}

bool ReferenceService::start(const QStringList &extraArgs)
{
    if (m_database.address().isEmpty()) {
        m_log = m_database.error().toLocal8Bit();
        return false;
    }
    // The log goes to a file: a pipe that nobody drains while a test blocks in a call would
    // stall the service once it is full.
    m_logFile = m_logDir.path() + QStringLiteral("/service-%1.log").arg(++m_starts);
    m_process = std::make_unique<QProcess>();
    m_process->setStandardOutputFile(m_logFile, QIODevice::Append);
    m_process->setStandardErrorFile(m_logFile, QIODevice::Append);
    QStringList args = {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--database"), m_database.address()};
    if (!extraArgs.contains(QStringLiteral("--seed"))) {
        const QString seed = WriteLoopbackSeed(m_logDir.path());
        if (seed.isEmpty()) {
            m_log = "cannot write the test seed (service-seed.json missing beside the programs?)";
            return false;
        }
        args << QStringLiteral("--seed") << seed;
    }
    args += extraArgs;
    // A test that crashes takes its service with it.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process->start(Program(), args);
    if (!m_process->waitForStarted(10000)) {
        m_log = m_process->errorString().toLocal8Bit();
        return false;
    }
    static const QRegularExpression listening(QStringLiteral("listening on (http://127\\.0\\.0\\.1:(\\d+)/\\S+)"));
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        const QRegularExpressionMatch m = listening.match(log());
        if (m.hasMatch()) {
            m_endpoint = m.captured(1);
            m_port = m.captured(2).toInt();
            return true;
        }
        if (m_process->waitForFinished(50))
            break;
    }
    m_process->kill();
    m_process->waitForFinished(5000);
    return false;
}

QString ReferenceService::log() const
{
    QFile f(m_logFile);
    if (m_logFile.isEmpty() || !f.open(QIODevice::ReadOnly))
        return QString::fromLocal8Bit(m_log);
    return QString::fromLocal8Bit(m_log + f.readAll());
}

int ReferenceService::stop()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return m_process ? m_process->exitCode() : -1;
    ::kill(pid_t(m_process->processId()), SIGTERM);
    if (!m_process->waitForFinished(20000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
        return -1;
    }
    return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
}

void ReferenceService::kill()
{
    if (!m_process)
        return;
    ::kill(pid_t(m_process->processId()), SIGKILL);
    m_process->waitForFinished(10000);
}

int ReferenceService::admin(const QStringList &args, QString *output) const
{
    QProcess p;
    p.start(Program(), QStringList{QStringLiteral("--database"), m_database.address()} + args);
    p.waitForFinished(30000);
    if (output)
        *output = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace vq::test

// Requests per second and p99 latency of InsertTestResults and GetAvgVeloqua on the reference
// service with a million stored results, on SQLite and on PostgreSQL, next to nginx serving a
// canned SOAP answer on the same machine (the ceiling: ratio = service / nginx).
//
//   bench_service [--rows N] [--seconds S] [--connections C] [--no-postgres]
#include "LoadClient.h"
#include "Storage.h"
#include "wsVeloqua.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <csignal>
#include <cstdio>

using namespace vq;
using namespace vq::bench;
using namespace vq::server;

namespace {

QByteArray Soap(const QByteArray &inner)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<soap:Body>" + inner + "</soap:Body></soap:Envelope>";
}

const QByteArray kNs = "xmlns=\"http://tavistel.invalid/Veloqua/Service1\"";

// A million runs over the last 31 days, spread over 4 countries, 10 states, 100 zip codes and 8
// ISPs; returns the profile the requests ask as (one of zip code 00007 in state S7).
int Fill(Storage &storage, int rows)
{
    storage.initialize();
    const int user = storage.saveUser({}, {}, {}, {}, {}, {});
    ProfileRecord p;
    p.userId = user;
    p.country = QStringLiteral("C1");
    p.state = QStringLiteral("S7");
    p.zipCode = QStringLiteral("00007");
    p.ispId = 3;
    p.connectionTypeId = 2;
    p.timeZone = 300;
    const int profile = storage.saveProfile(p);
    const qint64 now = Storage::NowUtc();
    const QString select = QStringLiteral(
        "SELECT %1, (i * 7919) % 200000 + 1000, '8589934592', '4294967296', '1099511627776', %2 - (i * 37) % 2678000, "
        "(i * 13) % 24, i % 8 + 1, i % 5 + 1, '000' || (i % 10) || (i % 10), 'S' || (i % 10), 'C' || (i % 4), 300")
                               .arg(profile)
                               .arg(now);
    const QString columns = QStringLiteral("INSERT INTO tests (profile_id, veloqua, ram, ram_available, hd_free_space, tested_at, "
                                           "local_hour, isp_id, connection_type_id, zip_code, state, country, time_zone) ");
    const QString sql = storage.isPostgres()
                            ? columns + select + QStringLiteral(" FROM generate_series(CAST(1 AS BIGINT), %1) AS i").arg(rows)
                            : columns + QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ")
                                            .arg(rows) + select + QStringLiteral(" FROM n");
    storage.writeTransaction([&](QSqlDatabase &db) {
        QSqlQuery q(db);
        if (!q.exec(sql))
            throw Error(QStringLiteral("filling failed: ") + q.lastError().text());
    });
    QSqlQuery analyze(storage.db());
    analyze.exec(QStringLiteral("ANALYZE"));
    storage.insertVeloqua(profile, 1, {}, {}, {}, now);
    return profile;
}

struct Service {
    QProcess process;
    int port = 0;
    bool start(const QString &database)
    {
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/veloqua-service"),
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--database"), database,
                       QStringLiteral("--no-request-log"), QStringLiteral("--threads"), QStringLiteral("32")});
        QByteArray log;
        static const QRegularExpression re(QStringLiteral("listening on http://127.0.0.1:(\\d+)/"));
        for (int i = 0; i < 200 && port == 0; ++i) {
            process.waitForReadyRead(100);
            log += process.readAllStandardError();
            const auto m = re.match(QString::fromLocal8Bit(log));
            if (m.hasMatch())
                port = m.captured(1).toInt();
        }
        if (port == 0)
            std::fprintf(stderr, "service did not start: %s\n", log.constData());
        return port != 0;
    }
    ~Service()
    {
        if (process.state() != QProcess::NotRunning) {
            ::kill(pid_t(process.processId()), SIGTERM);
            process.waitForFinished(20000);
        }
    }
};

struct Row {
    QString what;
    LoadResult r;
};

void Print(const std::vector<Row> &rows, const LoadResult &ceiling)
{
    std::printf("%-44s %10s %9s %9s %12s %10s\n", "", "req/s", "p50", "p99", "vs nginx", "p99 x");
    std::printf("%-44s %10.0f %7.2fms %7.2fms %12s %10s\n", "nginx, canned SOAP answer (ceiling)", ceiling.requestsPerSecond,
                ceiling.p50Ms, ceiling.p99Ms, "1.000", "1.0");
    for (const Row &row : rows)
        std::printf("%-44s %10.0f %7.2fms %7.2fms %12.3f %10.1f%s\n", qPrintable(row.what), row.r.requestsPerSecond, row.r.p50Ms,
                    row.r.p99Ms, row.r.requestsPerSecond / ceiling.requestsPerSecond, row.r.p99Ms / std::max(0.001, ceiling.p99Ms),
                    row.r.errors ? qPrintable(QStringLiteral("  (%1 errors)").arg(row.r.errors)) : "");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&](const char *name, double def) {
        const int i = args.indexOf(QLatin1String(name));
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1).toDouble() : def;
    };
    const int rows = int(option("--rows", 1000000));
    const double seconds = option("--seconds", 3);
    const int connections = int(option("--connections", 8));
    const bool postgres = !args.contains(QStringLiteral("--no-postgres"));
    QTemporaryDir dir;

    // The ceiling: nginx answering every POST with a canned SOAP answer.
    const QByteArray canned = Soap("<GetAvgVeloquaResponse " + kNs + "><GetAvgVeloquaResult>123456</GetAvgVeloquaResult></GetAvgVeloquaResponse>");
    {
        QFile answer(dir.filePath(QStringLiteral("answer.xml")));
        answer.open(QIODevice::WriteOnly);
        answer.write(canned);
    }
    const int nginxPort = 20000 + int(QCoreApplication::applicationPid() % 20000);
    QFile conf(dir.filePath(QStringLiteral("nginx.conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("worker_processes 2; pid %1/nginx.pid; error_log %1/error.log; daemon off;\n"
                              "events { worker_connections 1024; }\n"
                              "http { access_log off; client_body_temp_path %1; server { listen 127.0.0.1:%2;\n"
                              "  location = /Veloqua/wsVeloqua.asmx { default_type \"text/xml; charset=utf-8\"; "
                              "  client_body_buffer_size 64k; return 200 '%3'; } } }\n")
                   .arg(dir.path())
                   .arg(nginxPort)
                   .arg(QString::fromUtf8(canned))
                   .toUtf8());
    conf.close();
    QProcess nginx;
    nginx.start(QStringLiteral("nginx"), {QStringLiteral("-p"), dir.path(), QStringLiteral("-c"), conf.fileName()});
    QThread::msleep(500);

    const QByteArray insertBody = Soap("<InsertTestResults " + kNs + "><VeloquaId>ID</VeloquaId><DownloadTimeMS>1500</DownloadTimeMS>"
                                       "<PageSize>250000</PageSize><SiteId>1</SiteId></InsertTestResults>");
    auto avgBody = [](int profile, const char *area) {
        return Soap("<GetAvgVeloqua " + kNs + "><ProfileId>" + QByteArray::number(profile) + "</ProfileId><Area>" + area
                    + "</Area><Period>anytime</Period></GetAvgVeloqua>");
    };

    const LoadResult ceiling = RunLoad(nginxPort, "/Veloqua/wsVeloqua.asmx", connections, seconds, [&](int, long) { return avgBody(1, "zipcode"); });
    if (ceiling.requests == 0 || ceiling.errors > ceiling.requests / 2) {
        std::fprintf(stderr, "nginx did not answer (%d errors); see %s/error.log\n", ceiling.errors, qPrintable(dir.path()));
        return 1;
    }

    std::vector<Row> results;
    auto measure = [&](const QString &label, const QString &database) {
        QElapsedTimer t;
        t.start();
        int profile = 0;
        {
            StorageOptions filling;
            filling.queryTimeLimitMs = 600000; // the bulk fill is one long statement
            Storage storage(database, filling);
            profile = Fill(storage, rows);
        }
        std::printf("%s: %d results stored in %.1f s\n", qPrintable(label), rows, t.elapsed() / 1000.0);
        std::fflush(stdout);
        Service service;
        if (!service.start(database))
            return;
        // The run the inserted results belong to is the last one stored.
        const QByteArray insert = QByteArray(insertBody).replace("ID", QByteArray::number(rows + 1));
        results.push_back({label + QStringLiteral(" InsertTestResults"),
                           RunLoad(service.port, "/Veloqua/wsVeloqua.asmx", connections, seconds, [&](int, long) { return insert; })});
        results.push_back({label + QStringLiteral(" GetAvgVeloqua zipcode"),
                           RunLoad(service.port, "/Veloqua/wsVeloqua.asmx", connections, seconds,
                                   [&](int, long) { return avgBody(profile, "zipcode"); })});
        results.push_back({label + QStringLiteral(" GetAvgVeloqua world"),
                           RunLoad(service.port, "/Veloqua/wsVeloqua.asmx", connections, seconds,
                                   [&](int, long) { return avgBody(profile, "world"); })});
    };

    measure(QStringLiteral("SQLite"), dir.filePath(QStringLiteral("bench.sqlite")));

    if (postgres) {
        const QString state = dir.filePath(QStringLiteral("pg"));
        const QString script = QStringLiteral(VQ_SOURCE_DIR "/scripts/pg-test-server.sh");
        if (QProcess::execute(QStringLiteral("sh"), {script, QStringLiteral("start"), state}) == 0) {
            QFile urlFile(state + QStringLiteral("/url"));
            urlFile.open(QIODevice::ReadOnly);
            const QString server = QString::fromUtf8(urlFile.readAll()).trimmed();
            const QUrl url(server);
            QProcess::execute(QStringLiteral("createdb"), {QStringLiteral("-h"), url.host(), QStringLiteral("-p"), QString::number(url.port()),
                                                           QStringLiteral("-U"), url.userName(), QStringLiteral("vqbench")});
            measure(QStringLiteral("PostgreSQL"), server + QStringLiteral("/vqbench"));
            QProcess::execute(QStringLiteral("sh"), {script, QStringLiteral("stop"), state});
        } else {
            std::fprintf(stderr, "no PostgreSQL cluster; PostgreSQL figures left out\n");
        }
    }

    std::printf("\n%d kept-alive connections, %.1f s per figure, %d stored results\n", connections, seconds, rows);
    Print(results, ceiling);
    nginx.kill();
    nginx.waitForFinished(5000);
    return 0;
}

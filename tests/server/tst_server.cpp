// The reference service, run against SQLite or (VQ_TEST_DATABASE=postgres) PostgreSQL: the
// comparisons against hand-computed figures, faults for bad input, hardening, concurrency and
// durability.
#include "Comparisons.h"
#include "ReferenceService.h"
#include "ServiceHandler.h"
#include "Storage.h"
#include "TestEnvironment.h"
#include "wsVeloqua.h"

#include <QDateTime>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>
#include <QXmlStreamReader>

#include <atomic>
#include <mutex>
#include <thread>

using namespace vq;
using namespace vq::server;

namespace {

// 2024-06-15 12:00:00 UTC
const qint64 kNow = QDateTime(QDate(2024, 6, 15), QTime(12, 0), Qt::UTC).toSecsSinceEpoch();
constexpr qint64 H = 3600;
constexpr qint64 D = 86400;

// Four profiles and their runs, with hand-computed figures in the tables below.
//   A: US/MA/02134, ISP 1, connection 1, UTC-5 (bias 300)
//   B: US/MA/02139, ISP 2, connection 2, UTC-5
//   C: US/NY/10001, ISP 1, connection 1, UTC-5
//   D: GERMANY/--/10115, ISP 1, connection 3, UTC+1 (bias -60)
struct Fixture {
    test::TestDatabase db;
    std::unique_ptr<Storage> storage;
    int A = 0, B = 0, C = 0, D_ = 0;

    bool setUp()
    {
        if (db.address().isEmpty())
            return false;
        storage = std::make_unique<Storage>(db.address());
        storage->initialize();
        const int user = storage->saveUser({}, {}, {}, {}, {}, {});
        auto profile = [&](const char *state, const char *zip, const char *country, int isp, int conn, int bias) {
            ProfileRecord p;
            p.userId = user;
            p.state = QLatin1String(state);
            p.zipCode = QLatin1String(zip);
            p.country = QLatin1String(country);
            p.ispId = isp;
            p.connectionTypeId = conn;
            p.timeZone = bias;
            return storage->saveProfile(p);
        };
        A = profile("MA", "02134", "UNITED STATES", 1, 1, 300);
        B = profile("MA", "02139", "UNITED STATES", 2, 2, 300);
        C = profile("NY", "10001", "UNITED STATES", 1, 1, 300);
        D_ = profile("--", "10115", "GERMANY", 1, 3, -60);
        auto run = [&](int p, qint64 ago, int speed) { storage->insertVeloqua(p, speed, {}, {}, {}, kNow - ago); };
        run(A, 1 * H, 1000);  // local 06:00, morning
        run(A, 2 * H, 3000);  // local 05:00, night
        run(A, 3 * D, 2600);  // local 07:00, morning
        run(A, 40 * D, 99999); // older than every window
        run(B, 1 * H, 4000);  // local 06:00
        run(B, 5 * D, 6000);  // local 07:00
        run(C, H / 2, 5000);  // local 06:30
        run(D_, 1 * H, 8000);  // local 12:00, afternoon
        run(D_, 10 * D, 10000); // local 13:00
        return true;
    }
};

QString Rows(const ResultTable &t)
{
    QStringList rows;
    for (const QVariantList &r : t.rows) {
        QStringList cells;
        for (const QVariant &v : r)
            cells.append(v.isNull() ? QStringLiteral("null") : v.toString());
        rows.append(cells.join(u','));
    }
    return rows.join(u';');
}

// A SOAP request with a raw body, through the client's transport.
QString RawCall(const QString &endpoint, const QString &method, const QByteArray &body)
{
    THTTPRIO rio;
    rio.URL = endpoint;
    try {
        rio.Execute(method, body);
        return QStringLiteral("ok");
    } catch (const ERemotableException &e) {
        return e.message();
    } catch (const ESOAPHTTPException &e) {
        return QStringLiteral("transport: ") + e.message();
    }
}

QByteArray Soap(const QByteArray &inner)
{
    return "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>" + inner
           + "</soap:Body></soap:Envelope>";
}

} // namespace

namespace {
// A user, a profile and one test run on the service: what site results are stored under.
int FirstRun(test::ReferenceService &service)
{
    auto setup = GetServiceProxy(service.endpoint());
    const int user = setup->SaveUser({}, {}, {}, {}, {}, {});
    const int profile = setup->SaveProfile(0, user, {}, QStringLiteral("p"), {}, 1, {}, {}, {}, 0, {}, {}, 1);
    return setup->InsertVeloqua(profile, 1, {}, {}, {});
}
} // namespace

class TestServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void averages_data();
    void averages();
    void tables_data();
    void tables();
    void badSelectorsAreRefused();
    void roundingHalvesToEven();
    void faultsForBadRequests_data();
    void faultsForBadRequests();
    void oversizedBodyIsRefusedUnread();
    void idleConnectionIsDropped();
    void wsdlDescribesEveryOperation();
    void adminCommandsChangeTablesAndDates();
    void longAggregateEndsWithAFault();
    void concurrentClientsLoseNoRow();
    void killDuringInsertsLosesNoAcknowledgedRow();

private:
    Fixture m_f;
};

void TestServer::initTestCase()
{
    qInfo("database: %s", test::TestDatabase::WantPostgres() ? "PostgreSQL" : "SQLite");
    QVERIFY2(m_f.setUp(), qPrintable(m_f.db.error()));
}

void TestServer::averages_data()
{
    QTest::addColumn<char>("who");
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("period");
    QTest::addColumn<int>("expected");
    // Last 31 days: A 1000, 3000, 2600; B 4000, 6000; C 5000; D 8000, 10000.
    QTest::newRow("world anytime") << 'A' << "world" << "anytime" << 4950;      // 39600 / 8
    QTest::newRow("country anytime") << 'A' << "country" << "anytime" << 3600;  // 21600 / 6
    QTest::newRow("state anytime") << 'A' << "state" << "anytime" << 3320;      // 16600 / 5
    QTest::newRow("zipcode anytime") << 'A' << "zipcode" << "anytime" << 2200;  // 6600 / 3
    QTest::newRow("world morning") << 'A' << "world" << "morning" << 3720;      // 1000 2600 4000 6000 5000
    QTest::newRow("world afternoon") << 'A' << "world" << "afternoon" << 9000;  // D's, in D's own time
    QTest::newRow("world night") << 'A' << "world" << "night" << 3000;          // A at 05:00
    QTest::newRow("state morning") << 'A' << "state" << "morning" << 3400;      // 1000 2600 4000 6000
    QTest::newRow("country of another profile") << 'D' << "country" << "anytime" << 9000;
    QTest::newRow("nothing there") << 'D' << "zipcode" << "morning" << 0;
}

void TestServer::averages()
{
    QFETCH(char, who);
    QFETCH(QString, area);
    QFETCH(QString, period);
    QFETCH(int, expected);
    Comparisons c(*m_f.storage);
    QCOMPARE(c.avg(who == 'A' ? m_f.A : m_f.D_, area, period, kNow), expected);
}

void TestServer::tables_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<char>("who");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("rows");
    // Dates and hours in the asking profile's local time.
    QTest::newRow("by connection, day, state") << "conn" << 'A' << "day" << "state"
                                                << "1,2024-06-15 5,3000;1,2024-06-15 6,1000;2,2024-06-15 6,4000";
    QTest::newRow("by ISP, week, world") << "isp" << 'A' << "week" << "world"
                                         << "1,2024-06-12,2600;1,2024-06-15,4250;2,2024-06-10,6000;2,2024-06-15,4000";
    QTest::newRow("by ISP, day, zipcode, other time zone") << "isp" << 'D' << "day" << "zipcode" << "1,2024-06-15 12,8000";
    QTest::newRow("by ISP, month, country") << "isp" << 'D' << "month" << "country" << "1,2024-06-05,10000;1,2024-06-15,8000";
    QTest::newRow("mine, month") << "mine" << 'A' << "month" << "" << "2024-06-12,2600;2024-06-15,2000";
    QTest::newRow("mine, day") << "mine" << 'A' << "day" << "" << "2024-06-15 5,3000;2024-06-15 6,1000";
    QTest::newRow("per ISP, state") << "perisp" << 'A' << "" << "state" << "1,2200;2,5000";
    QTest::newRow("my ISP per state, country") << "perstate" << 'A' << "" << "country" << "MA,2200;NY,5000";
    QTest::newRow("my ISP per state, world") << "perstate" << 'A' << "" << "world" << "--,9000;MA,2200;NY,5000";
}

void TestServer::tables()
{
    QFETCH(QString, operation);
    QFETCH(char, who);
    QFETCH(QString, period);
    QFETCH(QString, area);
    QFETCH(QString, rows);
    Comparisons c(*m_f.storage);
    const int p = who == 'A' ? m_f.A : m_f.D_;
    ResultTable t;
    if (operation == QLatin1String("conn"))
        t = c.veloquaByDate(Comparisons::GroupBy::ConnectionType, p, period, area, kNow);
    else if (operation == QLatin1String("isp"))
        t = c.veloquaByDate(Comparisons::GroupBy::Isp, p, period, area, kNow);
    else if (operation == QLatin1String("mine"))
        t = c.myVeloquaByDate(p, period, kNow);
    else if (operation == QLatin1String("perisp"))
        t = c.avgByIsp(p, area, kNow);
    else
        t = c.avgByState(p, area, kNow);
    QCOMPARE(Rows(t), rows);
}

void TestServer::badSelectorsAreRefused()
{
    Comparisons c(*m_f.storage);
    QVERIFY_THROWS_EXCEPTION(EBadRequest, c.avg(m_f.A, QStringLiteral("galaxy"), QStringLiteral("anytime"), kNow));
    QVERIFY_THROWS_EXCEPTION(EBadRequest, c.avg(m_f.A, QStringLiteral("world"), QStringLiteral("day"), kNow));
    QVERIFY_THROWS_EXCEPTION(EBadRequest, c.myVeloquaByDate(m_f.A, QStringLiteral("anytime"), kNow));
    QVERIFY_THROWS_EXCEPTION(EBadRequest, c.avgByIsp(987654, QStringLiteral("world"), kNow));
    QCOMPARE(c.myAvg(m_f.A, QStringLiteral("week"), kNow), 2200);
    QCOMPARE(c.myAvg(m_f.A, QStringLiteral("morning"), kNow), 1800);
}

void TestServer::roundingHalvesToEven()
{
    QCOMPARE(RoundSpeed(2.5), 2);
    QCOMPARE(RoundSpeed(3.5), 4);
    QCOMPARE(RoundSpeed(1234.4999), 1234);
    QCOMPARE(RoundSpeed(5e12), 2147483647);
}

void TestServer::faultsForBadRequests_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("fault");
    const QByteArray ns = "xmlns=\"http://tavistel.invalid/Veloqua/Service1\"";
    QTest::newRow("not XML") << QByteArray("hello") << "not well-formed";
    QTest::newRow("DTD") << "<!DOCTYPE x [<!ENTITY a \"b\">]>" + Soap("<GetSites " + ns + "/>") << "document type declaration";
    QTest::newRow("too deep") << Soap(QByteArray("<a>").repeated(300) + QByteArray("</a>").repeated(300)) << "nested deeper than 256";
    QTest::newRow("unknown operation") << Soap("<DropTables " + ns + "/>") << "Unknown operation";
    QTest::newRow("other namespace") << Soap("<GetSites xmlns=\"urn:other\"/>") << "Unknown operation";
    QTest::newRow("not a number") << Soap("<GetAvgVeloqua " + ns + "><ProfileId>x1</ProfileId><Area>world</Area><Period>anytime</Period></GetAvgVeloqua>")
                                  << "ProfileId is not a whole number";
    QTest::newRow("missing number") << Soap("<InsertTestResults " + ns + "><VeloquaId>1</VeloquaId></InsertTestResults>")
                                    << "DownloadTimeMS is missing";
    QTest::newRow("area outside its set") << Soap("<GetAvgVeloquaByISP " + ns + "><ProfileId>1</ProfileId><Area>moon</Area></GetAvgVeloquaByISP>")
                                          << "Area must be one of";
    QTest::newRow("unknown profile") << Soap("<InsertVeloqua " + ns + "><ProfileId>777777</ProfileId><Veloqua>5</Veloqua></InsertVeloqua>")
                                     << "Unknown profile 777777.";
    QTest::newRow("SOAP 1.2") << QByteArray("<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body/></e:Envelope>")
                              << "not a SOAP 1.1 envelope";
}

void TestServer::faultsForBadRequests()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, fault);
    test::ReferenceService service;
    QVERIFY2(service.start(), qPrintable(service.log()));
    const QString answer = RawCall(service.endpoint(), QStringLiteral("GetSites"), body);
    QVERIFY2(answer.contains(fault), qPrintable(answer));
    QVERIFY(!answer.startsWith(QLatin1String("transport")));
}

void TestServer::oversizedBodyIsRefusedUnread()
{
    test::ReferenceService service;
    QVERIFY2(service.start(), qPrintable(service.log()));
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), quint16(service.port()));
    QVERIFY(s.waitForConnected(5000));
    // Headers only: the answer must come without a single byte of the announced body.
    s.write("POST /Veloqua/wsVeloqua.asmx HTTP/1.1\r\nHost: t\r\nContent-Type: text/xml\r\nContent-Length: 2000000\r\n\r\n");
    QByteArray answer;
    QElapsedTimer t;
    t.start();
    while (!answer.contains("</soap:Envelope>") && t.elapsed() < 5000) {
        s.waitForReadyRead(100);
        answer += s.readAll();
    }
    QVERIFY2(answer.startsWith("HTTP/1.1 413"), answer.constData());
    QVERIFY(answer.contains("Connection: close"));
    QVERIFY(answer.contains("larger than 1048576 bytes"));
}

void TestServer::idleConnectionIsDropped()
{
    test::ReferenceService service;
    QVERIFY2(service.start({QStringLiteral("--idle-timeout"), QStringLiteral("1")}), qPrintable(service.log()));
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), quint16(service.port()));
    QVERIFY(s.waitForConnected(5000));
    s.write("POST /Veloqua/wsVeloqua.asmx HTTP/1.1\r\nHost: t\r\n"); // and then nothing
    s.flush();
    QElapsedTimer t;
    t.start();
    while (s.state() == QAbstractSocket::ConnectedState && t.elapsed() < 8000)
        s.waitForDisconnected(200);
    QCOMPARE(s.state(), QAbstractSocket::UnconnectedState);
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
}

void TestServer::wsdlDescribesEveryOperation()
{
    const QByteArray wsdl = ServiceHandler::Wsdl(QStringLiteral("http://127.0.0.1:1/Veloqua/wsVeloqua.asmx"));
    QXmlStreamReader r(wsdl);
    QStringList operations;
    bool inPortType = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("portType"))
            inPortType = true;
        else if (r.isEndElement() && r.name() == QLatin1String("portType"))
            inPortType = false;
        else if (inPortType && r.isStartElement() && r.name() == QLatin1String("operation"))
            operations.append(r.attributes().value(QStringLiteral("name")).toString());
    }
    QVERIFY2(!r.hasError(), qPrintable(r.errorString()));
    QCOMPARE(operations.size(), 18);
    QCOMPARE(operations.first(), QStringLiteral("GetIPAddress"));
    QCOMPARE(operations.at(8), QStringLiteral("SaveProfile"));
    QCOMPARE(operations.last(), QStringLiteral("GetAvgVeloqua"));
    QVERIFY(wsdl.contains("soapAction=\"http://tavistel.invalid/Veloqua/Service1/GetSites\""));
    QVERIFY(wsdl.contains("name=\"Name\" type=\"s:string\""));
}

void TestServer::adminCommandsChangeTablesAndDates()
{
    test::ReferenceService service;
    QVERIFY2(service.start(), qPrintable(service.log()));
    auto client = GetServiceProxy(service.endpoint());
    const QDateTime before = client->GetLastUpdatedISPs();
    QString out;
    QCOMPARE(service.admin({QStringLiteral("--add-isp"), QStringLiteral("Fibre & Co")}, &out), 0);
    QVERIFY2(out.contains(QLatin1String("added isp 9: Fibre & Co")), qPrintable(out));
    const QDateTime added = client->GetLastUpdatedISPs();
    QVERIFY(added > before);
    QCOMPARE(service.admin({QStringLiteral("--remove-isp"), QStringLiteral("9")}, &out), 0);
    QVERIFY(client->GetLastUpdatedISPs() > added);
    QCOMPARE(service.admin({QStringLiteral("--remove-isp"), QStringLiteral("9")}, &out), 1);
    QCOMPARE(service.admin({QStringLiteral("--list")}, &out), 0);
    QVERIFY(out.contains(test::ReferenceService::SeededSites().first()));
    QVERIFY(!out.contains(QLatin1String("Fibre")));
}

void TestServer::longAggregateEndsWithAFault()
{
    test::ReferenceService service;
    int profile = 0;
    {
        // Enough runs that a world-wide average takes longer than a 1 ms limit.
        Storage storage(service.databaseAddress());
        storage.initialize();
        ProfileRecord p;
        p.userId = storage.saveUser({}, {}, {}, {}, {}, {});
        profile = storage.saveProfile(p);
        const QString select = QStringLiteral("SELECT %1, i % 5000, %2, i % 24, 'X' FROM ").arg(profile).arg(Storage::NowUtc() - 60);
        const QString sql = QStringLiteral("INSERT INTO tests (profile_id, veloqua, tested_at, local_hour, country) ")
                            + (storage.isPostgres() ? select + QStringLiteral("generate_series(1, 300000) AS i")
                                                    : QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                                                     "WHERE i < 300000) ") + select + QStringLiteral("n"));
        storage.writeTransaction([&](QSqlDatabase &db) {
            QSqlQuery q(db);
            QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
        });
    }
    QVERIFY2(service.start({QStringLiteral("--query-time-limit"), QStringLiteral("1")}), qPrintable(service.log()));
    auto client = GetServiceProxy(service.endpoint());
    try {
        client->GetAvgVeloqua(profile, QStringLiteral("world"), QStringLiteral("anytime"));
        QFAIL("no fault");
    } catch (const ERemotableException &e) {
        QVERIFY2(e.message().contains(QLatin1String("took too long")), qPrintable(e.message()));
        QCOMPARE(e.faultCode(), QStringLiteral("soap:Server"));
    }
    // The service goes on serving.
    QCOMPARE(client->GetIPAddress(), QStringLiteral("127.0.0.1"));
}

void TestServer::concurrentClientsLoseNoRow()
{
    test::ReferenceService service;
    QVERIFY2(service.start({QStringLiteral("--no-request-log")}), qPrintable(service.log()));
    const int run = FirstRun(service);

    constexpr int kClients = 20, kEach = 25;
    std::mutex mutex;
    QSet<int> ids;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            auto client = GetServiceProxy(service.endpoint());
            for (int i = 0; i < kEach; ++i) {
                try {
                    const int id = client->InsertTestResults(run, c * 1000 + i, 100, 1);
                    std::lock_guard<std::mutex> lock(mutex);
                    ids.insert(id);
                } catch (const Error &) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(ids.size(), kClients * kEach);
    QCOMPARE(service.stop(), 0);
    Storage check(service.databaseAddress());
    QCOMPARE(check.countTestResults(), qint64(kClients * kEach));
}

void TestServer::killDuringInsertsLosesNoAcknowledgedRow()
{
    test::ReferenceService service;
    QVERIFY2(service.start({QStringLiteral("--no-request-log")}), qPrintable(service.log()));
    const int run = FirstRun(service);

    std::mutex mutex;
    QList<int> acknowledged;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int c = 0; c < 4; ++c) {
        threads.emplace_back([&] {
            auto client = GetServiceProxy(service.endpoint());
            client->transport().ResponseTimeout = 5000;
            while (!stop) {
                try {
                    const int id = client->InsertTestResults(run, 1, 1, 1);
                    std::lock_guard<std::mutex> lock(mutex);
                    acknowledged.append(id);
                } catch (const Error &) {
                    return; // the service is gone
                }
            }
        });
    }
    QTest::qSleep(700);
    service.kill();
    stop = true;
    for (std::thread &t : threads)
        t.join();
    QVERIFY(acknowledged.size() > 10);

    Storage check(service.databaseAddress());
    QSqlQuery q = check.prepare(QStringLiteral("SELECT result_id FROM test_results"));
    check.exec(q);
    QSet<int> stored;
    while (q.next())
        stored.insert(q.value(0).toInt());
    for (int id : acknowledged)
        QVERIFY2(stored.contains(id), qPrintable(QStringLiteral("acknowledged row %1 lost").arg(id)));
}

QTEST_GUILESS_MAIN(TestServer)
#include "tst_server.moc"

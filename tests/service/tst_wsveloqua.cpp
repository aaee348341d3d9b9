// The service client against the real reference service on loopback, and against canned
// answers for the failures a real service does not produce on demand.
#include "CannedHttpServer.h"
#include "ReferenceService.h"
#include "TestEnvironment.h"
#include "XMLTransformProvider.h"
#include "wsVeloqua.h"

#include <QTest>

using namespace vq;

namespace {

QString Xtr(const char *name)
{
    return test::BinaryDir() + QLatin1Char('/') + QLatin1String(name);
}

// Rows of a table response through the shipped transformation file.
XMLTransformResult Rows(const QByteArray &response, const char *xtr)
{
    return ApplyTransformation(TransformationRules::Load(Xtr(xtr)), response);
}

QByteArray Envelope(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<soap:Body>"
           + body + "</soap:Body></soap:Envelope>";
}

} // namespace

class TestWsVeloqua : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void everyOperationRoundTrips();
    void saveProfileRequestIsExact();
    void endpointRule();
    void faultsBecomeRemotableExceptions_data();
    void faultsBecomeRemotableExceptions();
    void transportFailures_data();
    void transportFailures();
    void xsDateTime_data();
    void xsDateTime();

private:
    test::ReferenceService m_service;
};

void TestWsVeloqua::initTestCase()
{
    QVERIFY2(m_service.start(), qPrintable(m_service.log()));
}

void TestWsVeloqua::cleanupTestCase()
{
    QCOMPARE(m_service.stop(), 0);
}

void TestWsVeloqua::everyOperationRoundTrips()
{
    auto service = GetServiceProxy(m_service.endpoint());
    QByteArray last;
    QStringList seen;
    service->transport().OnAfterExecute = [&](const QString &method, const QByteArray &response) {
        seen.append(method);
        last = response;
    };

    QCOMPARE(service->GetIPAddress(), QStringLiteral("127.0.0.1"));

    // The reference tables: the seeded rows come back through the transformation files.
    service->GetISPs();
    XMLTransformResult isps = Rows(last, "ISPs.xtr");
    QCOMPARE(isps.rows.size(), 8);
    QCOMPARE(isps.rows.first().at(1).toString(), QStringLiteral("AT&T"));
    const int ispId = isps.rows.at(1).at(0).toInt();
    service->GetConnectionTypes();
    XMLTransformResult types = Rows(last, "ConnectionTypes.xtr");
    QCOMPARE(types.rows.size(), 8);
    const int connectionTypeId = types.rows.at(2).at(0).toInt();
    service->GetSites();
    XMLTransformResult sites = Rows(last, "Sites.xtr");
    QCOMPARE(sites.rows.size(), int(test::ReferenceService::SeededSites().size()));
    QCOMPARE(sites.rows.first().at(1).toString(), test::ReferenceService::SeededSites().first());

    const QDateTime now = QDateTime::currentDateTime();
    for (const QDateTime &d : {service->GetLastUpdatedISPs(), service->GetLastUpdatedConnectionTypes(), service->GetLastUpdatedSites()}) {
        QVERIFY(d.isValid());
        QCOMPARE(d.timeSpec(), Qt::LocalTime);
        QVERIFY(qAbs(d.secsTo(now)) < 600);
    }

    const int user = service->SaveUser(QStringLiteral("Intel(R) Core(TM) i5"), QStringLiteral("2400"), QStringLiteral("Debian GNU/Linux"),
                                       QStringLiteral("12"), QStringLiteral("Acme <&> Ltd"), QStringLiteral("Model ü"));
    QVERIFY(user > 0);
    const int profile = service->SaveProfile(0, user, QStringLiteral("00-11-22-33-44-55"), QStringLiteral("Default"),
                                             QStringLiteral("127.0.0.1"), ispId, QStringLiteral("02134"), QStringLiteral("MA"),
                                             QStringLiteral("UNITED STATES"), 300, QStringLiteral("Satisfied"),
                                             QStringLiteral("10 Mbps"), connectionTypeId);
    QVERIFY(profile > 0);
    QCOMPARE(service->SaveProfile(profile, user, QStringLiteral("00-11-22-33-44-55"), QStringLiteral("Home"),
                                  QStringLiteral("127.0.0.1"), ispId, QStringLiteral("02134"), QStringLiteral("MA"),
                                  QStringLiteral("UNITED STATES"), 300, QString(), QStringLiteral("10 Mbps"), connectionTypeId),
             profile);

    const int test = service->InsertVeloqua(profile, 123456, QStringLiteral("8589934592"), QStringLiteral("4294967296"),
                                            QStringLiteral("1099511627776"));
    QVERIFY(test > 0);
    QVERIFY(service->InsertTestResults(test, 1500, 250000, sites.rows.first().at(0).toInt()) > 0);

    // One run: every comparison holds exactly it.
    QCOMPARE(service->GetAvgVeloqua(profile, QStringLiteral("zipcode"), QStringLiteral("anytime")), 123456);
    QCOMPARE(service->GetMyAvgVeloqua(profile, QStringLiteral("week")), 123456);

    service->GetMyVeloquaByDate(profile, QStringLiteral("day"));
    XMLTransformResult mine = Rows(last, "GetMyVeloquabyDate.xtr");
    QCOMPARE(mine.rows.size(), 1);
    QCOMPARE(mine.rows.first().at(1).toDouble(), 123456.0);
    QVERIFY(mine.rows.first().at(0).toString().contains(u' ')); // by hour: "yyyy-MM-dd H"

    service->GetVeloquaByISPDate(profile, QStringLiteral("week"), QStringLiteral("state"));
    XMLTransformResult byIsp = Rows(last, "GetVeloquabyISPDate.xtr");
    QCOMPARE(byIsp.rows.size(), 1);
    QCOMPARE(byIsp.rows.first().at(0).toInt(), ispId);
    QCOMPARE(byIsp.rows.first().at(1).toString().size(), 10);

    service->GetVeloquaByConnDate(profile, QStringLiteral("month"), QStringLiteral("world"));
    QCOMPARE(Rows(last, "GetVeloquabyConnDate.xtr").rows.first().at(0).toInt(), connectionTypeId);

    service->GetAvgVeloquaByISP(profile, QStringLiteral("country"));
    QCOMPARE(Rows(last, "GetAvgVeloquabyISP.xtr").rows, (QList<QVariantList>{{ispId, 123456.0}}));

    auto byState = service->GetAvgVeloquaByState(profile, QStringLiteral("world"));
    QCOMPARE(Rows(last, "GetAvgVeloquabyState.xtr").rows, (QList<QVariantList>{{QStringLiteral("MA"), 123456.0}}));
    QCOMPARE(byState->schema, QStringLiteral("NewDataSet"));

    QCOMPARE(seen.size(), 19);
    QCOMPARE(seen.first(), QStringLiteral("GetIPAddress"));
}

void TestWsVeloqua::saveProfileRequestIsExact()
{
    test::CannedHttpServer canned;
    canned.setReply(test::CannedHttpServer::HttpReply(
        200, Envelope("<SaveProfileResponse xmlns=\"http://tavistel.invalid/Veloqua/Service1\">"
                      "<SaveProfileResult>42</SaveProfileResult></SaveProfileResponse>")));
    auto service = GetServiceProxy(canned.url());
    QCOMPARE(service->SaveProfile(0, 7, QStringLiteral("AA-BB"), QStringLiteral("Home & Office"), QStringLiteral("10.1.2.3"), 3,
                                  QStringLiteral("02134"), QStringLiteral("--"), QStringLiteral("COTE D'IVOIRE"), -60,
                                  QStringLiteral("Very satisfied"), QStringLiteral("512 Kbps"), 4),
             42);
    QCOMPARE(canned.requests().size(), 1);
    const QByteArray request = canned.requests().first();
    const QByteArray body = request.mid(request.indexOf("\r\n\r\n") + 4);
    const QByteArray expected(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soap:Body>"
        "<SaveProfile xmlns=\"http://tavistel.invalid/Veloqua/Service1\">"
        "<ProfileId>0</ProfileId><UserId>7</UserId><MacAddress>AA-BB</MacAddress><Name>Home &amp; Office</Name>"
        "<IPAddress>10.1.2.3</IPAddress><ISPId>3</ISPId><ZipCode>02134</ZipCode><State>--</State>"
        "<Country>COTE D'IVOIRE</Country><TimeZone>-60</TimeZone><SatisfactionLevel>Very satisfied</SatisfactionLevel>"
        "<ContractSpeed>512 Kbps</ContractSpeed><ConnectionTypeId>4</ConnectionTypeId></SaveProfile>"
        "</soap:Body></soap:Envelope>\n");
    QVERIFY2(body == expected, body.constData());
    QVERIFY(request.startsWith("POST /Veloqua/wsVeloqua.asmx HTTP/1.1\r\n"));
    QVERIFY(request.contains("\r\nSOAPAction: \"http://tavistel.invalid/Veloqua/Service1/SaveProfile\"\r\n"));
    QVERIFY(request.contains("\r\nContent-Type: text/xml; charset=utf-8\r\n"));
}

void TestWsVeloqua::endpointRule()
{
    QCOMPARE(GetServiceProxy()->transport().URL, QStringLiteral("http://127.0.0.1:8177/Veloqua/wsVeloqua.asmx"));
    QCOMPARE(GetServiceProxy(QStringLiteral("https://example.test:1/x?y"))->transport().URL, QStringLiteral("https://example.test:1/x?y"));
    auto rio = std::make_shared<THTTPRIO>();
    auto service = GetServiceProxy(QString(), rio);
    QCOMPARE(&service->transport(), rio.get());
}

void TestWsVeloqua::faultsBecomeRemotableExceptions_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown profile") << "avg-unknown-profile" << "Unknown profile 999999.";
    QTest::newRow("area outside its set") << "avg-bad-area" << "Area must be one of zipcode, state, country, world; got \"planet\".";
    QTest::newRow("period outside its set") << "bydate-bad-period" << "Period must be one of day, week, month; got \"year\".";
    QTest::newRow("update of a profile that does not exist") << "save-unknown" << "Unknown user 0.";
    QTest::newRow("result of an unknown run") << "result-unknown" << "Unknown test 999999 (VeloquaId).";
}

void TestWsVeloqua::faultsBecomeRemotableExceptions()
{
    QFETCH(QString, operation);
    QFETCH(QString, text);
    auto service = GetServiceProxy(m_service.endpoint());
    int failed = 0;
    bool hooked = false;
    service->transport().OnExecuteFailed = [&](const QString &) { ++failed; };
    service->transport().OnAfterExecute = [&](const QString &, const QByteArray &) { hooked = true; };
    try {
        if (operation == QLatin1String("avg-unknown-profile"))
            service->GetAvgVeloqua(999999, QStringLiteral("world"), QStringLiteral("anytime"));
        else if (operation == QLatin1String("avg-bad-area"))
            service->GetAvgVeloqua(1, QStringLiteral("planet"), QStringLiteral("anytime"));
        else if (operation == QLatin1String("bydate-bad-period"))
            service->GetMyVeloquaByDate(1, QStringLiteral("year"));
        else if (operation == QLatin1String("save-unknown"))
            service->SaveProfile(5, 0, {}, {}, {}, 0, {}, {}, {}, 0, {}, {}, 0);
        else
            service->InsertTestResults(999999, 1, 1, 1);
        QFAIL("no exception");
    } catch (const ERemotableException &e) {
        QCOMPARE(e.message(), text);
        QCOMPARE(e.faultCode(), QStringLiteral("soap:Client"));
    }
    QCOMPARE(failed, 1);
    QVERIFY(!hooked); // a fault carries no table: the hook never sees it
}

void TestWsVeloqua::transportFailures_data()
{
    QTest::addColumn<QByteArray>("reply"); // empty: see mode
    QTest::addColumn<int>("mode");         // 0 reply, 1 hang, 2 close, 3 nobody listening, 4 wrong path on the real service
    QTest::addColumn<QString>("expected");
    const QByteArray ok = "<GetIPAddressResponse xmlns=\"http://tavistel.invalid/Veloqua/Service1\"><GetIPAddressResult>1.2.3.4"
                          "</GetIPAddressResult></GetIPAddressResponse>";
    QTest::newRow("nobody listening") << QByteArray() << 3 << "Could not reach the service";
    QTest::newRow("HTTP 404 of the real service") << QByteArray() << 4 << "HTTP status 404";
    QTest::newRow("connection closed without an answer") << QByteArray() << 2 << "Could not reach the service";
    QTest::newRow("hanging answer") << QByteArray() << 1 << "did not answer in time";
    QTest::newRow("HTTP 503 with a page") << test::CannedHttpServer::HttpReply(503, "<html>down</html>", "text/html") << 0
                                          << "HTTP status 503";
    QTest::newRow("HTML page with 200") << test::CannedHttpServer::HttpReply(200, "<html><body>Hotel login</body></html>", "text/html")
                                        << 0 << "not a SOAP 1.1 envelope";
    QTest::newRow("truncated envelope") << test::CannedHttpServer::HttpReply(200, Envelope(ok).left(120)) << 0 << "not well-formed";
    QTest::newRow("entity expansion") << test::CannedHttpServer::HttpReply(
        200, "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>" + Envelope("<x>&b;</x>"))
                                      << 0 << "document type declaration";
    QTest::newRow("processing instruction") << test::CannedHttpServer::HttpReply(200, "<?xml version=\"1.0\"?><?evil x?>" + Envelope(ok))
                                            << 0 << "processing instruction";
    QTest::newRow("nesting too deep") << test::CannedHttpServer::HttpReply(200, Envelope(QByteArray("<a>").repeated(300) + QByteArray("</a>").repeated(300)))
                                      << 0 << "nested deeper than 256";
    QTest::newRow("answer too large") << test::CannedHttpServer::HttpReply(200, Envelope(ok + QByteArray(9000, ' '))) << 0
                                      << "larger than 8192 bytes";
    QTest::newRow("answer of another operation") << test::CannedHttpServer::HttpReply(200, Envelope("<GetSitesResponse xmlns=\"http://tavistel.invalid/Veloqua/Service1\"/>"))
                                                 << 0 << "unexpected element <GetSitesResponse>";
    QTest::newRow("SOAP 1.2 envelope") << test::CannedHttpServer::HttpReply(200, "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body/></e:Envelope>")
                                       << 0 << "not a SOAP 1.1 envelope";
}

void TestWsVeloqua::transportFailures()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, mode);
    QFETCH(QString, expected);
    test::CannedHttpServer canned;
    QString url = canned.url();
    if (mode == 0)
        canned.setReply(reply);
    else if (mode == 1)
        canned.setMode(test::CannedHttpServer::Mode::Hang);
    else if (mode == 2)
        canned.setMode(test::CannedHttpServer::Mode::Close);
    else if (mode == 3)
        url = QStringLiteral("http://127.0.0.1:1/Veloqua/wsVeloqua.asmx");
    else
        url = m_service.endpoint().replace(QLatin1String("wsVeloqua.asmx"), QLatin1String("nothing.asmx"));

    auto rio = std::make_shared<THTTPRIO>();
    rio->ResponseTimeout = 500; // shortened for the hanging case
    rio->ResponseLimits.maxBytes = 8192;
    bool hooked = false;
    int failed = 0;
    rio->OnAfterExecute = [&](const QString &, const QByteArray &) { hooked = true; };
    rio->OnExecuteFailed = [&](const QString &) { ++failed; };
    auto service = GetServiceProxy(url, rio);
    try {
        service->GetIPAddress();
        QFAIL("no exception");
    } catch (const ESOAPHTTPException &e) {
        QVERIFY2(e.message().contains(expected), qPrintable(e.message()));
    }
    QVERIFY(!hooked);
    QCOMPARE(failed, 1);
}

void TestWsVeloqua::xsDateTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("utc");
    const QDateTime t(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC);
    QTest::newRow("UTC") << "2024-03-05T14:07:09Z" << t;
    QTest::newRow("offset") << "2024-03-05T16:07:09+02:00" << t;
    QTest::newRow("seven fraction digits") << "2024-03-05T14:07:09.1234567Z" << t.addMSecs(123);
    QTest::newRow("surrounding blanks") << "  2024-03-05T14:07:09Z\n" << t;
    QTest::newRow("not a date") << "yesterday" << QDateTime();
}

void TestWsVeloqua::xsDateTime()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, utc);
    const QDateTime value = ParseXsDateTime(text);
    QCOMPARE(value.isValid(), utc.isValid());
    if (utc.isValid()) {
        QCOMPARE(value.timeSpec(), Qt::LocalTime);
        QCOMPARE(value.toUTC(), utc);
    }
}

QTEST_GUILESS_MAIN(TestWsVeloqua)
#include "tst_wsveloqua.moc"

#include "CurlFetcher.h"
#include "MemoryStream.h"
#include "PageServer.h"
#include "SystemFetcher.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace vq;
using test::PageServer;

namespace {

std::unique_ptr<TPageFetcher> MakeFetcher(const QString &engine)
{
    if (engine == u"curl")
        return std::make_unique<TCurlFetcher>();
    return std::make_unique<TSystemFetcher>();
}

struct Outcome {
    bool result = false;
    qint64 counted = 0; // sum of DocData
    TMemoryStream stream;
};

void Fetch(TPageFetcher &fetcher, const QString &address, Outcome &out)
{
    QObject::connect(&fetcher, &TPageFetcher::DocData, &fetcher, [&out](qint64 n) { out.counted += n; });
    out.result = fetcher.Fetch(address, out.stream);
    QObject::disconnect(&fetcher, &TPageFetcher::DocData, nullptr, nullptr);
}

// A port on which nobody listens.
quint16 ClosedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort(); // closed when s goes
}

} // namespace

class TestFetchers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void curlRequest();
    void systemRequest();
    void results_data();
    void results();
    void onlyHttpAndHttps_data();
    void onlyHttpAndHttps();
    void abortKeepsWhatArrived_data();
    void abortKeepsWhatArrived();
    void eventLoopRunsDuringADownload_data();
    void eventLoopRunsDuringADownload();
    void curlThroughTheProxy();
    void largePageIsCountedAndKeptUpToTheLimit_data();
    void largePageIsCountedAndKeptUpToTheLimit();
};

void TestFetchers::curlRequest()
{
    PageServer server;
    server.setRoute("/dir/page.htm", PageServer::Page("<html>hello</html>"));
    TCurlFetcher fetcher;
    Outcome out;
    Fetch(fetcher, server.host() + QStringLiteral("/dir/page.htm"), out);
    QVERIFY(out.result);
    QCOMPARE(out.stream.Data(), QByteArray("<html>hello</html>"));
    QCOMPARE(out.counted, 18);
    QCOMPARE(server.requests().size(), 1);
    const PageServer::Request r = server.requests().constFirst();
    QCOMPARE(r.method, QByteArray("GET"));
    QCOMPARE(r.path, QByteArray("/dir/page.htm"));
    QCOMPARE(r.version, QByteArray("HTTP/1.0"));
    QCOMPARE(r.headers.value("user-agent"), QByteArray("Veloqua/1.0"));
    QCOMPARE(r.headers.value("accept"), QByteArray("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*"));
    // No referrer, no compression, no cache directives.
    QVERIFY(!r.headers.contains("referer"));
    QVERIFY(!r.headers.contains("accept-encoding"));
    QVERIFY(!r.headers.contains("pragma"));
    QVERIFY(!r.headers.contains("cache-control"));
}

void TestFetchers::systemRequest()
{
    PageServer server;
    server.setRoute("/", PageServer::Page("root page"));
    TSystemFetcher fetcher;
    Outcome out;
    Fetch(fetcher, server.host(), out);
    QVERIFY(out.result);
    QCOMPARE(out.stream.Data(), QByteArray("root page"));
    const PageServer::Request r = server.requests().constFirst();
    QCOMPARE(r.path, QByteArray("/"));
    QCOMPARE(r.headers.value("user-agent"), QByteArray("Veloqua/1.0"));
    // Always a fresh copy from the origin.
    QCOMPARE(r.headers.value("cache-control"), QByteArray("no-cache"));
}

void TestFetchers::results_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("result");
    QTest::addColumn<qint64>("bytes");
    for (const char *engine : {"curl", "system"}) {
        const bool curl = QByteArray(engine) == "curl";
        auto row = [engine](const char *name) -> QTestData & { return QTest::addRow("%s: %s", engine, name); };
        row("200") << engine << QByteArray("/ok") << true << qint64(5);
        // An error page is counted; the built-in client calls it a failure, the system engine
        // a page like any other.
        row("404") << engine << QByteArray("/missing") << !curl << qint64(35);
        row("500") << engine << QByteArray("/broken") << !curl << qint64(10);
        row("401") << engine << QByteArray("/login") << true << qint64(6);
        row("407") << engine << QByteArray("/proxyauth") << true << qint64(6);
        row("redirect") << engine << QByteArray("/moved") << true << qint64(5);
        row("5 redirections") << engine << QByteArray("/r5") << true << qint64(5);
        row("6 redirections") << engine << QByteArray("/r6") << !curl << qint64(0);
        row("redirect loop") << engine << QByteArray("/loop1") << !curl << qint64(0);
        row("reset mid-body") << engine << QByteArray("/reset") << !curl << qint64(3000);
        row("binary junk") << engine << QByteArray("/junk") << true << qint64(4096);
        row("empty body") << engine << QByteArray("/empty") << true << qint64(0);
    }
}

void TestFetchers::results()
{
    QFETCH(QString, engine);
    QFETCH(QByteArray, path);
    QFETCH(bool, result);
    QFETCH(qint64, bytes);
    PageServer server;
    server.setRoute("/ok", PageServer::Page("hello"));
    server.setRoute("/missing", PageServer::Status(404, "Not Found", "<html><body>Not found</body></html>"));
    server.setRoute("/broken", PageServer::Status(500, "Server Error", "<p>oops</p"));
    server.setRoute("/login", PageServer::Status(401, "Unauthorized", "log in"));
    server.setRoute("/proxyauth", PageServer::Status(407, "Proxy Authentication Required", "log in"));
    server.setRoute("/moved", PageServer::Redirect("/ok"));
    for (int i = 1; i <= 6; ++i)
        server.setRoute("/r" + QByteArray::number(i), PageServer::Redirect(i == 1 ? "/ok" : "/r" + QByteArray::number(i - 1), 301));
    server.setRoute("/loop1", PageServer::Redirect("/loop2"));
    server.setRoute("/loop2", PageServer::Redirect("/loop1"));
    PageServer::Route reset = PageServer::Page(QByteArray(10000, 'x'));
    reset.fault = PageServer::Fault::ResetMidBody;
    reset.faultAfterBytes = 3000;
    server.setRoute("/reset", reset);
    QByteArray junk(4096, Qt::Uninitialized);
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 7919 + 13) % 256);
    server.setRoute("/junk", PageServer::Page(junk, "application/octet-stream"));
    server.setRoute("/empty", PageServer::Page(QByteArray()));

    auto fetcher = MakeFetcher(engine);
    Outcome out;
    Fetch(*fetcher, server.host() + QString::fromLatin1(path), out);
    QCOMPARE(out.result, result);
    QCOMPARE(out.counted, bytes);
    QCOMPARE(out.stream.Size(), bytes);
}

void TestFetchers::onlyHttpAndHttps_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("result");
    for (const char *engine : {"curl", "system"}) {
        QTest::addRow("%s: capital scheme", engine) << engine << "HTTP://%1/ok" << true;
        QTest::addRow("%s: no scheme", engine) << engine << "%1/ok" << true;
        QTest::addRow("%s: file", engine) << engine << "file:///etc/hostname" << false;
        QTest::addRow("%s: ftp", engine) << engine << "ftp://%1/ok" << false;
        QTest::addRow("%s: data", engine) << engine << "data:text/plain,hello" << false;
        QTest::addRow("%s: empty", engine) << engine << "" << false;
    }
}

void TestFetchers::onlyHttpAndHttps()
{
    QFETCH(QString, engine);
    QFETCH(QString, address);
    QFETCH(bool, result);
    PageServer server;
    server.setRoute("/ok", PageServer::Page("hello"));
    auto fetcher = MakeFetcher(engine);
    Outcome out;
    Fetch(*fetcher, QString(address).replace(QLatin1String("%1"), server.host()), out);
    QCOMPARE(out.result, result);
    QCOMPARE(out.counted, result ? 5 : 0);
    QCOMPARE(server.requests().size(), result ? 1 : 0);
}

void TestFetchers::abortKeepsWhatArrived_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<bool>("result");
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("curl, stalled after headers") << "curl" << true << false << qint64(2000);
    QTest::newRow("system, stalled after headers") << "system" << true << true << qint64(2000);
    QTest::newRow("curl, never answers") << "curl" << false << false << qint64(0);
    QTest::newRow("system, never answers") << "system" << false << false << qint64(0);
    QTest::newRow("curl, closed port") << "curl" << false << false << qint64(-1);
    QTest::newRow("system, closed port") << "system" << false << false << qint64(-1);
}

void TestFetchers::abortKeepsWhatArrived()
{
    QFETCH(QString, engine);
    QFETCH(bool, answers);
    QFETCH(bool, result);
    QFETCH(qint64, bytes);
    PageServer server;
    PageServer::Route route = PageServer::Page(QByteArray(100000, 'y'));
    route.fault = answers ? PageServer::Fault::StallAfterHeaders : PageServer::Fault::NeverAnswer;
    route.faultAfterBytes = 2000;
    server.setRoute("/slow", route);
    const QString address = bytes < 0 ? QStringLiteral("127.0.0.1:%1/slow").arg(ClosedPort())
                                      : server.host() + QStringLiteral("/slow");
    auto fetcher = MakeFetcher(engine);
    QTimer::singleShot(300, fetcher.get(), [&fetcher] { fetcher->Abort(); });
    Outcome out;
    Fetch(*fetcher, address, out);
    QCOMPARE(out.result, result);
    QCOMPARE(out.counted, std::max<qint64>(bytes, 0));
    QVERIFY(!fetcher->ApplicationEnding());
    fetcher->Abort(); // nothing runs: harmless
}

void TestFetchers::eventLoopRunsDuringADownload_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("curl") << "curl";
    QTest::newRow("system") << "system";
}

void TestFetchers::eventLoopRunsDuringADownload()
{
    QFETCH(QString, engine);
    PageServer server;
    PageServer::Route paced = PageServer::Page(QByteArray());
    paced.generatedBytes = 200000;
    paced.bytesPerSecond = 500000; // about 0.4 s
    server.setRoute("/paced", paced);
    auto fetcher = MakeFetcher(engine);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(20);
    Outcome out;
    Fetch(*fetcher, server.host() + QStringLiteral("/paced"), out);
    QCOMPARE(out.counted, 200000);
    QVERIFY2(ticks >= 5, qPrintable(QStringLiteral("%1 timer ticks").arg(ticks)));
    // Blocks came one after another, not as one lump at the end.
    QVERIFY(out.stream.Data().startsWith("abcdefghijklmnopqrstuvwxyzabc"));
}

void TestFetchers::curlThroughTheProxy()
{
    // The proxy is another local server; the page's host does not exist, so only the proxy can
    // have answered.
    PageServer proxy;
    proxy.setRoute("http://page.invalid/x.htm", PageServer::Page("via proxy"));
    TCurlFetcher fetcher;
    fetcher.SetProxy(QStringLiteral("127.0.0.1"), QString::number(proxy.port()));
    Outcome out;
    Fetch(fetcher, QStringLiteral("page.invalid/x.htm"), out);
    QVERIFY(out.result);
    QCOMPARE(out.stream.Data(), QByteArray("via proxy"));
    QCOMPARE(proxy.requests().constFirst().path, QByteArray("http://page.invalid/x.htm"));

    // Cleared: straight to the origin again, whatever the environment names.
    PageServer origin;
    origin.setRoute("/y", PageServer::Page("direct"));
    fetcher.SetProxy(QString(), QString());
    const QByteArray oldProxy = qgetenv("http_proxy");
    qputenv("http_proxy", "http://127.0.0.1:1");
    Outcome direct;
    Fetch(fetcher, origin.host() + QStringLiteral("/y"), direct);
    qputenv("http_proxy", oldProxy);
    QCOMPARE(direct.stream.Data(), QByteArray("direct"));
    QCOMPARE(proxy.requests().size(), 1);
}

void TestFetchers::largePageIsCountedAndKeptUpToTheLimit_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("curl") << "curl";
    QTest::newRow("system") << "system";
}

void TestFetchers::largePageIsCountedAndKeptUpToTheLimit()
{
    QFETCH(QString, engine);
    PageServer server;
    PageServer::Route big = PageServer::Page(QByteArray());
    big.generatedBytes = 50 * 1024 * 1024;
    server.setRoute("/big", big);
    auto fetcher = MakeFetcher(engine);
    qint64 counted = 0;
    int blocks = 0;
    QObject::connect(fetcher.get(), &TPageFetcher::DocData, [&](qint64 n) {
        counted += n;
        ++blocks;
        if (engine == u"system")
            QVERIFY(n <= 1024);
    });
    TMemoryStream stream(1024 * 1024);
    QVERIFY(fetcher->Fetch(server.host() + QStringLiteral("/big"), stream));
    QCOMPARE(counted, 50 * 1024 * 1024);
    QCOMPARE(stream.Size(), 50 * 1024 * 1024);
    QCOMPARE(stream.Data().size(), 1024 * 1024);
    if (engine == u"system")
        QVERIFY(blocks >= 50 * 1024); // reads of at most 1,024 bytes
}

QTEST_GUILESS_MAIN(TestFetchers)
#include "tst_fetchers.moc"

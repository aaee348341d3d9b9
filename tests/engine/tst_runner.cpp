#include "PageServer.h"
#include "TestRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <stdexcept>

using namespace vq;
using test::PageServer;

namespace {

// Records what the runner reported, row by row.
struct Recorder {
    explicit Recorder(TTestRunner &runner)
    {
        QObject::connect(&runner, &TTestRunner::rowStarted, [this](int row) { events.append(QStringLiteral("start %1").arg(row)); });
        QObject::connect(&runner, &TTestRunner::rowCleared, [this](int row) { events.append(QStringLiteral("clear %1").arg(row)); });
        QObject::connect(&runner, &TTestRunner::rowProgress, [this](int row, qint64 bytes, qint64 ms) {
            if (ms < lastElapsed.value(row, 0))
                backwards = true;
            lastElapsed[row] = ms;
            progressBytes[row] = bytes;
            ++progressCount;
        });
        QObject::connect(&runner, &TTestRunner::rowFinished, [this](int row, qint64 bytes, qint64 ms) {
            events.append(QStringLiteral("final %1: %2").arg(row).arg(bytes));
            finalMs[row] = ms;
        });
        QObject::connect(&runner, &TTestRunner::totalsChanged, [this](qint64 b, qint64 t) {
            totals.append({b, t});
        });
    }
    QStringList events;
    QMap<int, qint64> lastElapsed;
    QMap<int, qint64> progressBytes;
    QMap<int, qint64> finalMs;
    QList<QPair<qint64, qint64>> totals;
    int progressCount = 0;
    bool backwards = false;
};

QList<TSiteRow> Rows(const QStringList &captions)
{
    QList<TSiteRow> rows;
    for (const QString &c : captions)
        rows.append({c, QVariant()});
    return rows;
}


} // namespace

class TestRunner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void builtInAddresses_data();
    void builtInAddresses();
    void documentAddresses_data();
    void documentAddresses();
    void parsingMethods_data();
    void parsingMethods();
    void signalsAndTotals();
    void faults_data();
    void faults();
    void watchdogAtFiveSeconds();
    void stop_data();
    void stop();
    void standardRunHooks();
    void aRunNeverStartsInsideAnother();
    void applicationEndingStopsTheRun(); // last: it ends the event loops of this process
};

void TestRunner::builtInAddresses_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("address");
    QTest::newRow("relative") << "host/dir" << "img/a.gif" << "host/dir/img/a.gif";
    QTest::newRow("from the root keeps both slashes") << "host/dir" << "/img/a.gif" << "host/dir//img/a.gif";
    QTest::newRow("caption ends with /") << "host/" << "a.gif" << "host/a.gif";
    QTest::newRow("http stays") << "host" << "HTTP://o.example/a.gif" << "HTTP://o.example/a.gif";
    QTest::newRow("https stays") << "host" << "https://o.example/a.gif" << "https://o.example/a.gif";
    QTest::newRow("scheme-relative") << "host" << "//cdn.example/a.gif" << "http://cdn.example/a.gif";
    QTest::newRow("data: nothing to fetch") << "host" << "data:image/gif;base64,R0lG" << "";
    QTest::newRow("javascript") << "host" << "javascript:x()" << "";
    QTest::newRow("no src: nothing to fetch") << "host" << "" << "";
    QTest::newRow("port in the caption") << "localhost:8080" << "a.gif" << "localhost:8080/a.gif";
}

void TestRunner::builtInAddresses()
{
    QFETCH(QString, caption);
    QFETCH(QString, entry);
    QFETCH(QString, address);
    QCOMPARE(BuiltInResourceAddress(caption, entry), address);
}

void TestRunner::documentAddresses_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("address");
    QTest::newRow("relative") << "host/dir" << "about:blankimg/a.gif" << "host/dir/img/a.gif";
    QTest::newRow("from the root") << "host/dir" << "about:blank/img/a.gif" << "host/dir/img/a.gif";
    QTest::newRow("about:blank alone") << "host" << "about:blank" << "";
    QTest::newRow("long relative kept whole") << "h" << "about:blank" + QString(300, u'x') << "h/" + QString(300, u'x');
    QTest::newRow("absolute") << "host" << "http://o.example/a.gif" << "http://o.example/a.gif";
    QTest::newRow("data") << "host" << "data:image/gif;base64,R0lG" << "";
    QTest::newRow("empty") << "host" << "" << "";
}

void TestRunner::documentAddresses()
{
    QFETCH(QString, caption);
    QFETCH(QString, entry);
    QFETCH(QString, address);
    QCOMPARE(ResourceAddress(caption, entry), address);
}

void TestRunner::parsingMethods_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QStringList>("fetched"); // paths after the page, in download order
    QTest::newRow("1: built-in") << 1 << QStringList{"/dir//img/b.gif", "/dir/img/a.gif", "/abs.gif"};
    QTest::newRow("2: document") << 2 << QStringList{"/dir/img/b.gif", "/dir/img/a.gif", "/abs.gif"};
    QTest::newRow("3: editable document") << 3 << QStringList{"/dir/img/b.gif", "/dir/img/a.gif", "/abs.gif"};
    QTest::newRow("4: the page only") << 4 << QStringList{};
    QTest::newRow("0: the page only") << 0 << QStringList{};
}

void TestRunner::parsingMethods()
{
    QFETCH(int, method);
    QFETCH(QStringList, fetched);
    PageServer server;
    const QByteArray page = "<html><body><img src=\"img/a.gif\"><IMG SRC=\"IMG/A.GIF\"><img src=\"img/a.gif\">"
                            "<img src=\"/img/b.gif\"><img src=\"http://" + server.host().toLatin1() + "/abs.gif\"><img>"
                            "<img src=\"data:image/gif;base64,R0lG\"></body></html>";
    server.setRoute("/dir", PageServer::Page(page));
    server.setRoute("/dir/img/a.gif", PageServer::Page(QByteArray(1000, 'a'), "image/gif"));
    server.setRoute("/dir/img/b.gif", PageServer::Page(QByteArray(2000, 'b'), "image/gif"));
    server.setRoute("/dir//img/b.gif", PageServer::Page(QByteArray(2000, 'b'), "image/gif"));
    server.setRoute("/abs.gif", PageServer::Page(QByteArray(4000, 'c'), "image/gif"));

    TTestRunner runner;
    runner.FParsingMethod = method;
    const TRunSummary summary = runner.Run(Rows({server.host() + QStringLiteral("/dir")}), 1);
    QVERIFY(summary.completed);
    QStringList paths;
    for (const PageServer::Request &r : server.requests())
        paths.append(QString::fromLatin1(r.path));
    QCOMPARE(paths.value(0), QStringLiteral("/dir"));
    paths.removeFirst();
    // Each image once, whatever its spelling; addresses in the list's order.
    QCOMPARE(paths, fetched);
    qint64 expected = page.size() + (fetched.isEmpty() ? 0 : 7000);
    QCOMPARE(summary.totalBytes, expected);
    QCOMPARE(summary.figures.at(0).bytes, expected);
    QVERIFY(summary.figures.at(0).final);
}

void TestRunner::signalsAndTotals()
{
    PageServer server;
    server.setRoute("/one", PageServer::Page("<img src=i.gif>"));
    server.setRoute("/one/i.gif", PageServer::Paced(60000, 300000));
    server.setRoute("/two", PageServer::Paced(30000, 300000));
    TTestRunner runner;
    runner.setProgressInterval(0);
    Recorder rec(runner);
    const TRunSummary s = runner.Run(Rows({server.host() + QStringLiteral("/one"), server.host() + QStringLiteral("/two")}), 1);
    QVERIFY(s.completed);
    QVERIFY(s.finished.isValid());
    QCOMPARE(rec.events, (QStringList{"start 0", "clear 0", "final 0: 60015", "start 1", "clear 1", "final 1: 30000"}));
    QCOMPARE(rec.totals.size(), 2);
    QCOMPARE(rec.totals.at(0).first, 60015);
    QCOMPARE(rec.totals.at(1).first, 90015);
    QCOMPARE(rec.totals.at(1).second, rec.finalMs[0] + rec.finalMs[1]);
    QCOMPARE(s.totalMilliseconds, rec.totals.at(1).second);
    // The row follows the download: many updates, the time of the whole site, never backwards,
    // and the last update carries the final bytes.
    QVERIFY(rec.progressCount > 10);
    QVERIFY(!rec.backwards);
    QCOMPARE(rec.progressBytes[0], 60015);
    QVERIFY(rec.finalMs[0] >= 150); // 60 kB at 300 kB/s
    QCOMPARE(runner.FTestKind, std::uint8_t(2));
    QVERIFY(!runner.Running());
}

void TestRunner::faults_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("method");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<bool>("timedOut");
    for (const char *engine : {"curl", "system"}) {
        auto row = [engine](const char *name) -> QTestData & { return QTest::addRow("%s: %s", engine, name); };
        row("stalls after headers") << engine << QByteArray("/stall") << 1 << qint64(3000) << true;
        row("never answers") << engine << QByteArray("/silent") << 1 << qint64(0) << true;
        row("redirect loop") << engine << QByteArray("/loop1") << 2 << qint64(0) << false;
        row("error page counted") << engine << QByteArray("/nothing-here") << 2 << qint64(35) << false;
        row("reset mid-body, then its image") << engine << QByteArray("/reset") << 2 << qint64(5000 + 35) << false;
        row("binary junk, built-in") << engine << QByteArray("/junk") << 1 << qint64(65536) << false;
        row("binary junk, document") << engine << QByteArray("/junk") << 2 << qint64(65536) << false;
        row("binary junk, editable") << engine << QByteArray("/junk") << 3 << qint64(65536) << false;
        row("50 MB page") << engine << QByteArray("/big") << 2 << qint64(50 * 1024 * 1024) << false;
    }
}

void TestRunner::faults()
{
    QFETCH(QString, engine);
    QFETCH(QByteArray, path);
    QFETCH(int, method);
    QFETCH(qint64, bytes);
    QFETCH(bool, timedOut);
    PageServer server;
    PageServer::Route stall = PageServer::Page(QByteArray(10000, 's'));
    stall.fault = PageServer::Fault::StallAfterHeaders;
    stall.faultAfterBytes = 3000;
    server.setRoute("/stall", stall);
    PageServer::Route silent;
    silent.fault = PageServer::Fault::NeverAnswer;
    server.setRoute("/silent", silent);
    server.setRoute("/loop1", PageServer::Redirect("/loop2"));
    server.setRoute("/loop2", PageServer::Redirect("/loop1"));
    PageServer::Route reset = PageServer::Page("<img src=a.gif>" + QByteArray(9985, ' '));
    reset.fault = PageServer::Fault::ResetMidBody;
    reset.faultAfterBytes = 5000;
    server.setRoute("/reset", reset);
    QByteArray junk(65536, Qt::Uninitialized);
    quint32 x = 12345;
    for (char &c : junk) {
        x = x * 1103515245 + 12345;
        c = char(x >> 24);
    }
    server.setRoute("/junk", PageServer::Page(junk, "application/octet-stream"));
    PageServer::Route big = PageServer::Page(QByteArray());
    big.generatedBytes = 50 * 1024 * 1024;
    server.setRoute("/big", big);

    TTestRunner runner;
    runner.FUseWinInet = engine == u"system";
    runner.FParsingMethod = method;
    runner.setWatchdogInterval(300);
    bool sawTimeout = false;
    QObject::connect(runner.watchdog(), &QTimer::timeout, [&] { sawTimeout = sawTimeout || runner.FTimedOut; });
    QElapsedTimer clock;
    clock.start();
    const TRunSummary s = runner.Run(Rows({server.host() + QString::fromLatin1(path)}), 1);
    // A failed or stalled download is measured with what arrived, and the run goes on.
    QVERIFY(s.completed);
    QCOMPARE(s.totalBytes, bytes);
    QCOMPARE(runner.FTimedOut || sawTimeout, timedOut);
    if (timedOut)
        QVERIFY(clock.elapsed() >= 280);
    QVERIFY(s.figures.at(0).final);
}

void TestRunner::watchdogAtFiveSeconds()
{
    // The one test with the production interval: a page that stops after its headers and a
    // little body is cut off after five seconds without data, with its bytes counted.
    PageServer server;
    PageServer::Route stall = PageServer::Page(QByteArray(10000, 's'));
    stall.fault = PageServer::Fault::StallAfterHeaders;
    stall.faultAfterBytes = 1234;
    server.setRoute("/stall", stall);
    TTestRunner runner;
    QCOMPARE(runner.watchdogInterval(), 5000);
    QElapsedTimer clock;
    clock.start();
    const TRunSummary s = runner.Run(Rows({server.host() + QStringLiteral("/stall")}), 1);
    const qint64 took = clock.elapsed();
    QVERIFY(s.completed);
    QCOMPARE(s.totalBytes, 1234);
    QVERIFY(runner.FTimedOut);
    QVERIFY2(took >= 4950 && took < 7000, qPrintable(QString::number(took)));
    QVERIFY(s.totalMilliseconds >= 4950);
}

void TestRunner::stop_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<int>("stopInRow");
    QTest::addColumn<bool>("completed");
    QTest::newRow("curl, first of two rows") << "curl" << 0 << false;
    QTest::newRow("curl, last row") << "curl" << 1 << true;
    QTest::newRow("system, first of two rows") << "system" << 0 << false;
    QTest::newRow("system, last row") << "system" << 1 << true;
}

void TestRunner::stop()
{
    QFETCH(QString, engine);
    QFETCH(int, stopInRow);
    QFETCH(bool, completed);
    PageServer server;
    server.setRoute("/slow", PageServer::Paced(2000000, 200000)); // ten seconds if nobody stops it
    TTestRunner runner;
    runner.FUseWinInet = engine == u"system";
    runner.FParsingMethod = 2;
    Recorder rec(runner);
    bool hookCalled = false;
    runner.setStandardRunCompleted([&hookCalled](const TStandardRunResult &) { hookCalled = true; });
    QObject::connect(&runner, &TTestRunner::rowProgress, &runner, [&runner, stopInRow](int row, qint64 bytes) {
        if (row == stopInRow && bytes > 20000)
            runner.Stop();
    });
    QList<TSiteRow> rows = Rows({server.host() + QStringLiteral("/slow"), server.host() + QStringLiteral("/slow")});
    if (stopInRow == 1)
        rows[0].caption = server.host() + QStringLiteral("/quick");
    QElapsedTimer clock;
    clock.start();
    const TRunSummary s = runner.Run(rows, 0);
    QVERIFY(clock.elapsed() < 5000); // the download in progress ended at once
    QCOMPARE(s.completed, completed);
    QCOMPARE(hookCalled, completed); // the standard run's upload only after the last row
    // The stopped row keeps its last progress and gets no final figures.
    QVERIFY(!s.figures.at(stopInRow).final);
    QVERIFY(s.figures.at(stopInRow).bytes > 20000);
    QVERIFY(!rec.events.contains(QStringLiteral("start %1").arg(stopInRow + 1)));
    // The totals include the partial site.
    QCOMPARE(s.totalBytes, s.figures.at(0).bytes + s.figures.at(1).bytes);
}

void TestRunner::standardRunHooks()
{
    PageServer server;
    server.setRoute("/a", PageServer::Page("aaaa"));
    server.setRoute("/b", PageServer::Page("bbbbbbbb"));
    TTestRunner runner;
    QVERIFY(runner.PassStandardRunGate()); // by default every run passes
    runner.setStandardRunGate([] { return false; });
    QVERIFY(!runner.PassStandardRunGate());

    QList<TSiteRow> rows{{server.host() + QStringLiteral("/a"), 11}, {server.host() + QStringLiteral("/b"), 12}};
    TStandardRunResult got;
    int calls = 0;
    runner.setStandardRunCompleted([&](const TStandardRunResult &r) {
        got = r;
        ++calls;
    });
    runner.Run(rows, 1); // a personal run never reaches the service
    QCOMPARE(calls, 0);
    runner.Run(rows, 0);
    QCOMPARE(calls, 1);
    QCOMPARE(got.rows.size(), 2);
    QCOMPARE(got.rows.at(1).siteId.toInt(), 12);
    QCOMPARE(got.figures.at(0).bytes, 4);
    QCOMPARE(got.figures.at(1).bytes, 8);
    QCOMPARE(got.totalBytes, 12);
    if (got.totalMilliseconds > 0)
        QCOMPARE(got.bytesPerSecond, 12.0 / (got.totalMilliseconds / 1000.0));
    else
        QCOMPARE(got.bytesPerSecond, 0.0);

    // A failing upload reaches the caller, and the runner is idle again.
    runner.setStandardRunCompleted([](const TStandardRunResult &) { throw std::runtime_error("upload failed"); });
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, runner.Run(rows, 0));
    QVERIFY(!runner.Running());
    QCOMPARE(runner.FTestKind, std::uint8_t(2));
}

void TestRunner::aRunNeverStartsInsideAnother()
{
    PageServer server;
    server.setRoute("/slow", PageServer::Paced(100000, 500000));
    TTestRunner runner;
    TRunSummary inner;
    bool tried = false;
    QTimer::singleShot(50, [&] {
        tried = true;
        inner = runner.Run(Rows({server.host() + QStringLiteral("/other")}), 1);
    });
    const TRunSummary outer = runner.Run(Rows({server.host() + QStringLiteral("/slow")}), 1);
    QVERIFY(tried);
    QVERIFY(!inner.completed);
    QVERIFY(outer.completed);
    QCOMPARE(outer.totalBytes, 100000);
    QCOMPARE(server.requestCount("/other"), 0);
}

void TestRunner::applicationEndingStopsTheRun()
{
    PageServer server;
    server.setRoute("/slow", PageServer::Paced(2000000, 200000));
    TTestRunner runner;
    QTimer::singleShot(200, [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    const TRunSummary s = runner.Run(Rows({server.host() + QStringLiteral("/slow"), server.host() + QStringLiteral("/slow")}), 1);
    QVERIFY(clock.elapsed() < 3000);
    QVERIFY(!s.completed);
    QCOMPARE(server.requestCount("/slow"), 1);
}

QTEST_GUILESS_MAIN(TestRunner)
#include "tst_runner.moc"

#include "HeadlessRun.h"
#include "PageServer.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace vq;
using test::PageServer;

namespace {

using Result = test::ProgramResult;

Result RunCli(const QStringList &arguments, int timeoutMs = 30000)
{
    return test::RunProgram(QStringLiteral("veloqua-cli"), arguments, timeoutMs);
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void arguments_data();
    void arguments();
    void usageErrors_data();
    void usageErrors();
    void textReport();
    void jsonAndCsv();
    void personalListAndSettingsFromTheConfiguration();
    void interruptedRun();

private:
    std::unique_ptr<test::TestEnvironment> m_env;
};

void TestCli::init()
{
    m_env.reset(); // the old one restores the environment it found: let it go first
    m_env = std::make_unique<test::TestEnvironment>();
}

void TestCli::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("summary"); // engine, parsing, unit, format, sites
    QTest::newRow("nothing") << QStringList{} << "-,-,-,text,";
    QTest::newRow("everything") << QStringList{"--engine", "system", "--parsing", "3", "--unit", "Mbps", "--json", "a", "b"}
                                << "system,3,3,json,a|b";
    QTest::newRow("inline values") << QStringList{"--engine=curl", "--parsing=4", "--unit=Kbps", "--csv", "x"}
                                   << "curl,4,1,csv,x";
    QTest::newRow("sites after --") << QStringList{"--", "--json"} << "-,-,-,text,--json";
}

void TestCli::arguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, summary);
    const auto parsed = ParseCliArguments(args);
    QVERIFY(std::holds_alternative<TCliOptions>(parsed));
    const TCliOptions o = std::get<TCliOptions>(parsed);
    const QString format = o.format == TCliOptions::Format::Json ? "json" : o.format == TCliOptions::Format::Csv ? "csv" : "text";
    const QString got = QStringList{o.useWinInet ? (*o.useWinInet ? "system" : "curl") : "-",
                                    o.parsingMethod ? QString::number(*o.parsingMethod) : "-",
                                    o.multiplier ? QString::number(*o.multiplier) : "-", format, o.sites.join(u'|')}
                            .join(u',');
    QCOMPARE(got, summary);
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << QStringList{"--fast"} << "unknown option --fast";
    QTest::newRow("engine") << QStringList{"--engine", "wininet", "s"} << "unknown engine";
    QTest::newRow("engine without value") << QStringList{"--engine"} << "--engine needs a value";
    QTest::newRow("parsing") << QStringList{"--parsing", "two", "s"} << "--parsing needs a whole number";
    QTest::newRow("unit") << QStringList{"--unit", "GB/s", "s"} << "unknown unit";
    QTest::newRow("both formats") << QStringList{"--json", "--csv", "s"} << "cannot be combined";
    QTest::newRow("no sites anywhere") << QStringList{} << "no sites to test";
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Result r = RunCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("Usage: veloqua-cli")));
    QVERIFY(r.out.isEmpty());
    QCOMPARE(RunCli({"--help"}).exitCode, 0);
}

void TestCli::textReport()
{
    PageServer server;
    server.setRoute("/", PageServer::Page("<img src=\"p.gif\">"));
    server.setRoute("/p.gif", PageServer::Page(QByteArray(1234567, 'p'), "image/gif"));
    server.setRoute("/empty", PageServer::Page(""));
    const Result r = RunCli({server.host(), server.host() + "/empty"});
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split(u'\n');
    QVERIFY(lines.value(0).startsWith(QStringLiteral("Site")));
    QVERIFY(lines.value(0).contains(QStringLiteral("Time (s)")));
    QVERIFY2(lines.value(1).startsWith(server.host() + "  "), qPrintable(r.out));
    QVERIFY(lines.value(1).contains(QStringLiteral("1,234,584"))); // the page and its image
    QVERIFY(lines.value(1).contains(QStringLiteral(" KB/s")));
    QVERIFY(r.out.contains(QStringLiteral("Total bytes downloaded: 1,234,584 Bytes\n")));
    QVERIFY(r.out.contains(QStringLiteral("Total time: ")));
    QVERIFY(r.out.contains(QStringLiteral("Veloqua: ")));
    QVERIFY(r.out.contains(QStringLiteral("Last test: ")));
    // Progress goes to stderr only when it is a terminal.
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
}

void TestCli::jsonAndCsv()
{
    PageServer server;
    server.setRoute("/a", PageServer::Page("0123456789"));
    server.setRoute("/b,c", PageServer::Page("01234"));
    const Result json = RunCli({"--json", "--engine", "system", server.host() + "/a", server.host() + "/b,c"});
    QCOMPARE(json.exitCode, 0);
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QCOMPARE(root.value("engine").toString(), QStringLiteral("system"));
    QCOMPARE(root.value("completed").toBool(), true);
    QCOMPARE(root.value("totalBytes").toInteger(), 15);
    const QJsonArray sites = root.value("sites").toArray();
    QCOMPARE(sites.size(), 2);
    QCOMPARE(sites.at(0).toObject().value("bytes").toInteger(), 10);
    QCOMPARE(sites.at(1).toObject().value("site").toString(), server.host() + "/b,c");
    QVERIFY(sites.at(0).toObject().contains("milliseconds"));

    const Result csv = RunCli({"--csv", server.host() + "/a", server.host() + "/b,c"});
    QCOMPARE(csv.exitCode, 0);
    const QStringList lines = csv.out.trimmed().split(u'\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("site,bytes,milliseconds,bytes_per_second,complete"));
    QVERIFY(lines.at(1).startsWith(server.host() + "/a,10,"));
    QVERIFY(lines.at(2).startsWith(u'"' + server.host() + "/b,c\",5,"));
    QVERIFY(lines.at(3).startsWith(QStringLiteral("(total),15,")));
}

void TestCli::personalListAndSettingsFromTheConfiguration()
{
    PageServer server;
    server.setRoute("/one", PageServer::Page("<img src=x.gif>"));
    server.setRoute("/one/x.gif", PageServer::Page("xx"));
    server.setRoute("/two", PageServer::Page("22"));
    m_env->writeConfig(QStringLiteral("veloqua"), "[Config]\nMultiplier=1\nParsingMethod=4\n[LocalSites]\n"
                                                      + server.host().toUtf8() + "/one=\n" + server.host().toUtf8() + "/two=\n");
    const Result r = RunCli({});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(r.out.contains(server.host() + "/one"));
    QVERIFY(r.out.contains(server.host() + "/two"));
    QVERIFY(r.out.contains(QStringLiteral(" Kbps")));
    QCOMPARE(server.requestCount("/one/x.gif"), 0); // ParsingMethod 4: pages only
    // The command line wins over the file.
    const Result r2 = RunCli({"--unit", "MB/s", "--parsing", "1"});
    QVERIFY(r2.out.contains(QStringLiteral(" MB/s")));
    QCOMPARE(server.requestCount("/one/x.gif"), 1);
}

void TestCli::interruptedRun()
{
    PageServer server;
    PageServer::Route slow = PageServer::Page(QByteArray());
    slow.generatedBytes = 10000000;
    slow.bytesPerSecond = 500000;
    server.setRoute("/slow", slow);
    QProcess p;
    p.start(test::BinaryDir() + QStringLiteral("/veloqua-cli"), {"--json", server.host() + "/slow", server.host() + "/later"});
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCount("/slow") == 1, 10000);
    QTest::qWait(300);
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    const QJsonObject root = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    QCOMPARE(root.value("completed").toBool(), false);
    QVERIFY(root.value("totalBytes").toInteger() > 0);
    QCOMPARE(server.requestCount("/later"), 0);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

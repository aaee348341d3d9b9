// veloqua-cli --standard: the standard tests without a window, under the desktop program's
// active profile, against the reference service and pages of a local server.
#include "PageServer.h"
#include "ReferenceService.h"
#include "StoredRows.h"
#include "TestEnvironment.h"
#include "wsVeloqua.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace vq;
using test::PageServer;

namespace {

using Result = test::ProgramResult;

Result RunCli(const QStringList &arguments)
{
    return test::RunProgram(QStringLiteral("veloqua-cli"), arguments, 60000);
}

// Three pages (the second sends nothing), the service listing them, a user with the profile
// "Home" registered there, and the desktop program's configuration naming it.
struct Setup {
    Setup()
    {
        server.setRoute("/s1", PageServer::Page(QByteArray(4000, 'a')));
        server.setRoute("/s2", PageServer::Page(QByteArray()));
        server.setRoute("/s3", PageServer::Page(QByteArray(6000, 'c')));
        QStringList sites;
        for (const char *p : {"/s1", "/s2", "/s3"})
            sites.append(server.host() + QLatin1String(p));
        ok = service.start({QStringLiteral("--seed"), test::WriteSeed(seedDir.path(), sites)});
        if (!ok)
            return;
        soap = GetServiceProxy(service.endpoint());
        user = soap->SaveUser({}, {}, {}, {}, {}, {});
        home = soap->SaveProfile(0, user, {}, QStringLiteral("Home"), QStringLiteral("127.0.0.1"), 2, QStringLiteral("10115"),
                                 QStringLiteral("--"), QStringLiteral("GERMANY"), 0, {}, {}, 3);
    }
    // The configuration with the active profile's id and address, and another profile.
    void writeConfig(int profileId = 0, const QString &address = QStringLiteral("127.0.0.1"),
                     const QString &officeAddress = QString())
    {
        QByteArray office;
        if (!officeAddress.isEmpty())
            office = "Office=9\n[PrfOffice]\nIPAddress=" + officeAddress.toUtf8() + "\n";
        env.writeConfig(QStringLiteral("veloqua"), "[Config]\nParsingMethod=4\nServerURL=" + service.endpoint().toUtf8()
                                                       + "\n[UserInfo]\nUserId=" + QByteArray::number(user)
                                                       + "\nLastProfile=Home\n[PrfHome]\nIPAddress=" + address.toUtf8()
                                                       + "\n[Profiles]\nHome=" + QByteArray::number(profileId ? profileId : home)
                                                       + "\n" + office);
    }

    PageServer server;
    QTemporaryDir seedDir;
    test::ReferenceService service;
    test::TestEnvironment env;
    std::unique_ptr<Service1Soap> soap;
    int user = 0;
    int home = 0;
    bool ok = false;
};

} // namespace

class TestCliStandard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void uploadsAndCompares();
    void cannotStart_data();
    void cannotStart();
    void uploadRefused();
};

void TestCliStandard::uploadsAndCompares()
{
    Setup s;
    QVERIFY2(s.ok, qPrintable(s.service.log()));
    s.writeConfig();
    const int other = s.soap->SaveProfile(0, s.user, {}, QStringLiteral("Away"), {}, 2, {}, QStringLiteral("--"),
                                          QStringLiteral("FRANCE"), 0, {}, {}, 3);
    s.soap->InsertVeloqua(other, 100000, {}, {}, {});

    const Result r = RunCli({QStringLiteral("--standard"), QStringLiteral("--json")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
    const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(root.value("completed").toBool(), true);
    QCOMPARE(root.value("totalBytes").toInteger(), 10000);
    const QJsonObject standard = root.value("standard").toObject();
    QCOMPARE(standard.value("profile").toString(), QStringLiteral("Home"));
    QCOMPARE(standard.value("uploaded").toBool(), true);
    QCOMPARE(standard.value("sitesSent").toInt(), 2);

    // Stored under the active profile: the run, and the two sites that sent bytes.
    const test::StoredRows db(s.service.databaseAddress());
    const QList<QVariantMap> tests = db.tests();
    QCOMPARE(tests.size(), 2);
    const QVariantMap run = tests.last();
    QCOMPARE(run.value(QStringLiteral("veloqua_id")).toInt(), standard.value("veloquaId").toInt());
    QCOMPARE(run.value(QStringLiteral("profile_id")).toInt(), s.home);
    QVERIFY(qAbs(run.value(QStringLiteral("veloqua")).toDouble() - root.value("bytesPerSecond").toDouble()) <= 0.5);
    QVERIFY(run.value(QStringLiteral("ram")).toLongLong() > 0);
    const QList<QVariantMap> results = db.results(run.value(QStringLiteral("veloqua_id")).toInt());
    QCOMPARE(results.size(), 2);
    QCOMPARE(results.at(0).value(QStringLiteral("page_size")).toInt(), 4000);
    QCOMPARE(results.at(1).value(QStringLiteral("page_size")).toInt(), 6000);

    // Everyone at any time, as the service computes it now.
    QCOMPARE(standard.value("everyoneBytesPerSecond").toInt(),
             s.soap->GetAvgVeloqua(s.home, QStringLiteral("world"), QStringLiteral("anytime")));
    QVERIFY(QFile::exists(QFileInfo(s.env.configFile()).absolutePath() + QStringLiteral("/sites.xml")));

    // The text report says the same.
    const Result text = RunCli({QStringLiteral("--standard"), QStringLiteral("--unit"), QStringLiteral("Kbps")});
    QVERIFY2(text.exitCode == 0, qPrintable(text.err));
    QVERIFY2(text.out.contains(QStringLiteral(" under the profile \"Home\" (2 sites).\n")), qPrintable(text.out));
    QVERIFY(text.out.contains(QStringLiteral("The average Veloqua of everyone at any time: ")));
    QVERIFY(text.out.contains(QStringLiteral(" Kbps\n")));
    QCOMPARE(db.count(QStringLiteral("tests")), 3);
}

void TestCliStandard::cannotStart_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("not registered") << "unregistered" << 3 << "this computer is not registered yet";
    QTest::newRow("UserId without an active profile") << "noprofile" << 3 << "there is no active profile";
    QTest::newRow("another network, a profile fits it")
        << "moved" << 3
        << "the external address is now 127.0.0.1, outside the network of the active profile \"Home\" (10.1.2.3).\n"
           "Profiles for this network: \"Office\". Start Veloqua to choose or create the profile for this network";
    QTest::newRow("another network, no profile fits") << "movedfar" << 3 << "No profile of this computer fits the new network.";
    QTest::newRow("service down") << "down" << 3 << "cannot reach the central service at http://127.0.0.1:";
    QTest::newRow("sites with --standard") << "sites" << 2 << "--standard tests the central service's site list";
}

void TestCliStandard::cannotStart()
{
    QFETCH(QString, situation);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    Setup s;
    QVERIFY2(s.ok, qPrintable(s.service.log()));
    QStringList args{QStringLiteral("--standard")};
    if (situation == u"unregistered") {
        s.env.writeConfig(QStringLiteral("veloqua"), "[Config]\nServerURL=" + s.service.endpoint().toUtf8() + "\n");
    } else if (situation == u"noprofile") {
        s.env.writeConfig(QStringLiteral("veloqua"), "[UserInfo]\nUserId=" + QByteArray::number(s.user) + "\n");
    } else if (situation == u"moved") {
        s.writeConfig(0, QStringLiteral("10.1.2.3"), QStringLiteral("127.0.0.9"));
    } else if (situation == u"movedfar") {
        s.writeConfig(0, QStringLiteral("10.1.2.3"));
    } else if (situation == u"down") {
        s.writeConfig();
        s.service.stop();
    } else {
        s.writeConfig();
        args.append(s.server.host() + QStringLiteral("/s1"));
    }
    const Result r = RunCli(args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QVERIFY(s.server.requests().isEmpty()); // nothing measured
    QCOMPARE(test::StoredRows(s.service.databaseAddress()).count(QStringLiteral("tests")), 0);
}

void TestCliStandard::uploadRefused()
{
    Setup s;
    QVERIFY2(s.ok, qPrintable(s.service.log()));
    s.writeConfig(424242); // a profile the service does not know
    const Result r = RunCli({QStringLiteral("--standard")});
    QCOMPARE(r.exitCode, 4);
    QVERIFY(r.out.contains(QStringLiteral("Total bytes downloaded: 10,000 Bytes\n")));
    QVERIFY2(r.out.contains(QStringLiteral("Error connecting to the server: ")), qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("The results were not uploaded.\n")));
    QCOMPARE(s.server.requestCount("/s3"), 1);
    QCOMPARE(test::StoredRows(s.service.databaseAddress()).count(QStringLiteral("tests")), 0);
}

QTEST_GUILESS_MAIN(TestCliStandard)
#include "tst_clistandard.moc"

#include "ConfigFile.h"
#include "ReferenceService.h"
#include "RegisteredUser.h"
#include "TestEnvironment.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace vq;

// The desktop program as separate processes: the single-instance hand-over and the ending by a
// signal, against a scratch configuration.
class TestInstance : public QObject
{
    Q_OBJECT

private:
    static void startProgram(QProcess &p, const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("veloqua.instance.info=true"));
        p.setProcessEnvironment(env);
        p.start(test::BinaryDir() + QStringLiteral("/veloqua"), args);
        QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));
    }
    static bool waitForLine(QProcess &p, QByteArray &seen, const QByteArray &line, int ms = 20000)
    {
        QElapsedTimer t;
        t.start();
        while (!seen.contains(line) && t.elapsed() < ms) {
            p.waitForReadyRead(200);
            seen += p.readAllStandardError();
        }
        return seen.contains(line);
    }

private Q_SLOTS:
    void secondStartHandsOver();
    void signalsEndThroughTheClosingPath_data();
    void signalsEndThroughTheClosingPath();
};

void TestInstance::secondStartHandsOver()
{
    test::TestEnvironment env;
    const QString config = env.configFile();
    env.writeConfig(QStringLiteral("veloqua"), test::RegisteredUserConfig());
    test::ReferenceService service;
    QVERIFY2(service.start(), qPrintable(service.log()));
    ConfigFile(config).Write(cfg::ServerURL, service.endpoint());
    QProcess first;
    startProgram(first, {QStringLiteral("/m")});
    QByteArray firstLog;
    QVERIFY2(waitForLine(first, firstLog, "started, window hidden"), firstLog.constData());
    QVERIFY(QFileInfo::exists(config));
    QFile f(config);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    const QDateTime modified = QFileInfo(config).lastModified();

    QProcess second;
    startProgram(second, {});
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(second.readAllStandardError().contains("asked the running copy to show its window"), "no hand-over");
    QVERIFY2(waitForLine(first, firstLog, "window shown at the request of a second start"), firstLog.constData());

    // The second start touched no file.
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(QFileInfo(config).lastModified(), modified);

    first.terminate();
    QVERIFY(first.waitForFinished(15000));
    QCOMPARE(first.exitCode(), 0);

    // With the first copy gone, a new start is the first copy again.
    QProcess third;
    startProgram(third, {QStringLiteral("-M")});
    QByteArray thirdLog;
    QVERIFY2(waitForLine(third, thirdLog, "started, window hidden"), thirdLog.constData());
    third.terminate();
    QVERIFY(third.waitForFinished(15000));
}

void TestInstance::signalsEndThroughTheClosingPath_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestInstance::signalsEndThroughTheClosingPath()
{
    QFETCH(int, signalNumber);
    test::TestEnvironment env;
    env.writeConfig(QStringLiteral("veloqua"),
                    "[Config]\nCloseMinimize=1\nPingServer=ping.example\n" + test::RegisteredUserConfig());
    test::ReferenceService service;
    QVERIFY2(service.start(), qPrintable(service.log()));
    ConfigFile(env.configFile()).Write(cfg::ServerURL, service.endpoint());
    QProcess p;
    startProgram(p, {});
    QByteArray log;
    QVERIFY2(waitForLine(p, log, "started, window shown"), log.constData());
    ::kill(static_cast<pid_t>(p.processId()), signalNumber);
    QVERIFY(p.waitForFinished(15000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    // The settings kept on exit are written, as on File "Exit" (CloseMinimize does not hide it).
    ConfigFile c(env.configFile());
    QCOMPARE(c.Read(cfg::Width), 690);
    QVERIFY(c.ValueExists(QStringLiteral("Position"), QStringLiteral("Left")));
    QCOMPARE(c.Read(cfg::CloseMinimize), true);
    QCOMPARE(c.Read(cfg::PingServer), QStringLiteral("ping.example"));
}

QTEST_GUILESS_MAIN(TestInstance)
#include "tst_instance.moc"

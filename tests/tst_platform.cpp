#include "AtomicFile.h"
#include "Autostart.h"
#include "SystemProxy.h"
#include "TestEnvironment.h"
#include "TickCount.h"
#include "TrayIcon.h"

#include <QFile>
#include <QMenu>
#include <QTest>

#include <sys/stat.h>

using namespace vq;

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void proxyUrlToServerValue_data();
    void proxyUrlToServerValue();
    void systemProxyFromEnvironment();
    void autostartEntry();
    void atomicWriteKeepsPermissions();
    void trayIconKeepsItsStateWithoutATray();
    void tickCountIsMonotonic();
};

void TestPlatform::proxyUrlToServerValue_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("value");
    QTest::newRow("full url") << "http://user:pw@proxy.example:3128/" << "http=proxy.example:3128";
    QTest::newRow("host and port") << "proxy.example:8080" << "http=proxy.example:8080";
    QTest::newRow("host only") << "proxy.example" << "http=proxy.example";
    QTest::newRow("IPv4") << "10.0.0.1:3128" << "http=10.0.0.1:3128";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("no host") << "http://:3128" << "";
}

void TestPlatform::proxyUrlToServerValue()
{
    QFETCH(QString, url);
    QFETCH(QString, value);
    QCOMPARE(platform::ProxyUrlToServerValue(url), value);
}

void TestPlatform::systemProxyFromEnvironment()
{
    const QByteArray lower = qgetenv("http_proxy");
    const QByteArray upper = qgetenv("HTTP_PROXY");
    qunsetenv("http_proxy");
    qunsetenv("HTTP_PROXY");
    QVERIFY(!platform::ReadSystemProxy().enableExists);

    qputenv("HTTP_PROXY", "http://upper.example:1/");
    QCOMPARE(platform::ReadSystemProxy().server, QStringLiteral("http=upper.example:1"));
    qputenv("http_proxy", "lower.example:2"); // the lower-case variable wins, as curl has it
    const platform::SystemProxySettings s = platform::ReadSystemProxy();
    QVERIFY(s.enableExists && s.enabled && s.serverExists);
    QCOMPARE(s.server, QStringLiteral("http=lower.example:2"));

    qputenv("http_proxy", ""); // set but empty: a proxy setting that is switched off
    const platform::SystemProxySettings off = platform::ReadSystemProxy();
    QVERIFY(off.enableExists && !off.enabled && !off.serverExists);

    qputenv("http_proxy", lower);
    qputenv("HTTP_PROXY", upper);
}

void TestPlatform::autostartEntry()
{
    test::TestEnvironment env;
    platform::XdgAutostart autostart;
    QCOMPARE(autostart.entryPath(), env.configHome() + QStringLiteral("/autostart/TavistelVeloqua.desktop"));
    QVERIFY(!autostart.isEnabled());
    autostart.enable(QStringLiteral("/opt/My Apps/veloqua"));
    QVERIFY(autostart.isEnabled());
    QFile entry(autostart.entryPath());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    QVERIFY(text.startsWith("[Desktop Entry]\n"));
    QVERIFY(text.contains("\nExec=\"/opt/My Apps/veloqua\" /m\n"));
    autostart.disable();
    QVERIFY(!autostart.isEnabled());
    autostart.disable(); // removing what is not there is fine

    // Characters with a meaning inside a desktop entry's Exec line are escaped.
    QCOMPARE(platform::XdgAutostart::ExecLine(QStringLiteral("/a\"b$c`d\\e%f")),
             QStringLiteral("\"/a\\\"b\\$c\\`d\\\\e%%f\" /m"));
}

void TestPlatform::atomicWriteKeepsPermissions()
{
    test::TestEnvironment env;
    const QString path = env.root() + QStringLiteral("/file.txt");
    QVERIFY(platform::WriteFileAtomically(path, "one").isEmpty());
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0600) == 0);
    QVERIFY(platform::WriteFileAtomically(path, "two").isEmpty());
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0600));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("two"));
    // A folder that does not exist gives a reason, not a crash.
    QVERIFY(!platform::WriteFileAtomically(env.root() + QStringLiteral("/missing/x"), "x").isEmpty());
}

void TestPlatform::trayIconKeepsItsStateWithoutATray()
{
    platform::TrayIcon tray;
    QMenu menu;
    tray.setImages(platform::DefaultTrayImages());
    tray.setMenu(&menu);
    tray.setImageIndex(0);
    tray.setHint(QStringLiteral("ping.example: Timeout"));
    tray.setVisible(true);
    QCOMPARE(tray.imageIndex(), 0);
    QCOMPARE(tray.hint(), QStringLiteral("ping.example: Timeout"));
    QVERIFY(tray.isVisible());
    QVERIFY(!tray.isShownInTray()); // the offscreen platform has no tray
    QCOMPARE(platform::DefaultTrayImages().size(), 2);
}

void TestPlatform::tickCountIsMonotonic()
{
    const std::uint32_t a = platform::TickCount();
    QTest::qSleep(20);
    const std::uint32_t b = platform::TickCount();
    QVERIFY(std::uint32_t(b - a) >= 19u);
    QVERIFY(std::uint32_t(b - a) < 5000u);
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"

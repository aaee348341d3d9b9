#include "ConfigFile.h"
#include "DateTimeText.h"
#include "Error.h"
#include "KeloMeter.h"
#include "MainFrm.h"
#include "MainModule.h"
#include "PageServer.h"
#include "ReferenceService.h"
#include "RegisteredUser.h"
#include "ScriptedPrompts.h"
#include "Settings.h"
#include "SpeedUnits.h"
#include "TestEnvironment.h"
#include "TestRunner.h"
#include "ui_MainFrm.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace vq;
using test::PageServer;

namespace {

// The reference service that the windows start against.
test::ReferenceService *g_service = nullptr;

// The main window over a scratch configuration whose personal list names pages of a local
// server.
struct Window {
    explicit Window(const QStringList &paths, const QByteArray &extraConfig = {})
    {
        QByteArray config = test::RegisteredUserConfig() + "[Config]\nProxyLoaded=1\nServerURL="
                            + g_service->endpoint().toUtf8() + "\n" + extraConfig + "[LocalSites]\n";
        for (const QString &p : paths)
            config += (server.host() + p).toUtf8() + "=\n";
        env.writeConfig(QStringLiteral("veloqua"), config);
        frm = std::make_unique<TMainFrm>(prompts, autostart, dm, env.configFile());
        ok = frm->FormCreate(true);
        ui = frm->form();
        frm->Runner()->setProgressInterval(0);
        // The service's standard sites are real addresses: tests use rows of their own.
        ui->ListView1->clear();
    }
    QStringList column(QTreeWidget *list, int c) const
    {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            out.append(list->topLevelItem(i)->text(c));
        return out;
    }
    // Nothing of a run is left: the state the end of every run returns to.
    void verifyIdle() const
    {
        QCOMPARE(ui->Button1->text(), QStringLiteral("Start tests"));
        QCOMPARE(ui->Button2->text(), QStringLiteral("Start tests"));
        QVERIFY(ui->Button1->isEnabled());
        QVERIFY(ui->Button2->isEnabled());
        QVERIFY(ui->StatusBar1->currentMessage().isEmpty());
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(frm->Runner()->FTestKind, std::uint8_t(2));
        QVERIFY(!frm->Runner()->Running());
    }

    PageServer server;
    test::TestEnvironment env;
    test::ScriptedPrompts prompts;
    test::FakeAutostart autostart;
    TdmMain dm{test::BinaryDir()};
    std::unique_ptr<TMainFrm> frm;
    Ui::TMainFrm *ui = nullptr;
    bool ok = false;
};


} // namespace

class TestTestPages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void unitsBeforeAnyRun();
    void personalRunEndToEnd();
    void stopTests();
    void emptyPersonalList();
    void watchdogThroughTimer3();
    void applyUnits();
    void triggersDuringARun();
    void standardRunHooks();
};

void TestTestPages::initTestCase()
{
    g_service = new test::ReferenceService;
    QVERIFY2(g_service->start(), qPrintable(g_service->log()));
}

void TestTestPages::cleanupTestCase()
{
    delete g_service;
    g_service = nullptr;
}

void TestTestPages::unitsBeforeAnyRun()
{
    Window w({}, "Multiplier=3\n");
    QVERIFY(w.ok);
    QCOMPARE(w.frm->FUnitName, QStringLiteral("Mbps"));
    QCOMPARE(w.ui->Label6->text(), QStringLiteral("0.00 Mbps"));
    QCOMPARE(w.ui->Label12->text(), QStringLiteral("0.00 Mbps"));
    for (TKeloMeter *dial : {w.ui->KeloMeter1, w.ui->KeloMeter2}) {
        QCOMPARE(dial->Percent(), 0);
        QCOMPARE(dial->Caption(), QStringLiteral("Mbps"));
        QCOMPARE(dial->MaxValue(), 1000.0);
        QCOMPARE(dial->ShowValuesSkip(), 2);
        QVERIFY(dial->ShowValues());
        QCOMPARE(dial->size(), QSize(185, 169));
    }
}

void TestTestPages::personalRunEndToEnd()
{
    Window w({"/a", "/b"});
    w.server.setRoute("/a", PageServer::Page("<img src=\"i.gif\"><img src=\"I.GIF\">"));
    w.server.setRoute("/a/i.gif", PageServer::Paced(40000, 400000));
    w.server.setRoute("/b", PageServer::Paced(60000, 400000));
    QVERIFY(w.ok);
    QCOMPARE(w.column(w.ui->ListView2, 0), (QStringList{w.server.host() + "/a", w.server.host() + "/b"}));

    // While the run goes on: its button stops it, the other page's is disabled, the status bar
    // and the cursor say that work is going on, and the row shows the bytes so far.
    bool checkedDuringRun = false;
    QObject::connect(w.frm->Runner(), &TTestRunner::rowProgress, w.frm.get(), [&](int row, qint64 bytes) {
        if (checkedDuringRun || row != 1 || bytes < 20000)
            return;
        checkedDuringRun = true;
        QCOMPARE(w.ui->Button2->text(), QStringLiteral("Stop tests"));
        QVERIFY(!w.ui->Button1->isEnabled());
        QCOMPARE(w.ui->StatusBar1->currentMessage(), QStringLiteral("Retrieving information from server"));
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(w.ui->ListView2->currentItem(), w.ui->ListView2->topLevelItem(1));
        QCOMPARE(w.ui->ListView2->topLevelItem(1)->text(4), QString::number(bytes));
        QCOMPARE(w.ui->Label11->text().isEmpty(), false); // the first row's totals are shown
    });
    QTest::mouseClick(w.ui->Button2, Qt::LeftButton);
    QVERIFY(checkedDuringRun);
    w.verifyIdle();

    const TNumberFormats f;
    const qint64 bytesA = 34 + 40000;
    QCOMPARE(w.column(w.ui->ListView2, 4), (QStringList{QString::number(bytesA), "60000"}));
    QCOMPARE(w.column(w.ui->ListView2, 1), (QStringList{f.Bytes(bytesA), f.Bytes(60000)}));
    qint64 totalMs = 0;
    for (int i = 0; i < 2; ++i) {
        QTreeWidgetItem *row = w.ui->ListView2->topLevelItem(i);
        const qint64 ms = row->text(5).toLongLong();
        totalMs += ms;
        QVERIFY(ms >= 90); // paced at 400 kB/s
        QCOMPARE(row->text(2), f.Seconds(ms / 1000.0));
        QCOMPARE(row->text(3), f.Speed(row->text(4).toLongLong() / 1024.0 / (ms / 1000.0), "KB/s"));
        QVERIFY(!row->isSelected());
    }
    QCOMPARE(w.ui->Label10->text(), f.TotalBytes(bytesA + 60000));
    QCOMPARE(w.ui->Label11->text(), f.TotalSeconds(totalMs / 1000.0));
    const double bps = BytesPerSecond(bytesA + 60000, totalMs);
    QCOMPARE(w.ui->Label12->text(), f.Speed(bps / 1024.0, "KB/s"));
    QCOMPARE(TMainFrm::Tag(w.ui->Label12), RoundHalfEven(bps));
    QCOMPARE(w.ui->KeloMeter2->Percent(), DialPosition(bps / 1024.0, UnitFor(0)));
    QVERIFY(StrToDateTime(w.ui->Label34->text()).has_value());
    QVERIFY(w.ui->Label32->text().isEmpty());
    QCOMPARE(w.server.requestCount("/a/i.gif"), 1);
}

void TestTestPages::stopTests()
{
    Window w({"/slow", "/never"});
    w.server.setRoute("/slow", PageServer::Paced(4000000, 200000)); // twenty seconds unless stopped
    QVERIFY(w.ok);
    QObject::connect(w.frm->Runner(), &TTestRunner::rowProgress, w.frm.get(), [&](int, qint64 bytes) {
        if (bytes > 30000 && w.ui->Button2->text() == u"Stop tests")
            QTest::mouseClick(w.ui->Button2, Qt::LeftButton);
    });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(w.ui->Button2, Qt::LeftButton);
    QVERIFY(clock.elapsed() < 5000);
    w.verifyIdle();
    // The stopped row keeps its progress figures; the next row was never tested; the totals
    // include the partial site; no "Last test:" time.
    QVERIFY(w.ui->ListView2->topLevelItem(0)->text(4).toLongLong() > 30000);
    QCOMPARE(w.ui->ListView2->topLevelItem(1)->text(4), QStringLiteral("0"));
    QCOMPARE(w.server.requestCount("/never"), 0);
    QCOMPARE(w.ui->Label10->text(), TNumberFormats().TotalBytes(w.ui->ListView2->topLevelItem(0)->text(4).toLongLong()));
    QVERIFY(w.ui->Label34->text().isEmpty());
}

void TestTestPages::emptyPersonalList()
{
    Window w({});
    QVERIFY(w.ok);
    w.ui->Label12->setText(QStringLiteral("old"));
    QTest::mouseClick(w.ui->Button2, Qt::LeftButton);
    w.verifyIdle();
    QVERIFY(w.ui->Label12->text().isEmpty());
    QCOMPARE(TMainFrm::Tag(w.ui->Label12), 0);
    QVERIFY(w.ui->Label34->text().isEmpty());
    QVERIFY(w.server.requests().isEmpty());
}

void TestTestPages::watchdogThroughTimer3()
{
    Window w({"/stall"});
    PageServer::Route stall = PageServer::Page(QByteArray(5000, 's'));
    stall.fault = PageServer::Fault::StallAfterHeaders;
    stall.faultAfterBytes = 777;
    w.server.setRoute("/stall", stall);
    QVERIFY(w.ok);
    QCOMPARE(w.frm->Timer3->interval(), 5000);
    w.frm->Runner()->setWatchdogInterval(300);
    QCOMPARE(w.frm->Runner()->watchdog(), w.frm->Timer3);
    QTest::mouseClick(w.ui->Button2, Qt::LeftButton);
    w.verifyIdle();
    QVERIFY(w.frm->Runner()->FTimedOut);
    QVERIFY(!w.frm->Timer3->isActive());
    QCOMPARE(w.ui->ListView2->topLevelItem(0)->text(4), QStringLiteral("777"));
    QVERIFY(!w.ui->Label34->text().isEmpty()); // a cut-off download does not stop the run
}

void TestTestPages::applyUnits()
{
    Window w({});
    QVERIFY(w.ok);
    // Rows and a label as a run leaves them: 51,200 bytes in one second is 50 KB/s.
    auto *measured = new QTreeWidgetItem(w.ui->ListView1, QStringList{"m.example", "51,200", "1.000", "50.00 KB/s", "51200", "1000"});
    auto *untimed = new QTreeWidgetItem(w.ui->ListView2, QStringList{"u.example", "10", "0.000", "0.00 KB/s", "10", "0"});
    auto *untested = new QTreeWidgetItem(w.ui->ListView2, QStringList{"n.example", "", "", "", "0", "0"});
    TMainFrm::SetTag(w.ui->Label6, 51200);
    // A page that shows a speed of its own registers its label and dial.
    QLabel extraLabel;
    TKeloMeter extraDial;
    TMainFrm::SetTag(&extraLabel, 102400);
    w.frm->RegisterSpeedDisplay(&extraLabel, &extraDial);

    w.frm->ApplyUnits();
    QCOMPARE(w.ui->Label6->text(), QStringLiteral("50.00 KB/s"));
    QCOMPARE(w.ui->KeloMeter1->Percent(), 50);
    QCOMPARE(extraLabel.text(), QStringLiteral("100.00 KB/s"));
    QCOMPARE(extraDial.Percent(), 100);
    QCOMPARE(extraDial.Caption(), QStringLiteral("KB/s"));

    w.frm->FMultiplier = 1;
    w.frm->ApplyUnits();
    QCOMPARE(w.frm->FUnitName, QStringLiteral("Kbps"));
    QCOMPARE(w.frm->FUnitDivisor, 128.0);
    QCOMPARE(w.ui->Label6->text(), QStringLiteral("400.00 Kbps"));
    QCOMPARE(w.ui->KeloMeter1->Percent(), 40);
    QCOMPARE(w.ui->KeloMeter1->MaxValue(), 1000.0);
    QCOMPARE(w.ui->KeloMeter1->ShowValuesSkip(), 2);
    QCOMPARE(w.ui->Label12->text(), QStringLiteral("0.00 Kbps"));
    QCOMPARE(extraLabel.text(), QStringLiteral("800.00 Kbps"));
    QCOMPARE(extraDial.Percent(), 80);
    QCOMPARE(extraDial.Caption(), QStringLiteral("Kbps"));
    QCOMPARE(measured->text(3), QStringLiteral("400.00 Kbps"));
    QCOMPARE(measured->text(1), QStringLiteral("51,200"));
    QCOMPARE(measured->text(2), QStringLiteral("1.000"));
    QCOMPARE(untimed->text(3), QStringLiteral("0.00 KB/s")); // measured in no time: kept
    QCOMPARE(untested->text(3), QString());

    w.frm->FMultiplier = 7; // outside the table: KB/s
    w.frm->ApplyUnits();
    QCOMPARE(w.ui->Label6->text(), QStringLiteral("50.00 KB/s"));
    QCOMPARE(w.ui->KeloMeter1->MaxValue(), 100.0);

    // Confirming the preferences applies the unit at once.
    w.frm->PreparePreferences();
    w.frm->FrmSettings->ComboBox2()->setCurrentIndex(3);
    w.frm->ApplyPreferences();
    QCOMPARE(ConfigFile(w.env.configFile()).Read(cfg::Multiplier), 3);
    QCOMPARE(w.ui->KeloMeter2->Caption(), QStringLiteral("Mbps"));
    QCOMPARE(w.ui->Label6->text(), QStringLiteral("0.39 Mbps"));
}

void TestTestPages::triggersDuringARun()
{
    Window w({"/slow"});
    w.server.setRoute("/slow", PageServer::Paced(150000, 300000));
    w.server.setRoute("/std", PageServer::Page("standard"));
    QVERIFY(w.ok);
    new QTreeWidgetItem(w.ui->ListView1, QStringList{w.server.host() + "/std", "", "", "", "0", "0"});
    bool triggered = false;
    int rowsDuringRun = -1;
    QObject::connect(w.frm->Runner(), &TTestRunner::rowProgress, w.frm.get(), [&](int, qint64 bytes) {
        if (triggered || bytes < 30000)
            return;
        triggered = true;
        // The periodic timer fires, the window is shown again, and the preferences are
        // confirmed with one more site, all in the middle of the run.
        Q_EMIT w.frm->runRequested(true);
        w.frm->Timer1Timer();
        w.frm->StartRun(true);
        w.frm->FrmSettings->ListBox1()->addItem(w.server.host() + "/added");
        w.frm->ApplyPreferences();
        QCoreApplication::processEvents();
        rowsDuringRun = w.ui->ListView2->topLevelItemCount();
    });
    QTest::mouseClick(w.ui->Button2, Qt::LeftButton);
    QVERIFY(triggered);
    QCoreApplication::processEvents();
    w.verifyIdle();
    // No second run started, and the list under test was not rebuilt before the run ended...
    QCOMPARE(w.server.requestCount("/std"), 0);
    QCOMPARE(rowsDuringRun, 1);
    // ...but afterwards it shows the new list.
    QCOMPARE(w.column(w.ui->ListView2, 0), (QStringList{w.server.host() + "/slow", w.server.host() + "/added"}));

    // Confirming the preferences during a run without changing the sites keeps the results.
    bool again = false;
    QObject::disconnect(w.frm->Runner(), &TTestRunner::rowProgress, w.frm.get(), nullptr);
    QObject::connect(w.frm->Runner(), &TTestRunner::rowProgress, w.frm.get(), [&](int, qint64) {
        if (!again) {
            again = true;
            w.frm->ApplyPreferences();
        }
    });
    w.server.setRoute("/added", PageServer::Page("added page"));
    QTest::mouseClick(w.ui->Button2, Qt::LeftButton);
    QVERIFY(again);
    QCOMPARE(w.column(w.ui->ListView2, 4), (QStringList{"150000", "10"}));
}

void TestTestPages::standardRunHooks()
{
    Window w({});
    w.server.setRoute("/s1", PageServer::Page("12345"));
    w.server.setRoute("/s2", PageServer::Page("1234567890"));
    QVERIFY(w.ok);
    w.ui->ListView1->clear(); // the service's list gives way to two pages of our server
    for (int i = 1; i <= 2; ++i) {
        auto *row = new QTreeWidgetItem(w.ui->ListView1, QStringList{w.server.host() + "/s" + QString::number(i), "", "", "", "0", "0"});
        row->setData(0, Qt::UserRole, 100 + i);
    }
    // The gate refuses: nothing at all happens.
    int gateCalls = 0;
    w.frm->Runner()->setStandardRunGate([&gateCalls] {
        ++gateCalls;
        return false;
    });
    QTest::mouseClick(w.ui->Button1, Qt::LeftButton);
    QCOMPARE(gateCalls, 1);
    QVERIFY(w.server.requests().isEmpty());
    w.verifyIdle();

    // The gate passes: the completion gets the rows with their site numbers and figures.
    w.frm->Runner()->setStandardRunGate([] { return true; });
    TStandardRunResult got;
    w.frm->Runner()->setStandardRunCompleted([&got](const TStandardRunResult &r) { got = r; });
    QTest::mouseClick(w.ui->Button1, Qt::LeftButton);
    w.verifyIdle();
    QCOMPARE(got.rows.size(), 2);
    QCOMPARE(got.rows.at(0).siteId.toInt(), 101);
    QCOMPARE(got.figures.at(1).bytes, 10);
    QCOMPARE(got.totalBytes, 15);
    QCOMPARE(w.ui->Label4->text(), QStringLiteral("15 Bytes"));
    const QString lastTest = w.ui->Label32->text();
    QVERIFY(!lastTest.isEmpty());

    // The completion fails: the run ends first, the error reaches the caller, "Last test:" stays.
    w.frm->Runner()->setStandardRunCompleted([](const TStandardRunResult &) {
        throw Error(QStringLiteral("Error connecting to the server."));
    });
    w.ui->Label32->setText(QStringLiteral("kept"));
    QVERIFY_THROWS_EXCEPTION(Error, w.frm->Button1Click(w.ui->Button1));
    w.verifyIdle();
    QCOMPARE(w.ui->Label32->text(), QStringLiteral("kept"));

    // An automatic run is a standard run, whichever page was used last.
    w.frm->Runner()->setStandardRunCompleted({});
    w.server.clearRequests();
    w.frm->Runner()->FTestKind = 1;
    w.frm->StartRun(true);
    QCOMPARE(w.server.requestCount("/s1"), 1);
}

QTEST_MAIN(TestTestPages)
#include "tst_testpages.moc"

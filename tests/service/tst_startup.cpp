// The main window against the real reference service: the response hook by FPendingRequest,
// and the reference-data refresh of the start-up with its caches.
#include "ConfigFile.h"
#include "DateTimeText.h"
#include "MainFrm.h"
#include "MainModule.h"
#include "ReferenceService.h"
#include "RegisteredUser.h"
#include "ScriptedPrompts.h"
#include "TestEnvironment.h"
#include "ui_MainFrm.h"
#include "wsVeloqua.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

using namespace vq;

namespace {

struct Window {
    explicit Window(const QString &serverUrl)
    {
        file = env.configFile();
        env.writeConfig(QStringLiteral("veloqua"), test::RegisteredUserConfig());
        if (!serverUrl.isEmpty())
            ConfigFile(file).Write(cfg::ServerURL, serverUrl);
        frm = std::make_unique<TMainFrm>(prompts, autostart, dm, file);
    }
    QString cache(const char *name) const { return frm->dataFolder() + QLatin1Char('/') + QLatin1String(name); }
    QStringList standardList() const
    {
        QStringList urls;
        QTreeWidget *list = frm->form()->ListView1;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            urls.append(list->topLevelItem(i)->text(0));
        return urls;
    }

    test::TestEnvironment env;
    test::ScriptedPrompts prompts;
    test::FakeAutostart autostart;
    TdmMain dm{test::BinaryDir()};
    QString file;
    std::unique_ptr<TMainFrm> frm;
};

const char *const kCaches[] = {"sites.xml", "connectiontypes.xml", "isps.xml"};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void hookActsByPendingRequest_data();
    void hookActsByPendingRequest();
    void failedCallLeavesNothingPending();
    void firstRunFetchesEverything();
    void equalDateUsesTheCacheLaterDateFetches();
    void damagedCacheIsFetchedAgain();
    void serviceDownFallsBackToTheCaches();
    void firstStartWithoutServiceEndsCleanly();

private:
    std::unique_ptr<test::ReferenceService> m_service;
};

void TestStartup::init()
{
    m_service = std::make_unique<test::ReferenceService>();
    QVERIFY2(m_service->start(), qPrintable(m_service->log()));
}

void TestStartup::cleanup()
{
    m_service.reset();
}

void TestStartup::hookActsByPendingRequest_data()
{
    QTest::addColumn<int>("pending");
    QTest::addColumn<QString>("cacheFile");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("memo");
    QTest::newRow("0 sites") << 0 << "sites.xml" << int(test::ReferenceService::SeededSites().size()) << false;
    QTest::newRow("1 connection types") << 1 << "connectiontypes.xml" << 8 << false;
    QTest::newRow("2 ISPs") << 2 << "isps.xml" << 8 << true;
    QTest::newRow("3 period comparison") << 3 << "Veloqua.xml" << 1 << false;
    QTest::newRow("4 own speeds") << 4 << "MyVeloqua.xml" << 1 << true;
    QTest::newRow("5 current comparison") << 5 << "Current.xml" << 1 << false;
    QTest::newRow("6 nothing") << 6 << "" << 0 << false;
}

void TestStartup::hookActsByPendingRequest()
{
    QFETCH(int, pending);
    QFETCH(QString, cacheFile);
    QFETCH(int, rows);
    QFETCH(bool, memo);
    Window w(m_service->endpoint());
    QVERIFY(w.frm->FormCreate(true));
    Service1Soap &s = *w.frm->FService;
    // One stored run, so that the comparisons have a row.
    const int user = s.SaveUser({}, {}, {}, {}, {}, {});
    const int profile = s.SaveProfile(0, user, {}, QStringLiteral("Default"), {}, 2, QStringLiteral("10115"), QStringLiteral("--"),
                                      QStringLiteral("GERMANY"), -60, {}, {}, 3);
    s.InsertVeloqua(profile, 50000, {}, {}, {});
    for (const char *c : kCaches)
        QFile::remove(w.cache(c));
    w.dm.cdsSites->Close();
    w.frm->form()->ListView1->clear();
    w.frm->form()->Memo1->clear();
    QSignalSpy isps(w.frm.get(), &TMainFrm::ispTableLoaded);
    QSignalSpy period(w.frm.get(), &TMainFrm::periodTableLoaded);

    w.frm->FPendingRequest = std::uint8_t(pending);
    switch (pending) {
    case 0: s.GetSites(); break;
    case 1: s.GetConnectionTypes(); break;
    case 2: s.GetISPs(); break;
    case 3: s.GetVeloquaByConnDate(profile, QStringLiteral("week"), QStringLiteral("country")); break;
    case 4: s.GetMyVeloquaByDate(profile, QStringLiteral("month")); break;
    case 5: s.GetAvgVeloquaByISP(profile, QStringLiteral("world")); break;
    default: s.GetSites(); break; // a table answer while nothing is pending
    }
    QCOMPARE(w.frm->FPendingRequest, std::uint8_t(6));

    const QStringList written = QDir(w.frm->dataFolder()).entryList({QStringLiteral("*.xml")});
    if (cacheFile.isEmpty()) {
        QVERIFY2(written.isEmpty(), qPrintable(written.join(u',')));
        QVERIFY(!w.dm.cdsSites->Active());
        QCOMPARE(w.frm->form()->ListView1->topLevelItemCount(), 0);
        return;
    }
    QCOMPARE(written, QStringList{cacheFile});
    const TdmMain::Binding b = w.dm.binding(TPendingTable(pending));
    QCOMPARE(b.dataset->RecordCount(), rows);
    // The cache file holds exactly the dataset.
    TClientDataSet copy(QStringLiteral("copy"));
    copy.LoadFromFile(w.cache(qPrintable(cacheFile)));
    QCOMPARE(copy.SaveToXml(), b.dataset->SaveToXml());
    QCOMPARE(w.frm->form()->Memo1->toPlainText().contains(QLatin1String("diffgram")), memo);
    QCOMPARE(w.frm->form()->ListView1->topLevelItemCount(), pending == 0 ? int(test::ReferenceService::SeededSites().size()) : 0);
    QCOMPARE(isps.count(), pending == 2 ? 1 : 0);
    QCOMPARE(period.count(), pending == 3 ? 1 : 0);
    if (pending == 3)
        QCOMPARE(b.dataset->AsInteger(0, QStringLiteral("iConnectionTypeId")), 3);
}

void TestStartup::failedCallLeavesNothingPending()
{
    Window w(m_service->endpoint());
    QVERIFY(w.frm->FormCreate(true));
    w.frm->FPendingRequest = 3;
    QVERIFY_THROWS_EXCEPTION(ERemotableException, w.frm->FService->GetVeloquaByISPDate(424242, QStringLiteral("day"), QStringLiteral("world")));
    QCOMPARE(w.frm->FPendingRequest, std::uint8_t(6));
    m_service->stop();
    w.frm->FPendingRequest = 0;
    QVERIFY_THROWS_EXCEPTION(ESOAPHTTPException, w.frm->FService->GetSites());
    QCOMPARE(w.frm->FPendingRequest, std::uint8_t(6));
}

void TestStartup::firstRunFetchesEverything()
{
    Window w(m_service->endpoint());
    QVERIFY(w.frm->FormCreate(true));
    QCOMPARE(w.frm->FExternalAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(w.frm->FPendingRequest, std::uint8_t(6));
    for (const char *c : kCaches)
        QVERIFY2(QFile::exists(w.cache(c)), c);
    ConfigFile config(w.file);
    for (const cfg::DateTimeKey &k : {cfg::LastUpdateSites, cfg::LastUpdateConnectionTypes, cfg::LastUpdateISPs}) {
        QVERIFY(config.Read(k) > ZeroDateTime());
        QVERIFY(qAbs(config.Read(k).secsTo(QDateTime::currentDateTime())) < 600);
    }
    QCOMPARE(w.standardList().size(), int(test::ReferenceService::SeededSites().size()));
    QCOMPARE(w.standardList().first(), test::ReferenceService::SeededSites().first());
    const int last = int(test::ReferenceService::SeededSites().size()) - 1;
    QTreeWidgetItem *row = w.frm->form()->ListView1->topLevelItem(last);
    QCOMPARE(row->data(0, Qt::UserRole).toInt(), w.dm.cdsSites->AsInteger(last, QStringLiteral("iSiteId")));
    QCOMPARE(row->text(4), QStringLiteral("0"));
    QCOMPARE(w.dm.cdsIsps->RecordCount(), 8);
    QCOMPARE(w.dm.cdsConnectionTypes->RecordCount(), 8);
    QVERIFY(w.prompts.asked().isEmpty());
}

void TestStartup::equalDateUsesTheCacheLaterDateFetches()
{
    Window first(m_service->endpoint());
    QVERIFY(first.frm->FormCreate(true));
    const QDateTime sitesDate = ConfigFile(first.file).Read(cfg::LastUpdateSites);

    // A cache that differs from the service shows which source the next start used.
    TClientDataSet marker(QStringLiteral("marker"));
    marker.LoadFromFile(first.cache("sites.xml"));
    marker.SetIndexFieldNames(QString());
    TClientDataSet one(QStringLiteral("one"));
    one.SetFieldDefs(marker.FieldDefs());
    one.CreateDataSet();
    one.AppendRecord({77, QStringLiteral("http://cached.example/")});
    one.SaveToFile(first.cache("sites.xml"));

    TMainFrm second(first.prompts, first.autostart, first.dm, first.file);
    QVERIFY(second.FormCreate(true));
    QCOMPARE(first.dm.cdsSites->RecordCount(), 1);
    QCOMPARE(second.form()->ListView1->topLevelItem(0)->text(0), QStringLiteral("http://cached.example/"));
    QCOMPARE(ConfigFile(first.file).Read(cfg::LastUpdateSites), sitesDate);

    // An admin change makes the service's date later: the next start fetches.
    QCOMPARE(m_service->admin({QStringLiteral("--add-site"), QStringLiteral("http://new.example/")}), 0);
    TMainFrm third(first.prompts, first.autostart, first.dm, first.file);
    QVERIFY(third.FormCreate(true));
    QCOMPARE(third.form()->ListView1->topLevelItemCount(), int(test::ReferenceService::SeededSites().size()) + 1);
    QCOMPARE(third.form()->ListView1->topLevelItem(int(test::ReferenceService::SeededSites().size()))->text(0), QStringLiteral("http://new.example/"));
    QVERIFY(ConfigFile(first.file).Read(cfg::LastUpdateSites) > sitesDate);
    QVERIFY(first.prompts.asked().isEmpty());
}

void TestStartup::damagedCacheIsFetchedAgain()
{
    Window first(m_service->endpoint());
    QVERIFY(first.frm->FormCreate(true));
    QFile damaged(first.cache("isps.xml"));
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"iISPId\" fie");
    damaged.close();

    TMainFrm second(first.prompts, first.autostart, first.dm, first.file);
    first.prompts.answerButton(MsgButton::Ok);
    QVERIFY(second.FormCreate(true));
    QCOMPARE(first.prompts.asked().size(), 1);
    QVERIFY(first.prompts.asked().first().text.contains(QLatin1String("damaged and has been discarded")));
    QCOMPARE(first.dm.cdsIsps->RecordCount(), 8);
    TClientDataSet check(QStringLiteral("check"));
    check.LoadFromFile(first.cache("isps.xml"));
    QCOMPARE(check.RecordCount(), 8);
}

void TestStartup::serviceDownFallsBackToTheCaches()
{
    Window first(m_service->endpoint());
    QVERIFY(first.frm->FormCreate(true));
    const QByteArray config = [&] {
        QFile f(first.file);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    m_service->stop();

    TMainFrm second(first.prompts, first.autostart, first.dm, first.file);
    first.dm.cdsSites->Close();
    first.dm.cdsIsps->Close();
    QSignalSpy isps(&second, &TMainFrm::ispTableLoaded);
    // The reference data comes from the caches; then the profile check cannot reach the
    // service either, and the program ends with the connection message.
    first.prompts.answerButton(MsgButton::Ok);
    QVERIFY(!second.FormCreate(true));
    QVERIFY(second.FExternalAddress.isEmpty());
    QCOMPARE(second.form()->ListView1->topLevelItemCount(), int(test::ReferenceService::SeededSites().size()));
    QCOMPARE(first.dm.cdsIsps->RecordCount(), 8);
    QCOMPARE(isps.count(), 1);
    QCOMPARE(first.prompts.asked().size(), 1);
    QCOMPARE(first.prompts.asked().first().text, QStringLiteral("Error connecting to the server\r\n"
                                                                "Please, verify if you have an internet connection\r\n"
                                                                "Veloqua will terminate"));
    // The change dates stay as they were.
    ConfigFile c(first.file);
    ConfigFile before(first.env.root() + QStringLiteral("/before.ini"));
    QFile b(before.fileName());
    QVERIFY(b.open(QIODevice::WriteOnly));
    b.write(config);
    b.close();
    QCOMPARE(c.Read(cfg::LastUpdateSites), before.Read(cfg::LastUpdateSites));
}

void TestStartup::firstStartWithoutServiceEndsCleanly()
{
    const QString url = QStringLiteral("http://127.0.0.1:1/Veloqua/wsVeloqua.asmx");
    Window w(url);
    w.prompts.answerButton(MsgButton::Ok);
    QVERIFY(!w.frm->FormCreate(false));
    QCOMPARE(w.prompts.asked().size(), 1);
    const auto &message = w.prompts.asked().first();
    QCOMPARE(message.icon, MsgIcon::Error);
    QVERIFY2(message.text.contains(url), qPrintable(message.text));
    QVERIFY(message.text.endsWith(QLatin1String("Veloqua will terminate")));
    // Nothing but the configuration file, and no half-written file beside it.
    QCOMPARE(QDir(w.frm->dataFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("veloqua.ini")});
    QVERIFY(ConfigFile(w.file).Read(cfg::LastUpdateSites) == ZeroDateTime());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"

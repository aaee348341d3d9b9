// The standard tests end to end in the main window, against the real reference service and
// pages of a local server: registration on the first run, the profile check when the network
// changed, the upload after a run, and "Quick compare".
#include "ConfigFile.h"
#include "FakeComputerInfo.h"
#include "KeloMeter.h"
#include "MainFrm.h"
#include "MainModule.h"
#include "PageServer.h"
#include "ReferenceService.h"
#include "RegisteredUser.h"
#include "ScriptedProfileDialogs.h"
#include "ScriptedPrompts.h"
#include "SpeedUnits.h"
#include "StoredRows.h"
#include "TestEnvironment.h"
#include "TestRunner.h"
#include "UserInfo.h"
#include "UserProfiles.h"
#include "ui_MainFrm.h"
#include "ui_UserInfo.h"
#include "wsVeloqua.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace vq;
using test::PageServer;

namespace {

const QString kRunError = QStringLiteral("Error connecting to the server.");
const QString kCompareError = QStringLiteral("Error connecting to server.");
const QString kConnectionMessage = QStringLiteral("Error connecting to the server\r\n"
                                                  "Please, verify if you have an internet connection\r\n"
                                                  "Veloqua will terminate");
const QString kCannotContinue = QStringLiteral("Veloqua cannot continue without a valid profile\r\n"
                                               "The application will be terminated");

// Prompts answered like ScriptedPrompts, noting for each message whether the window was idle
// when it came (the end of a run comes before its error message).
class Prompts : public test::ScriptedPrompts
{
public:
    MsgButton messageBox(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons,
                         MsgButton defaultButton) override
    {
        idleAtMessage.append(frm && frm->Runner()->FTestKind == 2 && frm->form()->Button1->text() == u"Start tests"
                             && frm->form()->Button2->isEnabled() && !QGuiApplication::overrideCursor()
                             && frm->form()->StatusBar1->currentMessage().isEmpty());
        return ScriptedPrompts::messageBox(caption, text, icon, buttons, defaultButton);
    }
    QStringList texts() const
    {
        QStringList out;
        for (const Asked &a : asked())
            out.append(a.text);
        return out;
    }

    TMainFrm *frm = nullptr;
    QList<bool> idleAtMessage;
};

ProfileInput Place(const QString &name, const QString &ip, const QString &zip = QStringLiteral("10115"),
                   const QString &country = QStringLiteral("GERMANY"))
{
    ProfileInput p;
    p.name = name;
    p.macAddress = QStringLiteral("00-11-22-33-44-55");
    p.ipAddress = ip;
    p.ispId = 2;
    p.zipCode = zip;
    p.state = QStringLiteral("--");
    p.country = country;
    p.satisfaction = QStringLiteral("Satisfied");
    p.contractedSpeed = QStringLiteral("16 Mbps");
    p.connectionTypeId = 3;
    return p;
}

UserInput Registration(const test::FakeComputerInfo &computer)
{
    UserInput u;
    u.processorName = computer.processor.name;
    u.processorSpeed = QString::number(computer.processor.normFreqMHz);
    u.os = computer.os.productName;
    u.osVersion = platform::OSVersionText(computer.os);
    u.manufacturer = QStringLiteral("Tavistel");
    u.model = QStringLiteral("T-1");
    u.profile = Place(QString(), QStringLiteral("127.0.0.1"));
    return u;
}

// One computer: a page server, the reference service whose site list names its pages, and a
// scratch configuration. Windows opened on it share all three, as successive starts would.
struct Computer {
    explicit Computer(const QStringList &paths = {QStringLiteral("/s1"), QStringLiteral("/s2"), QStringLiteral("/s3")})
    {
        for (const QString &p : paths) {
            sites.append(QStringLiteral("http://") + server.host() + p);
            server.setRoute(p.toUtf8(), PageServer::Page("<html><body><img src=\"i.gif\">" + QByteArray(2000, 'x')
                                                         + "</body></html>"));
            server.setRoute(p.toUtf8() + "/i.gif", PageServer::Page(QByteArray(3000, 'g'), "image/gif"));
        }
        ok = service.start({QStringLiteral("--seed"), test::WriteSeed(seedDir.path(), sites)});
        computer.volumes = {{QStringLiteral("/"), QStringLiteral("8:1"), QStringLiteral("ext4"), 100, 40},
                            {QStringLiteral("/home"), QStringLiteral("8:2"), QStringLiteral("ext4"), 500, 250}};
        env.writeConfig(QStringLiteral("veloqua"), "[Config]\nProxyLoaded=1\nRefreshInterval=4\nServerURL="
                                                       + service.endpoint().toUtf8() + "\n");
    }

    // A new start of the program; the previous window, if any, goes first.
    TMainFrm &open()
    {
        frm.reset();
        prompts.frm = nullptr;
        frm = std::make_unique<TMainFrm>(prompts, autostart, dm, env.configFile());
        frm->setProfileDialogs(&dialogs);
        frm->setComputerInfo(&computer);
        frm->setHostNameLookup([](const QString &a) { return a.isEmpty() ? QString() : QStringLiteral("host-") + a; });
        frm->Runner()->setProgressInterval(0);
        prompts.frm = frm.get();
        return *frm;
    }
    // A first run that registers with the service.
    TMainFrm &registered()
    {
        dialogs.answerUserInfo(Registration(computer));
        TMainFrm &w = open();
        created = w.FormCreate(true);
        return w;
    }
    ConfigFile config() const { return ConfigFile(env.configFile()); }
    QByteArray configBytes() const
    {
        QFile f(env.configFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    test::StoredRows stored() const { return test::StoredRows(service.databaseAddress()); }
    // The raw figures of a row of the standard list: bytes and milliseconds.
    QPair<int, int> row(int i) const
    {
        const QTreeWidgetItem *item = frm->form()->ListView1->topLevelItem(i);
        return {item->text(4).toInt(), item->text(5).toInt()};
    }
    int serviceRequests(const QString &operation) const
    {
        return int(service.log().count(QStringLiteral(" ") + operation + QStringLiteral(" ")));
    }
    void startTests() { QTest::mouseClick(frm->form()->Button1, Qt::LeftButton); }

    PageServer server;
    QStringList sites;
    QTemporaryDir seedDir;
    test::ReferenceService service;
    bool ok = false;
    test::TestEnvironment env;
    Prompts prompts;
    test::ScriptedProfileDialogs dialogs;
    test::FakeAutostart autostart;
    test::FakeComputerInfo computer;
    TdmMain dm{test::BinaryDir()};
    std::unique_ptr<TMainFrm> frm;
    bool created = false;
};

} // namespace

class TestStandardFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunUploadAndQuickCompare();
    void registrationThroughTheDialogs();
    void uploadLeavesOutRowsWithoutBytes_data();
    void uploadLeavesOutRowsWithoutBytes();
    void scalarCallsExpectNoTable();
    void stopTests_data();
    void stopTests();
    void personalRunNeverCallsTheService();
    void uploadFailure_data();
    void uploadFailure();
    void gateFailure_data();
    void gateFailure();
    void networkChangeAtStart_data();
    void networkChangeAtStart();
    void startUpFailures_data();
    void startUpFailures();
    void registrationAgainWithoutLastProfile();
    void quickCompareAreasAndPeriods();
    void quickCompareInBitUnits();
    void quickCompareFailures();
    void editProfile();
};

void TestStandardFlow::firstRunUploadAndQuickCompare()
{
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    QVERIFY2(c.prompts.asked().isEmpty(), qPrintable(c.prompts.texts().join(u'|')));

    // "User info" showed this computer, with the country preselected.
    QCOMPARE(c.dialogs.dialogs(), QStringList{QStringLiteral("UserInfo")});
    const test::ScriptedProfileDialogs::Shown &shown = c.dialogs.shown().first();
    QCOMPARE(shown.text, QStringLiteral("US"));
    QCOMPARE(shown.facts.processorName, c.computer.processor.name);
    QCOMPARE(shown.facts.processorSpeed, QStringLiteral("1800"));
    QCOMPARE(shown.facts.osVersion, QStringLiteral(" Build 6.1.0 #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1"));
    QCOMPARE(shown.facts.machineName, QStringLiteral("testbox"));
    QCOMPARE(shown.facts.ipAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(shown.facts.macAddress, w.FMacAddress);
    QCOMPARE(shown.facts.timeZoneBias, 0); // TZ=UTC

    // The user and the profile "Default" are on the service and in the configuration.
    const test::StoredRows db = c.stored();
    const QList<QVariantMap> users = db.rows(QStringLiteral("SELECT * FROM users"));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users.first().value(QStringLiteral("sys_manufacturer")).toString(), QStringLiteral("Tavistel"));
    QCOMPARE(users.first().value(QStringLiteral("processor_speed")).toString(), QStringLiteral("1800"));
    QCOMPARE(w.FUserId, users.first().value(QStringLiteral("user_id")).toInt());
    const QList<QVariantMap> profiles = db.rows(QStringLiteral("SELECT * FROM profiles"));
    QCOMPARE(profiles.size(), 1);
    QCOMPARE(profiles.first().value(QStringLiteral("name")).toString(), QStringLiteral("Default"));
    QCOMPARE(profiles.first().value(QStringLiteral("ip_address")).toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(profiles.first().value(QStringLiteral("country")).toString(), QStringLiteral("GERMANY"));
    QCOMPARE(w.FProfileId, profiles.first().value(QStringLiteral("profile_id")).toInt());
    QCOMPARE(w.FProfileAddress, QStringLiteral("127.0.0.1"));
    ConfigFile config = c.config();
    QCOMPARE(config.Read(cfg::UserId), w.FUserId);
    QCOMPARE(config.Read(cfg::LastProfile), QStringLiteral("Default"));
    QCOMPARE(config.ReadInteger(QStringLiteral("Profiles"), QStringLiteral("Default"), -1), w.FProfileId);

    // The standard list is the service's; a run measures it and uploads it.
    QCOMPARE(w.form()->ListView1->topLevelItemCount(), 3);
    c.startTests();
    QVERIFY2(c.prompts.asked().isEmpty(), qPrintable(c.prompts.texts().join(u'|')));
    QVERIFY(!w.form()->Label32->text().isEmpty());
    const QList<QVariantMap> tests = db.tests();
    QCOMPARE(tests.size(), 1);
    QCOMPARE(tests.first().value(QStringLiteral("profile_id")).toInt(), w.FProfileId);
    QVERIFY(w.FLastStandardSpeed > 0);
    QCOMPARE(tests.first().value(QStringLiteral("veloqua")).toLongLong(), RoundHalfEven(w.FLastStandardSpeed));
    QCOMPARE(db.results(tests.first().value(QStringLiteral("veloqua_id")).toInt()).size(), 3);

    // "Quick compare" took the result over.
    const TNumberFormats f;
    QCOMPARE(TMainFrm::Tag(w.form()->Label22), RoundHalfEven(w.FLastStandardSpeed));
    QCOMPARE(w.form()->Label22->text(), f.Speed(w.FLastStandardSpeed / 1024.0, QStringLiteral("KB/s")));
    QCOMPARE(w.form()->KeloMeter3->Percent(), w.form()->KeloMeter1->Percent());

    // Everyone at any time: the only run there is, this one.
    w.ViewPageClick(TMainFrm::tsQuickCompare);
    QCOMPARE(w.form()->ComboBox3->currentText(), QStringLiteral("everyone"));
    QCOMPARE(w.form()->ComboBox4->currentText(), QStringLiteral("at anytime"));
    QTest::mouseClick(w.form()->Button5, Qt::LeftButton);
    QVERIFY2(c.prompts.asked().isEmpty(), qPrintable(c.prompts.texts().join(u'|')));
    QCOMPARE(TMainFrm::Tag(w.form()->Label23), TMainFrm::Tag(w.form()->Label22));
    QCOMPARE(w.form()->Label23->text(), f.Speed(TMainFrm::Tag(w.form()->Label22) / 1024.0, QStringLiteral("KB/s")));
    QCOMPARE(w.form()->KeloMeter4->Percent(), DialPosition(TMainFrm::Tag(w.form()->Label23) / 1024.0, UnitFor(0)));
    QCOMPARE(w.FPendingRequest, std::uint8_t(6));

    // The next start finds the user and the profile, and asks nothing.
    const int user = w.FUserId;
    const int profile = w.FProfileId;
    TMainFrm &again = c.open();
    QVERIFY(again.FormCreate(true));
    QCOMPARE(again.FUserId, user);
    QCOMPARE(again.FProfileId, profile);
    QCOMPARE(c.dialogs.shown().size(), 1);
    QCOMPARE(c.stored().count(QStringLiteral("users")), 1);
}

void TestStandardFlow::registrationThroughTheDialogs()
{
    // The program's own "User info" dialog, its lists filled from the data module.
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.open();
    w.setProfileDialogs(nullptr);
    QStringList ispsShown;
    QString countryShown;
    QTimer fill;
    QObject::connect(&fill, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<TFrmUserInfo *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        fill.stop();
        Ui::TFrmUserInfo *ui = dialog->form();
        for (int i = 0; i < ui->edtISP->count(); ++i)
            ispsShown.append(ui->edtISP->itemText(i));
        countryShown = ui->edtCountry->currentText();
        ui->edtISP->setCurrentIndex(1);
        ui->edtConnectionType->setCurrentIndex(2);
        ui->edtZipCode->setText(QStringLiteral("02134"));
        ui->BitBtn1->click();
    });
    fill.start(10);
    QVERIFY(w.FormCreate(true));
    QVERIFY(c.prompts.asked().isEmpty());
    QCOMPARE(ispsShown.size(), c.dm.cdsIsps->RecordCount());
    QCOMPARE(ispsShown.at(1), c.dm.cdsIsps->AsString(1, QStringLiteral("vcISPName")));
    QCOMPARE(countryShown, QStringLiteral("UNITED STATES"));
    const ProfileValues stored = UserProfiles::ReadProfile(c.config(), QStringLiteral("Default"));
    QCOMPARE(stored.ispId, c.dm.cdsIsps->AsInteger(1, QStringLiteral("iISPId")));
    QCOMPARE(stored.connectionId, c.dm.cdsConnectionTypes->AsInteger(2, QStringLiteral("iConnectionTypeId")));
    QCOMPARE(stored.country, QStringLiteral("UNITED STATES"));
    QCOMPARE(stored.ipAddress, QStringLiteral("127.0.0.1"));
    const QList<QVariantMap> profiles = c.stored().rows(QStringLiteral("SELECT * FROM profiles"));
    QCOMPARE(profiles.size(), 1);
    QCOMPARE(profiles.first().value(QStringLiteral("zip_code")).toString(), QStringLiteral("02134"));
    QCOMPARE(profiles.first().value(QStringLiteral("isp_id")).toInt(), stored.ispId);
}

void TestStandardFlow::uploadLeavesOutRowsWithoutBytes_data()
{
    QTest::addColumn<bool>("allEmpty");
    QTest::newRow("the second site sends nothing") << false;
    QTest::newRow("no site sends anything") << true;
}

void TestStandardFlow::uploadLeavesOutRowsWithoutBytes()
{
    QFETCH(bool, allEmpty);
    Computer c;
    for (const char *path : {"/s1", "/s2", "/s3"}) {
        if (allEmpty || QByteArray(path) == "/s2")
            c.server.setRoute(path, PageServer::Page(QByteArray()));
    }
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    c.startTests();
    QVERIFY2(c.prompts.asked().isEmpty(), qPrintable(c.prompts.texts().join(u'|')));
    QCOMPARE(c.row(1).first, 0);
    if (allEmpty) {
        // An overall speed of 0 is still a run; there are no site results.
        const QList<QVariantMap> tests = c.stored().tests();
        QCOMPARE(tests.size(), 1);
        QCOMPARE(tests.first().value(QStringLiteral("veloqua")).toInt(), 0);
        QCOMPARE(c.stored().count(QStringLiteral("test_results")), 0);
        QCOMPARE(w.FLastStandardSpeed, 0.0);
        return;
    }

    const test::StoredRows db = c.stored();
    const QList<QVariantMap> tests = db.tests();
    QCOMPARE(tests.size(), 1); // InsertVeloqua once
    const QVariantMap run = tests.first();
    QCOMPARE(run.value(QStringLiteral("ram")).toString(), QStringLiteral("8589934592"));
    QCOMPARE(run.value(QStringLiteral("ram_available")).toString(), QStringLiteral("3221225472"));
    QCOMPARE(run.value(QStringLiteral("hd_free_space")).toString(), QStringLiteral("290"));
    QCOMPARE(run.value(QStringLiteral("veloqua")).toLongLong(), RoundHalfEven(w.FLastStandardSpeed));
    const qint64 bytes = c.row(0).first + c.row(2).first;
    const qint64 ms = c.row(0).second + c.row(1).second + c.row(2).second;
    QCOMPARE(w.FLastStandardSpeed, BytesPerSecond(bytes, ms));

    // InsertTestResults for the first and the third site, with the run's number.
    const QList<QVariantMap> results = db.results(run.value(QStringLiteral("veloqua_id")).toInt());
    QCOMPARE(results.size(), 2);
    QCOMPARE(c.stored().count(QStringLiteral("test_results")), 2);
    for (int k = 0; k < 2; ++k) {
        const int i = k == 0 ? 0 : 2;
        QCOMPARE(results.at(k).value(QStringLiteral("site_id")).toInt(),
                 w.form()->ListView1->topLevelItem(i)->data(0, Qt::UserRole).toInt());
        QCOMPARE(results.at(k).value(QStringLiteral("page_size")).toInt(), c.row(i).first);
        QCOMPARE(results.at(k).value(QStringLiteral("download_time_ms")).toInt(), c.row(i).second);
    }
    QCOMPARE(c.row(0).first, 5000 + int(QByteArray("<html><body><img src=\"i.gif\"></body></html>").size()));
}

void TestStandardFlow::scalarCallsExpectNoTable()
{
    // Whatever a table request left behind, the profile check, the upload and the quick compare
    // take their answers as numbers and texts: no dataset or cache file changes.
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    const QStringList caches = QDir(w.dataFolder()).entryList({QStringLiteral("*.xml")});
    w.FPendingRequest = 3;
    QVERIFY(w.CheckProfile());
    w.FPendingRequest = 0;
    c.startTests();
    w.FPendingRequest = 5;
    QTest::mouseClick(w.form()->Button5, Qt::LeftButton);
    QVERIFY2(c.prompts.asked().isEmpty(), qPrintable(c.prompts.texts().join(u'|')));
    QCOMPARE(QDir(w.dataFolder()).entryList({QStringLiteral("*.xml")}), caches);
    QCOMPARE(w.form()->ListView1->topLevelItemCount(), 3);
    QVERIFY(!c.dm.cdsVeloqua->Active());
    QVERIFY(!c.dm.cdsCurrent->Active());
    QCOMPARE(c.stored().count(QStringLiteral("tests")), 1);
}

void TestStandardFlow::stopTests_data()
{
    QTest::addColumn<int>("stopRow");
    QTest::addColumn<bool>("uploaded");
    QTest::newRow("before the last row") << 1 << false;
    QTest::newRow("during the last row") << 2 << true;
}

void TestStandardFlow::stopTests()
{
    QFETCH(int, stopRow);
    QFETCH(bool, uploaded);
    Computer c;
    PageServer::Route slow = PageServer::Page(QByteArray());
    slow.generatedBytes = 4000000;
    slow.bytesPerSecond = 200000; // twenty seconds unless stopped
    c.server.setRoute(QStringLiteral("/s%1").arg(stopRow + 1).toUtf8(), slow);
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    QObject::connect(w.Runner(), &TTestRunner::rowProgress, &w, [&](int row, qint64 bytes) {
        if (row == stopRow && bytes > 20000 && w.form()->Button1->text() == u"Stop tests")
            QTest::mouseClick(w.form()->Button1, Qt::LeftButton);
    });
    c.startTests();
    QVERIFY2(c.prompts.asked().isEmpty(), qPrintable(c.prompts.texts().join(u'|')));

    const QList<QVariantMap> tests = c.stored().tests();
    QCOMPARE(tests.size(), uploaded ? 1 : 0);
    QCOMPARE(w.form()->Label32->text().isEmpty(), !uploaded);
    if (!uploaded) {
        QCOMPARE(w.FLastStandardSpeed, 0.0);
        QCOMPARE(TMainFrm::Tag(w.form()->Label22), 0);
        QCOMPARE(c.serviceRequests(QStringLiteral("InsertVeloqua")), 0);
        return;
    }
    // The last row goes with the figures it had when it was stopped.
    const QList<QVariantMap> results = c.stored().results(tests.first().value(QStringLiteral("veloqua_id")).toInt());
    QCOMPARE(results.size(), 3);
    QVERIFY(c.row(2).first > 20000 && c.row(2).first < 4000000);
    QCOMPARE(results.at(2).value(QStringLiteral("page_size")).toInt(), c.row(2).first);
}

void TestStandardFlow::personalRunNeverCallsTheService()
{
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    const int requests = int(c.service.log().count(QStringLiteral("/Veloqua/wsVeloqua.asmx")));
    QVERIFY(requests > 0);
    w.form()->ListView2->clear();
    new QTreeWidgetItem(w.form()->ListView2, QStringList{c.server.host() + QStringLiteral("/s1"), "", "", "", "0", "0"});
    w.FProfileAddress = QStringLiteral("10.1.2.3"); // a profile check now would need a dialog
    QTest::mouseClick(w.form()->Button2, Qt::LeftButton);
    QVERIFY(!w.form()->Label34->text().isEmpty());
    QCOMPARE(c.server.requestCount("/s1"), 1);
    QCOMPARE(int(c.service.log().count(QStringLiteral("/Veloqua/wsVeloqua.asmx"))), requests);
    QVERIFY(c.dialogs.dialogs() == QStringList{QStringLiteral("UserInfo")});
    QVERIFY(c.prompts.asked().isEmpty());
    QCOMPARE(w.FLastStandardSpeed, 0.0);
}

void TestStandardFlow::uploadFailure_data()
{
    QTest::addColumn<bool>("serviceDown");
    QTest::newRow("service gone during the run") << true;
    QTest::newRow("fault from the service") << false;
}

void TestStandardFlow::uploadFailure()
{
    QFETCH(bool, serviceDown);
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    if (serviceDown) {
        QObject::connect(w.Runner(), &TTestRunner::rowStarted, &w, [&](int row) {
            if (row == 2)
                c.service.kill();
        });
    } else {
        w.FProfileId = 424242; // a profile the service does not know refuses the run
    }
    w.form()->Label32->setText(QStringLiteral("kept"));
    c.prompts.answerButton(MsgButton::Ok);
    c.startTests();
    QCOMPARE(c.prompts.texts(), QStringList{kRunError});
    QCOMPARE(c.prompts.asked().first().icon, MsgIcon::Error);
    QCOMPARE(c.prompts.idleAtMessage, QList<bool>{true}); // the run had ended when it was said
    QCOMPARE(w.form()->Label32->text(), QStringLiteral("kept"));
    QVERIFY(w.FLastStandardSpeed > 0); // kept, though not sent
    QCOMPARE(TMainFrm::Tag(w.form()->Label22), 0); // no hand-over
    QCOMPARE(w.form()->Label22->text(), QStringLiteral("0.00 KB/s"));
    if (!serviceDown)
        QCOMPARE(c.stored().count(QStringLiteral("tests")), 0);
    QCOMPARE(c.stored().count(QStringLiteral("test_results")), 0);
}

void TestStandardFlow::gateFailure_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("service down, Start tests") << "down" << false << QStringList{kRunError};
    QTest::newRow("service down, automatic run") << "down" << true << QStringList{};
    QTest::newRow("chooser cancelled") << "cancel" << false << QStringList{kCannotContinue};
}

void TestStandardFlow::gateFailure()
{
    QFETCH(QString, failure);
    QFETCH(bool, automatic);
    QFETCH(QStringList, messages);
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    if (failure == u"down") {
        c.service.kill();
    } else {
        // The laptop moved: a profile of the new network exists, and the user refuses it.
        ConfigFile config = c.config();
        config.WriteInteger(QStringLiteral("Profiles"), QStringLiteral("Office"), w.FProfileId);
        config.WriteString(QStringLiteral("PrfOffice"), QStringLiteral("IPAddress"), QStringLiteral("127.0.0.9"));
        config.WriteString(QStringLiteral("PrfDefault"), QStringLiteral("IPAddress"), QStringLiteral("10.1.2.3"));
        w.FProfileAddress = QStringLiteral("10.1.2.3");
        c.dialogs.answerSelectProfile(SelectProfileResult::Cancel);
    }
    for (int i = 0; i < messages.size(); ++i)
        c.prompts.answerButton(MsgButton::Ok);
    if (automatic)
        w.StartRun(true);
    else
        c.startTests();
    QCOMPARE(c.prompts.texts(), messages);
    QVERIFY(c.server.requests().isEmpty()); // nothing was measured
    QVERIFY(w.form()->Label4->text().isEmpty());
    QCOMPARE(w.Runner()->FTestKind, std::uint8_t(2));
    QVERIFY(w.form()->Button1->isEnabled());
    QCOMPARE(w.endingProgram(), failure == u"cancel");
    if (failure == u"cancel") {
        QCOMPARE(c.dialogs.shown().last().names, QStringList{QStringLiteral("Office")});
        QCOMPARE(c.config().Read(cfg::LastProfile), QStringLiteral("Default"));
    }
}

void TestStandardFlow::networkChangeAtStart_data()
{
    QTest::addColumn<QString>("choice");
    QTest::newRow("an existing profile of the new network") << "select";
    QTest::newRow("Create new in the chooser") << "create";
    QTest::newRow("no profile of the new network") << "none";
    QTest::newRow("chooser cancelled") << "cancel";
}

void TestStandardFlow::networkChangeAtStart()
{
    QFETCH(QString, choice);
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &first = c.registered();
    QVERIFY(c.created);
    // A second profile, "Office"; then the computer is back at "Default"'s place, which is now
    // another network than the service sees.
    const int office = first.Profiles()->StoreProfile(QStringLiteral("Office"), 0, QStringLiteral("00-11-22-33-44-55"),
                                                      choice == u"none" ? QStringLiteral("10.9.9.9") : QStringLiteral("127.0.0.9"),
                                                      2, QStringLiteral("80331"), QStringLiteral("--"), QStringLiteral("GERMANY"),
                                                      0, QString(), QStringLiteral("2 Mbps"), 3);
    const int home = first.FProfileId;
    ConfigFile config = c.config();
    config.Write(cfg::LastProfile, QStringLiteral("Default"));
    config.WriteString(QStringLiteral("PrfDefault"), QStringLiteral("IPAddress"), QStringLiteral("10.1.2.3"));
    const QByteArray before = c.configBytes();

    QString expectedProfile;
    if (choice == u"select") {
        c.dialogs.answerSelectProfile(SelectProfileResult::Select, QStringLiteral("Office"));
        expectedProfile = QStringLiteral("Office");
    } else if (choice == u"create" || choice == u"none") {
        if (choice == u"create")
            c.dialogs.answerSelectProfile(SelectProfileResult::CreateNew);
        else
            c.prompts.answerButton(MsgButton::Ok);
        c.dialogs.answerNewProfile(Place(QStringLiteral("Büro 2"), QStringLiteral("127.0.0.1"), QStringLiteral("04109")));
        expectedProfile = QStringLiteral("Büro 2");
    } else {
        c.dialogs.answerSelectProfile(SelectProfileResult::Cancel);
        c.prompts.answerButton(MsgButton::Ok);
    }
    TMainFrm &w = c.open();
    const bool created = w.FormCreate(true);

    const QString heading = QStringLiteral("Your external machine name has changed from host-10.1.2.3 to host-127.0.0.1");
    if (choice == u"none") {
        QCOMPARE(c.prompts.texts(), QStringList{heading + QStringLiteral("\rThere was not found an existing profile for "
                                                                         "your current IP\r\nA new one will be created")});
        QCOMPARE(c.dialogs.dialogs().mid(1), QStringList{QStringLiteral("NewProfile")});
    } else {
        QCOMPARE(c.dialogs.dialogs().at(1), QStringLiteral("SelectProfile"));
        QCOMPARE(c.dialogs.shown().at(1).text, heading);
        QCOMPARE(c.dialogs.shown().at(1).names, QStringList{QStringLiteral("Office")});
    }
    if (choice == u"cancel") {
        QVERIFY(!created);
        QCOMPARE(c.prompts.texts(), QStringList{kCannotContinue});
        QVERIFY(w.endingProgram());
        QCOMPARE(c.configBytes(), before);
        return;
    }
    QVERIFY(created);
    QCOMPARE(c.dialogs.unexpectedCount(), 0);
    QCOMPARE(c.config().Read(cfg::LastProfile), expectedProfile);
    QCOMPARE(w.FProfileAddress, choice == u"select" ? QStringLiteral("127.0.0.9") : QStringLiteral("127.0.0.1"));
    if (choice == u"select") {
        QCOMPARE(w.FProfileId, office);
    } else {
        // The new profile: its name is a key and a section name that read back as written.
        QCOMPARE(c.dialogs.shown().last().names, QStringList({"Default", "Office"}));
        QVERIFY(w.FProfileId != home && w.FProfileId != office);
        const ProfileValues stored = UserProfiles::ReadProfile(c.config(), expectedProfile);
        QCOMPARE(stored.zipCode, QStringLiteral("04109"));
        QCOMPARE(stored.ipAddress, QStringLiteral("127.0.0.1"));
        const QList<QVariantMap> rows = c.stored().rows(QStringLiteral("SELECT name FROM profiles WHERE profile_id = ?"), {w.FProfileId});
        QCOMPARE(rows.first().value(QStringLiteral("name")).toString(), expectedProfile);
    }
    // The results go to the chosen profile, and the next start asks nothing.
    const int chosen = w.FProfileId;
    c.startTests();
    QCOMPARE(c.stored().tests().last().value(QStringLiteral("profile_id")).toInt(), chosen);
    const int dialogsSoFar = int(c.dialogs.shown().size());
    TMainFrm &again = c.open();
    QVERIFY(again.FormCreate(true));
    QCOMPARE(again.FProfileId, chosen);
    QCOMPARE(int(c.dialogs.shown().size()), dialogsSoFar);
}

void TestStandardFlow::startUpFailures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("first-run dialog cancelled")
        << "cancel" << QStringLiteral("You must fill the data in the first run.\r\nVeloqua cannot run until you fill the data.\r\n"
                                      "Veloqua will terminate");
    QTest::newRow("service down during registration") << "down" << kConnectionMessage;
    QTest::newRow("service refuses the new profile")
        << "fault" << QStringLiteral("The server refused the request: Unknown user 1.\r\nVeloqua will terminate");
}

void TestStandardFlow::startUpFailures()
{
    QFETCH(QString, failure);
    QFETCH(QString, message);
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    if (failure == u"cancel") {
        c.dialogs.answerUserInfo(std::nullopt);
    } else if (failure == u"down") {
        // A first start that had the reference data, then the service went away.
        TMainFrm &first = c.open();
        c.dialogs.answerUserInfo(std::nullopt);
        c.prompts.answerButton(MsgButton::Ok);
        QVERIFY(!first.FormCreate(true));
        c.prompts.clear();
        c.service.kill();
        c.dialogs.answerUserInfo(Registration(c.computer));
    } else {
        // A user the service does not know (its database was replaced) on a new network.
        QFile f(c.env.configFile());
        QVERIFY(f.open(QIODevice::Append));
        f.write(test::RegisteredUserConfig(QStringLiteral("10.1.2.3")));
        f.close();
        c.prompts.answerButton(MsgButton::Ok);
        c.dialogs.answerNewProfile(Place(QStringLiteral("Here"), QStringLiteral("127.0.0.1")));
    }
    c.prompts.answerButton(MsgButton::Ok);
    const QByteArray before = c.configBytes();
    TMainFrm &w = c.open();
    QVERIFY(!w.FormCreate(true));
    QCOMPARE(c.prompts.texts().last(), message);
    QCOMPARE(c.prompts.asked().last().icon, MsgIcon::Error);
    QVERIFY(w.endingProgram());
    QCOMPARE(c.prompts.unexpectedCount(), 0);
    // Nothing half-stored.
    if (failure == u"down")
        QCOMPARE(c.configBytes(), before);
    if (failure == u"cancel")
        QCOMPARE(c.stored().count(QStringLiteral("users")), 0);
    if (failure == u"fault") {
        QCOMPARE(c.config().ReadSection(QStringLiteral("Profiles")), QStringList{QStringLiteral("Default")});
        QVERIFY(!c.config().SectionExists(QStringLiteral("PrfHere")));
        QCOMPARE(c.config().Read(cfg::LastProfile), QStringLiteral("Default"));
    }
}

void TestStandardFlow::registrationAgainWithoutLastProfile()
{
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &first = c.registered();
    QVERIFY(c.created);
    const int firstProfile = first.FProfileId;
    c.config().Write(cfg::LastProfile, QString());
    c.dialogs.answerUserInfo(Registration(c.computer));
    TMainFrm &w = c.open();
    QVERIFY(w.FormCreate(true));
    QCOMPARE(c.dialogs.dialogs(), QStringList({"UserInfo", "UserInfo"}));
    QCOMPARE(c.stored().count(QStringLiteral("users")), 2);
    QVERIFY(w.FProfileId != firstProfile);
    QCOMPARE(c.config().ReadSection(QStringLiteral("Profiles")), QStringList{QStringLiteral("Default")});
    QCOMPARE(c.config().ReadInteger(QStringLiteral("Profiles"), QStringLiteral("Default"), -1), w.FProfileId);
}

void TestStandardFlow::quickCompareAreasAndPeriods()
{
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    // Neighbours: one in the same zip code, one elsewhere in the country, one abroad.
    Service1Soap &s = *w.FService;
    const int other = s.SaveUser({}, {}, {}, {}, {}, {});
    const auto neighbour = [&](const QString &zip, const QString &country, int speed) {
        const int p = s.SaveProfile(0, other, {}, QStringLiteral("n"), {}, 2, zip, QStringLiteral("--"), country, 0, {}, {}, 3);
        s.InsertVeloqua(p, speed, {}, {}, {});
    };
    neighbour(QStringLiteral("10115"), QStringLiteral("GERMANY"), 100000);
    neighbour(QStringLiteral("80331"), QStringLiteral("GERMANY"), 200000);
    neighbour(QStringLiteral("75001"), QStringLiteral("FRANCE"), 400000);
    s.InsertVeloqua(w.FProfileId, 300000, {}, {}, {});

    struct Case {
        int area;
        qint64 average;
    };
    const Case cases[] = {{0, (100000 + 200000 + 400000 + 300000) / 4}, // everyone
                          {1, (100000 + 300000) / 2},                   // zip code
                          {2, (100000 + 200000 + 300000) / 3},          // state "--" of Germany
                          {3, (100000 + 200000 + 300000) / 3}};         // country
    for (const Case &k : cases) {
        w.form()->ComboBox3->setCurrentIndex(k.area);
        QTest::mouseClick(w.form()->Button5, Qt::LeftButton);
        QCOMPARE(TMainFrm::Tag(w.form()->Label23), k.average);
    }
    // Each time of day sends its value: the window shows what the service says for it.
    const QStringList periods{"anytime", "morning", "afternoon", "night"};
    w.form()->ComboBox3->setCurrentIndex(0);
    for (int i = 0; i < periods.size(); ++i) {
        w.form()->ComboBox4->setCurrentIndex(i);
        TMainFrm::SetTag(w.form()->Label23, -1);
        QTest::mouseClick(w.form()->Button5, Qt::LeftButton);
        QCOMPARE(TMainFrm::Tag(w.form()->Label23), qint64(s.GetAvgVeloqua(w.FProfileId, QStringLiteral("world"), periods.at(i))));
    }
    QCOMPARE(w.form()->ComboBox4->itemText(2), QStringLiteral("in the afternoon "));
    QVERIFY(c.prompts.asked().isEmpty());
}

void TestStandardFlow::quickCompareInBitUnits()
{
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    Service1Soap &s = *w.FService;
    w.FMultiplier = 1; // Kbps
    w.ApplyUnits();
    struct Case {
        QString country;
        int speed;
        QString text;
        int dial;
    };
    const Case cases[] = {{QStringLiteral("ICELAND"), 128000, QStringLiteral("1,000.00 Kbps"), 100},
                          {QStringLiteral("NORWAY"), 256000, QStringLiteral("2,000.00 Kbps"), 100},
                          {QStringLiteral("MALTA"), 6400, QStringLiteral("50.00 Kbps"), 5}};
    w.form()->ComboBox3->setCurrentIndex(3); // by country: this profile's runs only
    for (const Case &k : cases) {
        w.FProfileId = s.SaveProfile(0, w.FUserId, {}, k.country, {}, 2, {}, QStringLiteral("--"), k.country, 0, {}, {}, 3);
        s.InsertVeloqua(w.FProfileId, k.speed, {}, {}, {});
        QTest::mouseClick(w.form()->Button5, Qt::LeftButton);
        QCOMPARE(w.form()->Label23->text(), k.text);
        QCOMPARE(w.form()->KeloMeter4->Percent(), k.dial);
        QCOMPARE(TMainFrm::Tag(w.form()->Label23), k.speed);
        QCOMPARE(w.form()->KeloMeter4->Caption(), QStringLiteral("Kbps"));
    }
    // A change of unit redraws both labels and dials from their tags.
    TMainFrm::SetTag(w.form()->Label22, 131072);
    w.FMultiplier = 2; // MB/s
    w.ApplyUnits();
    QCOMPARE(w.form()->Label23->text(), QStringLiteral("0.01 MB/s"));
    QCOMPARE(w.form()->Label22->text(), QStringLiteral("0.13 MB/s"));
    QCOMPARE(w.form()->KeloMeter3->Caption(), QStringLiteral("MB/s"));
}

void TestStandardFlow::quickCompareFailures()
{
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    TMainFrm::SetTag(w.form()->Label23, 777);

    // An area the service refuses for this profile: its fault gives the page's message.
    w.FProfileId = 424242;
    c.prompts.answerButton(MsgButton::Ok);
    QTest::mouseClick(w.form()->Button5, Qt::LeftButton);
    QCOMPARE(c.prompts.texts(), QStringList{kCompareError});

    // The chooser refused: its own message only, and the program ends.
    c.prompts.clear();
    w.FProfileAddress = QStringLiteral("10.1.2.3");
    ConfigFile config = c.config();
    config.WriteInteger(QStringLiteral("Profiles"), QStringLiteral("Office"), 5);
    config.WriteString(QStringLiteral("PrfOffice"), QStringLiteral("IPAddress"), QStringLiteral("127.0.0.9"));
    c.dialogs.answerSelectProfile(SelectProfileResult::Cancel);
    c.prompts.answerButton(MsgButton::Ok);
    QTest::mouseClick(w.form()->Button5, Qt::LeftButton);
    QCOMPARE(c.prompts.texts(), QStringList{kCannotContinue});
    QVERIFY(w.endingProgram());

    // The service gone.
    c.prompts.clear();
    w.FProfileAddress = QStringLiteral("127.0.0.1");
    c.service.kill();
    c.prompts.answerButton(MsgButton::Ok);
    QTest::mouseClick(w.form()->Button5, Qt::LeftButton);
    QCOMPARE(c.prompts.texts(), QStringList{kCompareError});
    QCOMPARE(TMainFrm::Tag(w.form()->Label23), 777);
}

void TestStandardFlow::editProfile()
{
    Computer c;
    QVERIFY2(c.ok, qPrintable(c.service.log()));
    TMainFrm &w = c.registered();
    QVERIFY(c.created);
    const int id = w.FProfileId;
    w.FProfileAddress = QStringLiteral("127.0.0.3");
    ProfileInput edited = Place(QStringLiteral("Default"), QStringLiteral("127.0.0.1"), QStringLiteral("20095"));
    edited.satisfaction = QStringLiteral("Very Satisfied");
    c.dialogs.answerEditProfile(edited);
    w.form()->Editprofile1->trigger();
    QCOMPARE(c.dialogs.shown().last().dialog, QStringLiteral("EditProfile"));
    QCOMPARE(c.dialogs.shown().last().text, QStringLiteral("Default"));
    QCOMPARE(c.dialogs.shown().last().stored.zipCode, QStringLiteral("10115"));
    QCOMPARE(w.FProfileId, id);
    QCOMPARE(w.FProfileAddress, QStringLiteral("127.0.0.3")); // not changed by an edit
    const QList<QVariantMap> rows = c.stored().rows(QStringLiteral("SELECT * FROM profiles"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().value(QStringLiteral("zip_code")).toString(), QStringLiteral("20095"));
    QCOMPARE(rows.first().value(QStringLiteral("satisfaction_level")).toString(), QStringLiteral("Very Satisfied"));
    QCOMPARE(UserProfiles::ReadProfile(c.config(), QStringLiteral("Default")).zipCode, QStringLiteral("20095"));

    // Cancelled: nothing is sent or stored.
    const QByteArray before = c.configBytes();
    c.dialogs.answerEditProfile(std::nullopt);
    w.Editprofile1Click();
    QCOMPARE(c.configBytes(), before);
    QVERIFY(c.prompts.asked().isEmpty());
}

QTEST_MAIN(TestStandardFlow)
#include "tst_standardflow.moc"

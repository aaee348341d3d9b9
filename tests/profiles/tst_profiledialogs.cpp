#include "ProfileInfo.h"
#include "ProfileLookups.h"
#include "ScriptedPrompts.h"
#include "SelectProfile.h"
#include "UserInfo.h"
#include "WidgetProfileDialogs.h"

#include "ui_ProfileInfo.h"
#include "ui_SelectProfile.h"
#include "ui_UserInfo.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace vq;

namespace {

StaticProfileLookups lookups()
{
    StaticProfileLookups l;
    l.isps = {{7, QStringLiteral("Comcast")}, {8, QStringLiteral("Verizon")}};
    l.connectionTypes = {{3, QStringLiteral("Cable")}, {4, QStringLiteral("DSL")}};
    l.countries = {{QStringLiteral("DE"), QStringLiteral("GERMANY")},
                   {QStringLiteral("US"), QStringLiteral("UNITED STATES")}};
    l.states = {{QStringLiteral("--"), QStringLiteral("--")}, {QStringLiteral("NY"), QStringLiteral("NY")}};
    return l;
}

ComputerFacts facts()
{
    ComputerFacts f;
    f.processorName = QStringLiteral("Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz");
    f.processorSpeed = QStringLiteral("1800");
    f.osName = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    f.osVersion = QStringLiteral(" Build 6.1.0 #1 SMP");
    f.macAddress = QStringLiteral("54-E1-AD-AA-BB-CC");
    f.machineName = QStringLiteral("laptop");
    f.ipAddress = QStringLiteral("83.12.0.1");
    f.timeZoneBias = -60;
    return f;
}

// Runs an action on the modal dialog as soon as it is shown.
void whenModal(std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start();
}

const QString kIspMissing = QStringLiteral("Please, fill the ISP name");
const QString kConnectionMissing = QStringLiteral("Please, fill the Connection type");
const QString kCountryMissing = QStringLiteral("Please, fill the Country name");

} // namespace

class TestProfileDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void userInfoIsPrefilled();
    void userInfoOkChecks_data();
    void userInfoOkChecks();
    void userInfoHandsBackItsFields();
    void newProfileChecks_data();
    void newProfileChecks();
    void newProfileCannotBeCancelled();
    void editProfilePreselects();
    void editProfileSpeedAndMissingValues_data();
    void editProfileSpeedAndMissingValues();
    void selectProfile();
    void modalDialogs();
};

void TestProfileDialogs::userInfoIsPrefilled()
{
    test::ScriptedPrompts prompts;
    const StaticProfileLookups l = lookups();
    TFrmUserInfo dlg(prompts, l);
    dlg.Prefill(facts(), QStringLiteral("US"));
    Ui::TFrmUserInfo *f = dlg.form();

    QCOMPARE(dlg.windowTitle(), QStringLiteral("User info"));
    QCOMPARE(f->edtProcessorName->text(), facts().processorName);
    QCOMPARE(f->edtProcessorSpeed->text(), QStringLiteral("1800"));
    QCOMPARE(f->edtOSVersion->text(), QStringLiteral(" Build 6.1.0 #1 SMP"));
    QCOMPARE(f->edtTimeZone->text(), QStringLiteral("-60"));
    for (QLineEdit *display : {f->edtProcessorName, f->edtProcessorSpeed, f->edtOSName, f->edtOSVersion,
                               f->edtMacAddress, f->edtMachineName, f->edtIpAddress, f->edtTimeZone})
        QVERIFY(display->isReadOnly());
    QVERIFY(!f->edtManufacturer->isReadOnly());
    QCOMPARE(f->edtManufacturerLabel->text(), QStringLiteral("Computer  manufacturer:"));
    QCOMPARE(f->edtCountry->currentText(), QStringLiteral("UNITED STATES"));
    QCOMPARE(f->edtISP->currentIndex(), -1);
    QCOMPARE(f->edtSatisfaction->currentIndex(), -1);
    QCOMPARE(f->edtSatisfaction->count(), 5);
    QCOMPARE(f->cbxContractedSpeed->currentText(), QStringLiteral("Kbps"));
    QCOMPARE(f->edtISP->itemText(1), QStringLiteral("Verizon"));
    QCOMPARE(dlg.focusWidget(), f->edtManufacturer);
}

void TestProfileDialogs::userInfoOkChecks_data()
{
    QTest::addColumn<int>("isp");
    QTest::addColumn<int>("connection");
    QTest::addColumn<int>("country");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::newRow("nothing chosen") << -1 << -1 << -1 << kIspMissing << "edtISP";
    QTest::newRow("no ISP") << -1 << 0 << 1 << kIspMissing << "edtISP";
    QTest::newRow("no connection type") << 0 << -1 << 1 << kConnectionMissing << "edtConnectionType";
    QTest::newRow("no country") << 0 << 0 << -1 << kCountryMissing << "edtCountry";
    QTest::newRow("complete") << 1 << 1 << 0 << QString() << QString();
}

void TestProfileDialogs::userInfoOkChecks()
{
    QFETCH(int, isp);
    QFETCH(int, connection);
    QFETCH(int, country);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    test::ScriptedPrompts prompts;
    const StaticProfileLookups l = lookups();
    TFrmUserInfo dlg(prompts, l);
    dlg.Prefill(facts(), QStringLiteral("US"));
    dlg.form()->edtISP->setCurrentIndex(isp);
    dlg.form()->edtConnectionType->setCurrentIndex(connection);
    dlg.form()->edtCountry->setCurrentIndex(country);
    if (!message.isEmpty())
        prompts.answerButton(MsgButton::Ok);
    dlg.show();

    dlg.form()->BitBtn1->click();

    QCOMPARE(dlg.isVisible(), !message.isEmpty());
    if (message.isEmpty()) {
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(prompts.asked().size(), 0);
        QCOMPARE(dlg.ISPId(), 8);
        QCOMPARE(dlg.ConnectionTypeId(), 4);
    } else {
        QCOMPARE(dlg.result(), int(QDialog::Rejected)); // still open: no result yet
        QCOMPARE(prompts.asked().size(), 1);
        QCOMPARE(prompts.asked().at(0).text, message);
        QCOMPARE(prompts.asked().at(0).icon, MsgIcon::Error);
        QCOMPARE(dlg.focusWidget()->objectName(), focus);
    }
}

void TestProfileDialogs::userInfoHandsBackItsFields()
{
    test::ScriptedPrompts prompts;
    const StaticProfileLookups l = lookups();
    TFrmUserInfo dlg(prompts, l);
    dlg.Prefill(facts(), QStringLiteral("US"));
    Ui::TFrmUserInfo *f = dlg.form();
    f->edtModel->setText(QStringLiteral("T480"));
    f->edtISP->setCurrentIndex(0);
    f->edtConnectionType->setCurrentIndex(0);
    f->edtContractedSpeed->setText(QStringLiteral(" 16 "));
    f->cbxContractedSpeed->setCurrentIndex(1);
    f->edtState->setCurrentIndex(1);
    // Manufacturer, zip code and satisfaction stay empty: accepted.
    dlg.BitBtn1Click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));

    const UserInput in = dlg.Input();
    QCOMPARE(in.processorName, facts().processorName);
    QCOMPARE(in.osVersion, facts().osVersion);
    QCOMPARE(in.manufacturer, QString());
    QCOMPARE(in.model, QStringLiteral("T480"));
    QCOMPARE(in.profile.macAddress, facts().macAddress);
    QCOMPARE(in.profile.ipAddress, QStringLiteral("83.12.0.1"));
    QCOMPARE(in.profile.ispId, 7);
    QCOMPARE(in.profile.connectionTypeId, 3);
    QCOMPARE(in.profile.contractedSpeed, QStringLiteral("16 Mbps"));
    QCOMPARE(in.profile.state, QStringLiteral("NY"));
    QCOMPARE(in.profile.country, QStringLiteral("UNITED STATES")); // the name, not the code
    QCOMPARE(in.profile.satisfaction, QString());
    QCOMPARE(in.profile.zipCode, QString());
}

void TestProfileDialogs::newProfileChecks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("listsChosen");
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::addColumn<QString>("focus");
    QTest::newRow("existing name, other case") << "home" << true
                                               << "Profile name already exists.\r\nPlease, choose another name"
                                               << "edtProfileName";
    QTest::newRow("existing name with blanks") << "  Work " << true
                                               << "Profile name already exists.\r\nPlease, choose another name"
                                               << "edtProfileName";
    QTest::newRow("empty name") << "" << true << "Please, fill the Profile name" << "edtProfileName";
    QTest::newRow("equals sign") << "a=b" << true
                                 << "A profile name cannot contain \"=\", \"[\", \"]\" or a line break.\r\n"
                                    "Please, choose another name"
                                 << "edtProfileName";
    QTest::newRow("name checked before the lists") << "Work" << false
                                                   << "Profile name already exists.\r\nPlease, choose another name"
                                                   << "edtProfileName";
    QTest::newRow("then the lists") << "Café" << false << kIspMissing << "edtISP";
    QTest::newRow("new name") << "Café" << true << QString() << QString();
}

void TestProfileDialogs::newProfileChecks()
{
    QFETCH(QString, name);
    QFETCH(bool, listsChosen);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    test::ScriptedPrompts prompts;
    const StaticProfileLookups l = lookups();
    TFrmProfileInfo dlg(prompts, l);
    dlg.PrepareNew(facts(), {QStringLiteral("Home"), QStringLiteral("Work")});
    dlg.form()->edtProfileName->setText(name);
    if (listsChosen) {
        dlg.form()->edtISP->setCurrentIndex(0);
        dlg.form()->edtConnectionType->setCurrentIndex(0);
    }
    if (!message.isEmpty())
        prompts.answerButton(MsgButton::Ok);
    dlg.show();

    dlg.form()->btnOk->click();

    QCOMPARE(dlg.isVisible(), !message.isEmpty());
    if (message.isEmpty()) {
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const ProfileInput in = dlg.Input();
        QCOMPARE(in.name, name);
        QCOMPARE(in.country, QStringLiteral("UNITED STATES"));
        QCOMPARE(in.ipAddress, QStringLiteral("83.12.0.1"));
        QCOMPARE(in.contractedSpeed, QStringLiteral(" Kbps")); // nothing typed: the unit alone
    } else {
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(prompts.asked().size(), 1);
        QCOMPARE(prompts.asked().at(0).text, message);
        QCOMPARE(dlg.focusWidget()->objectName(), focus);
    }
}

void TestProfileDialogs::newProfileCannotBeCancelled()
{
    test::ScriptedPrompts prompts;
    const StaticProfileLookups l = lookups();
    TFrmProfileInfo dlg(prompts, l);
    dlg.PrepareNew(facts(), {});
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Profile information"));
    QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(dlg.focusWidget(), dlg.form()->edtProfileName);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(dlg.form()->btnCancel->isHidden());
    // OK stands in the middle of the dialog.
    const int okCentre = dlg.form()->btnOk->geometry().center().x();
    QVERIFY(qAbs(okCentre - dlg.width() / 2) <= 2);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    dlg.close();
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
}

void TestProfileDialogs::editProfilePreselects()
{
    test::ScriptedPrompts prompts;
    const StaticProfileLookups l = lookups();
    TFrmProfileInfo dlg(prompts, l);
    ProfileValues stored;
    stored.ispId = 8;
    stored.satisfaction = QStringLiteral("Very Satisfied");
    stored.connectionId = 4;
    stored.zipCode = QStringLiteral("10115");
    stored.state = QStringLiteral("NY");
    stored.country = QStringLiteral("GERMANY");
    stored.speed = QStringLiteral("2 Mbps");
    dlg.PrepareEdit(QStringLiteral("Home"), facts(), stored);
    Ui::TFrmProfileInfo *f = dlg.form();

    QCOMPARE(f->edtProfileName->text(), QStringLiteral("Home"));
    QVERIFY(f->edtProfileName->isReadOnly());
    QVERIFY(f->edtProfileNameMark->isHidden());
    QVERIFY(!f->btnCancel->isHidden());
    QCOMPARE(dlg.focusWidget(), f->edtISP);
    QCOMPARE(f->edtISP->currentText(), QStringLiteral("Verizon"));
    QCOMPARE(f->edtSatisfaction->currentText(), QStringLiteral("Very Satisfied"));
    QCOMPARE(f->edtConnectionType->currentText(), QStringLiteral("DSL"));
    QCOMPARE(f->edtZipCode->text(), QStringLiteral("10115"));
    QCOMPARE(f->edtState->currentText(), QStringLiteral("NY"));
    QCOMPARE(f->edtCountry->currentData().toString(), QStringLiteral("DE"));
    QCOMPARE(f->edtContractedSpeed->text(), QStringLiteral("2 "));
    QCOMPARE(f->cbxContractedSpeed->currentText(), QStringLiteral("Mbps"));
    QCOMPARE(f->edtIpAddress->text(), QStringLiteral("83.12.0.1"));

    // No duplicate check in this mode: OK goes through with the profile's own name.
    dlg.btnOkClick();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    const ProfileInput in = dlg.Input();
    QCOMPARE(in.name, QStringLiteral("Home"));
    QCOMPARE(in.ispId, 8);
    QCOMPARE(in.connectionTypeId, 4);
    QCOMPARE(in.contractedSpeed, QStringLiteral("2 Mbps"));
    QCOMPARE(in.country, QStringLiteral("GERMANY"));
    QCOMPARE(prompts.asked().size(), 0);

    // Cancel closes it in this mode.
    TFrmProfileInfo again(prompts, l);
    again.PrepareEdit(QStringLiteral("Home"), facts(), stored);
    again.show();
    again.form()->btnCancel->click();
    QVERIFY(!again.isVisible());
}

void TestProfileDialogs::editProfileSpeedAndMissingValues_data()
{
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("unit");
    QTest::newRow("kilobits") << "512 Kbps" << "512 " << "Kbps";
    QTest::newRow("bare number") << "512" << "512" << "";
    QTest::newRow("nothing stored") << "" << "" << "";
}

void TestProfileDialogs::editProfileSpeedAndMissingValues()
{
    QFETCH(QString, speed);
    QFETCH(QString, number);
    QFETCH(QString, unit);
    test::ScriptedPrompts prompts;
    const StaticProfileLookups l = lookups();
    TFrmProfileInfo dlg(prompts, l);
    ProfileValues stored; // no ids, and names the tables do not know
    stored.ispId = 99;
    stored.country = QStringLiteral("ATLANTIS");
    stored.satisfaction = QStringLiteral("Delighted");
    stored.speed = speed;
    dlg.PrepareEdit(QStringLiteral("Home"), facts(), stored);
    Ui::TFrmProfileInfo *f = dlg.form();
    QCOMPARE(f->edtContractedSpeed->text(), number);
    QCOMPARE(f->cbxContractedSpeed->currentText(), unit);
    QCOMPARE(f->edtISP->currentIndex(), -1);
    QCOMPARE(f->edtConnectionType->currentIndex(), -1);
    QCOMPARE(f->edtCountry->currentIndex(), -1);
    QCOMPARE(f->edtSatisfaction->currentIndex(), -1);
    QCOMPARE(f->edtState->currentIndex(), -1);
}

void TestProfileDialogs::selectProfile()
{
    TFrmSelectProfile dlg;
    Ui::TFrmSelectProfile *f = dlg.form();
    dlg.SetHeading(QStringLiteral("Your external machine name has changed from a to b"));
    dlg.AddNames({QStringLiteral("Home"), QStringLiteral("Büro")});
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Select profile"));
    QCOMPARE(f->Label2->text(), QStringLiteral("Your external machine name has changed from a to b"));
    QCOMPARE(f->Label1->text(), QStringLiteral("Please, select a profile from the list\nor click the \"Create new\" "
                                               "button\nto create a new profile:"));
    QVERIFY(!f->btnSelect->isEnabled());
    f->btnSelect->click(); // disabled: nothing happens
    QCOMPARE(dlg.result(), int(QDialog::Rejected));

    f->lbxProfiles->setCurrentRow(1);
    QVERIFY(f->btnSelect->isEnabled());
    f->lbxProfiles->clearSelection();
    QVERIFY(!f->btnSelect->isEnabled());
    f->lbxProfiles->setCurrentRow(1);
    f->btnSelect->click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.SelectedName(), QStringLiteral("Büro"));

    TFrmSelectProfile create;
    create.form()->btnCreate->click();
    QCOMPARE(create.result(), int(TFrmSelectProfile::CreateNew));
}

void TestProfileDialogs::modalDialogs()
{
    test::ScriptedPrompts prompts;
    const StaticProfileLookups l = lookups();
    WidgetProfileDialogs dialogs(prompts, l);

    whenModal([](QWidget *w) {
        auto *dlg = qobject_cast<TFrmUserInfo *>(w);
        QVERIFY(dlg);
        dlg->form()->edtISP->setCurrentIndex(0);
        dlg->form()->edtConnectionType->setCurrentIndex(1);
        dlg->form()->BitBtn1->click();
    });
    const std::optional<UserInput> user = dialogs.UserInfo(facts(), QStringLiteral("DE"));
    QVERIFY(user);
    QCOMPARE(user->profile.country, QStringLiteral("GERMANY"));
    QCOMPARE(user->profile.connectionTypeId, 4);

    whenModal([](QWidget *w) { qobject_cast<TFrmUserInfo *>(w)->form()->BitBtn2->click(); });
    QVERIFY(!dialogs.UserInfo(facts(), QStringLiteral("US")));

    whenModal([](QWidget *w) {
        auto *dlg = qobject_cast<TFrmProfileInfo *>(w);
        QVERIFY(dlg);
        dlg->reject(); // refused in this mode
        QVERIFY(dlg->isVisible());
        dlg->form()->edtProfileName->setText(QStringLiteral(" Café "));
        dlg->form()->edtISP->setCurrentIndex(1);
        dlg->form()->edtConnectionType->setCurrentIndex(0);
        dlg->form()->btnOk->click();
    });
    const ProfileInput created = dialogs.NewProfile(facts(), {QStringLiteral("Home")});
    QCOMPARE(created.name, QStringLiteral("Café"));
    QCOMPARE(created.ispId, 8);

    whenModal([](QWidget *w) { qobject_cast<TFrmProfileInfo *>(w)->form()->btnCancel->click(); });
    QVERIFY(!dialogs.EditProfile(QStringLiteral("Home"), facts(), ProfileValues{}));

    whenModal([](QWidget *w) {
        auto *dlg = qobject_cast<TFrmSelectProfile *>(w);
        QVERIFY(dlg);
        dlg->form()->lbxProfiles->setCurrentRow(0);
        dlg->form()->btnSelect->click();
    });
    SelectProfileResult chosen = dialogs.SelectProfile(QStringLiteral("heading"), {QStringLiteral("Work")});
    QCOMPARE(chosen.choice, SelectProfileResult::Select);
    QCOMPARE(chosen.name, QStringLiteral("Work"));

    whenModal([](QWidget *w) { qobject_cast<TFrmSelectProfile *>(w)->form()->btnCancel->click(); });
    chosen = dialogs.SelectProfile(QStringLiteral("heading"), {QStringLiteral("Work")});
    QCOMPARE(chosen.choice, SelectProfileResult::Cancel);
    QCOMPARE(prompts.asked().size(), 0);
}

QTEST_MAIN(TestProfileDialogs)
#include "tst_profiledialogs.moc"

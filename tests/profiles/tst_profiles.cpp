#include "ConfigFile.h"
#include "FakeComputerInfo.h"
#include "ProfileDialogs.h"
#include "ProfileRules.h"
#include "ProfileService.h"
#include "ScriptedPrompts.h"
#include "TestEnvironment.h"
#include "UserProfiles.h"

#include <QFile>
#include <QTest>

using namespace vq;

namespace {

// The central service as far as registration and the profile check use it: answers from the
// test, every call recorded, and failures on demand.
class FakeProfileService : public IProfileService
{
public:
    enum class Fail { None, Unreachable, Fault };

    QString GetIPAddress() override
    {
        calls.append(QStringLiteral("GetIPAddress"));
        fail(getIPAddressFails);
        return externalAddress;
    }
    int SaveUser(const QString &ProcessorType, const QString &ProcessorSpeed, const QString &OS,
                 const QString &OSVersion, const QString &SysManufacturer, const QString &SysModel) override
    {
        calls.append(QStringLiteral("SaveUser"));
        saveUserArgs = {ProcessorType, ProcessorSpeed, OS, OSVersion, SysManufacturer, SysModel};
        fail(saveUserFails);
        return nextUserId;
    }
    int SaveProfile(int ProfileId, int UserId, const QString &MacAddress, const QString &Name_,
                    const QString &IPAddress, int ISPId, const QString &ZipCode, const QString &State,
                    const QString &Country, int TimeZone, const QString &SatisfactionLevel,
                    const QString &ContractSpeed, int ConnectionTypeId) override
    {
        calls.append(QStringLiteral("SaveProfile"));
        saveProfileArgs = {ProfileId, UserId, MacAddress, Name_, IPAddress, ISPId, ZipCode, State, Country,
                           TimeZone, SatisfactionLevel, ContractSpeed, ConnectionTypeId};
        fail(saveProfileFails);
        return ProfileId != 0 ? ProfileId : nextProfileId;
    }

    QString externalAddress = QStringLiteral("192.168.1.5");
    int nextUserId = 41;
    int nextProfileId = 100;
    Fail getIPAddressFails = Fail::None;
    Fail saveUserFails = Fail::None;
    Fail saveProfileFails = Fail::None;
    QStringList calls;
    QStringList saveUserArgs;
    QVariantList saveProfileArgs;

private:
    static void fail(Fail how)
    {
        if (how == Fail::Unreachable)
            throw EServiceUnreachable(QStringLiteral("Connection refused"));
        if (how == Fail::Fault) // what a SOAP fault looks like to this code: any other error
            throw Error(QStringLiteral("Server was unable to process request."));
    }
};

// The dialogs, answered by the test; what they were shown is recorded.
class FakeProfileDialogs : public IProfileDialogs
{
public:
    std::optional<UserInput> UserInfo(const ComputerFacts &facts, const QString &countryCode) override
    {
        shown.append(QStringLiteral("UserInfo"));
        lastFacts = facts;
        lastCountry = countryCode;
        return userInput;
    }
    ProfileInput NewProfile(const ComputerFacts &facts, const QStringList &existingNames) override
    {
        shown.append(QStringLiteral("NewProfile"));
        lastFacts = facts;
        lastExisting = existingNames;
        return newProfile;
    }
    std::optional<ProfileInput> EditProfile(const QString &name, const ComputerFacts &facts,
                                            const ProfileValues &stored) override
    {
        shown.append(QStringLiteral("EditProfile"));
        lastFacts = facts;
        lastEditName = name;
        lastStored = stored;
        return editResult;
    }
    SelectProfileResult SelectProfile(const QString &heading, const QStringList &names) override
    {
        shown.append(QStringLiteral("SelectProfile"));
        lastHeading = heading;
        lastNames = names;
        return selectResult;
    }

    QStringList shown;
    ComputerFacts lastFacts;
    std::optional<UserInput> userInput;
    QString lastCountry;
    ProfileInput newProfile;
    QStringList lastExisting;
    std::optional<ProfileInput> editResult;
    QString lastEditName;
    ProfileValues lastStored;
    SelectProfileResult selectResult;
    QString lastHeading;
    QStringList lastNames;
};

ProfileInput someProfile(const QString &name = QString(), const QString &ip = QStringLiteral("192.168.1.5"))
{
    ProfileInput p;
    p.name = name;
    p.macAddress = QStringLiteral("54-E1-AD-AA-BB-CC");
    p.ipAddress = ip;
    p.ispId = 7;
    p.zipCode = QStringLiteral("10115");
    p.state = QStringLiteral("--");
    p.country = QStringLiteral("GERMANY");
    p.satisfaction = QStringLiteral("Satisfied");
    p.contractedSpeed = QStringLiteral("16 Mbps");
    p.connectionTypeId = 3;
    return p;
}

// The raw lines of a section of a file, in file order, without blank lines.
QStringList sectionLines(const QString &fileName, const QString &section)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    bool inside = false;
    for (const QByteArray &raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            inside = line == u'[' + section + u']';
            continue;
        }
        if (inside && !line.isEmpty())
            lines.append(line);
    }
    return lines;
}

QByteArray fileBytes(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

const QString kConnectionMessage = QStringLiteral("Error connecting to the server\r\n"
                                                  "Please, verify if you have an internet connection\r\n"
                                                  "Veloqua will terminate");

// One program run's worth of profile state with fakes around it.
struct World {
    World()
        : file(env.configFile())
        , profiles(ProfileFields{FUserId, FProfileId, FProfileAddress, FExternalAddress, FMacAddress, FTimeZoneBias},
                   service, dialogs, prompts, computer, file)
    {
        profiles.setTerminate([this] { ++terminated; });
        profiles.setHostNameLookup([](const QString &address) {
            return address.isEmpty() ? QString() : QStringLiteral("host-") + address;
        });
    }

    void writeConfig(const QByteArray &content) { env.writeConfig(QStringLiteral("veloqua"), content); }
    ConfigFile config() const { return ConfigFile(file); }
    QStringList messages() const
    {
        QStringList texts;
        for (const auto &a : prompts.asked())
            texts.append(a.text);
        return texts;
    }

    test::TestEnvironment env;
    QString file;
    int FUserId = -1;
    int FProfileId = -1;
    QString FProfileAddress;
    QString FExternalAddress = QStringLiteral("192.168.1.5");
    QString FMacAddress = QStringLiteral("54-E1-AD-AA-BB-CC");
    int FTimeZoneBias = -60;
    FakeProfileService service;
    FakeProfileDialogs dialogs;
    test::ScriptedPrompts prompts;
    test::FakeComputerInfo computer;
    int terminated = 0;
    UserProfiles profiles;
};

// A registered user with two profiles, "Home" active.
const QByteArray kTwoProfiles = "[UserInfo]\n"
                                "UserId=41\n"
                                "LastProfile=Home\n"
                                "[Profiles]\n"
                                "Home=100\n"
                                "Work=101\n"
                                "[PrfHome]\n"
                                "MacAddress=54-E1-AD-AA-BB-CC\n"
                                "IPAddress=192.168.1.5\n"
                                "ISPId=7\n"
                                "ZipCode=10115\n"
                                "State=--\n"
                                "Country=GERMANY\n"
                                "TimeZone=-60\n"
                                "Satisfaction=Satisfied\n"
                                "Speed=16 Mbps\n"
                                "ConnectionId=3\n"
                                "[PrfWork]\n"
                                "IPAddress=10.20.1.1\n"
                                "ISPId=9\n";

} // namespace

class TestProfiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameNetwork_data();
    void sameNetwork();
    void contractedSpeed_data();
    void contractedSpeed();
    void profileNames_data();
    void profileNames();
    void hostNameOfLoopback();

    void storeProfileWritesTheTenKeysInOrder();
    void storeProfileFailureLeavesTheFileUntouched_data();
    void storeProfileFailureLeavesTheFileUntouched();
    void storeProfileRefusesAnUnstorableName();
    void nonAsciiNamesRoundTrip();

    void firstRunRegisters();
    void firstRunCancelled();
    void userIdButNoLastProfileRegistersAgain();
    void startUpChecksTheActiveProfile();
    void serviceUnreachableAtStartUp_data();
    void serviceUnreachableAtStartUp();
    void soapFaultIsNotCaught();

    void networkChangePicksAnExistingProfile();
    void networkChangeWithoutMatchCreatesAProfile();
    void createNewFromTheChooser();
    void chooserCancelled();
    void chooserCancelledAtStartUp();
    void laterCheckWithServiceDown();

    void editProfile();
    void editProfileCancelledOrServiceDown();
};

void TestProfiles::sameNetwork_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("same /16") << "192.168.1.5" << "192.168.77.3" << true;
    QTest::newRow("second field differs in length") << "10.10.1.1" << "10.100.1.1" << false;
    QTest::newRow("second field prefix") << "10.1.2.3" << "10.12.0.1" << false;
    QTest::newRow("first field differs") << "11.1.2.3" << "10.1.2.3" << false;
    QTest::newRow("identical") << "83.12.0.1" << "83.12.0.1" << true;
    QTest::newRow("texts, not numbers") << "10.01.1.1" << "10.1.1.1" << false;
    QTest::newRow("two fields only") << "10.1" << "10.1.9.9" << true;
    QTest::newRow("no dot: empty first field") << "abc" << ".abc" << true;
    QTest::newRow("empty and address") << "" << "10.1.1.1" << false;
    QTest::newRow("both empty") << "" << "" << true;
}

void TestProfiles::sameNetwork()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    QCOMPARE(SameNetwork(a, b), same);
    QCOMPARE(SameNetwork(b, a), same);
}

void TestProfiles::contractedSpeed_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<bool>("joinsBack"); // the program's own texts split and join back to themselves
    QTest::newRow("kilobits") << "512 Kbps" << "512 " << "Kbps" << true;
    QTest::newRow("megabits") << "2 Mbps" << "2 " << "Mbps" << true;
    QTest::newRow("fraction") << "1.5 Mbps" << "1.5 " << "Mbps" << true;
    QTest::newRow("no unit: as typed") << "512" << "512" << "" << false;
    QTest::newRow("no blank") << "10Mbps" << "10" << "Mbps" << false;
    QTest::newRow("other letter counts as K") << "9600 bps" << "9600" << "Kbps" << false;
    QTest::newRow("unit alone") << "Mbps" << "" << "Mbps" << false;
    QTest::newRow("bps at the start") << "bps" << "" << "Kbps" << false;
    QTest::newRow("empty") << "" << "" << "" << false;
    QTest::newRow("case matters") << "512 KBPS" << "512 KBPS" << "" << false;
    QTest::newRow("first bps counts") << "1 Mbps 2 Kbps" << "1 " << "Mbps" << false;
}

void TestProfiles::contractedSpeed()
{
    QFETCH(QString, stored);
    QFETCH(QString, number);
    QFETCH(QString, unit);
    QFETCH(bool, joinsBack);
    const ContractedSpeed split = SplitContractedSpeed(stored);
    QCOMPARE(split.number, number);
    QCOMPARE(split.unit, unit);
    if (joinsBack)
        QCOMPARE(ContractedSpeedText(split.number, split.unit), stored);
}

void TestProfiles::profileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("problem"); // a part of the message; empty: accepted
    QTest::newRow("plain") << "Default" << "";
    QTest::newRow("blanks inside") << "Home office" << "";
    QTest::newRow("non-ASCII") << "Büro Zürich" << "";
    QTest::newRow("CJK") << "自宅" << "";
    QTest::newRow("semicolon inside") << "a;b" << "";
    QTest::newRow("empty") << "" << "Please, fill the Profile name";
    QTest::newRow("blanks only") << "   " << "Please, fill the Profile name";
    QTest::newRow("equals sign") << "a=b" << "cannot contain";
    QTest::newRow("opening bracket") << "[x" << "cannot contain";
    QTest::newRow("closing bracket") << "x]" << "cannot contain";
    QTest::newRow("line feed") << "a\nb" << "cannot contain";
    QTest::newRow("carriage return") << "a\rb" << "cannot contain";
    QTest::newRow("leading blank") << " x" << "begin or end with a blank";
    QTest::newRow("trailing blank") << "x " << "begin or end with a blank";
    QTest::newRow("comment mark first") << ";x" << "cannot begin with";
    QTest::newRow("the chooser's cancel text") << "#cancel#" << "reserved";
}

void TestProfiles::profileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, problem);
    const QString message = ProfileNameProblem(name);
    if (problem.isEmpty())
        QCOMPARE(message, QString());
    else
        QVERIFY2(message.contains(problem), qPrintable(message));
}

void TestProfiles::hostNameOfLoopback()
{
    QCOMPARE(HostNameOfAddress(QStringLiteral("not an address")), QString());
    QCOMPARE(HostNameOfAddress(QString()), QString());
    // The name /etc/hosts gives 127.0.0.1, so that the lookup never leaves this machine.
    QFile hosts(QStringLiteral("/etc/hosts"));
    QString expected;
    if (hosts.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : hosts.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() >= 2 && f.at(0) == "127.0.0.1") {
                expected = QString::fromUtf8(f.at(1));
                break;
            }
        }
    }
    if (expected.isEmpty())
        QSKIP("/etc/hosts names no host for 127.0.0.1");
    QCOMPARE(HostNameOfAddress(QStringLiteral("127.0.0.1")), expected);
}

void TestProfiles::storeProfileWritesTheTenKeysInOrder()
{
    World w;
    w.FUserId = 41;
    // An older section with another order and a stray key is replaced whole.
    w.writeConfig("[PrfHome]\nSpeed=1 Kbps\nStray=1\nMacAddress=old\n");
    const int id = w.profiles.StoreProfile(QStringLiteral("Home"), 0, QStringLiteral("54-E1-AD-AA-BB-CC"),
                                           QStringLiteral("192.168.1.5"), 7, QStringLiteral("10115"),
                                           QStringLiteral("--"), QStringLiteral("GERMANY"), -60,
                                           QStringLiteral("Satisfied"), QStringLiteral("16 Mbps"), 3);
    QCOMPARE(id, 100);
    QCOMPARE(w.service.saveProfileArgs,
             (QVariantList{0, 41, "54-E1-AD-AA-BB-CC", "Home", "192.168.1.5", 7, "10115", "--", "GERMANY", -60,
                           "Satisfied", "16 Mbps", 3}));
    QCOMPARE(sectionLines(w.file, QStringLiteral("PrfHome")),
             (QStringList{"MacAddress=54-E1-AD-AA-BB-CC", "IPAddress=192.168.1.5", "ISPId=7", "ZipCode=10115",
                          "State=--", "Country=GERMANY", "TimeZone=-60", "Satisfaction=Satisfied", "Speed=16 Mbps",
                          "ConnectionId=3"}));
    QCOMPARE(sectionLines(w.file, QStringLiteral("Profiles")), QStringList{"Home=100"});
    QCOMPARE(w.config().Read(cfg::LastProfile), QStringLiteral("Home"));
}

void TestProfiles::storeProfileFailureLeavesTheFileUntouched_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("service unreachable") << int(FakeProfileService::Fail::Unreachable);
    QTest::newRow("service fault") << int(FakeProfileService::Fail::Fault);
}

void TestProfiles::storeProfileFailureLeavesTheFileUntouched()
{
    QFETCH(int, how);
    World w;
    w.writeConfig(kTwoProfiles);
    const QByteArray before = fileBytes(w.file);
    w.service.saveProfileFails = FakeProfileService::Fail(how);
    QVERIFY_THROWS_EXCEPTION(Error,
                             w.profiles.StoreProfile(QStringLiteral("Cafe"), 0, {}, QStringLiteral("1.2.3.4"), 1, {},
                                                     {}, QStringLiteral("GERMANY"), 0, {}, {}, 1));
    QCOMPARE(fileBytes(w.file), before);
}

void TestProfiles::storeProfileRefusesAnUnstorableName()
{
    World w;
    try {
        w.profiles.StoreProfile(QStringLiteral("a=b"), 0, {}, {}, 1, {}, {}, {}, 0, {}, {}, 1);
        QFAIL("no exception");
    } catch (const EProfileError &e) {
        QVERIFY(e.message().contains(QStringLiteral("cannot contain")));
    }
    QVERIFY(w.service.calls.isEmpty());
    QCOMPARE(fileBytes(w.file), QByteArray("<absent>"));
}

void TestProfiles::nonAsciiNamesRoundTrip()
{
    World w;
    w.writeConfig("[UserInfo]\nUserId=41\n");
    w.FUserId = 41;
    const QStringList names{QStringLiteral("Büro Zürich"), QStringLiteral("自宅"), QStringLiteral("Ärger")};
    for (const QString &name : names) {
        ++w.service.nextProfileId;
        w.profiles.StoreProfile(name, 0, {}, QStringLiteral("192.168.1.5"), 1, {}, {}, QStringLiteral("GERMANY"), 0,
                                {}, QStringLiteral("1 Mbps"), 2);
    }
    const ConfigFile config = w.config();
    QCOMPARE(UserProfiles::ProfileNames(config), names);
    QCOMPARE(config.ReadInteger(QStringLiteral("Profiles"), names.at(0), -1), 101);
    QCOMPARE(UserProfiles::ReadProfile(config, names.at(1)).speed, QStringLiteral("1 Mbps"));
    QCOMPARE(config.Read(cfg::LastProfile), names.at(2));

    // The next start finds the active profile by its name.
    World next;
    next.writeConfig(fileBytes(w.file));
    QVERIFY(next.profiles.StartUp());
    QCOMPARE(next.FProfileId, 103);
    QCOMPARE(next.FProfileAddress, QStringLiteral("192.168.1.5"));
    QVERIFY(next.dialogs.shown.isEmpty());
}

void TestProfiles::firstRunRegisters()
{
    World w;
    w.computer.computerName = QStringLiteral("laptop");
    UserInput input;
    input.processorName = QStringLiteral("Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz");
    input.processorSpeed = QStringLiteral("1800");
    input.os = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    input.osVersion = QStringLiteral(" Build 6.1.0 #1");
    input.manufacturer = QStringLiteral("ACME");
    input.model = QString();
    input.profile = someProfile();
    w.dialogs.userInput = input;

    QVERIFY(w.profiles.StartUp());

    // The dialog was filled from the computer and the main window's values.
    const ComputerFacts &f = w.dialogs.lastFacts;
    QCOMPARE(f.processorName, QStringLiteral("Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz"));
    QCOMPARE(f.processorSpeed, QStringLiteral("1800"));
    QCOMPARE(f.osName, QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
    QCOMPARE(f.osVersion, QStringLiteral(" Build 6.1.0 #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1"));
    QCOMPARE(f.macAddress, QStringLiteral("54-E1-AD-AA-BB-CC"));
    QCOMPARE(f.machineName, QStringLiteral("laptop"));
    QCOMPARE(f.ipAddress, QStringLiteral("192.168.1.5"));
    QCOMPARE(f.timeZoneBias, -60);
    QCOMPARE(w.dialogs.lastCountry, QStringLiteral("US"));

    QCOMPARE(w.service.calls, (QStringList{"SaveUser", "SaveProfile"}));
    QCOMPARE(w.service.saveUserArgs,
             (QStringList{input.processorName, "1800", input.os, input.osVersion, "ACME", ""}));
    QCOMPARE(w.service.saveProfileArgs,
             (QVariantList{0, 41, "54-E1-AD-AA-BB-CC", "Default", "192.168.1.5", 7, "10115", "--", "GERMANY", -60,
                           "Satisfied", "16 Mbps", 3}));
    QCOMPARE(w.FUserId, 41);
    QCOMPARE(w.FProfileId, 100);
    QCOMPARE(w.FProfileAddress, QStringLiteral("192.168.1.5"));
    const ConfigFile config = w.config();
    QCOMPARE(config.Read(cfg::UserId), 41);
    QCOMPARE(config.Read(cfg::LastProfile), QStringLiteral("Default"));
    QCOMPARE(UserProfiles::ProfileNames(config), QStringList{"Default"});
    QCOMPARE(w.prompts.asked().size(), 0);
    QCOMPARE(w.terminated, 0);
}

void TestProfiles::firstRunCancelled()
{
    World w;
    w.prompts.answerButton(MsgButton::Ok);
    QVERIFY(!w.profiles.StartUp());
    QCOMPARE(w.messages(), QStringList{"You must fill the data in the first run.\r\n"
                                       "Veloqua cannot run until you fill the data.\r\n"
                                       "Veloqua will terminate"});
    QCOMPARE(w.prompts.asked().at(0).icon, MsgIcon::Error);
    QCOMPARE(w.terminated, 1);
    QCOMPARE(w.profiles.LastFailure(), UserProfiles::Failure::RegistrationRefused);
    QVERIFY(w.service.calls.isEmpty());
    QCOMPARE(fileBytes(w.file), QByteArray("<absent>"));
}

void TestProfiles::userIdButNoLastProfileRegistersAgain()
{
    World w;
    w.writeConfig("[UserInfo]\nUserId=7\n[Profiles]\nDefault=3\n[PrfDefault]\nIPAddress=10.0.0.1\nStray=x\n");
    UserInput input;
    input.profile = someProfile();
    w.dialogs.userInput = input;
    w.service.nextUserId = 8;
    w.service.nextProfileId = 4;

    QVERIFY(w.profiles.StartUp());
    QCOMPARE(w.service.calls, (QStringList{"SaveUser", "SaveProfile"}));
    QCOMPARE(w.service.saveProfileArgs.at(0), QVariant(0)); // a new profile, not the old one
    const ConfigFile config = w.config();
    QCOMPARE(config.Read(cfg::UserId), 8);
    QCOMPARE(config.ReadInteger(QStringLiteral("Profiles"), QStringLiteral("Default"), -1), 4);
    QCOMPARE(sectionLines(w.file, QStringLiteral("PrfDefault")).size(), 10); // replaced whole
    QCOMPARE(UserProfiles::ReadProfile(config, QStringLiteral("Default")).ipAddress, QStringLiteral("192.168.1.5"));
}

void TestProfiles::startUpChecksTheActiveProfile()
{
    World w;
    w.writeConfig(kTwoProfiles);
    w.service.externalAddress = QStringLiteral("192.168.200.9"); // same network as Home
    QVERIFY(w.profiles.StartUp());
    QCOMPARE(w.FUserId, 41);
    QCOMPARE(w.FProfileId, 100);
    QCOMPARE(w.FProfileAddress, QStringLiteral("192.168.1.5"));
    QCOMPARE(w.FExternalAddress, QStringLiteral("192.168.200.9"));
    QCOMPARE(w.service.calls, QStringList{"GetIPAddress"});
    QVERIFY(w.dialogs.shown.isEmpty());
    QCOMPARE(w.prompts.asked().size(), 0);
}

void TestProfiles::serviceUnreachableAtStartUp_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("failingCall");
    QTest::newRow("registering the user") << QByteArray() << "SaveUser";
    QTest::newRow("storing the first profile") << QByteArray() << "SaveProfile";
    QTest::newRow("checking the profile") << kTwoProfiles << "GetIPAddress";
}

void TestProfiles::serviceUnreachableAtStartUp()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, failingCall);
    World w;
    if (!config.isEmpty())
        w.writeConfig(config);
    UserInput input;
    input.profile = someProfile();
    w.dialogs.userInput = input;
    if (failingCall == QLatin1String("SaveUser"))
        w.service.saveUserFails = FakeProfileService::Fail::Unreachable;
    else if (failingCall == QLatin1String("SaveProfile"))
        w.service.saveProfileFails = FakeProfileService::Fail::Unreachable;
    else
        w.service.getIPAddressFails = FakeProfileService::Fail::Unreachable;
    w.prompts.answerButton(MsgButton::Ok);

    QVERIFY(!w.profiles.StartUp());
    QCOMPARE(w.messages(), QStringList{kConnectionMessage});
    QCOMPARE(w.prompts.asked().at(0).icon, MsgIcon::Error);
    QCOMPARE(w.terminated, 1);
    QCOMPARE(w.profiles.LastFailure(), UserProfiles::Failure::ServiceUnreachable);
    QVERIFY(!w.config().SectionExists(QStringLiteral("PrfDefault")));
}

void TestProfiles::soapFaultIsNotCaught()
{
    World w;
    w.writeConfig(kTwoProfiles);
    w.service.getIPAddressFails = FakeProfileService::Fail::Fault;
    QVERIFY_THROWS_EXCEPTION(Error, w.profiles.StartUp());
    QCOMPARE(w.prompts.asked().size(), 0);
    QCOMPARE(w.terminated, 0);
}

void TestProfiles::networkChangePicksAnExistingProfile()
{
    World w;
    w.writeConfig(kTwoProfiles);
    QVERIFY(w.profiles.StartUp());
    w.service.externalAddress = QStringLiteral("10.20.99.7");
    w.dialogs.selectResult = {SelectProfileResult::Select, QStringLiteral("Work")};

    QVERIFY(w.profiles.CheckProfile());
    QCOMPARE(w.dialogs.lastHeading,
             QStringLiteral("Your external machine name has changed from host-192.168.1.5 to host-10.20.99.7"));
    QCOMPARE(w.dialogs.lastNames, QStringList{"Work"});
    QCOMPARE(w.FProfileId, 101);
    QCOMPARE(w.FProfileAddress, QStringLiteral("10.20.1.1"));
    QCOMPARE(w.FExternalAddress, QStringLiteral("10.20.99.7"));
    QCOMPARE(w.config().Read(cfg::LastProfile), QStringLiteral("Work"));
    QVERIFY(!w.service.calls.contains(QStringLiteral("SaveProfile")));
    QCOMPARE(w.prompts.asked().size(), 0);
}

void TestProfiles::networkChangeWithoutMatchCreatesAProfile()
{
    World w;
    w.writeConfig(kTwoProfiles);
    QVERIFY(w.profiles.StartUp());
    w.service.externalAddress = QStringLiteral("172.16.0.9");
    w.dialogs.newProfile = someProfile(QStringLiteral("Café"), QStringLiteral("172.16.0.9"));
    w.prompts.answerButton(MsgButton::Ok);

    QVERIFY(w.profiles.CheckProfile());
    QCOMPARE(w.messages(),
             QStringList{"Your external machine name has changed from host-192.168.1.5 to host-172.16.0.9\r"
                         "There was not found an existing profile for your current IP\r\n"
                         "A new one will be created"});
    QCOMPARE(w.prompts.asked().at(0).icon, MsgIcon::Information);
    QCOMPARE(w.dialogs.shown, QStringList{"NewProfile"});
    QCOMPARE(w.dialogs.lastExisting, (QStringList{"Home", "Work"}));
    QCOMPARE(w.dialogs.lastFacts.ipAddress, QStringLiteral("172.16.0.9"));
    QCOMPARE(w.service.saveProfileArgs.at(0), QVariant(0));
    QCOMPARE(w.service.saveProfileArgs.at(3), QVariant("Café"));
    QCOMPARE(w.service.saveProfileArgs.at(9), QVariant(-60)); // the bias of this run
    QCOMPARE(w.FProfileId, 100);
    QCOMPARE(w.FProfileAddress, QStringLiteral("172.16.0.9"));
    const ConfigFile config = w.config();
    QCOMPARE(config.Read(cfg::LastProfile), QStringLiteral("Café"));
    QCOMPARE(UserProfiles::ProfileNames(config), (QStringList{"Home", "Work", "Café"}));
}

void TestProfiles::createNewFromTheChooser()
{
    World w;
    w.writeConfig(kTwoProfiles);
    QVERIFY(w.profiles.StartUp());
    w.service.externalAddress = QStringLiteral("10.20.5.5");
    w.dialogs.selectResult = {SelectProfileResult::CreateNew, QString()};
    w.dialogs.newProfile = someProfile(QStringLiteral("Office 2"), QStringLiteral("10.20.5.5"));
    QVERIFY(w.profiles.CheckProfile());
    QCOMPARE(w.dialogs.shown, (QStringList{"SelectProfile", "NewProfile"}));
    QCOMPARE(w.config().Read(cfg::LastProfile), QStringLiteral("Office 2"));
    QCOMPARE(w.FProfileAddress, QStringLiteral("10.20.5.5"));
}

void TestProfiles::chooserCancelled()
{
    World w;
    w.writeConfig(kTwoProfiles);
    QVERIFY(w.profiles.StartUp());
    w.service.externalAddress = QStringLiteral("10.20.5.5");
    w.dialogs.selectResult = {SelectProfileResult::Cancel, QString()};
    w.prompts.answerButton(MsgButton::Ok);

    QVERIFY(!w.profiles.CheckProfile());
    QCOMPARE(w.messages(), QStringList{"Veloqua cannot continue without a valid profile\r\n"
                                       "The application will be terminated"});
    QCOMPARE(w.prompts.asked().at(0).icon, MsgIcon::Error);
    QCOMPARE(w.terminated, 1);
    QCOMPARE(w.profiles.LastFailure(), UserProfiles::Failure::ProfileRefused);
    QCOMPARE(w.FProfileId, 100);
    QCOMPARE(w.config().Read(cfg::LastProfile), QStringLiteral("Home"));
}

void TestProfiles::chooserCancelledAtStartUp()
{
    World w;
    w.writeConfig(kTwoProfiles);
    w.service.externalAddress = QStringLiteral("10.20.5.5");
    w.dialogs.selectResult = {SelectProfileResult::Cancel, QString()};
    w.prompts.answerButton(MsgButton::Ok);
    QVERIFY(!w.profiles.StartUp());
    // One message: the refusal is not reported as a connection failure as well.
    QCOMPARE(w.prompts.asked().size(), 1);
    QVERIFY(w.prompts.asked().at(0).text.startsWith(QStringLiteral("Veloqua cannot continue")));
}

void TestProfiles::laterCheckWithServiceDown()
{
    World w;
    w.writeConfig(kTwoProfiles);
    QVERIFY(w.profiles.StartUp());

    w.service.getIPAddressFails = FakeProfileService::Fail::Unreachable;
    QVERIFY(!w.profiles.CheckProfile());
    QCOMPARE(w.profiles.LastFailure(), UserProfiles::Failure::ServiceUnreachable);

    // Down again while the new profile is stored: nothing of it is kept.
    w.service.getIPAddressFails = FakeProfileService::Fail::None;
    w.service.saveProfileFails = FakeProfileService::Fail::Unreachable;
    w.service.externalAddress = QStringLiteral("172.16.0.9");
    w.dialogs.newProfile = someProfile(QStringLiteral("Cafe"), QStringLiteral("172.16.0.9"));
    w.prompts.answerButton(MsgButton::Ok); // the "no profile found" information
    const QByteArray before = fileBytes(w.file);
    QVERIFY(!w.profiles.CheckProfile());
    QCOMPARE(w.profiles.LastFailure(), UserProfiles::Failure::ServiceUnreachable);
    QCOMPARE(fileBytes(w.file), before);
    QCOMPARE(w.FProfileId, 100);
    QCOMPARE(w.FProfileAddress, QStringLiteral("192.168.1.5"));
    QCOMPARE(w.terminated, 0);
    QCOMPARE(w.prompts.asked().size(), 1); // no message of its own: the caller says what failed
}

void TestProfiles::editProfile()
{
    World w;
    w.writeConfig(kTwoProfiles);
    QVERIFY(w.profiles.StartUp());
    w.FExternalAddress = QStringLiteral("192.168.9.9");
    ProfileInput edited = someProfile(QStringLiteral("Home"), QStringLiteral("192.168.9.9"));
    edited.contractedSpeed = QStringLiteral("50 Mbps");
    edited.ispId = 8;
    w.dialogs.editResult = edited;

    QVERIFY(w.profiles.EditProfile());
    QCOMPARE(w.dialogs.lastEditName, QStringLiteral("Home"));
    QCOMPARE(w.dialogs.lastStored.ispId, 7);
    QCOMPARE(w.dialogs.lastStored.speed, QStringLiteral("16 Mbps"));
    QCOMPARE(w.dialogs.lastStored.country, QStringLiteral("GERMANY"));
    QCOMPARE(w.dialogs.lastFacts.ipAddress, QStringLiteral("192.168.9.9"));
    QCOMPARE(w.service.saveProfileArgs.at(0), QVariant(100)); // the service updates that profile
    QCOMPARE(w.service.saveProfileArgs.at(3), QVariant("Home"));
    const ProfileValues stored = UserProfiles::ReadProfile(w.config(), QStringLiteral("Home"));
    QCOMPARE(stored.ipAddress, QStringLiteral("192.168.9.9"));
    QCOMPARE(stored.speed, QStringLiteral("50 Mbps"));
    QCOMPARE(stored.ispId, 8);
    QCOMPARE(w.FProfileId, 100);
    QCOMPARE(w.FProfileAddress, QStringLiteral("192.168.1.5")); // unchanged by editing

    // A profile section without the ids gives none to preselect.
    QCOMPARE(UserProfiles::ReadProfile(w.config(), QStringLiteral("Work")).connectionId, -1);
    QCOMPARE(UserProfiles::ReadProfile(w.config(), QStringLiteral("Nowhere")).ispId, -1);
}

void TestProfiles::editProfileCancelledOrServiceDown()
{
    World w;
    w.writeConfig(kTwoProfiles);
    QVERIFY(w.profiles.StartUp());
    const QByteArray before = fileBytes(w.file);

    QVERIFY(!w.profiles.EditProfile()); // cancelled
    QCOMPARE(fileBytes(w.file), before);
    QVERIFY(!w.service.calls.contains(QStringLiteral("SaveProfile")));

    w.dialogs.editResult = someProfile(QStringLiteral("Home"));
    w.service.saveProfileFails = FakeProfileService::Fail::Unreachable;
    w.prompts.answerButton(MsgButton::Ok);
    QVERIFY(!w.profiles.EditProfile());
    QCOMPARE(w.messages(), QStringList{"Error connecting to the server."});
    QCOMPARE(fileBytes(w.file), before);
}

QTEST_GUILESS_MAIN(TestProfiles)
#include "tst_profiles.moc"

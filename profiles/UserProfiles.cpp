#include "UserProfiles.h"

#include "ComputerInfo.h"
#include "ConfigFile.h"
#include "ProfileDialogs.h"
#include "ProfileRules.h"
#include "ProfileService.h"
#include "Prompts.h"

namespace vq {

namespace {

QString profilesSection()
{
    return QLatin1String(cfg::section::Profiles);
}

QString profileAddress(const ConfigFile &config, const QString &name)
{
    return config.ReadString(cfg::ProfileSection(name), QLatin1String(cfg::prf::IPAddress), QString());
}

} // namespace

UserProfiles::UserProfiles(ProfileFields fields, IProfileService &service, IProfileDialogs &dialogs,
                           IPrompts &prompts, const platform::ComputerInfo &computer, const QString &configFileName)
    : m_f(fields)
    , m_service(service)
    , m_dialogs(dialogs)
    , m_prompts(prompts)
    , m_computer(computer)
    , m_configFileName(configFileName)
    , m_hostNameOf(HostNameOfAddress)
{
}

void UserProfiles::terminate()
{
    if (m_terminate)
        m_terminate();
}

ComputerFacts UserProfiles::facts() const
{
    const platform::ProcessorInfo cpu = m_computer.Processor();
    const platform::OSInfo os = m_computer.OS();
    ComputerFacts f;
    f.processorName = cpu.name.trimmed();
    f.processorSpeed = QString::number(cpu.normFreqMHz);
    f.osName = os.productName;
    f.osVersion = platform::OSVersionText(os);
    f.macAddress = m_f.FMacAddress;
    f.machineName = m_computer.ComputerName();
    f.ipAddress = m_f.FExternalAddress;
    f.timeZoneBias = m_f.FTimeZoneBias;
    return f;
}

QStringList UserProfiles::ProfileNames(const ConfigFile &config)
{
    return config.ReadSection(profilesSection());
}

QStringList UserProfiles::ProfilesInNetwork(const ConfigFile &config, const QString &address)
{
    QStringList marked;
    for (const QString &name : ProfileNames(config)) {
        if (SameNetwork(address, profileAddress(config, name)))
            marked.append(name);
    }
    return marked;
}

ProfileValues UserProfiles::ReadProfile(const ConfigFile &config, const QString &name)
{
    const QString section = cfg::ProfileSection(name);
    const auto text = [&](const char *key) { return config.ReadString(section, QLatin1String(key), QString()); };
    const auto number = [&](const char *key, int def) { return config.ReadInteger(section, QLatin1String(key), def); };
    ProfileValues v;
    v.macAddress = text(cfg::prf::MacAddress);
    v.ipAddress = text(cfg::prf::IPAddress);
    v.ispId = number(cfg::prf::ISPId, -1);
    v.zipCode = text(cfg::prf::ZipCode);
    v.state = text(cfg::prf::State);
    v.country = text(cfg::prf::Country);
    v.timeZone = number(cfg::prf::TimeZone, 0);
    v.satisfaction = text(cfg::prf::Satisfaction);
    v.speed = text(cfg::prf::Speed);
    v.connectionId = number(cfg::prf::ConnectionId, -1);
    return v;
}

int UserProfiles::StoreProfile(const QString &name, int profileId, const QString &mac, const QString &ip, int ispId,
                               const QString &zip, const QString &state, const QString &country, int timeZoneBias,
                               const QString &satisfaction, const QString &contractedSpeed, int connectionTypeId)
{
    // Refused before the service hears of it, so no profile exists there that we cannot keep.
    if (const QString problem = ProfileNameProblem(name); !problem.isEmpty())
        throw EProfileError(problem);

    const int id = m_service.SaveProfile(profileId, m_f.FUserId, mac, name, ip, ispId, zip, state, country,
                                         timeZoneBias, satisfaction, contractedSpeed, connectionTypeId);

    ConfigFile config(m_configFileName);
    config.WriteInteger(profilesSection(), name, id);
    config.ReplaceSection(cfg::ProfileSection(name),
                          {{QLatin1String(cfg::prf::MacAddress), mac},
                           {QLatin1String(cfg::prf::IPAddress), ip},
                           {QLatin1String(cfg::prf::ISPId), QString::number(ispId)},
                           {QLatin1String(cfg::prf::ZipCode), zip},
                           {QLatin1String(cfg::prf::State), state},
                           {QLatin1String(cfg::prf::Country), country},
                           {QLatin1String(cfg::prf::TimeZone), QString::number(timeZoneBias)},
                           {QLatin1String(cfg::prf::Satisfaction), satisfaction},
                           {QLatin1String(cfg::prf::Speed), contractedSpeed},
                           {QLatin1String(cfg::prf::ConnectionId), QString::number(connectionTypeId)}});
    config.Write(cfg::LastProfile, name);
    return id;
}

int UserProfiles::storeInput(const QString &name, int profileId, const ProfileInput &input)
{
    return StoreProfile(name, profileId, input.macAddress, input.ipAddress, input.ispId, input.zipCode, input.state,
                        input.country, m_f.FTimeZoneBias, input.satisfaction, input.contractedSpeed,
                        input.connectionTypeId);
}

QString UserProfiles::ChooseProfileForAddress(const QString &address)
{
    const QString oldName = m_hostNameOf(m_f.FProfileAddress);
    const QString newName = m_hostNameOf(address);

    const QStringList marked = ProfilesInNetwork(ConfigFile(m_configFileName), address);

    const QString heading = QStringLiteral("Your external machine name has changed from ") + oldName
                            + QStringLiteral(" to ") + newName;
    if (marked.isEmpty()) {
        m_prompts.information(heading + QStringLiteral("\rThere was not found an existing profile for your current IP")
                              + QStringLiteral("\r\nA new one will be created"));
        return QString();
    }

    const SelectProfileResult chosen = m_dialogs.SelectProfile(heading, marked);
    switch (chosen.choice) {
    case SelectProfileResult::Select:
        return chosen.name;
    case SelectProfileResult::CreateNew:
        return QString();
    case SelectProfileResult::Cancel:
        break;
    }
    return QLatin1String(kCancelProfile);
}

bool UserProfiles::CheckProfile()
{
    m_failure = Failure::None;
    try {
        m_f.FExternalAddress = m_service.GetIPAddress();
        if (SameNetwork(m_f.FProfileAddress, m_f.FExternalAddress))
            return true;

        QString name = ChooseProfileForAddress(m_f.FExternalAddress);
        if (name == QLatin1String(kCancelProfile)) {
            m_prompts.error(QStringLiteral("Veloqua cannot continue without a valid profile\r\n"
                                           "The application will be terminated"));
            m_failure = Failure::ProfileRefused;
            terminate();
            return false;
        }

        if (!name.isEmpty()) {
            const ConfigFile config(m_configFileName);
            m_f.FProfileAddress = profileAddress(config, name);
            m_f.FProfileId = config.ReadInteger(profilesSection(), name, cfg::NoProfileId);
        } else {
            const ProfileInput input = m_dialogs.NewProfile(facts(), ProfileNames(ConfigFile(m_configFileName)));
            m_f.FProfileId = storeInput(input.name, 0, input);
            name = input.name;
            m_f.FProfileAddress = m_f.FExternalAddress;
        }
        ConfigFile(m_configFileName).Write(cfg::LastProfile, name);
        return true;
    } catch (const EServiceUnreachable &) {
        m_failure = Failure::ServiceUnreachable;
        return false;
    }
}

bool UserProfiles::registerUser()
{
    const std::optional<UserInput> input = m_dialogs.UserInfo(facts(), QLatin1String(kDefaultCountryCode));
    if (!input) {
        m_prompts.error(QStringLiteral("You must fill the data in the first run.\r\n"
                                       "Veloqua cannot run until you fill the data.\r\n"
                                       "Veloqua will terminate"));
        m_failure = Failure::RegistrationRefused;
        terminate();
        return false;
    }

    m_f.FUserId = m_service.SaveUser(input->processorName, input->processorSpeed, input->os, input->osVersion,
                                     input->manufacturer, input->model);
    ConfigFile(m_configFileName).Write(cfg::UserId, m_f.FUserId);
    m_f.FProfileId = storeInput(QLatin1String(kDefaultProfile), 0, input->profile);
    m_f.FProfileAddress = input->profile.ipAddress;
    return true;
}

bool UserProfiles::StartUp()
{
    m_failure = Failure::None;
    const ConfigFile config(m_configFileName);
    m_f.FProfileId = cfg::NoProfileId;
    const QString last = config.Read(cfg::LastProfile);
    if (!last.isEmpty())
        m_f.FProfileId = config.ReadInteger(profilesSection(), last, cfg::NoProfileId);
    m_f.FUserId = config.Read(cfg::UserId);

    try {
        if (m_f.FUserId < 0 || m_f.FProfileId < 0)
            return registerUser(); // a refusal has been announced already
        m_f.FProfileAddress = profileAddress(config, last);
        if (CheckProfile())
            return true;
        // The user who refused to pick a profile has been told; no connection message follows.
        if (m_failure == Failure::ProfileRefused)
            return false;
    } catch (const EServiceUnreachable &) {
        m_failure = Failure::ServiceUnreachable;
    }
    m_prompts.error(QStringLiteral("Error connecting to the server\r\n"
                                   "Please, verify if you have an internet connection\r\n"
                                   "Veloqua will terminate"));
    terminate();
    return false;
}

bool UserProfiles::EditProfile()
{
    const ConfigFile config(m_configFileName);
    QString name = config.ReadString(QLatin1String(cfg::section::UserInfo), QLatin1String(cfg::LastProfile.name),
                                     QLatin1String(kDefaultProfile));
    if (name.isEmpty())
        name = QLatin1String(kDefaultProfile);
    const std::optional<ProfileInput> input = m_dialogs.EditProfile(name, facts(), ReadProfile(config, name));
    if (!input)
        return false;
    try {
        m_f.FProfileId = storeInput(name, m_f.FProfileId, *input);
        return true;
    } catch (const EServiceUnreachable &) {
        m_prompts.error(QStringLiteral("Error connecting to the server."));
        return false;
    }
}

} // namespace vq

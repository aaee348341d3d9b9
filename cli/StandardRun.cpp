#include "StandardRun.h"

#include "ConfigFile.h"
#include "ProfileRules.h"
#include "ProfileService.h"
#include "UserProfiles.h"

namespace vq {

std::variant<TActiveProfile, QString> ReadActiveProfile(const ConfigFile &config)
{
    TActiveProfile p;
    p.userId = config.Read(cfg::UserId);
    if (p.userId < 0)
        return QStringLiteral("this computer is not registered yet: start Veloqua once and fill in \"User info\"");
    p.name = config.Read(cfg::LastProfile);
    if (!p.name.isEmpty())
        p.profileId = config.ReadInteger(QLatin1String(cfg::section::Profiles), p.name, cfg::NoProfileId);
    if (p.profileId < 0)
        return QStringLiteral("there is no active profile: start Veloqua, which registers one");
    p.address = UserProfiles::ReadProfile(config, p.name).ipAddress;
    return p;
}

QString HeadlessProfileGate(IProfileService &service, const ConfigFile &config, const TActiveProfile &profile,
                            QString *externalAddress)
{
    const QString address = service.GetIPAddress();
    if (externalAddress)
        *externalAddress = address;
    if (SameNetwork(profile.address, address))
        return QString();
    const QStringList fitting = UserProfiles::ProfilesInNetwork(config, address);
    QString message = QStringLiteral("the external address is now %1, outside the network of the active profile \"%2\" (%3).\n")
                          .arg(address, profile.name, profile.address);
    if (fitting.isEmpty())
        message += QStringLiteral("No profile of this computer fits the new network. ");
    else
        message += QStringLiteral("Profiles for this network: \"%1\". ").arg(fitting.join(QStringLiteral("\", \"")));
    message += QStringLiteral("Start Veloqua to choose or create the profile for this network; nothing was measured or sent.");
    return message;
}

} // namespace vq

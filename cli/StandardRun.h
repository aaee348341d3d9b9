#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace vq {

class ConfigFile;
class IProfileService;

// The desktop program's active profile as its configuration stores it.
struct TActiveProfile {
    int userId = -1;
    QString name;
    int profileId = -1;
    QString address; // the external address the profile was stored with
};

// The active profile, or a message that says why there is none to run under.
std::variant<TActiveProfile, QString> ReadActiveProfile(const ConfigFile &config);

// The profile gate without dialogs: asks the service for the external address and returns an
// empty text when it lies in the active profile's network; otherwise a message that names the
// new address, the profiles that fit it and what to do. Throws EServiceUnreachable, or the
// service's fault.
QString HeadlessProfileGate(IProfileService &service, const ConfigFile &config, const TActiveProfile &profile,
                            QString *externalAddress = nullptr);

// What a standard run sent to the service, and what the service says of everyone.
struct TStandardReport {
    QString profileName;
    int profileId = -1;
    bool uploaded = false;
    int veloquaId = 0;  // the service's number of the run
    int sitesSent = 0;
    QString uploadError; // why the upload failed; empty when it did not
    std::optional<int> everyoneAverage; // bytes per second, everyone at any time
    QString averageError;
};

} // namespace vq

#pragma once

#include "Error.h"
#include "ProfileTypes.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace vq {

class ConfigFile;
class IPrompts;
class IProfileDialogs;
class IProfileService;
namespace platform {
class ComputerInfo;
}

// The main window's values that registration and the profile check read and write.
struct ProfileFields {
    int &FUserId;
    int &FProfileId;
    QString &FProfileAddress;
    QString &FExternalAddress;
    const QString &FMacAddress;
    const int &FTimeZoneBias;
};

// A profile name that cannot be stored.
class EProfileError : public Error
{
public:
    using Error::Error;
};

// Registration of the user on the first run, the profile records of the configuration file and
// the check of the active profile against the computer's external address. It works on the
// main window's fields and talks to the service, the dialogs and the user only through the
// collaborators it is given.
class UserProfiles
{
public:
    // Why the last CheckProfile or start-up step failed.
    enum class Failure { None, ServiceUnreachable, ProfileRefused, RegistrationRefused };

    UserProfiles(ProfileFields fields, IProfileService &service, IProfileDialogs &dialogs, IPrompts &prompts,
                 const platform::ComputerInfo &computer, const QString &configFileName);

    // Ends the application (the main window is not shown). Called where the user refused what
    // the program cannot run without.
    void setTerminate(std::function<void()> terminate) { m_terminate = std::move(terminate); }
    // The reverse lookup of the messages (HostNameOfAddress unless replaced).
    void setHostNameLookup(std::function<QString(const QString &)> lookup) { m_hostNameOf = std::move(lookup); }

    // The user and profile step of the start-up: registers on the first run, else checks the
    // active profile. False when the program has to end; the user has been told why.
    bool StartUp();

    // Whether the active profile fits the current external address, possibly after the user
    // chose or made another profile. False when the service could not be reached or the user
    // refused to pick a profile (then the application is being terminated); see LastFailure.
    bool CheckProfile();

    // A profile name for the address: one the user picked, empty to make a new one, or
    // kCancelProfile.
    QString ChooseProfileForAddress(const QString &address);

    // Saves a profile with the service, then in the configuration file (its id under
    // "Profiles", its section replaced whole, and the active profile's name). Returns its id.
    // Throws EProfileError for a name that cannot be stored, before anything is sent.
    int StoreProfile(const QString &name, int profileId, const QString &mac, const QString &ip, int ispId,
                     const QString &zip, const QString &state, const QString &country, int timeZoneBias,
                     const QString &satisfaction, const QString &contractedSpeed, int connectionTypeId);

    // "Edit profile...": edits the active profile. False when nothing was stored (cancelled, or
    // the service unreachable, which the user is told).
    bool EditProfile();

    Failure LastFailure() const { return m_failure; }

    // The stored values of a profile.
    static ProfileValues ReadProfile(const ConfigFile &config, const QString &name);
    // The profile names in the configuration's order.
    static QStringList ProfileNames(const ConfigFile &config);
    // The profiles whose stored address lies in the same network as the address, in the
    // configuration's order.
    static QStringList ProfilesInNetwork(const ConfigFile &config, const QString &address);

private:
    bool registerUser();
    ComputerFacts facts() const;
    void terminate();
    int storeInput(const QString &name, int profileId, const ProfileInput &input);

    ProfileFields m_f;
    IProfileService &m_service;
    IProfileDialogs &m_dialogs;
    IPrompts &m_prompts;
    const platform::ComputerInfo &m_computer;
    QString m_configFileName;
    std::function<void()> m_terminate;
    std::function<QString(const QString &)> m_hostNameOf;
    Failure m_failure = Failure::None;
};

} // namespace vq

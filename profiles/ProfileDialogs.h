#pragma once

#include "ProfileTypes.h"

#include <optional>

namespace vq {

// The three profile dialogs as the registration and profile flows use them. Each call shows one
// modal dialog and hands back what the user confirmed.
class IProfileDialogs
{
public:
    virtual ~IProfileDialogs() = default;

    // "User info" of the first run, with the country of the given code preselected; nothing when
    // it was closed other than with OK.
    virtual std::optional<UserInput> UserInfo(const ComputerFacts &facts, const QString &countryCode) = 0;
    // "Profile information" for a new profile: no Cancel, the name must differ from the existing
    // ones (without regard to case).
    virtual ProfileInput NewProfile(const ComputerFacts &facts, const QStringList &existingNames) = 0;
    // "Profile information" for the named profile, prefilled from its stored values; the name
    // cannot be changed. Nothing when it was cancelled.
    virtual std::optional<ProfileInput> EditProfile(const QString &name, const ComputerFacts &facts,
                                                    const ProfileValues &stored) = 0;
    // "Select profile" with a heading and the names to choose from.
    virtual SelectProfileResult SelectProfile(const QString &heading, const QStringList &names) = 0;
};

} // namespace vq

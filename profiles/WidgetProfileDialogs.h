#pragma once

#include "ProfileDialogs.h"

class QWidget;

namespace vq {

class IPrompts;
class IProfileLookups;

// The profile dialogs as modal windows over a parent, their lists filled from the lookups.
class WidgetProfileDialogs : public IProfileDialogs
{
public:
    WidgetProfileDialogs(IPrompts &prompts, const IProfileLookups &lookups, QWidget *parent = nullptr);

    std::optional<UserInput> UserInfo(const ComputerFacts &facts, const QString &countryCode) override;
    ProfileInput NewProfile(const ComputerFacts &facts, const QStringList &existingNames) override;
    std::optional<ProfileInput> EditProfile(const QString &name, const ComputerFacts &facts,
                                            const ProfileValues &stored) override;
    SelectProfileResult SelectProfile(const QString &heading, const QStringList &names) override;

private:
    IPrompts &m_prompts;
    const IProfileLookups &m_lookups;
    QWidget *m_parent;
};

} // namespace vq

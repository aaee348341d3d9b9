#include "WidgetProfileDialogs.h"

#include "Error.h"
#include "ProfileInfo.h"
#include "SelectProfile.h"
#include "UserInfo.h"

namespace vq {

WidgetProfileDialogs::WidgetProfileDialogs(IPrompts &prompts, const IProfileLookups &lookups, QWidget *parent)
    : m_prompts(prompts)
    , m_lookups(lookups)
    , m_parent(parent)
{
}

std::optional<UserInput> WidgetProfileDialogs::UserInfo(const ComputerFacts &facts, const QString &countryCode)
{
    TFrmUserInfo dialog(m_prompts, m_lookups, m_parent);
    dialog.Prefill(facts, countryCode);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Input();
}

ProfileInput WidgetProfileDialogs::NewProfile(const ComputerFacts &facts, const QStringList &existingNames)
{
    TFrmProfileInfo dialog(m_prompts, m_lookups, m_parent);
    dialog.PrepareNew(facts, existingNames);
    // Only OK closes this dialog; anything else means the program is being shut down under it.
    if (dialog.exec() != QDialog::Accepted)
        throw Error(QStringLiteral("The new profile was not completed."));
    return dialog.Input();
}

std::optional<ProfileInput> WidgetProfileDialogs::EditProfile(const QString &name, const ComputerFacts &facts,
                                                              const ProfileValues &stored)
{
    TFrmProfileInfo dialog(m_prompts, m_lookups, m_parent);
    dialog.PrepareEdit(name, facts, stored);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Input();
}

SelectProfileResult WidgetProfileDialogs::SelectProfile(const QString &heading, const QStringList &names)
{
    TFrmSelectProfile dialog(m_parent);
    dialog.SetHeading(heading);
    dialog.AddNames(names);
    switch (dialog.exec()) {
    case QDialog::Accepted:
        return {SelectProfileResult::Select, dialog.SelectedName()};
    case TFrmSelectProfile::CreateNew:
        return {SelectProfileResult::CreateNew, QString()};
    default:
        return {SelectProfileResult::Cancel, QString()};
    }
}

} // namespace vq

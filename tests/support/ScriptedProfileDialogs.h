#pragma once

// Header only: the tests that use it link the profile library, the support library does not.
#include "ProfileDialogs.h"

#include <QStringList>

#include <deque>

namespace vq::test {

// The profile dialogs answered from a script, every showing recorded. A dialog shown without a
// scripted answer is recorded as unexpected and closed as a user would close it without
// confirming: "User info", "Select profile" and "Edit" are cancelled; the new-profile editor,
// which cannot be cancelled, hands back a profile named "Unexpected".
class ScriptedProfileDialogs : public IProfileDialogs
{
public:
    struct Shown {
        QString dialog; // "UserInfo", "NewProfile", "EditProfile", "SelectProfile"
        ComputerFacts facts;
        QString text;      // the country code, the profile edited, or the chooser's heading
        QStringList names; // the existing names, or the chooser's entries
        ProfileValues stored;
        bool unexpected = false;
    };

    void answerUserInfo(const std::optional<UserInput> &input) { m_userInfo.push_back(input); }
    void answerNewProfile(const ProfileInput &input) { m_newProfile.push_back(input); }
    void answerEditProfile(const std::optional<ProfileInput> &input) { m_editProfile.push_back(input); }
    void answerSelectProfile(SelectProfileResult::Choice choice, const QString &name = QString())
    {
        m_select.push_back({choice, name});
    }

    const QList<Shown> &shown() const { return m_shown; }
    QStringList dialogs() const
    {
        QStringList names;
        for (const Shown &s : m_shown)
            names.append(s.dialog);
        return names;
    }
    int unexpectedCount() const
    {
        int n = 0;
        for (const Shown &s : m_shown)
            n += s.unexpected ? 1 : 0;
        return n;
    }

    std::optional<UserInput> UserInfo(const ComputerFacts &facts, const QString &countryCode) override
    {
        Shown &s = record(QStringLiteral("UserInfo"), facts, countryCode, {}, m_userInfo.empty());
        if (s.unexpected)
            return std::nullopt;
        return take(m_userInfo);
    }
    ProfileInput NewProfile(const ComputerFacts &facts, const QStringList &existingNames) override
    {
        Shown &s = record(QStringLiteral("NewProfile"), facts, QString(), existingNames, m_newProfile.empty());
        if (s.unexpected) {
            ProfileInput p;
            p.name = QStringLiteral("Unexpected");
            p.ipAddress = facts.ipAddress;
            return p;
        }
        return take(m_newProfile);
    }
    std::optional<ProfileInput> EditProfile(const QString &name, const ComputerFacts &facts,
                                            const ProfileValues &stored) override
    {
        Shown &s = record(QStringLiteral("EditProfile"), facts, name, {}, m_editProfile.empty());
        s.stored = stored;
        if (s.unexpected)
            return std::nullopt;
        return take(m_editProfile);
    }
    SelectProfileResult SelectProfile(const QString &heading, const QStringList &names) override
    {
        Shown &s = record(QStringLiteral("SelectProfile"), {}, heading, names, m_select.empty());
        if (s.unexpected)
            return {};
        return take(m_select);
    }

private:
    Shown &record(const QString &dialog, const ComputerFacts &facts, const QString &text, const QStringList &names,
                  bool unexpected)
    {
        m_shown.append({dialog, facts, text, names, {}, unexpected});
        return m_shown.last();
    }
    template <typename T>
    static T take(std::deque<T> &queue)
    {
        T value = queue.front();
        queue.pop_front();
        return value;
    }

    std::deque<std::optional<UserInput>> m_userInfo;
    std::deque<ProfileInput> m_newProfile;
    std::deque<std::optional<ProfileInput>> m_editProfile;
    std::deque<SelectProfileResult> m_select;
    QList<Shown> m_shown;
};

} // namespace vq::test

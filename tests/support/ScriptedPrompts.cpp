#include "ScriptedPrompts.h"

namespace vq::test {

int ScriptedPrompts::unexpectedCount() const
{
    return static_cast<int>(std::count_if(m_asked.cbegin(), m_asked.cend(), [](const Asked &a) { return a.unexpected; }));
}

std::optional<QVariant> ScriptedPrompts::next()
{
    if (m_answers.empty())
        return std::nullopt;
    QVariant v = m_answers.front();
    m_answers.pop_front();
    return v;
}

MsgButton ScriptedPrompts::messageBox(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons,
                                      MsgButton defaultButton)
{
    Asked a{Asked::Message, caption, text, icon, buttons, false};
    const std::optional<QVariant> answer = next();
    m_asked.append(a);
    if (answer)
        return static_cast<MsgButton>(answer->toInt());
    m_asked.last().unexpected = true;
    if (buttons.testFlag(MsgButton::Cancel))
        return MsgButton::Cancel;
    if (buttons.testFlag(MsgButton::No))
        return MsgButton::No;
    if (buttons == MsgButtons(MsgButton::Ok))
        return MsgButton::Ok; // an information box has nothing to refuse
    return defaultButton;
}

std::optional<QString> ScriptedPrompts::inputBox(const QString &caption, const QString &prompt, const QString &)
{
    const std::optional<QVariant> answer = next();
    m_asked.append(Asked{Asked::Input, caption, prompt, MsgIcon::None, {}, !answer.has_value()});
    if (!answer || !answer->isValid())
        return std::nullopt;
    return answer->toString();
}

std::optional<QString> ScriptedPrompts::saveFile(SaveFileRequest &request)
{
    const std::optional<QVariant> answer = next();
    m_asked.append(Asked{Asked::Save, request.caption, request.fileName, MsgIcon::None, {}, !answer.has_value()});
    if (!answer || answer->toString().isEmpty())
        return std::nullopt;
    return answer->toString();
}

bool ScriptedPrompts::printDialog(QPrinter &)
{
    const std::optional<QVariant> answer = next();
    m_asked.append(Asked{Asked::Print, QString(), QString(), MsgIcon::None, {}, !answer.has_value()});
    return answer && answer->toBool();
}

} // namespace vq::test

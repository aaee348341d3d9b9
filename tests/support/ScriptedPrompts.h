#pragma once

#include "Prompts.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <deque>
#include <optional>

namespace vq::test {

// Answers the program's prompts from a script and records every prompt asked. A prompt with no
// scripted answer is recorded as unexpected and answered as if the user cancelled (the message
// box's default button, or Cancel/No/None), so a test never blocks.
class ScriptedPrompts : public IPrompts
{
public:
    struct Asked {
        enum Kind { Message, Input, Save, Print } kind;
        QString caption;
        QString text;
        MsgIcon icon = MsgIcon::None;
        MsgButtons buttons;
        bool unexpected = false;
    };

    // The next message box returns this button.
    void answerButton(MsgButton button) { m_answers.push_back(QVariant::fromValue(int(button))); }
    // The next input box returns this text (nullopt: the user cancels).
    void answerInput(const std::optional<QString> &text)
    {
        m_answers.push_back(text ? QVariant(*text) : QVariant());
    }
    // The next save dialog returns this file name (empty: the user cancels).
    void answerSave(const QString &fileName) { m_answers.push_back(QVariant(fileName)); }
    void answerPrint(bool ok) { m_answers.push_back(QVariant(ok)); }

    const QList<Asked> &asked() const { return m_asked; }
    int unexpectedCount() const;
    bool allAnswered() const { return m_answers.empty(); }
    void clear()
    {
        m_asked.clear();
        m_answers.clear();
    }

    MsgButton messageBox(const QString &caption, const QString &text, MsgIcon icon, MsgButtons buttons,
                         MsgButton defaultButton) override;
    std::optional<QString> inputBox(const QString &caption, const QString &prompt, const QString &defaultText) override;
    std::optional<QString> saveFile(SaveFileRequest &request) override;
    bool printDialog(QPrinter &printer) override;

private:
    std::optional<QVariant> next();

    std::deque<QVariant> m_answers;
    QList<Asked> m_asked;
};

} // namespace vq::test

#pragma once

#include <QFlags>
#include <QString>
#include <QStringList>

#include <optional>

class QPrinter;

namespace vq {

// Caption of message boxes that name none (the application's title).
inline constexpr auto kApplicationTitle = "Tavistel Veloqua";

enum class MsgIcon { None, Information, Warning, Error, Question };

enum class MsgButton {
    None = 0x0,
    Ok = 0x1,
    Cancel = 0x2,
    Yes = 0x4,
    No = 0x8,
    Abort = 0x10,
    Retry = 0x20,
    Ignore = 0x40,
};
Q_DECLARE_FLAGS(MsgButtons, MsgButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(MsgButtons)

struct SaveFileRequest {
    QString caption;
    QString folder;
    QString fileName;
    QStringList filters;  // "XHTML document (*.html)", ...
    int filterIndex = 0;  // in: preselected filter; out: the chosen one
};

// Every modal question the program asks goes through this interface, so that tests answer
// prompts instead of blocking on them. A message box returns the button pressed (None when the
// box was closed without one); the other prompts return nothing when the user cancels.
class IPrompts
{
public:
    virtual ~IPrompts() = default;

    virtual MsgButton messageBox(const QString &caption, const QString &text, MsgIcon icon,
                                 MsgButtons buttons, MsgButton defaultButton = MsgButton::None) = 0;
    virtual std::optional<QString> inputBox(const QString &caption, const QString &prompt,
                                            const QString &defaultText) = 0;
    virtual std::optional<QString> saveFile(SaveFileRequest &request) = 0;
    virtual bool printDialog(QPrinter &printer) = 0;

    // Conveniences for the common shapes.
    void error(const QString &text) { messageBox(QStringLiteral("Error"), text, MsgIcon::Error, MsgButton::Ok); }
    void information(const QString &text)
    {
        messageBox(QStringLiteral("Information"), text, MsgIcon::Information, MsgButton::Ok);
    }
    bool confirm(const QString &text)
    {
        return messageBox(QStringLiteral("Confirm"), text, MsgIcon::Question,
                          MsgButton::Yes | MsgButton::No, MsgButton::Yes)
               == MsgButton::Yes;
    }
};

} // namespace vq

#pragma once

#include "Prompts.h"

class QWidget;

namespace vq::platform {

// The real prompts: Qt message boxes and dialogs, modal to the active window.
class WidgetPrompts : public IPrompts
{
public:
    MsgButton messageBox(const QString &caption, const QString &text, MsgIcon icon,
                         MsgButtons buttons, MsgButton defaultButton) override;
    std::optional<QString> inputBox(const QString &caption, const QString &prompt,
                                    const QString &defaultText) override;
    std::optional<QString> saveFile(SaveFileRequest &request) override;
    bool printDialog(QPrinter &printer) override;
};

} // namespace vq::platform

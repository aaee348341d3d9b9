#include "WidgetPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>

namespace vq::platform {

namespace {

QWidget *dialogParent()
{
    return QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                             : QApplication::activeWindow();
}

constexpr std::pair<MsgButton, QMessageBox::StandardButton> kButtonMap[] = {
    {MsgButton::Ok, QMessageBox::Ok},       {MsgButton::Cancel, QMessageBox::Cancel},
    {MsgButton::Yes, QMessageBox::Yes},     {MsgButton::No, QMessageBox::No},
    {MsgButton::Abort, QMessageBox::Abort}, {MsgButton::Retry, QMessageBox::Retry},
    {MsgButton::Ignore, QMessageBox::Ignore},
};

QMessageBox::Icon toQt(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

MsgButton WidgetPrompts::messageBox(const QString &caption, const QString &text, MsgIcon icon,
                                    MsgButtons buttons, MsgButton defaultButton)
{
    QMessageBox box(toQt(icon), caption.isEmpty() ? QString::fromLatin1(kApplicationTitle) : caption,
                    text, QMessageBox::NoButton, dialogParent());
    for (const auto &[ours, theirs] : kButtonMap) {
        if (buttons.testFlag(ours))
            box.addButton(theirs);
    }
    for (const auto &[ours, theirs] : kButtonMap) {
        if (ours == defaultButton)
            box.setDefaultButton(theirs);
    }
    const int pressed = box.exec();
    for (const auto &[ours, theirs] : kButtonMap) {
        if (pressed == theirs)
            return ours;
    }
    return MsgButton::None;
}

std::optional<QString> WidgetPrompts::inputBox(const QString &caption, const QString &prompt,
                                               const QString &defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(dialogParent(), caption, prompt, QLineEdit::Normal,
                                               defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> WidgetPrompts::saveFile(SaveFileRequest &request)
{
    QFileDialog dialog(dialogParent(), request.caption, request.folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(request.filters);
    if (request.filterIndex >= 0 && request.filterIndex < request.filters.size())
        dialog.selectNameFilter(request.filters.at(request.filterIndex));
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    request.filterIndex = static_cast<int>(request.filters.indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().constFirst();
}

bool WidgetPrompts::printDialog(QPrinter &printer)
{
    QPrintDialog dialog(&printer, dialogParent());
    return dialog.exec() == QDialog::Accepted;
}

} // namespace vq::platform

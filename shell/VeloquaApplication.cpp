#include "VeloquaApplication.h"

#include "Error.h"
#include "Prompts.h"

#include <cstdio>
#include <exception>

namespace vq {

VeloquaApplication::VeloquaApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool VeloquaApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const Error &e) {
        reportException(e.message());
    } catch (const std::exception &e) {
        reportException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportException(QStringLiteral("An unexpected error occurred."));
    }
    return false;
}

void VeloquaApplication::reportException(const QString &message)
{
    QString text = message.trimmed();
    if (text.isEmpty())
        text = QStringLiteral("An unexpected error occurred.");
    else if (!text.endsWith(u'.') && !text.endsWith(u'!') && !text.endsWith(u'?'))
        text += u'.';
    std::fprintf(stderr, "veloqua: %s\n", qPrintable(text));
    // One report at a time: an error raised while the report is open goes to stderr only.
    if (!m_prompts || m_reporting)
        return;
    m_reporting = true;
    try {
        m_prompts->messageBox(QString::fromLatin1(kApplicationTitle), text, MsgIcon::Error, MsgButton::Ok);
    } catch (...) {
    }
    m_reporting = false;
}

} // namespace vq

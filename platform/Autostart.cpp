#include "Autostart.h"

#include "AppPaths.h"
#include "AtomicFile.h"
#include "Error.h"

#include <QDir>
#include <QFile>

namespace vq::platform {

XdgAutostart::XdgAutostart(const QString &entryName)
    : m_entryName(entryName)
{
}

QString XdgAutostart::entryPath() const
{
    return ApplicationDataFolder() + QStringLiteral("/autostart/") + m_entryName + QStringLiteral(".desktop");
}

bool XdgAutostart::isEnabled() const
{
    return QFile::exists(entryPath());
}

QString XdgAutostart::ExecLine(const QString &executablePath)
{
    // Inside a quoted argument the desktop-entry rules escape ", `, $ and \ with a backslash.
    QString quoted;
    for (const QChar c : executablePath) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    // '%' introduces field codes, so a literal one is doubled.
    quoted.replace(QStringLiteral("%"), QStringLiteral("%%"));
    return QLatin1Char('"') + quoted + QStringLiteral("\" /m");
}

void XdgAutostart::enable(const QString &executablePath)
{
    QDir().mkpath(ApplicationDataFolder() + QStringLiteral("/autostart"));
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Veloqua\n"
                                        "Comment=Measures how fast web pages reach this computer\n"
                                        "Exec=%1\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(ExecLine(executablePath));
    const QString reason = WriteFileAtomically(entryPath(), text.toUtf8());
    if (!reason.isEmpty())
        throw Error(QStringLiteral("The start-up entry %1 could not be written: %2")
                        .arg(QDir::toNativeSeparators(entryPath()), reason));
}

void XdgAutostart::disable()
{
    QFile file(entryPath());
    if (file.exists() && !file.remove())
        throw Error(QStringLiteral("The start-up entry %1 could not be removed: %2")
                        .arg(QDir::toNativeSeparators(entryPath()), file.errorString()));
}

} // namespace vq::platform

#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace vq::platform {

namespace {

QString executablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

} // namespace

QString ExecutableBaseName()
{
    return QFileInfo(executablePath()).completeBaseName();
}

QString ProgramFolder()
{
    return QFileInfo(executablePath()).absolutePath();
}

QString ApplicationDataFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::cleanPath(QDir::homePath() + QStringLiteral("/.config"));
}

QString RuntimeFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg) && QFileInfo(xdg).isDir())
        return QDir::cleanPath(xdg);
    // No session runtime folder (cron, a bare ssh login): a folder of our own that only this
    // user may enter, so that another user cannot plant a socket under our name.
    const QString dir = QDir::tempPath() + QStringLiteral("/veloqua-") + QString::number(getuid());
    ::mkdir(QFile::encodeName(dir).constData(), 0700);
    return dir;
}

} // namespace vq::platform

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

namespace vq::test {

TestEnvironment::TestEnvironment()
    : m_oldConfigHome(qgetenv("XDG_CONFIG_HOME"))
    , m_oldRuntimeDir(qgetenv("XDG_RUNTIME_DIR"))
{
    QDir().mkpath(configHome());
    QDir().mkpath(runtimeDir());
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir()));
}

TestEnvironment::~TestEnvironment()
{
    qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
    qputenv("XDG_RUNTIME_DIR", m_oldRuntimeDir);
}

QString TestEnvironment::configHome() const
{
    return m_dir.path() + QStringLiteral("/config");
}

QString TestEnvironment::runtimeDir() const
{
    return m_dir.path() + QStringLiteral("/run");
}

QString TestEnvironment::configFile(const QString &programName) const
{
    const QString folder = configHome() + QStringLiteral("/Tavistel Utilities/") + programName;
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + programName + QStringLiteral(".ini");
}

void TestEnvironment::writeConfig(const QString &programName, const QByteArray &content) const
{
    QFile file(configFile(programName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write(content);
}

QString BinaryDir()
{
    const QString dir = qEnvironmentVariable("VQ_BIN_DIR");
    if (!dir.isEmpty())
        return dir;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
}

ProgramResult RunProgram(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess p;
    p.start(BinaryDir() + QLatin1Char('/') + program, arguments);
    if (!p.waitForFinished(timeoutMs))
        p.kill();
    p.waitForFinished(5000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace vq::test

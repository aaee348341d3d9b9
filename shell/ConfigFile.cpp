#include "ConfigFile.h"

#include "AppPaths.h"
#include "DateTimeText.h"

#include <QDir>

namespace vq {

namespace {
QString sec(const char *s)
{
    return QString::fromLatin1(s);
}
} // namespace

QString DataFolder(const QString &programName)
{
    const QString name = programName.isEmpty() ? platform::ExecutableBaseName() : programName;
    const QString folder = platform::ApplicationDataFolder() + QStringLiteral("/Tavistel Utilities/") + name;
    QDir().mkpath(folder);
    return folder;
}

QString ConfigFileName(const QString &programName)
{
    const QString name = programName.isEmpty() ? platform::ExecutableBaseName() : programName;
    return DataFolder(name) + QLatin1Char('/') + name + QStringLiteral(".ini");
}

QString ConfigFile::Read(const cfg::StringKey &k) const
{
    return ReadString(sec(k.section), sec(k.name), QString::fromUtf8(k.def));
}

int ConfigFile::Read(const cfg::IntKey &k) const
{
    return ReadInteger(sec(k.section), sec(k.name), k.def);
}

int ConfigFile::Read(const cfg::IntKey &k, int def) const
{
    return ReadInteger(sec(k.section), sec(k.name), def);
}

bool ConfigFile::Read(const cfg::BoolKey &k) const
{
    return ReadBool(sec(k.section), sec(k.name), k.def);
}

QDateTime ConfigFile::Read(const cfg::DateTimeKey &k) const
{
    return ReadDateTime(sec(k.section), sec(k.name), ZeroDateTime());
}

void ConfigFile::Write(const cfg::StringKey &k, const QString &value)
{
    WriteString(sec(k.section), sec(k.name), value);
}

void ConfigFile::Write(const cfg::IntKey &k, int value)
{
    WriteInteger(sec(k.section), sec(k.name), value);
}

void ConfigFile::Write(const cfg::BoolKey &k, bool value)
{
    WriteBool(sec(k.section), sec(k.name), value);
}

void ConfigFile::Write(const cfg::DateTimeKey &k, const QDateTime &value)
{
    WriteDateTime(sec(k.section), sec(k.name), value);
}

} // namespace vq

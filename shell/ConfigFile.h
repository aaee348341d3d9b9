#pragma once

#include "ConfigKeys.h"
#include "IniFile.h"

#include <QString>

namespace vq {

// Full path of the configuration file: the per-user application-data folder, "Tavistel
// Utilities", a folder named after the program, and in it the program's name with ".ini". The
// folder is created (with any missing parents) when it does not exist yet. The folder is also
// the program's data folder (cache files). programName defaults to the running executable's
// base name, so a renamed executable starts with a fresh configuration; the headless runner
// passes "veloqua" to share the desktop program's file.
QString ConfigFileName(const QString &programName = QString());

// The folder part of ConfigFileName.
QString DataFolder(const QString &programName = QString());

// The configuration file with typed access through the key table (ConfigKeys.h).
class ConfigFile : public IniFile
{
public:
    explicit ConfigFile(const QString &fileName = ConfigFileName())
        : IniFile(fileName)
    {
    }

    using IniFile::ReadBool;
    using IniFile::ReadInteger;
    using IniFile::ReadString;
    using IniFile::WriteBool;
    using IniFile::WriteInteger;
    using IniFile::WriteString;

    QString Read(const cfg::StringKey &k) const;
    int Read(const cfg::IntKey &k) const;
    int Read(const cfg::IntKey &k, int def) const; // for keys whose default is computed
    bool Read(const cfg::BoolKey &k) const;
    QDateTime Read(const cfg::DateTimeKey &k) const;

    void Write(const cfg::StringKey &k, const QString &value);
    void Write(const cfg::IntKey &k, int value);
    void Write(const cfg::BoolKey &k, bool value);
    void Write(const cfg::DateTimeKey &k, const QDateTime &value);
};

} // namespace vq

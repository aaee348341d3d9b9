#pragma once

#include "Autostart.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vq::test {

// A scratch home for one test: XDG_CONFIG_HOME and XDG_RUNTIME_DIR point into a temporary
// folder that is removed afterwards, so tests never see the developer's own configuration.
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    QString root() const { return m_dir.path(); }
    QString configHome() const;
    QString runtimeDir() const;
    // A fresh configuration file path for a program name.
    QString configFile(const QString &programName = QStringLiteral("veloqua")) const;
    // Writes a configuration file from text (lines joined with "\n").
    void writeConfig(const QString &programName, const QByteArray &content) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfigHome;
    QByteArray m_oldRuntimeDir;
};

// Autostart held in memory.
class FakeAutostart : public platform::Autostart
{
public:
    bool isEnabled() const override { return enabled; }
    void enable(const QString &path) override
    {
        enabled = true;
        executable = path;
    }
    void disable() override { enabled = false; }

    bool enabled = false;
    QString executable;
};

// Folder of the built executables (build/bin), from the test's environment.
QString BinaryDir();

// What a program of ours printed and how it ended (exitCode -1: it crashed or was killed).
struct ProgramResult {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs build/bin/<program> with the arguments and waits for it (killed after timeoutMs).
ProgramResult RunProgram(const QString &program, const QStringList &arguments, int timeoutMs = 30000);

} // namespace vq::test

#pragma once

#include <QString>

namespace vq::platform {

// Starting the program with the desktop session: an XDG autostart entry
// (~/.config/autostart/TavistelVeloqua.desktop) that runs "<full path>" /m.
class Autostart
{
public:
    virtual ~Autostart() = default;
    virtual bool isEnabled() const = 0;
    // Throws vq::Error when the entry cannot be written or removed.
    virtual void enable(const QString &executablePath) = 0;
    virtual void disable() = 0;
};

class XdgAutostart : public Autostart
{
public:
    explicit XdgAutostart(const QString &entryName = QStringLiteral("TavistelVeloqua"));

    bool isEnabled() const override;
    void enable(const QString &executablePath) override;
    void disable() override;

    QString entryPath() const;
    // The Exec line of the entry, quoted for the desktop-entry rules.
    static QString ExecLine(const QString &executablePath);

private:
    QString m_entryName;
};

} // namespace vq::platform

#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace vq::platform {

// One running copy per user. The first start listens on a local socket; a later start finds it,
// asks it to show its window and steps aside.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Claim {
        Primary,    // no other copy runs: we listen now
        HandedOver, // another copy runs and has been asked to show itself
        Failed      // neither: the socket could not be created or reached
    };

    explicit SingleInstance(const QString &name = QStringLiteral("TavistelVeloqua"),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    Claim claim();

    // Full path of the socket (per user, in the runtime folder).
    QString serverPath() const { return m_path; }

Q_SIGNALS:
    // A later start asked this (first) copy to show and raise its window.
    void showRequested();

private:
    bool askRunningInstanceToShow();
    void onNewConnection();

    QString m_path;
    QLocalServer *m_server = nullptr;
};

} // namespace vq::platform

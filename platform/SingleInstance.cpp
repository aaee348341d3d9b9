#include "SingleInstance.h"

#include "AppPaths.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vq::platform {

namespace {

constexpr int kHandOverTimeoutMs = 3000;
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kShowReply = QByteArrayLiteral("shown\n");

// Serialises the "is anyone there? then I listen" step between two copies started at once.
class FileLock
{
public:
    explicit FileLock(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_EX);
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // closing drops the lock
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

private:
    int m_fd;
};

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_path(RuntimeFolder() + QLatin1Char('/') + name)
{
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close(); // removes the socket file
}

bool SingleInstance::askRunningInstanceToShow()
{
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(kHandOverTimeoutMs))
        return false;
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(kHandOverTimeoutMs))
        return false;
    // Wait for the first copy to confirm, so a copy that hangs does not swallow our start.
    while (socket.bytesAvailable() < kShowReply.size()) {
        if (!socket.waitForReadyRead(kHandOverTimeoutMs))
            return false;
    }
    return socket.readAll().startsWith(kShowReply);
}

SingleInstance::Claim SingleInstance::claim()
{
    FileLock lock(m_path + QStringLiteral(".lock"));

    if (askRunningInstanceToShow())
        return Claim::HandedOver;

    // Nobody answered: any socket file left is from a copy that died without cleaning up.
    QLocalServer::removeServer(m_path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        delete m_server;
        m_server = nullptr;
        return Claim::Failed;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return Claim::Primary;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine(64);
            if (line == kShowRequest) {
                Q_EMIT showRequested();
                socket->write(kShowReply);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

} // namespace vq::platform

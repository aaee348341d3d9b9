#include "CannedHttpServer.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>

namespace vq::test {

class CannedHttpWorker : public QObject
{
public:
    explicit CannedHttpWorker(CannedHttpServer &owner)
        : m_owner(owner)
    {
    }

    int listen()
    {
        m_server = new QTcpServer(this);
        m_server->listen(QHostAddress::LocalHost, 0);
        connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server->nextPendingConnection())
                serve(s);
        });
        return m_server->serverPort();
    }

private:
    void serve(QTcpSocket *s)
    {
        auto *buffer = new QByteArray;
        connect(s, &QTcpSocket::disconnected, s, [s, buffer] {
            delete buffer;
            s->deleteLater();
        });
        connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
            buffer->append(s->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            qsizetype length = 0;
            for (const QByteArray &line : buffer->left(end).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
            if (buffer->size() < end + 4 + length)
                return;
            CannedHttpServer::Mode mode;
            QByteArray reply;
            {
                QMutexLocker lock(&m_owner.m_mutex);
                m_owner.m_requests.append(buffer->left(end + 4 + length));
                mode = m_owner.m_mode;
                reply = m_owner.m_reply;
            }
            buffer->clear();
            if (mode == CannedHttpServer::Mode::Hang)
                return;
            if (mode == CannedHttpServer::Mode::Reply)
                s->write(reply);
            s->disconnectFromHost();
        });
    }

    CannedHttpServer &m_owner;
    QTcpServer *m_server = nullptr;
};

CannedHttpServer::CannedHttpServer()
{
    m_thread.start();
    auto *worker = new CannedHttpWorker(*this);
    worker->moveToThread(&m_thread);
    m_worker = worker;
    QMetaObject::invokeMethod(worker, [this, worker] { m_port = worker->listen(); }, Qt::BlockingQueuedConnection);
}

CannedHttpServer::~CannedHttpServer()
{
    QMetaObject::invokeMethod(m_worker, [this] { delete m_worker; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void CannedHttpServer::setReply(const QByteArray &raw)
{
    QMutexLocker lock(&m_mutex);
    m_reply = raw;
    m_mode = Mode::Reply;
}

void CannedHttpServer::setMode(Mode mode)
{
    QMutexLocker lock(&m_mutex);
    m_mode = mode;
}

QByteArray CannedHttpServer::HttpReply(int status, const QByteArray &body, const QByteArray &contentType)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " Canned\r\nContent-Type: " + contentType
           + "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QString CannedHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

QList<QByteArray> CannedHttpServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

} // namespace vq::test

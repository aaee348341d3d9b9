#include "PageServer.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>

namespace vq::test {

struct PageServer::Shared {
    mutable QMutex mutex;
    QMap<QByteArray, Route> routes;
    QList<Request> requests;
};

namespace {

// One connection: reads the request head, then answers by the route.
class Connection : public QObject
{
public:
    Connection(QTcpSocket *socket, std::shared_ptr<PageServer::Shared> shared, QObject *parent)
        : QObject(parent)
        , m_socket(socket)
        , m_shared(std::move(shared))
    {
        m_socket->setParent(this);
        connect(m_socket, &QTcpSocket::readyRead, this, [this] { onReadable(); });
        connect(m_socket, &QTcpSocket::disconnected, this, [this] { deleteLater(); });
        connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
        connect(&m_pace, &QTimer::timeout, this, [this] { pump(); });
        m_pace.setInterval(5);
    }

private:
    void onReadable()
    {
        if (m_answered) {
            m_socket->readAll();
            return;
        }
        m_head += m_socket->readAll();
        const qsizetype end = m_head.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        PageServer::Request request;
        const QList<QByteArray> lines = m_head.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        request.version = first.value(2);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines.at(i).indexOf(':');
            if (colon > 0)
                request.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
        }
        {
            QMutexLocker lock(&m_shared->mutex);
            m_shared->requests.append(request);
            const QByteArray path = request.path.split('?').value(0);
            if (m_shared->routes.contains(request.path))
                m_route = m_shared->routes.value(request.path);
            else if (m_shared->routes.contains(path))
                m_route = m_shared->routes.value(path);
            else
                m_route = PageServer::Status(404, "Not Found", "<html><body>Not found</body></html>");
        }
        m_answered = true;
        answer();
    }

    qint64 bodySize() const { return m_route.generatedBytes >= 0 ? m_route.generatedBytes : m_route.body.size(); }

    void answer()
    {
        if (m_route.fault == PageServer::Fault::NeverAnswer)
            return;
        QByteArray head = "HTTP/1.0 " + QByteArray::number(m_route.status) + ' ' + m_route.reason + "\r\n";
        head += "Connection: close\r\n";
        if (m_route.sendContentLength && m_route.fault != PageServer::Fault::StallAfterHeaders)
            head += "Content-Length: " + QByteArray::number(bodySize()) + "\r\n";
        for (const auto &[name, value] : m_route.headers)
            head += name + ": " + value + "\r\n";
        head += "\r\n";
        m_socket->write(head);
        m_clock.start();
        if (m_route.bytesPerSecond > 0)
            m_pace.start();
        pump();
    }

    // Sends what the route allows now: up to the fault point, at the pace, keeping about a
    // megabyte queued.
    void pump()
    {
        if (!m_answered || m_finished)
            return;
        qint64 limit = bodySize();
        const bool faulty = m_route.fault == PageServer::Fault::StallAfterHeaders
                            || m_route.fault == PageServer::Fault::ResetMidBody;
        if (faulty)
            limit = std::min(limit, m_route.faultAfterBytes);
        if (m_route.bytesPerSecond > 0)
            limit = std::min(limit, m_route.bytesPerSecond * m_clock.elapsed() / 1000 + 1460);
        while (m_sent < limit && m_socket->bytesToWrite() < 1024 * 1024) {
            const qint64 n = std::min<qint64>(limit - m_sent, 256 * 1024);
            if (m_route.generatedBytes >= 0) {
                QByteArray chunk(n, Qt::Uninitialized);
                for (qint64 i = 0; i < n; ++i)
                    chunk[i] = char('a' + (m_sent + i) % 26);
                m_socket->write(chunk);
            } else {
                m_socket->write(m_route.body.constData() + m_sent, n);
            }
            m_sent += n;
        }
        if (m_sent < limit || (m_sent < bodySize() && !faulty))
            return;
        if (m_socket->bytesToWrite() > 0)
            return; // wait until it is on the wire
        m_finished = true;
        m_pace.stop();
        switch (m_route.fault) {
        case PageServer::Fault::StallAfterHeaders:
            return; // keeps the connection open and silent
        case PageServer::Fault::ResetMidBody:
            // Let the client read what was sent, then reset the connection.
            QTimer::singleShot(200, this, [this] {
                const linger reset{1, 0};
                ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                m_socket->abort();
                deleteLater();
            });
            return;
        default:
            m_socket->disconnectFromHost();
        }
    }

    QTcpSocket *m_socket;
    std::shared_ptr<PageServer::Shared> m_shared;
    QByteArray m_head;
    PageServer::Route m_route;
    bool m_answered = false;
    bool m_finished = false;
    qint64 m_sent = 0;
    QElapsedTimer m_clock;
    QTimer m_pace;
};

} // namespace

PageServer::PageServer()
    : m_shared(std::make_shared<Shared>())
{
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("PageServer"));
    m_thread->start();
    auto *server = new QTcpServer;
    server->moveToThread(m_thread);
    QObject::connect(m_thread, &QThread::finished, server, &QObject::deleteLater);
    std::shared_ptr<Shared> shared = m_shared;
    QMetaObject::invokeMethod(
        server,
        [this, server, shared] {
            server->listen(QHostAddress(QHostAddress::LocalHost), 0);
            m_port = server->serverPort();
            QObject::connect(server, &QTcpServer::newConnection, server, [server, shared] {
                while (QTcpSocket *socket = server->nextPendingConnection())
                    new Connection(socket, shared, server);
            });
        },
        Qt::BlockingQueuedConnection);
}

PageServer::~PageServer()
{
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

PageServer::Route PageServer::Page(const QByteArray &body, const QByteArray &contentType)
{
    Route r;
    r.body = body;
    r.headers.append(qMakePair(QByteArrayLiteral("Content-Type"), contentType));
    return r;
}

PageServer::Route PageServer::Paced(qint64 bytes, qint64 perSecond)
{
    Route r = Page(QByteArray());
    r.generatedBytes = bytes;
    r.bytesPerSecond = perSecond;
    return r;
}

PageServer::Route PageServer::Redirect(const QByteArray &location, int status)
{
    Route r;
    r.status = status;
    r.reason = "Moved";
    r.headers.append(qMakePair(QByteArrayLiteral("Location"), location));
    r.body = "<html><body>Moved</body></html>";
    return r;
}

PageServer::Route PageServer::Status(int status, const QByteArray &reason, const QByteArray &body)
{
    Route r;
    r.status = status;
    r.reason = reason;
    r.body = body;
    r.headers.append(qMakePair(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/html")));
    return r;
}

void PageServer::setRoute(const QByteArray &path, const Route &route)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->routes.insert(path, route);
}

QString PageServer::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QList<PageServer::Request> PageServer::requests() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->requests;
}

int PageServer::requestCount(const QByteArray &path) const
{
    QMutexLocker lock(&m_shared->mutex);
    int n = 0;
    for (const Request &r : m_shared->requests)
        n += r.path == path ? 1 : 0;
    return n;
}

void PageServer::clearRequests()
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->requests.clear();
}

} // namespace vq::test

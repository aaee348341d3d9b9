#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QThread>

namespace vq::test {

// A loopback HTTP server with one canned answer, on a thread of its own (so a client may block
// in a call on the test's thread). It records every request it received, raw.
class CannedHttpServer
{
public:
    enum class Mode { Reply, Hang, Close };

    CannedHttpServer();
    ~CannedHttpServer();

    // The answer to every request: raw bytes (status line, headers, body) in Reply mode.
    void setReply(const QByteArray &raw);
    void setMode(Mode mode);
    // Builds a reply with a status line, a text/xml body and its Content-Length.
    static QByteArray HttpReply(int status, const QByteArray &body, const QByteArray &contentType = "text/xml; charset=utf-8");

    int port() const { return m_port; }
    QString url(const QString &path = QStringLiteral("/Veloqua/wsVeloqua.asmx")) const;
    QList<QByteArray> requests() const;

private:
    friend class CannedHttpWorker;
    QThread m_thread;
    QObject *m_worker = nullptr;
    int m_port = 0;
    mutable QMutex m_mutex;
    QByteArray m_reply;
    Mode m_mode = Mode::Reply;
    QList<QByteArray> m_requests;
};

} // namespace vq::test

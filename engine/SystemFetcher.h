#pragma once

#include "PageFetcher.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPointer>

class QEventLoop;
class QNetworkReply;

namespace vq {

// The "system network settings" engine: Qt Network with the desktop's proxy configuration and
// no cache, read in blocks of 1,024 bytes. Every download opens its own connection.
//
// Result: true when the address could be opened (an HTTP error page is read and counted like
// any other body), false when opening failed (no connection, no response, not http or https).
class TSystemFetcher : public TPageFetcher
{
    Q_OBJECT
public:
    static constexpr qint64 kBlockSize = 1024;

    explicit TSystemFetcher(QObject *parent = nullptr);
    ~TSystemFetcher() override;

    bool Fetch(const QString &address, TMemoryStream &stream) override;
    void Abort() override;

    // At most this many milliseconds pass between two rounds of event processing while data
    // keeps coming (and events are always processed when the engine has to wait).
    void setEventInterval(int milliseconds) { m_eventInterval = milliseconds; }

private:
    void wait();

    QNetworkAccessManager m_manager;
    QPointer<QNetworkReply> m_reply;
    QEventLoop *m_loop = nullptr;
    bool m_aborted = false;
    int m_eventInterval = 10;
};

} // namespace vq

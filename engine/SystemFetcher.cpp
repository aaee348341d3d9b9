#include "SystemFetcher.h"

#include "MemoryStream.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace vq {

namespace {

// The desktop's proxy settings, looked up for every request.
class SystemProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        return systemProxyForQuery(query);
    }
};

} // namespace

TSystemFetcher::TSystemFetcher(QObject *parent)
    : TPageFetcher(parent)
{
    m_manager.setProxyFactory(new SystemProxyFactory);
    m_manager.setCache(nullptr);
    // The desktop's proxy settings are loaded on the first query; let that not be part of the
    // first download's time.
    QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(QStringLiteral("http://localhost/"))));
    m_manager.setAutoDeleteReplies(false);
}

TSystemFetcher::~TSystemFetcher()
{
    if (m_reply) {
        m_reply->abort();
        delete m_reply;
    }
}

void TSystemFetcher::Abort()
{
    if (!m_reply)
        return;
    m_aborted = true;
    if (m_loop)
        m_loop->quit();
}

void TSystemFetcher::wait()
{
    QEventLoop loop;
    m_loop = &loop;
    bool woken = false;
    auto wake = [&loop, &woken] {
        woken = true;
        loop.quit();
    };
    connect(m_reply, &QNetworkReply::readyRead, &loop, wake);
    connect(m_reply, &QNetworkReply::metaDataChanged, &loop, wake);
    connect(m_reply, &QNetworkReply::finished, &loop, wake);
    loop.exec();
    if (!woken && !m_aborted) {
        // Only the application ending makes the loop return on its own.
        m_applicationEnding = true;
        m_aborted = true;
    }
    m_loop = nullptr;
}

bool TSystemFetcher::Fetch(const QString &address, TMemoryStream &stream)
{
    m_applicationEnding = false;
    m_aborted = false;
    const QUrl url = AddressToUrl(address);
    if (!url.isValid())
        return false;

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Veloqua/1.0"));
    // A fresh copy from the origin server, never one from a cache on the way.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    request.setRawHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    // No connection is reused between downloads.
    request.setRawHeader(QByteArrayLiteral("Connection"), QByteArrayLiteral("close"));

    QNetworkReply *reply = m_manager.get(request);
    m_reply = reply;
    reply->setReadBufferSize(4 * 1024 * 1024);

    // Opening: wait for the response headers (or the failure to get any).
    while (!m_aborted && !reply->isFinished()
           && !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        wait();
    }
    const bool opened = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (!opened || m_aborted) {
        reply->abort();
        delete reply;
        return opened;
    }

    stream.Clear();
    stream.Expect(reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    char block[kBlockSize];
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    while (!m_aborted) {
        if (reply->bytesAvailable() == 0) {
            if (reply->isFinished())
                break;
            wait();
            sinceEvents.restart();
            continue;
        }
        const qint64 n = reply->read(block, kBlockSize);
        if (n <= 0)
            break;
        stream.Write(block, n);
        Q_EMIT DocData(n);
        if (sinceEvents.elapsed() >= m_eventInterval) {
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
    }
    reply->abort();
    delete reply;
    return true;
}

} // namespace vq

#include "CurlFetcher.h"
#include "CurlGlobal.h"

#include "MemoryStream.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include <curl/curl.h>


namespace vq {

const char *TCurlFetcher::UserAgent()
{
    return "Veloqua/1.0";
}

const char *TCurlFetcher::AcceptTypes()
{
    return "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
}

TCurlFetcher::TCurlFetcher(QObject *parent)
    : TPageFetcher(parent)
{
    platform::EnsureCurlGlobalInit();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &TCurlFetcher::SocketCallback);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &TCurlFetcher::TimerCallback);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);

    m_curlTimer.setSingleShot(true);
    connect(&m_curlTimer, &QTimer::timeout, this, [this] { socketAction(CURL_SOCKET_TIMEOUT, 0); });

    m_headers = curl_slist_append(nullptr, (QByteArray("Accept: ") + AcceptTypes()).constData());
    m_easy = curl_easy_init();
    CURL *easy = m_easy;
    curl_easy_setopt(easy, CURLOPT_USERAGENT, UserAgent());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, static_cast<curl_slist *>(m_headers));
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_DEFAULT_PROTOCOL, "http");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 100L * 1024);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TCurlFetcher::WriteCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    // The proxy is the preferences' alone: none unless set, and no_proxy of the environment
    // does not switch a set one off.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
}

TCurlFetcher::~TCurlFetcher()
{
    m_watches.clear();
    m_retired.clear();
    curl_easy_cleanup(m_easy);
    curl_multi_cleanup(m_multi);
    curl_slist_free_all(static_cast<curl_slist *>(m_headers));
}

void TCurlFetcher::SetProxy(const QString &host, const QString &port)
{
    const QString h = host.trimmed();
    const QString p = port.trimmed();
    m_proxy = h.isEmpty() ? QByteArray() : (p.isEmpty() ? h : h + u':' + p).toUtf8();
    curl_easy_setopt(m_easy, CURLOPT_PROXY, m_proxy.constData());
}

bool TCurlFetcher::Fetch(const QString &address, TMemoryStream &stream)
{
    m_applicationEnding = false;
    m_status = 0;
    const QUrl url = AddressToUrl(address);
    if (!url.isValid())
        return false;
    const QByteArray encoded = url.toEncoded(QUrl::RemoveFragment);
    curl_easy_setopt(m_easy, CURLOPT_URL, encoded.constData());

    m_stream = &stream;
    m_done = false;
    m_aborted = false;
    m_result = CURLE_OK;
    QEventLoop loop;
    m_loop = &loop;
    curl_multi_add_handle(m_multi, m_easy); // asks for a timeout of 0 through TimerCallback
    if (!m_done && !m_aborted) {
        loop.exec();
        if (!m_done && !m_aborted) {
            // Only the application ending makes the loop return on its own.
            m_applicationEnding = true;
            m_aborted = true;
        }
    }
    m_loop = nullptr;
    curl_multi_remove_handle(m_multi, m_easy);
    m_curlTimer.stop();
    m_watches.clear();
    m_retired.clear();
    m_stream = nullptr;

    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &m_status);
    if (m_aborted || m_result != CURLE_OK)
        return false;
    return m_status < 400 || m_status == 401 || m_status == 407;
}

void TCurlFetcher::Abort()
{
    if (!m_loop || m_done)
        return;
    m_aborted = true;
    finishLoop();
}

void TCurlFetcher::finishLoop()
{
    if (m_loop)
        m_loop->quit();
}

int TCurlFetcher::SocketCallback(void *, int fd, int what, void *self, void *)
{
    static_cast<TCurlFetcher *>(self)->watchSocket(fd, what);
    return 0;
}

int TCurlFetcher::TimerCallback(void *, long timeoutMs, void *self)
{
    auto *me = static_cast<TCurlFetcher *>(self);
    if (timeoutMs < 0)
        me->m_curlTimer.stop();
    else
        me->m_curlTimer.start(int(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

std::size_t TCurlFetcher::WriteCallback(char *data, std::size_t size, std::size_t count, void *self)
{
    auto *me = static_cast<TCurlFetcher *>(self);
    const std::size_t length = size * count;
    if (me->m_aborted || !me->m_stream)
        return 0; // ends the transfer with a write error
    if (me->m_stream->Size() == 0) {
        curl_off_t expected = -1;
        if (curl_easy_getinfo(me->m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected) == CURLE_OK)
            me->m_stream->Expect(expected);
    }
    me->m_stream->Write(data, qsizetype(length));
    Q_EMIT me->DocData(qint64(length));
    return me->m_aborted ? 0 : length;
}

void TCurlFetcher::watchSocket(int fd, int what)
{
    if (what == CURL_POLL_REMOVE) {
        auto it = m_watches.find(fd);
        if (it == m_watches.end())
            return;
        // The notifier may be the one whose signal is being delivered: disable it now, free it
        // once the transfer is over.
        for (auto *n : {&it->second.read, &it->second.write}) {
            if (*n) {
                (*n)->setEnabled(false);
                m_retired.push_back(std::move(*n));
            }
        }
        m_watches.erase(it);
        return;
    }
    Watch &w = m_watches[fd];
    const bool wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    if (wantRead && !w.read) {
        w.read = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
        connect(w.read.get(), &QSocketNotifier::activated, this,
                [this, fd] { socketAction(fd, CURL_CSELECT_IN); });
    }
    if (wantWrite && !w.write) {
        w.write = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Write);
        connect(w.write.get(), &QSocketNotifier::activated, this,
                [this, fd] { socketAction(fd, CURL_CSELECT_OUT); });
    }
    if (w.read)
        w.read->setEnabled(wantRead);
    if (w.write)
        w.write->setEnabled(wantWrite);
}

void TCurlFetcher::socketAction(int fd, int eventMask)
{
    if (!m_loop || m_done || m_aborted)
        return;
    int running = 0;
    curl_multi_socket_action(m_multi, curl_socket_t(fd), eventMask, &running);
    checkDone();
}

void TCurlFetcher::checkDone()
{
    int queued = 0;
    while (CURLMsg *msg = curl_multi_info_read(m_multi, &queued)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_easy) {
            m_result = msg->data.result;
            m_done = true;
            finishLoop();
        }
    }
}

} // namespace vq

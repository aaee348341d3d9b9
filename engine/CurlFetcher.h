#pragma once

#include "PageFetcher.h"

#include <QTimer>

#include <map>
#include <memory>
#include <vector>

class QEventLoop;
class QSocketNotifier;

namespace vq {

// The built-in HTTP client of the speed test (the window's HttpCli1), on libcurl's multi
// interface driven by the Qt event loop: curl's sockets are watched by socket notifiers and its
// timeouts by a timer, and Fetch waits in a nested event loop until the transfer has ended.
//
// Requests are those of the program's own client: user agent "Veloqua/1.0", the accept list
// "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*", HTTP/1.0, at most 5 redirections
// in a row, no referrer, no compression, no cache directives, the proxy from the preferences
// (none otherwise, whatever the environment says), http and https only.
class TCurlFetcher : public TPageFetcher
{
    Q_OBJECT
public:
    explicit TCurlFetcher(QObject *parent = nullptr);
    ~TCurlFetcher() override;

    // The proxy of the preferences; an empty host means none.
    void SetProxy(const QString &host, const QString &port);

    // True when the transfer ended with a status below 400, or 401 or 407; false after a
    // protocol-level failure: another status of 400 or more, an abort, a network error.
    bool Fetch(const QString &address, TMemoryStream &stream) override;
    void Abort() override;

    // The status of the last transfer (0 when no response arrived).
    long StatusCode() const { return m_status; }

    static const char *UserAgent();
    static const char *AcceptTypes();

private:
    static int SocketCallback(void *easy, int fd, int what, void *self, void *socketData);
    static int TimerCallback(void *multi, long timeoutMs, void *self);
    static std::size_t WriteCallback(char *data, std::size_t size, std::size_t count, void *self);

    void watchSocket(int fd, int what);
    void socketAction(int fd, int eventMask);
    void checkDone();
    void finishLoop();

    struct Watch {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };

    void *m_multi = nullptr;
    void *m_easy = nullptr;
    void *m_headers = nullptr;
    QByteArray m_proxy;
    QTimer m_curlTimer;
    std::map<int, Watch> m_watches;
    std::vector<std::unique_ptr<QSocketNotifier>> m_retired; // disabled, freed after the transfer
    QEventLoop *m_loop = nullptr;
    TMemoryStream *m_stream = nullptr;
    bool m_done = false;
    bool m_aborted = false;
    int m_result = 0;
    long m_status = 0;
};

} // namespace vq

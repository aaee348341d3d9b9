#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

namespace vq {

class TMemoryStream;

// One of the two interchangeable download engines. Fetch is synchronous for its caller but
// keeps the thread's event loop running while it waits, so timers (the inactivity watchdog),
// the stop button and the rest of the window are served in the middle of a download. Every
// block of body bytes is written to the stream and announced through DocData.
class TPageFetcher : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Downloads one address (a scheme-less address is fetched with http). The result follows
    // the engine's own rule; callers measure whatever arrived either way.
    virtual bool Fetch(const QString &address, TMemoryStream &stream) = 0;
    // Ends the transfer in progress at once (the stop button, the watchdog). Safe to call at any
    // time, also when nothing runs.
    virtual void Abort() = 0;

    // The last Fetch was cut short because the application is ending (its event loop was told to
    // quit while the download waited).
    bool ApplicationEnding() const { return m_applicationEnding; }

    // The address a download goes to: a scheme-less address gets "http://"; only http and https
    // are ever fetched (an invalid result means "nothing to fetch").
    static QUrl AddressToUrl(const QString &address);

Q_SIGNALS:
    // A block of body bytes arrived (already written to the stream).
    void DocData(qint64 length);

protected:
    bool m_applicationEnding = false;
};

} // namespace vq

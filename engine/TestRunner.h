#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>

class QTimer;

namespace vq {

class TCurlFetcher;
class TMemoryStream;
class TPageFetcher;
class TSystemFetcher;

// One row of a test list as the runner sees it.
struct TSiteRow {
    QString caption; // the site address as the list gives it, usually without a scheme
    QVariant siteId; // the site's number on the standard list; null on the personal list
};

// What a row shows after the runner has been through it: the last progress figures, or the
// final ones once the site was tested to its end.
struct TSiteFigures {
    std::int64_t bytes = 0;
    std::int64_t milliseconds = 0;
    bool final = false;
};

// A standard run that reached its last row, for the service's upload.
struct TStandardRunResult {
    QList<TSiteRow> rows;
    QList<TSiteFigures> figures; // one per row
    std::int64_t totalBytes = 0;
    std::int64_t totalMilliseconds = 0;
    double bytesPerSecond = 0.0; // the overall speed; 0 when no time passed
};

// How a run ended.
struct TRunSummary {
    bool completed = false; // went past its last row (a stop during the last row still completes)
    std::int64_t totalBytes = 0;
    std::int64_t totalMilliseconds = 0;
    QList<TSiteFigures> figures;
    QDateTime finished; // local time at the end of a completed run
};

// The speed test runner, shared by the window and the headless program. It walks a list of
// sites; for each it downloads the page, finds the files the page embeds, downloads each once,
// and adds up body bytes and milliseconds. It reports through signals, and the caller renders.
//
// Everything runs on the calling thread: Run returns when the run has ended, and the event loop
// keeps running meanwhile (downloads and large parses process events), which is how Stop, the
// inactivity watchdog and the rest of the program get their turn.
class TTestRunner : public QObject
{
    Q_OBJECT
public:
    // The gate in front of a standard run (the profile check): false refuses the run.
    using TStandardRunGate = std::function<bool()>;
    // Told when a standard run has reached its last row (the result upload). An exception from
    // it ends the run without the "Last test:" time; the caller reports it.
    using TStandardRunCompleted = std::function<void(const TStandardRunResult &)>;

    // watchdog: the inactivity timer to use (the window's Timer3); null makes one of its own.
    // The owner connects the timer's timeout to Timer3Timer.
    explicit TTestRunner(QObject *parent = nullptr, QTimer *watchdog = nullptr);
    ~TTestRunner() override;

    // Settings, read at the start of every download.
    bool FUseWinInet = false;       // the system network engine instead of the built-in client
    int FParsingMethod = 2;         // 1 built-in scanner, 2 document, 3 editable document, else none
    void SetProxy(const QString &host, const QString &port); // for the built-in client
    void setWatchdogInterval(int milliseconds);             // 5,000 unless a test shortens it
    int watchdogInterval() const { return m_watchdogInterval; }
    // Progress reports of one download come at most this often (the last block always reports).
    void setProgressInterval(int milliseconds) { m_progressInterval = milliseconds; }

    // The two service hooks of a standard run; by default the gate lets every run through and
    // the completion does nothing.
    void setStandardRunGate(TStandardRunGate gate) { m_gate = std::move(gate); }
    void setStandardRunCompleted(TStandardRunCompleted completed) { m_completed = std::move(completed); }
    bool PassStandardRunGate() const { return m_gate ? m_gate() : true; }

    // Tests every row in order; testKind 0 for the standard list (the completion hook runs after
    // its last row), 1 for the personal list. Returns when the run has ended.
    TRunSummary Run(const QList<TSiteRow> &rows, std::uint8_t testKind);
    bool Running() const { return m_running; }

    // Tests one site of the current run and leaves its figures in FSiteBytes and FSiteTime.
    void TestSite(int row);

    // "Stop tests": ends the download in progress and stops the run at the next step.
    void Stop();
    // The inactivity watchdog fired: the download in progress has sent nothing for the interval.
    void Timer3Timer();

    TPageFetcher *fetcher() const;
    QTimer *watchdog() const { return m_watchdog; }

    // State of the run in progress.
    int FCurrentRow = -1;         // index of the row under test
    std::int64_t FSiteBytes = 0;  // body bytes of the site so far
    std::int64_t FSiteTime = 0;   // milliseconds of the site's finished downloads
    std::uint32_t FStartTick = 0; // tick count at the start of the current download
    std::uint8_t FTestKind = 2;   // 0 standard, 1 personal, 2 idle
    bool FStopRequested = false;
    bool FTimedOut = false;

Q_SIGNALS:
    void rowStarted(int row);
    // The row's figures are reset before its site is tested.
    void rowCleared(int row);
    // Bytes of the site so far and the time of the whole site so far (page and files).
    void rowProgress(int row, qint64 bytes, qint64 elapsedMs);
    // The site was tested to its end.
    void rowFinished(int row, qint64 bytes, qint64 milliseconds);
    // Totals of the run after a row.
    void totalsChanged(qint64 totalBytes, qint64 totalMilliseconds);

private:
    void fetch(const QString &address, TMemoryStream &stream);
    TPageFetcher *engine(); // the engine of FUseWinInet, made on first use
    void HttpCli1DocData(qint64 length);
    void restartWatchdog();
    void reportProgress();
    void findResources(const QString &caption, const TMemoryStream &page, class TResourceList &list);

    std::unique_ptr<TCurlFetcher> m_httpCli;
    std::unique_ptr<TSystemFetcher> m_winInet;
    TPageFetcher *m_active = nullptr;
    QTimer *m_watchdog = nullptr;
    int m_watchdogInterval = 5000;
    int m_progressInterval = 20;
    std::uint32_t m_lastDataTick = 0;
    std::uint32_t m_lastProgressTick = 0;
    bool m_progressPending = false;
    bool m_running = false;
    QList<TSiteRow> m_rows;
    QList<TSiteFigures> m_figures;
    TStandardRunGate m_gate;
    TStandardRunCompleted m_completed;
};

// Address of an embedded file: entries of the document parsers that are relative come back as
// "about:blank" followed by the relative text and are put on the site; others are used as they
// are. Empty when there is nothing to download (an empty entry, "data:", "javascript:", ...).
QString ResourceAddress(const QString &caption, const QString &entry);
// The built-in scanner's entries, put on the site: base is the caption followed by "/" unless
// it ends with one. Absolute addresses stay, "//host/x" becomes "http://host/x", and entries
// that name nothing to download become empty.
QString BuiltInResourceAddress(const QString &caption, const QString &entry);
// Entries whose scheme names something that is never downloaded ("data:", "javascript:", ...).
bool IsNonNetworkAddress(const QString &entry);

} // namespace vq

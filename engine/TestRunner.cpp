#include "TestRunner.h"

#include "CurlFetcher.h"
#include "HTMLParser.h"
#include "MemoryStream.h"
#include "ResourceList.h"
#include "SpeedUnits.h"
#include "SystemFetcher.h"
#include "TickCount.h"
#include "UI_Less.h"

#include <QSet>
#include <QScopeGuard>
#include <QTimer>

namespace vq {

namespace {

bool StartsWithHttpScheme(const QString &entry)
{
    return entry.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
           || entry.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}


} // namespace

bool IsNonNetworkAddress(const QString &entry)
{
    if (!HasUrlScheme(entry))
        return false;
    return !StartsWithHttpScheme(entry) && !entry.startsWith(QLatin1String("about:blank"), Qt::CaseInsensitive);
}

QString BuiltInResourceAddress(const QString &caption, const QString &entry)
{
    if (entry.isEmpty() || IsNonNetworkAddress(entry))
        return QString();
    if (StartsWithHttpScheme(entry))
        return entry;
    if (entry.startsWith(QLatin1String("//")))
        return QStringLiteral("http:") + entry;
    return caption + (caption.endsWith(u'/') ? QString() : QStringLiteral("/")) + entry;
}

QString ResourceAddress(const QString &caption, const QString &entry)
{
    if (entry.isEmpty())
        return QString();
    if (entry.startsWith(QLatin1String("about:blank"), Qt::CaseInsensitive)) {
        const QString relative = entry.mid(11);
        if (relative.isEmpty())
            return QString();
        return relative.startsWith(u'/') ? caption + relative : caption + u'/' + relative;
    }
    if (IsNonNetworkAddress(entry))
        return QString();
    return entry;
}

TTestRunner::TTestRunner(QObject *parent, QTimer *watchdog)
    : QObject(parent)
    , m_watchdog(watchdog)
{
    if (!m_watchdog) {
        m_watchdog = new QTimer(this);
        m_watchdog->setObjectName(QStringLiteral("Timer3"));
        connect(m_watchdog, &QTimer::timeout, this, &TTestRunner::Timer3Timer);
    }
    m_watchdog->setSingleShot(false);
    m_watchdog->setInterval(m_watchdogInterval);
    m_watchdog->stop();
}

TTestRunner::~TTestRunner() = default;

void TTestRunner::SetProxy(const QString &host, const QString &port)
{
    if (!m_httpCli) {
        m_httpCli = std::make_unique<TCurlFetcher>();
        connect(m_httpCli.get(), &TPageFetcher::DocData, this, &TTestRunner::HttpCli1DocData);
    }
    m_httpCli->SetProxy(host, port);
}

void TTestRunner::setWatchdogInterval(int milliseconds)
{
    m_watchdogInterval = milliseconds;
    m_watchdog->setInterval(milliseconds);
}

TPageFetcher *TTestRunner::fetcher() const
{
    return m_active;
}

TRunSummary TTestRunner::Run(const QList<TSiteRow> &rows, std::uint8_t testKind)
{
    TRunSummary summary;
    if (m_running)
        return summary; // a run never starts while another runs
    m_running = true;
    const auto idle = qScopeGuard([this] {
        m_running = false;
        FTestKind = 2;
        m_watchdog->stop();
    });

    FTestKind = testKind;
    FStopRequested = false;
    engine(); // set up before the first download is timed
    m_rows = rows;
    m_figures = QList<TSiteFigures>(rows.size());
    std::int64_t B = 0;
    std::int64_t T = 0;
    for (int i = 0; i < rows.size(); ++i) {
        if (FStopRequested)
            break;
        FCurrentRow = i;
        Q_EMIT rowStarted(i);
        TestSite(i);
        B += FSiteBytes;
        T += FSiteTime;
        Q_EMIT totalsChanged(B, T);
        if (i == rows.size() - 1)
            summary.completed = true; // a stop during the last row still completes the run
    }
    summary.totalBytes = B;
    summary.totalMilliseconds = T;
    summary.figures = m_figures;
    if (summary.completed) {
        summary.finished = QDateTime::currentDateTime();
        if (testKind == 0 && m_completed) {
            TStandardRunResult result;
            result.rows = m_rows;
            result.figures = m_figures;
            result.totalBytes = B;
            result.totalMilliseconds = T;
            result.bytesPerSecond = BytesPerSecond(B, T);
            m_completed(result);
        }
    }
    return summary;
}

void TTestRunner::TestSite(int row)
{
    const QString caption = m_rows.at(row).caption;
    TResourceList list;
    // The page is kept for the parsers; with none to run it is only counted.
    const bool parses = FParsingMethod >= 1 && FParsingMethod <= 3;
    auto page = std::make_unique<TMemoryStream>(parses ? TMemoryStream::kPageLimit : 0);

    FSiteBytes = 0;
    FSiteTime = 0;
    FStartTick = platform::TickCount();
    m_figures[row] = TSiteFigures{};
    Q_EMIT rowCleared(row);

    fetch(caption, *page);
    FSiteTime = std::uint32_t(platform::TickCount() - FStartTick);
    if (FStopRequested)
        return; // the row keeps its last progress figures

    // Parsing is not part of the measured time.
    findResources(caption, *page, list);
    page.reset();

    // Each distinct address once, also when two entries lead to the same one.
    QSet<QString> fetched;
    const qsizetype count = list.Count();
    for (qsizetype i = 0; i < count; ++i) {
        if (FStopRequested)
            return;
        const QString &entry = list[i];
        const QString address = FParsingMethod == 1 ? entry : ResourceAddress(caption, entry);
        if (address.isEmpty())
            continue;
        const QString key = address.toCaseFolded();
        if (fetched.contains(key))
            continue;
        fetched.insert(key);
        TMemoryStream discard(0); // an embedded file is counted, not kept
        FStartTick = platform::TickCount();
        fetch(address, discard);
        FSiteTime += std::uint32_t(platform::TickCount() - FStartTick);
    }

    m_figures[row] = TSiteFigures{FSiteBytes, FSiteTime, true};
    Q_EMIT rowFinished(row, FSiteBytes, FSiteTime);
}

void TTestRunner::findResources(const QString &caption, const TMemoryStream &page, TResourceList &list)
{
    list.Clear();
    switch (FParsingMethod) {
    case 1:
        ParseImagesBuiltIn(page.Data(), list);
        list.Transform([&caption](const QString &entry) { return BuiltInResourceAddress(caption, entry); });
        break;
    case 2: {
        TUILess host;
        host.ParseImages(page.Data(), list);
        break;
    }
    case 3:
        ParseImagesDesignMode(page.Data(), list);
        break;
    default:
        break; // the pages alone
    }
}

TPageFetcher *TTestRunner::engine()
{
    if (FUseWinInet) {
        if (!m_winInet) {
            m_winInet = std::make_unique<TSystemFetcher>();
            connect(m_winInet.get(), &TPageFetcher::DocData, this, &TTestRunner::HttpCli1DocData);
        }
        return m_winInet.get();
    }
    if (!m_httpCli)
        SetProxy(QString(), QString());
    return m_httpCli.get();
}

void TTestRunner::fetch(const QString &address, TMemoryStream &stream)
{
    m_active = engine();
    FTimedOut = false;
    m_progressPending = false;
    m_lastProgressTick = platform::TickCount() - std::uint32_t(m_progressInterval);
    restartWatchdog();
    m_active->Fetch(address, stream);
    m_watchdog->stop();
    if (m_progressPending)
        reportProgress();
    if (m_active->ApplicationEnding())
        FStopRequested = true; // the program is closing: no further downloads
    m_active = nullptr;
}

void TTestRunner::restartWatchdog()
{
    m_lastDataTick = platform::TickCount();
    m_watchdog->start(m_watchdogInterval);
}

void TTestRunner::HttpCli1DocData(qint64 length)
{
    const std::uint32_t now = platform::TickCount();
    FSiteBytes += length;
    m_lastDataTick = now; // restarts the watchdog's count
    const std::int64_t elapsed = std::int64_t(std::uint32_t(now - FStartTick)) + FSiteTime;
    if (FCurrentRow >= 0 && FCurrentRow < m_figures.size())
        m_figures[FCurrentRow] = TSiteFigures{FSiteBytes, elapsed, false};
    m_progressPending = true;
    if (m_progressInterval <= 0 || std::uint32_t(now - m_lastProgressTick) >= std::uint32_t(m_progressInterval)) {
        m_lastProgressTick = now;
        reportProgress();
    }
}

void TTestRunner::reportProgress()
{
    m_progressPending = false;
    if (FCurrentRow < 0 || FCurrentRow >= m_figures.size())
        return;
    const TSiteFigures &f = m_figures.at(FCurrentRow);
    Q_EMIT rowProgress(FCurrentRow, f.bytes, f.milliseconds);
}

void TTestRunner::Timer3Timer()
{
    if (!m_active) {
        m_watchdog->stop();
        return;
    }
    // Blocks do not restart the timer each (that would cost more than the block); they move
    // the mark, and the timer waits out the rest of the interval when it fires early.
    const std::uint32_t quiet = platform::TickCount() - m_lastDataTick;
    if (quiet < std::uint32_t(m_watchdogInterval)) {
        m_watchdog->start(m_watchdogInterval - int(quiet));
        return;
    }
    m_active->Abort();
    FTimedOut = true;
    m_watchdog->stop();
}

void TTestRunner::Stop()
{
    FStopRequested = true;
    if (m_active)
        m_active->Abort();
}

} // namespace vq

// veloqua-cli: the speed test without a window, for scripts and cron.
#include "ConfigFile.h"
#include "HeadlessRun.h"
#include "SpeedUnits.h"
#include "TestRunner.h"
#include "UnixSignals.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

using namespace vq;

namespace {

constexpr int kCompleted = 0;
constexpr int kInterrupted = 1;
constexpr int kUsageError = 2;

void Print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to);
    std::fflush(to);
}

int UsageError(const QString &message)
{
    Print(stderr, QStringLiteral("veloqua-cli: %1\n\n").arg(message) + CliUsage());
    return kUsageError;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veloqua-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VQ_PRODUCT_VERSION));

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const auto parsed = ParseCliArguments(arguments);
    if (const QString *error = std::get_if<QString>(&parsed))
        return UsageError(*error);
    const TCliOptions options = std::get<TCliOptions>(parsed);
    if (options.help) {
        Print(stdout, CliUsage());
        return kCompleted;
    }
    if (options.version) {
        Print(stdout, QStringLiteral("veloqua-cli %1\n").arg(QStringLiteral(VQ_PRODUCT_VERSION)));
        return kCompleted;
    }

    // Whatever the command line leaves open comes from the desktop program's configuration.
    QList<TSiteRow> rows;
    bool useWinInet = false;
    int parsingMethod = 2;
    int multiplier = 0;
    QString proxyHost, proxyPort;
    try {
        const ConfigFile config(ConfigFileName(QStringLiteral("veloqua")));
        useWinInet = options.useWinInet.value_or(config.Read(cfg::UseWinInet));
        parsingMethod = options.parsingMethod.value_or(config.Read(cfg::ParsingMethod));
        multiplier = options.multiplier.value_or(config.Read(cfg::Multiplier));
        if (config.Read(cfg::ProxyEnabled)) {
            proxyHost = config.Read(cfg::ProxyServer);
            proxyPort = config.Read(cfg::ProxyPort);
        }
        const QStringList sites =
            options.sites.isEmpty() ? config.ReadSection(QLatin1String(cfg::section::LocalSites)) : options.sites;
        for (const QString &site : sites)
            rows.append({site, QVariant()});
    } catch (const Error &e) {
        Print(stderr, QStringLiteral("veloqua-cli: %1\n").arg(e.message()));
        return kUsageError;
    }
    if (rows.isEmpty())
        return UsageError(QStringLiteral("no sites to test: name them on the command line, or add personal sites "
                                         "in Veloqua's preferences"));

    TTestRunner runner;
    runner.FUseWinInet = useWinInet;
    runner.FParsingMethod = parsingMethod;
    runner.SetProxy(proxyHost, proxyPort);

    // Ctrl-C or a termination request stops the run as "Stop tests" does; what was measured
    // is still reported.
    platform::UnixSignals signals_;
    bool interrupted = false;
    QObject::connect(&signals_, &platform::UnixSignals::terminationRequested, &runner, [&] {
        interrupted = true;
        runner.Stop();
    });

    const TSpeedUnit unit = UnitFor(multiplier);
    const TNumberFormats formats;
    if (::isatty(STDERR_FILENO)) {
        runner.setProgressInterval(100);
        auto show = [&](int row, qint64 bytes, qint64 ms) {
            const QString speed = ms ? QStringLiteral("  ") + formats.Speed(BytesPerSecond(bytes, ms) / unit.divisor, unit.name)
                                     : QString();
            Print(stderr, QStringLiteral("\r\033[K[%1/%2] %3  %4  %5%6")
                              .arg(row + 1)
                              .arg(rows.size())
                              .arg(rows.at(row).caption, formats.TotalBytes(bytes), formats.TotalSeconds(ms / 1000.0), speed));
        };
        QObject::connect(&runner, &TTestRunner::rowStarted, [&](int row) { show(row, 0, 0); });
        QObject::connect(&runner, &TTestRunner::rowProgress, show);
    }

    TCliReport report;
    report.rows = rows;
    report.unit = unit;
    report.engine = useWinInet ? QStringLiteral("system") : QStringLiteral("curl");
    report.parsingMethod = parsingMethod;
    report.summary = runner.Run(rows, 1);
    if (::isatty(STDERR_FILENO))
        Print(stderr, QStringLiteral("\r\033[K"));

    switch (options.format) {
    case TCliOptions::Format::Json:
        Print(stdout, FormatJson(report));
        break;
    case TCliOptions::Format::Csv:
        Print(stdout, FormatCsv(report));
        break;
    case TCliOptions::Format::Text:
        Print(stdout, FormatText(report, formats));
        break;
    }
    return report.summary.completed && !interrupted ? kCompleted : kInterrupted;
}

// veloqua-cli: the speed test without a window, for scripts and cron.
#include "ComputerInfo.h"
#include "ConfigFile.h"
#include "HeadlessRun.h"
#include "MainModule.h"
#include "ProfileService.h"
#include "QuickCompare.h"
#include "ResultUpload.h"
#include "SoapProfileService.h"
#include "SpeedUnits.h"
#include "StandardRun.h"
#include "TestRunner.h"
#include "UnixSignals.h"
#include "wsVeloqua.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

using namespace vq;

namespace {

constexpr int kCompleted = 0;
constexpr int kInterrupted = 1;
constexpr int kUsageError = 2;
constexpr int kCannotStart = 3;   // --standard: no user or profile, another network, no service
constexpr int kServiceFailed = 4; // --standard: the upload or the comparison failed after the run

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

int CannotStart(const QString &message)
{
    Print(stderr, QStringLiteral("veloqua-cli: %1\n").arg(message));
    return kCannotStart;
}

// The central service as the standard tests use it: the site list arrives through the response
// hook into the data module (and its cache file, which the desktop program shares).
struct StandardService {
    explicit StandardService(const QString &serverUrl)
        : rio(std::make_shared<THTTPRIO>())
    {
        rio->OnAfterExecute = [this](const QString &, const QByteArray &response) {
            const bool sites = FPendingRequest == std::uint8_t(TPendingTable::Sites);
            FPendingRequest = 6;
            if (sites)
                dm.TransformResponse(dm.binding(TPendingTable::Sites), response, DataFolder(QStringLiteral("veloqua")));
        };
        rio->OnExecuteFailed = [this](const QString &) { FPendingRequest = 6; };
        service = GetServiceProxy(serverUrl, rio);
        profiles = std::make_unique<SoapProfileService>(*service, FPendingRequest);
    }

    TdmMain dm;
    std::shared_ptr<THTTPRIO> rio;
    std::uint8_t FPendingRequest = 6;
    std::unique_ptr<Service1Soap> service;
    std::unique_ptr<SoapProfileService> profiles;
};

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
    QString serverUrl;
    TActiveProfile profile;
    try {
        const ConfigFile config(ConfigFileName(QStringLiteral("veloqua")));
        useWinInet = options.useWinInet.value_or(config.Read(cfg::UseWinInet));
        parsingMethod = options.parsingMethod.value_or(config.Read(cfg::ParsingMethod));
        multiplier = options.multiplier.value_or(config.Read(cfg::Multiplier));
        if (config.Read(cfg::ProxyEnabled)) {
            proxyHost = config.Read(cfg::ProxyServer);
            proxyPort = config.Read(cfg::ProxyPort);
        }
        if (options.standard) {
            serverUrl = config.Read(cfg::ServerURL);
            const auto active = ReadActiveProfile(config);
            if (const QString *why = std::get_if<QString>(&active))
                return CannotStart(*why);
            profile = std::get<TActiveProfile>(active);
        } else {
            const QStringList sites =
                options.sites.isEmpty() ? config.ReadSection(QLatin1String(cfg::section::LocalSites)) : options.sites;
            for (const QString &site : sites)
                rows.append({site, QVariant()});
        }
    } catch (const Error &e) {
        Print(stderr, QStringLiteral("veloqua-cli: %1\n").arg(e.message()));
        return kUsageError;
    }

    // The standard tests: the profile gate without dialogs, then the service's site list.
    std::unique_ptr<StandardService> central;
    TStandardReport standard;
    if (options.standard) {
        central = std::make_unique<StandardService>(serverUrl);
        standard.profileName = profile.name;
        standard.profileId = profile.profileId;
        try {
            const QString refusal =
                HeadlessProfileGate(*central->profiles, ConfigFile(ConfigFileName(QStringLiteral("veloqua"))), profile);
            if (!refusal.isEmpty())
                return CannotStart(refusal);
            central->FPendingRequest = std::uint8_t(TPendingTable::Sites);
            central->service->GetSites(); // the rows arrive through the hook
        } catch (const EServiceUnreachable &e) {
            return CannotStart(QStringLiteral("cannot reach the central service at %1: %2").arg(central->rio->URL, e.message()));
        } catch (const ESOAPHTTPException &e) {
            return CannotStart(QStringLiteral("cannot reach the central service at %1: %2").arg(central->rio->URL, e.message()));
        } catch (const Error &e) {
            return CannotStart(QStringLiteral("the central service at %1 failed: %2").arg(central->rio->URL, e.message()));
        }
        const TClientDataSet *sites = central->dm.cdsSites;
        for (int i = 0; i < sites->RecordCount(); ++i)
            rows.append({sites->AsString(i, QStringLiteral("vcUrl")), sites->AsInteger(i, QStringLiteral("iSiteId"))});
        if (rows.isEmpty())
            return CannotStart(QStringLiteral("the central service's site list is empty"));
    }
    if (rows.isEmpty())
        return UsageError(QStringLiteral("no sites to test: name them on the command line, or add personal sites "
                                         "in Veloqua's preferences"));

    TTestRunner runner;
    runner.FUseWinInet = useWinInet;
    runner.FParsingMethod = parsingMethod;
    runner.SetProxy(proxyHost, proxyPort);
    if (central) {
        // The headless program has no "Quick compare" page: the upload is all a run hands on.
        runner.setStandardRunCompleted([&](const TStandardRunResult &result) {
            try {
                platform::LinuxComputerInfo computer;
                const TUploadReceipt receipt =
                    UploadStandardRun(*central->service, central->FPendingRequest, profile.profileId, result, computer);
                standard.uploaded = true;
                standard.veloquaId = receipt.veloquaId;
                standard.sitesSent = receipt.resultsSent;
            } catch (const ESOAPHTTPException &e) {
                standard.uploadError = e.message();
            } catch (const ERemotableException &e) {
                standard.uploadError = e.message();
            }
        });
    }

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
    report.summary = runner.Run(rows, central ? 0 : 1);
    if (::isatty(STDERR_FILENO))
        Print(stderr, QStringLiteral("\r\033[K"));
    if (central) {
        if (standard.uploaded) {
            try {
                standard.everyoneAverage = GetQuickCompareAverage(
                    *central->service, central->FPendingRequest, profile.profileId,
                    QuickCompareValue(QuickCompareAreas(), 0), QuickCompareValue(QuickComparePeriods(), 0));
            } catch (const ESOAPHTTPException &e) {
                standard.averageError = e.message();
            } catch (const ERemotableException &e) {
                standard.averageError = e.message();
            }
        }
        report.standard = standard;
    }

    switch (options.format) {
    case TCliOptions::Format::Json:
        Print(stdout, FormatJson(report));
        break;
    case TCliOptions::Format::Csv:
        Print(stdout, FormatCsv(report));
        if (report.standard)
            Print(stderr, FormatStandardText(*report.standard, unit, formats));
        break;
    case TCliOptions::Format::Text:
        Print(stdout, FormatText(report, formats));
        break;
    }
    if (!report.summary.completed || interrupted)
        return kInterrupted;
    if (report.standard && (!report.standard->uploadError.isEmpty() || !report.standard->averageError.isEmpty()))
        return kServiceFailed;
    return kCompleted;
}

#include "HeadlessRun.h"

#include "DateTimeText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace vq {

QString CliUsage()
{
    return QStringLiteral(
        "Usage: veloqua-cli [--engine curl|system] [--parsing N] [--unit KB/s|Kbps|MB/s|Mbps]\n"
        "                   [--json|--csv] [SITE...]\n"
        "       veloqua-cli --standard [OPTIONS]\n"
        "\n"
        "Measures how fast web pages reach this computer: each SITE's page and the images it\n"
        "embeds are downloaded one after another, and bytes, time and speed are reported per\n"
        "site and in total. Without sites, the personal list of Veloqua's preferences is used.\n"
        "\n"
        "  --standard            the standard tests: the central service's site list, run under\n"
        "                        Veloqua's active profile, the results uploaded, then the average\n"
        "                        of everyone at any time for comparison\n"
        "  --engine curl|system  the built-in HTTP client, or the system network settings\n"
        "  --parsing N           how images are found: 1 built-in scanner, 2 document,\n"
        "                        3 editable document, anything else: pages only\n"
        "  --unit UNIT           the speed unit of the text report\n"
        "  --json, --csv         raw numbers instead of the text report\n"
        "  -h, --help            this text\n"
        "  --version             the program's version\n"
        "\n"
        "Settings not given come from Veloqua's configuration file. Exit status: 0 when the run\n"
        "completed, 1 when it was interrupted, 2 for a usage error; with --standard also 3 when\n"
        "the tests could not start (no registered user or profile, another network than the\n"
        "profile's, the service unreachable), 4 when the service failed after the run.\n");
}

std::variant<TCliOptions, QString> ParseCliArguments(const QStringList &arguments)
{
    TCliOptions options;
    bool formatGiven = false;
    bool onlySites = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString arg = arguments.at(i);
        if (onlySites || !arg.startsWith(u'-') || arg == u"-") {
            options.sites.append(arg);
            continue;
        }
        if (arg == u"--") {
            onlySites = true;
            continue;
        }
        QString value;
        bool inlineValue = false;
        const qsizetype eq = arg.indexOf(u'=');
        if (arg.startsWith(QLatin1String("--")) && eq > 0) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
            inlineValue = true;
        }
        auto takeValue = [&]() -> std::optional<QString> {
            if (inlineValue)
                return value;
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments.at(++i);
        };
        if (arg == u"-h" || arg == u"--help") {
            options.help = true;
        } else if (arg == u"--version") {
            options.version = true;
        } else if (arg == u"--standard") {
            if (inlineValue)
                return QStringLiteral("--standard takes no value");
            options.standard = true;
        } else if (arg == u"--json" || arg == u"--csv") {
            if (inlineValue)
                return QStringLiteral("%1 takes no value").arg(arg);
            const auto format = arg == u"--json" ? TCliOptions::Format::Json : TCliOptions::Format::Csv;
            if (formatGiven && options.format != format)
                return QStringLiteral("--json and --csv cannot be combined");
            options.format = format;
            formatGiven = true;
        } else if (arg == u"--engine") {
            const auto v = takeValue();
            if (!v)
                return QStringLiteral("--engine needs a value: curl or system");
            if (*v == u"curl")
                options.useWinInet = false;
            else if (*v == u"system")
                options.useWinInet = true;
            else
                return QStringLiteral("unknown engine \"%1\": use curl or system").arg(*v);
        } else if (arg == u"--parsing") {
            const auto v = takeValue();
            bool ok = false;
            const int n = v ? v->toInt(&ok) : 0;
            if (!ok)
                return QStringLiteral("--parsing needs a whole number (1, 2, 3, or another for pages only)");
            options.parsingMethod = n;
        } else if (arg == u"--unit") {
            const auto v = takeValue();
            const TSpeedUnit unit = UnitNamed(v.value_or(QString()));
            if (unit.multiplier < 0)
                return QStringLiteral("unknown unit \"%1\": use KB/s, Kbps, MB/s or Mbps").arg(v.value_or(QString()));
            options.multiplier = unit.multiplier;
        } else {
            return QStringLiteral("unknown option %1").arg(arg);
        }
    }
    if (options.standard && !options.sites.isEmpty())
        return QStringLiteral("--standard tests the central service's site list; it takes no sites");
    return options;
}

namespace {

double RowSpeed(const TSiteFigures &f)
{
    return BytesPerSecond(f.bytes, f.milliseconds);
}

QString Pad(const QString &text, qsizetype width, bool right)
{
    return right ? text.rightJustified(width) : text.leftJustified(width);
}

QString CsvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

QString Number(double value)
{
    return QString::number(value, 'f', 3);
}

} // namespace

QString FormatText(const TCliReport &report, const TNumberFormats &f)
{
    const QStringList header{QStringLiteral("Site"), QStringLiteral("Bytes"), QStringLiteral("Time (s)"), QStringLiteral("Speed")};
    QList<QStringList> lines;
    for (qsizetype i = 0; i < report.rows.size(); ++i) {
        const TSiteFigures fig = report.summary.figures.value(i);
        QString speed;
        if (fig.milliseconds != 0)
            speed = f.Speed(RowSpeed(fig) / report.unit.divisor, report.unit.name);
        else if (fig.final)
            speed = f.Speed(0.0, report.unit.name);
        const bool tested = fig.final || fig.bytes != 0 || fig.milliseconds != 0;
        lines.append({report.rows.at(i).caption, tested ? f.Bytes(fig.bytes) : QString(),
                      tested ? f.Seconds(fig.milliseconds / 1000.0) : QString(), speed});
    }
    qsizetype widths[4];
    for (int c = 0; c < 4; ++c) {
        widths[c] = header.at(c).size();
        for (const QStringList &l : lines)
            widths[c] = std::max(widths[c], l.at(c).size());
    }
    auto render = [&](const QStringList &l) {
        return (Pad(l.at(0), widths[0], false) + QStringLiteral("  ") + Pad(l.at(1), widths[1], true) + QStringLiteral("  ")
                + Pad(l.at(2), widths[2], true) + QStringLiteral("  ") + Pad(l.at(3), widths[3], true))
                   .trimmed()
               + u'\n';
    };
    QString out = render(header);
    for (const QStringList &l : lines)
        out += render(l);
    const std::int64_t B = report.summary.totalBytes;
    const std::int64_t T = report.summary.totalMilliseconds;
    out += u'\n';
    out += QStringLiteral("Total bytes downloaded: ") + f.TotalBytes(B) + u'\n';
    out += QStringLiteral("Total time: ") + f.TotalSeconds(T / 1000.0) + u'\n';
    out += QStringLiteral("Veloqua: ") + f.Speed(BytesPerSecond(B, T) / report.unit.divisor, report.unit.name) + u'\n';
    if (report.summary.completed)
        out += QStringLiteral("Last test: ") + DateTimeToStr(report.summary.finished) + u'\n';
    else
        out += QStringLiteral("The run was stopped before its end.\n");
    if (report.standard)
        out += FormatStandardText(*report.standard, report.unit, f);
    return out;
}

QString FormatStandardText(const TStandardReport &standard, const TSpeedUnit &unit, const TNumberFormats &f)
{
    QString out;
    if (standard.uploaded)
        out += QStringLiteral("Uploaded to the central service as test %1 under the profile \"%2\" (%3 sites).\n")
                   .arg(standard.veloquaId)
                   .arg(standard.profileName)
                   .arg(standard.sitesSent);
    else if (!standard.uploadError.isEmpty())
        out += QStringLiteral("Error connecting to the server: %1. The results were not uploaded.\n").arg(standard.uploadError);
    else
        out += QStringLiteral("Nothing was uploaded: the run did not reach its end.\n");
    if (standard.everyoneAverage)
        out += QStringLiteral("The average Veloqua of everyone at any time: ")
               + f.Speed(*standard.everyoneAverage / unit.divisor, unit.name) + u'\n';
    else if (!standard.averageError.isEmpty())
        out += QStringLiteral("The average Veloqua of everyone could not be fetched: %1.\n").arg(standard.averageError);
    return out;
}

QString FormatJson(const TCliReport &report)
{
    QJsonArray sites;
    for (qsizetype i = 0; i < report.rows.size(); ++i) {
        const TSiteFigures fig = report.summary.figures.value(i);
        sites.append(QJsonObject{
            {QStringLiteral("site"), report.rows.at(i).caption},
            {QStringLiteral("bytes"), double(fig.bytes)},
            {QStringLiteral("milliseconds"), double(fig.milliseconds)},
            {QStringLiteral("bytesPerSecond"), RowSpeed(fig)},
            {QStringLiteral("complete"), fig.final},
        });
    }
    const std::int64_t B = report.summary.totalBytes;
    const std::int64_t T = report.summary.totalMilliseconds;
    QJsonObject root{
        {QStringLiteral("engine"), report.engine},
        {QStringLiteral("parsingMethod"), report.parsingMethod},
        {QStringLiteral("unit"), report.unit.name},
        {QStringLiteral("completed"), report.summary.completed},
        {QStringLiteral("sites"), sites},
        {QStringLiteral("totalBytes"), double(B)},
        {QStringLiteral("totalMilliseconds"), double(T)},
        {QStringLiteral("bytesPerSecond"), BytesPerSecond(B, T)},
        {QStringLiteral("speed"), BytesPerSecond(B, T) / report.unit.divisor},
    };
    if (report.summary.completed)
        root.insert(QStringLiteral("finished"), report.summary.finished.toString(Qt::ISODate));
    if (report.standard) {
        const TStandardReport &s = *report.standard;
        QJsonObject standard{
            {QStringLiteral("profile"), s.profileName},
            {QStringLiteral("profileId"), s.profileId},
            {QStringLiteral("uploaded"), s.uploaded},
        };
        if (s.uploaded) {
            standard.insert(QStringLiteral("veloquaId"), s.veloquaId);
            standard.insert(QStringLiteral("sitesSent"), s.sitesSent);
        }
        if (!s.uploadError.isEmpty())
            standard.insert(QStringLiteral("uploadError"), s.uploadError);
        if (s.everyoneAverage) {
            standard.insert(QStringLiteral("everyoneBytesPerSecond"), *s.everyoneAverage);
            standard.insert(QStringLiteral("everyoneSpeed"), *s.everyoneAverage / report.unit.divisor);
        }
        if (!s.averageError.isEmpty())
            standard.insert(QStringLiteral("averageError"), s.averageError);
        root.insert(QStringLiteral("standard"), standard);
    }
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}

QString FormatCsv(const TCliReport &report)
{
    QString out = QStringLiteral("site,bytes,milliseconds,bytes_per_second,complete\n");
    for (qsizetype i = 0; i < report.rows.size(); ++i) {
        const TSiteFigures fig = report.summary.figures.value(i);
        out += CsvField(report.rows.at(i).caption) + u',' + QString::number(fig.bytes) + u','
               + QString::number(fig.milliseconds) + u',' + Number(RowSpeed(fig)) + u','
               + (fig.final ? QStringLiteral("1") : QStringLiteral("0")) + u'\n';
    }
    const std::int64_t B = report.summary.totalBytes;
    const std::int64_t T = report.summary.totalMilliseconds;
    out += QStringLiteral("(total),") + QString::number(B) + u',' + QString::number(T) + u','
           + Number(BytesPerSecond(B, T)) + u',' + (report.summary.completed ? QStringLiteral("1") : QStringLiteral("0")) + u'\n';
    return out;
}

} // namespace vq

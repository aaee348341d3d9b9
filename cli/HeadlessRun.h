#pragma once

#include "SpeedUnits.h"
#include "StandardRun.h"
#include "TestRunner.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace vq {

// The command line of veloqua-cli.
struct TCliOptions {
    enum class Format { Text, Json, Csv };
    std::optional<bool> useWinInet;  // --engine curl|system; unset: the configuration's choice
    std::optional<int> parsingMethod; // --parsing N
    std::optional<int> multiplier;    // --unit KB/s|Kbps|MB/s|Mbps
    Format format = Format::Text;
    bool help = false;
    bool version = false;
    bool standard = false; // --standard: the service's list, uploaded under the active profile
    QStringList sites;     // none: the personal list of the configuration file
};

// Reads the arguments (without the program's name); a text says what is wrong with them.
std::variant<TCliOptions, QString> ParseCliArguments(const QStringList &arguments);
QString CliUsage();

// One finished (or stopped) run with everything the reports need.
struct TCliReport {
    QList<TSiteRow> rows;
    TRunSummary summary;
    TSpeedUnit unit;
    QString engine; // "curl" or "system"
    int parsingMethod = 2;
    std::optional<TStandardReport> standard; // a --standard run
};

// The same figures as the window: a table with the formats of the test pages and the totals.
QString FormatText(const TCliReport &report, const TNumberFormats &formats);
// The lines a --standard run adds: the upload and the average of everyone.
QString FormatStandardText(const TStandardReport &standard, const TSpeedUnit &unit, const TNumberFormats &formats);
// Raw numbers.
QString FormatJson(const TCliReport &report);
QString FormatCsv(const TCliReport &report);

} // namespace vq

#pragma once

#include <QString>
#include <QStringList>

namespace vq {

// Whether two dotted IPv4 texts lie in the same network: their first two fields are equal, as
// texts. A text without "." has an empty first field and the whole text as its second.
bool SameNetwork(const QString &a, const QString &b);

// The name that a reverse lookup finds for a dotted IPv4 text; empty when there is none or the
// text is not an address. Blocks until the resolver answers.
QString HostNameOfAddress(const QString &address);

// The contracted-speed text of the profile: the number trimmed, one blank, the unit.
QString ContractedSpeedText(const QString &number, const QString &unit);

// A stored contracted-speed text split into the editor's number field and unit: the text before
// the unit letter and "Mbps" or "Kbps"; a text without "bps" goes into the number field whole,
// with no unit.
struct ContractedSpeed {
    QString number;
    QString unit; // "Kbps", "Mbps" or empty
};
ContractedSpeed SplitContractedSpeed(const QString &text);

// The units of the contracted speed, in list order.
QStringList ContractedSpeedUnits();

// The five satisfaction texts, in list order.
QStringList SatisfactionLevels();

// Why a text cannot be a profile name, as a message for the user; empty when it can. Profile
// names are keys and section names of the configuration file, so they must read back as written.
QString ProfileNameProblem(const QString &name);

} // namespace vq

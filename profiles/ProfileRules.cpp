#include "ProfileRules.h"

#include "ProfileTypes.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vq {

namespace {

std::pair<QString, QString> firstTwoFields(const QString &address)
{
    const qsizetype dot = address.indexOf(u'.');
    const QString first = dot < 0 ? QString() : address.left(dot);
    const QString rest = dot < 0 ? address : address.mid(dot + 1);
    const qsizetype next = rest.indexOf(u'.');
    return {first, next < 0 ? rest : rest.left(next)};
}

} // namespace

bool SameNetwork(const QString &a, const QString &b)
{
    return firstTwoFields(a) == firstTwoFields(b);
}

QString HostNameOfAddress(const QString &address)
{
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.trimmed().toLatin1().constData(), &sa.sin_addr) != 1)
        return QString();
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr *>(&sa), sizeof sa, host, sizeof host, nullptr, 0,
                      NI_NAMEREQD)
        != 0)
        return QString();
    return QString::fromUtf8(host);
}

QString ContractedSpeedText(const QString &number, const QString &unit)
{
    return number.trimmed() + u' ' + unit;
}

ContractedSpeed SplitContractedSpeed(const QString &text)
{
    const qsizetype at = text.indexOf(QLatin1String("bps"));
    if (at < 0)
        return {text, QString()};
    // The unit letter stands just before "bps"; the number is everything before that letter.
    const qsizetype letter = at - 1;
    const bool mega = letter >= 0 && text.at(letter) == u'M';
    return {text.left(qMax<qsizetype>(letter, 0)), mega ? QStringLiteral("Mbps") : QStringLiteral("Kbps")};
}

QStringList ContractedSpeedUnits()
{
    return {QStringLiteral("Kbps"), QStringLiteral("Mbps")};
}

QStringList SatisfactionLevels()
{
    return {QStringLiteral("Extremely Satisfied"), QStringLiteral("Very Satisfied"), QStringLiteral("Satisfied"),
            QStringLiteral("Somewhat Satisfied"), QStringLiteral("Not Satisfied")};
}

QString ProfileNameProblem(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("Please, fill the Profile name");
    for (const QChar c : name) {
        if (c == u'=' || c == u'[' || c == u']' || c == u'\r' || c == u'\n' || c == u'\0')
            return QStringLiteral("A profile name cannot contain \"=\", \"[\", \"]\" or a line break.\r\n"
                                  "Please, choose another name");
    }
    if (name != name.trimmed())
        return QStringLiteral("A profile name cannot begin or end with a blank.\r\nPlease, choose another name");
    if (name.startsWith(u';'))
        return QStringLiteral("A profile name cannot begin with \";\".\r\nPlease, choose another name");
    if (name == QLatin1String(kCancelProfile))
        return QStringLiteral("\"%1\" is reserved.\r\nPlease, choose another name").arg(name);
    return QString();
}

} // namespace vq

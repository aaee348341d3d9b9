#include "PageFetcher.h"

#include <QRegularExpression>

namespace vq {

QUrl TPageFetcher::AddressToUrl(const QString &address)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    const QString trimmed = address.trimmed();
    const QString text = scheme.match(trimmed).hasMatch() ? trimmed : QStringLiteral("http://") + trimmed;
    QUrl url(text, QUrl::TolerantMode);
    const QString s = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (s != u"http" && s != u"https"))
        return QUrl();
    return url;
}

} // namespace vq

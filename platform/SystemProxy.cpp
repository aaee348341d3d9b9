#include "SystemProxy.h"

#include <QUrl>

namespace vq::platform {

QString ProxyUrlToServerValue(const QString &value)
{
    QString text = value.trimmed();
    if (text.isEmpty())
        return {};
    if (!text.contains(QStringLiteral("://")))
        text.prepend(QStringLiteral("http://"));
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    QString entry = QStringLiteral("http=") + url.host();
    if (url.port() > 0)
        entry += QLatin1Char(':') + QString::number(url.port());
    return entry;
}

SystemProxySettings ReadSystemProxy()
{
    SystemProxySettings s;
    for (const char *name : {"http_proxy", "HTTP_PROXY"}) {
        if (!qEnvironmentVariableIsSet(name))
            continue;
        const QString value = qEnvironmentVariable(name);
        s.enableExists = true;
        s.server = ProxyUrlToServerValue(value);
        s.serverExists = !s.server.isEmpty();
        s.enabled = s.serverExists;
        break;
    }
    return s;
}

} // namespace vq::platform

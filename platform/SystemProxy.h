#pragma once

#include <QString>

namespace vq::platform {

// The desktop's proxy for plain HTTP, in the shape of the Windows Internet settings that the
// configuration was designed around: whether a proxy is switched on, and the server value as a
// list of "scheme=host:port" entries. On Linux the source is the http_proxy environment variable
// (then HTTP_PROXY), which desktop sessions export from their network settings.
struct SystemProxySettings {
    bool enableExists = false; // a setting was found at all
    bool enabled = false;
    bool serverExists = false;
    QString server; // for example "http=proxy.example:3128"
};

SystemProxySettings ReadSystemProxy();

// Turns one proxy address ("http://user:pw@host:3128/", "host:3128", "host") into the
// "http=host:port" form; empty when it names no host.
QString ProxyUrlToServerValue(const QString &url);

} // namespace vq::platform

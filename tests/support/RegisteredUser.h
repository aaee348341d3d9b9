#pragma once

#include <QByteArray>
#include <QString>

namespace vq::test {

// Configuration lines of a computer whose first run is done: user 1 with its active profile
// "Default" (id 1), stored with the given external address. A service on loopback reports
// 127.0.0.1, so with the default the start-up's profile check passes without a dialog. The ids
// are not known to a fresh service: a test that uploads registers through the window instead.
QByteArray RegisteredUserConfig(const QString &address = QStringLiteral("127.0.0.1"));

} // namespace vq::test

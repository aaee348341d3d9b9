#include "Debugger.h"

#include <QFile>

namespace vq::platform {

bool IsDebuggerPresent()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    while (!status.atEnd()) {
        const QByteArray line = status.readLine();
        if (line.startsWith("TracerPid:"))
            return line.mid(10).trimmed().toLongLong() != 0;
    }
    return false;
}

} // namespace vq::platform

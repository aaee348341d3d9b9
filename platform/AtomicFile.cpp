#include "AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vq::platform {

namespace {

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return lastError();

    auto fail = [&](const QString &reason) {
        ::close(fd);
        ::unlink(temp.constData());
        return reason;
    };

    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0) {
        if (::fchmod(fd, existing.st_mode & 07777) != 0)
            return fail(lastError());
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(fd, 0666 & ~mask) != 0)
            return fail(lastError());
    }

    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(lastError());
        }
        if (n == 0)
            return fail(QStringLiteral("the disk accepted no more data"));
        data += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        return fail(lastError());
    if (::close(fd) != 0) {
        const QString reason = lastError();
        ::unlink(temp.constData());
        return reason;
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const QString reason = lastError();
        ::unlink(temp.constData());
        return reason;
    }
    // Make the rename itself durable.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

} // namespace vq::platform

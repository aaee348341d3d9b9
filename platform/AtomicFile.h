#pragma once

#include <QByteArray>
#include <QString>

namespace vq::platform {

// Replaces a file's contents all at once: the bytes go to a temporary file in the same folder,
// which is flushed to the disk and then renamed over the target. A crash or a full disk leaves
// the previous file whole. A file that already exists keeps its permissions.
// Returns an empty string on success, otherwise the reason it failed.
//
// (QSaveFile is not used: on a short write, such as a full disk, it commits a truncated file.)
QString WriteFileAtomically(const QString &path, const QByteArray &bytes);

} // namespace vq::platform

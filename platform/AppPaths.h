#pragma once

#include <QString>

namespace vq::platform {

// Base name of the running executable without any extension ("veloqua" for /usr/bin/veloqua).
QString ExecutableBaseName();

// Folder that holds the running executable; data files are installed beside it.
QString ProgramFolder();

// The per-user folder for application settings: $XDG_CONFIG_HOME, or ~/.config when unset or
// not absolute (as the XDG base directory rules say).
QString ApplicationDataFolder();

// The per-user folder for sockets and locks: $XDG_RUNTIME_DIR, or a private folder in /tmp.
QString RuntimeFolder();

} // namespace vq::platform

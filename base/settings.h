// The program's name and version, and the per-user settings store kept under
// that name: an INI file with string values by section and key.
#pragma once

#include <QSettings>
#include <QString>

namespace basMain {

inline const QString AppTitle = QStringLiteral("Zembrik");
// The project's version, given by the build (CMake's project version).
inline constexpr int VersionMajor = ZEMBRIK_VERSION_MAJOR;
inline constexpr int VersionMinor = ZEMBRIK_VERSION_MINOR;
inline constexpr int VersionRevision = ZEMBRIK_VERSION_PATCH;

QSettings SettingsStore();

}  // namespace basMain

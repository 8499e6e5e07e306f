// The program's name and version, and where its settings are kept: an INI
// file with string values by section and key.
#pragma once

#include <QSettings>
#include <QString>

namespace base {

inline const QString AppTitle = QStringLiteral("Zembrik");
// The project's version, given by the build (CMake's project version).
inline constexpr int VersionMajor = ZEMBRIK_VERSION_MAJOR;
inline constexpr int VersionMinor = ZEMBRIK_VERSION_MINOR;
inline constexpr int VersionRevision = ZEMBRIK_VERSION_PATCH;

// A settings file, handed to whoever reads or writes settings. Each reader
// opens it afresh, so that what another copy of the program saved meanwhile
// is seen.
class SettingsStore {
public:
    // The INI file QSettings keeps for organisation and application in scope,
    // with its fallbacks (the system-wide file under a user's).
    SettingsStore(QSettings::Scope scope, const QString& organisation, const QString& application);
    // The INI file at path alone.
    explicit SettingsStore(const QString& path);

    QSettings Open() const;

private:
    QSettings::Scope scope_ = QSettings::UserScope;
    QString organisation_, application_;
    QString path_;
};

}  // namespace base

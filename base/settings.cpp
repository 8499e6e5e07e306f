// The settings file.
#include "base/settings.h"

namespace base {

SettingsStore::SettingsStore(QSettings::Scope scope, const QString& organisation, const QString& application)
    : scope_(scope), organisation_(organisation), application_(application)
{
}

SettingsStore::SettingsStore(const QString& path) : path_(path) {}

QSettings SettingsStore::Open() const
{
    if (!path_.isEmpty())
        return QSettings(path_, QSettings::IniFormat);
    return QSettings(QSettings::IniFormat, scope_, organisation_, application_);
}

}  // namespace base

// The per-user settings store.
#include "base/settings.h"

namespace basMain {

QSettings SettingsStore()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, AppTitle, AppTitle);
}

}  // namespace basMain

// The per-user settings store.
#include "shell/settings.h"

#include "shell/basmain.h"

namespace basMain {

QSettings SettingsStore()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, AppTitle, AppTitle);
}

}  // namespace basMain

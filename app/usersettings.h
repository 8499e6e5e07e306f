// Where both programs keep a user's settings: the INI file under the program's
// name in the user's configuration folder (~/.config/Zembrik/Zembrik.ini,
// %APPDATA%\Zembrik\Zembrik.ini).
#pragma once

#include "base/settings.h"

inline base::SettingsStore UserSettings()
{
    return base::SettingsStore(QSettings::UserScope, base::AppTitle, base::AppTitle);
}

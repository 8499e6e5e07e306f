// Where both programs keep a user's settings: the INI file under the program's
// name in the user's configuration folder (~/.config/Zembrik/Zembrik.ini,
// %APPDATA%\Zembrik\Zembrik.ini).
#pragma once

#include "base/settings.h"

inline basMain::SettingsStore UserSettings()
{
    return basMain::SettingsStore(QSettings::UserScope, basMain::AppTitle, basMain::AppTitle);
}

// The per-user settings store: an INI file under the application title, with
// string values by section and key.
#pragma once

#include <QSettings>

namespace basMain {

QSettings SettingsStore();

}  // namespace basMain

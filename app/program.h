// The program after its application object exists: program-wide values, the
// font, Qt's Japanese texts, the icon, the main window and the event loop,
// which ends once the main window is gone. main() and the tests of the whole
// program share it.
#pragma once

#include <QStringList>

class QApplication;

// Opens the main window on Paths (a folder, or pictures to select in their
// folder; see frmMain::OpenPaths) and returns the event loop's exit status.
int RunZembrik(QApplication& app, const QStringList& paths = {});

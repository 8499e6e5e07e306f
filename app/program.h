// The program after its application object exists: program-wide values, the
// font, Qt's Japanese texts, the icon, the main window and the event loop,
// which ends once the main window is gone. main() and the tests of the whole
// program share it.
#pragma once

class QApplication;

// Returns the event loop's exit status.
int RunZembrik(QApplication& app);

// Program-wide values of the window program: its state (the viewer count,
// the help file path), where the program lies; with the application identity
// and the path helpers every window uses.
#pragma once

#include <QString>
#include <QtGlobal>

#include "base/paths.h"
#include "base/settings.h"

namespace shell {

// What one program knows of itself while it runs: made at start-up and handed
// to the main window, the viewers and the help window, so that a test makes
// its own.
struct ProgramState {
    // Number of viewer windows in existence.
    qint16 ViewerCount = 0;
    // The help file: beside the executable, or in the installed data folder.
    QString HelpFilePath;
};

// The program's state at start-up (the main window is shown by main()); the
// help page is the one named helpFileName (see HelpFileName).
ProgramState InitProgramValues(const QString& helpFileName = QStringLiteral("Kolvane.html"));

// The help page called name of a program whose executable lies in
// appFolder: beside it, as in the build folder, else where an installation
// puts it, found relative to the executable so that a moved installation
// still finds it. The path beside the executable when neither exists.
QString HelpFileIn(const QString& appFolder, const QString& name = QStringLiteral("Kolvane.html"));

// The folder of the executable, without a trailing separator except at a root.
QString AppFolder();

// Whether the window system tells the program where its windows are and lets
// it place them. Wayland does neither: only the compositor knows.
bool WindowPositionsKnown();

}  // namespace shell

// The main window's commands whose work lives in other subsystems (viewers,
// image information), reached through the window's selection.
#pragma once

#include <QStringList>

class MainWindow;

namespace mainwin::commands {

// Plugs the viewer commands and image information into the window's View,
// Close and Option commands. The run is plugged in by the program.
void Install(MainWindow& window);

// The selected items of the file list in list order, each joined to the path
// box's text, as every command builds its paths.
QStringList SelectedPaths(const MainWindow& window);

}  // namespace mainwin::commands

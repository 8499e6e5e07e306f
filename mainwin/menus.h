// The main window's menu bar and toolbar buttons. Each command is one action,
// a child of the window named as its menu item (mnuFileRun ...): the menu
// item, its shortcut and its toolbar button all trigger that one action.
#pragma once

class MainWindow;
class QToolBar;

namespace mainwin::menus {

// Fills the window's menu bar with the File, View, Tool and Help menus, each
// item calling the window's slot of the same name, and puts the run, viewer
// and image information actions on toolbar as buttons named tlbMain_RUN,
// tlbMain_VIEW, tlbMain_CLOSE and tlbMain_OPTION.
void Build(MainWindow& window, QToolBar& toolbar);

}  // namespace mainwin::menus

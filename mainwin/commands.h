// The main window's commands whose work lives in other subsystems (batch run,
// viewers, image information), reached through the window's selection.
#pragma once

class frmMain;

namespace frmMainCommands {

// Plugs the batch run, the viewer commands and image information into the
// window's Run, View, Close and Option commands.
void Install(frmMain& window);

}  // namespace frmMainCommands

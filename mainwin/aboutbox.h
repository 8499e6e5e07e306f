// Opens the About box from the main window's help menu.
#pragma once

namespace frmMainCommands {

// Shows the About box modally, with no owner; returns when it is closed.
void ShowAboutBox();

}  // namespace frmMainCommands

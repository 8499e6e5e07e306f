// Closing every window of the program but one, as the main window does when
// it goes.
#pragma once

class QWidget;

namespace shell {

// Closes every top-level window but kept, the newest first: viewers, progress,
// work windows and dialogs (a question or the folder picker open at this
// moment answers as cancelled). Menus, drop-down lists and tooltips are not
// windows of their own and are left alone. A window that closes another on
// its way out is no harm: a window gone by its turn is skipped.
void CloseOtherWindows(const QWidget& kept);

}  // namespace shell

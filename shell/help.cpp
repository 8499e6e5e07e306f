// Help window (to be built with the main window).
#include "shell/help.h"

namespace basMain {

void ShowHelpContents(QWidget*) {}
void ShowHelpSearch(QWidget*) {}

}  // namespace basMain

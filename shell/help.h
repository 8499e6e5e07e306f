// Help: the help file beside the executable, shown in Zembrik's own help
// window at its contents or at its keyword search.
#pragma once

class QWidget;

namespace basMain {

void ShowHelpContents(QWidget* form);
void ShowHelpSearch(QWidget* form);

}  // namespace basMain

// Zembrik's entry: program-wide values, then the main window.
#include <QApplication>

#include "mainwin/frmmain.h"
#include "mainwin/programfont.h"
#include "shell/basmain.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(basMain::AppTitle);
    basMain::InitProgramValues();
    basMain::ApplyProgramFont();
    auto* window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return QApplication::exec();
}

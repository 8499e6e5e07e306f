// Zembrik's entry: program-wide values, then the main window.
#include <QApplication>

#include "mainwin/frmmain.h"
#include "shell/basmain.h"
#include "shell/font.h"
#include "shell/icons.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(basMain::AppTitle);
    basMain::InitProgramValues();
    basMain::ApplyProgramFont();
    basMain::InstallQtJapaneseTexts();
    QApplication::setWindowIcon(basMain::ProgramIcon());
    auto* window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return QApplication::exec();
}

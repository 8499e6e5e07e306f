// The program's start and end.
#include "app/program.h"

#include <QApplication>

#include "mainwin/frmmain.h"
#include "shell/basmain.h"
#include "shell/font.h"
#include "shell/icons.h"

int RunZembrik(QApplication& app)
{
    QApplication::setApplicationName(basMain::AppTitle);
    basMain::InitProgramValues();
    basMain::ApplyProgramFont();
    basMain::InstallQtJapaneseTexts();
    QApplication::setWindowIcon(basMain::ProgramIcon());
    auto* window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    // The program ends with its main window, which takes every other window
    // with it. Qt's own rule (the last visible window closed) misses a window
    // that is hidden first and closed later, as one closed during a run is.
    QObject::connect(window, &QObject::destroyed, &app, &QCoreApplication::quit);
    window->show();
    return app.exec();
}

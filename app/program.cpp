// The program's start and end.
#include "app/program.h"

#include <QApplication>

#include <cstdio>

#include "mainwin/frmmain.h"
#include "shell/basmain.h"
#include "shell/font.h"
#include "shell/icons.h"

int RunZembrik(QApplication& app, const QStringList& paths)
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
    for (const QString& ignored : window->OpenPaths(paths))
        std::fprintf(stderr, "zembrik: %s: not a folder or a picture file, ignored\n", qPrintable(ignored));
    window->show();
    return app.exec();
}

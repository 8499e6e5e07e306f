// Zembrik's entry: program-wide values, then the main window, opened on the
// folder or pictures named on the command line.
#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

#include "mainwin/frmmain.h"
#include "shell/basmain.h"
#include "shell/font.h"
#include "shell/icons.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(basMain::AppTitle);
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(basMain::VersionMajor)
                                            .arg(basMain::VersionMinor)
                                            .arg(basMain::VersionRevision));
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.zembrik.Zembrik"));

    QCommandLineParser arguments;
    arguments.setApplicationDescription(QStringLiteral("Shrinks photographs in bulk."));
    arguments.addHelpOption();
    arguments.addVersionOption();
    arguments.addPositionalArgument(QStringLiteral("paths"),
                                    QStringLiteral("A folder to open, or pictures to select in their folder."),
                                    QStringLiteral("[FOLDER | FILE...]"));
    arguments.process(app);

    basMain::InitProgramValues();
    basMain::ApplyProgramFont();
    basMain::InstallQtJapaneseTexts();
    QApplication::setWindowIcon(basMain::ProgramIcon());
    auto* window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    for (const QString& ignored : window->OpenPaths(arguments.positionalArguments()))
        std::fprintf(stderr, "zembrik: %s: not a folder or a picture file, ignored\n", qPrintable(ignored));
    window->show();
    return QApplication::exec();
}

// Zembrik's entry: the application object and the command line, then the
// program, opened on the folder or pictures named there.
#include <QApplication>
#include <QCommandLineParser>

#include "app/program.h"
#include "shell/basmain.h"

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
    return RunZembrik(app, arguments.positionalArguments());
}

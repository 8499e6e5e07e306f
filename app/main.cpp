// Zembrik's entry: the command line, then the application object and the
// program, opened on the folder or pictures named there.
#include <QApplication>
#include <QCommandLineParser>

#include "app/program.h"
#include "shell/basmain.h"

namespace {

// The arguments as the application object reads them on this platform.
QStringList Arguments(int argc, char** argv)
{
    QStringList given;
    for (int i = 0; i < argc; ++i)
        given.append(QString::fromLocal8Bit(argv[i]));
    return given;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(basMain::AppTitle);
    QCoreApplication::setApplicationVersion(QStringLiteral(ZEMBRIK_VERSION));

    QCommandLineParser arguments;
    arguments.setApplicationDescription(QStringLiteral("Shrinks photographs in bulk."));
    arguments.addHelpOption();
    arguments.addVersionOption();
    arguments.addPositionalArgument(QStringLiteral("paths"),
                                    QStringLiteral("A folder to open, or pictures to select in their folder."),
                                    QStringLiteral("[FOLDER | FILE...]"));

    // --help and --version are answered before the window's application object
    // exists, which needs a display: over ssh, in scripts and for help2man
    // there is none. Other errors are left to the full parse below, as Qt's own
    // options (-platform, -style) are only known once that object has taken
    // them out.
    arguments.parse(Arguments(argc, argv));
    if (arguments.isSet(QStringLiteral("version")) || arguments.isSet(QStringLiteral("help"))) {
        const QCoreApplication bare(argc, argv);  // names the program in the usage line
        if (arguments.isSet(QStringLiteral("version")))
            arguments.showVersion();
        arguments.showHelp();
    }

    QApplication app(argc, argv);
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.zembrik.Zembrik"));
    arguments.process(app);
    return RunZembrik(app, arguments.positionalArguments());
}

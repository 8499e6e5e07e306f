// Zembrik's entry: the language, the command line, then the application
// object and the program, opened on the folder or pictures named there.
#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>

#include "app/program.h"
#include "base/language.h"
#include "base/settings.h"
#include "output/metadatawriter.h"
#include "pictures/pictureformats.h"
#include "shell/program.h"

namespace {

// The command line's options and texts, in the language of the translations
// installed when it is called.
void Describe(QCommandLineParser& arguments)
{
    arguments.setApplicationDescription(QCoreApplication::translate("zembrik", "写真をまとめて縮小します。"));
    arguments.addHelpOption();
    arguments.addVersionOption();
    arguments.addPositionalArgument(
        QStringLiteral("paths"),
        QCoreApplication::translate("zembrik", "開くフォルダ、またはそのフォルダで選択する画像。"),
        QCoreApplication::translate("zembrik", "[フォルダ | ファイル...]"));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(base::AppTitle);
    QCoreApplication::setApplicationVersion(QStringLiteral(ZEMBRIK_VERSION));
    Services services;
    QSettings store = services.Settings.Open();
    const base::Language language = base::UserLanguage(store);

    // --help and --version are answered before the window's application object
    // exists, which needs a display: over ssh, in scripts and for help2man
    // there is none. Other errors are left to the full parse below, as Qt's own
    // options (-platform, -style) are only known once that object has taken
    // them out.
    {
        QCommandLineParser arguments;
        Describe(arguments);
        arguments.parse(base::CommandLine(argc, argv));
        if (arguments.isSet(QStringLiteral("help-all"))) {
            // The Qt options it lists are a GUI application's; one that draws
            // nowhere needs no display, and the parse is then the full one.
            qputenv("QT_QPA_PLATFORM", "offscreen");
            QGuiApplication bare(argc, argv);
            const base::Translations texts(language);
            QCommandLineParser translated;
            Describe(translated);
            translated.process(bare);
        }
        if (arguments.isSet(QStringLiteral("version")) || arguments.isSet(QStringLiteral("help"))) {
            const QCoreApplication bare(argc, argv);  // names the program in the usage line
            const base::Translations texts(language);
            QCommandLineParser translated;
            Describe(translated);
            translated.parse(base::CommandLine(argc, argv));
            if (translated.isSet(QStringLiteral("version")))
                translated.showVersion();
            translated.showHelp();
        }
    }

    // Set up before any thread may copy metadata, kept until the last has.
    const output::MetadataLibrary metadata;
    QApplication app(argc, argv);
    const base::Translations texts(language);
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.zembrik.Zembrik"));
    QCommandLineParser arguments;
    Describe(arguments);
    // Qt has taken its own options out of argv; the rest keep their bytes.
    arguments.process(base::CommandLine(argc, argv));
    services.Metadata = &metadata;
    services.Formats = pictures::InstalledPictureFormats();
    return RunZembrik(app, language, arguments.positionalArguments(), services);
}

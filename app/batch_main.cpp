// zembrik-batch: the headless companion for scripts. Shrinks each file given
// on the command line into an output folder with the same per-image step the
// window run uses, one line per file, and no display needed.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

#include "batch/shrink.h"
#include "shell/msg.h"
#include "shell/numtext.h"

namespace {

const char* const Usage = "Usage: zembrik-batch [-r PERCENT] -o OUTDIR FILE...\n";

const char* const Help =
    "Shrinks JPEG, BMP and GIF pictures and writes each as OUTDIR/<base name>.jpg\n"
    "(baseline JPEG), replacing a file of that name.\n"
    "\n"
    "  -r PERCENT   reduction ratio in percent, 1 to 100 (default 100: same size);\n"
    "               read like the ratio box: a value outside is clamped, a text\n"
    "               that is not a number counts as 100\n"
    "  -o OUTDIR    output folder (must exist)\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Prints one line per written file: source, its size, output, its size.\n"
    "A file that fails is reported on standard error and the run goes on.\n"
    "Exit status: 0 all files written, 1 a file failed, 2 bad usage.\n";

void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QString SizeText(const QSize& size)
{
    return QString::number(size.width()) + QLatin1Char('x') + QString::number(size.height());
}

int UsageError(const QString& problem)
{
    Print(stderr, QStringLiteral("zembrik-batch: ") + problem + QLatin1Char('\n'));
    Print(stderr, QString::fromLatin1(Usage));
    Print(stderr, QStringLiteral("Try 'zembrik-batch --help' for more information.\n"));
    return 2;
}

}  // namespace

int main(int argc, char* argv[])
{
    // No display is needed: QCoreApplication has no screen, so twips per pixel
    // is the 96-dpi value (15) whatever desktop the command runs under.
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();

    QString ratioText = QStringLiteral("100");
    QString outputFolder;
    bool haveOutput = false;
    QStringList files;
    bool optionsDone = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (optionsDone || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            files.append(arg);
        } else if (arg == QLatin1String("--")) {
            optionsDone = true;
        } else if (arg == QLatin1String("--help")) {
            Print(stdout, QString::fromLatin1(Usage) + QString::fromLatin1(Help));
            return 0;
        } else if (arg == QLatin1String("--version")) {
            Print(stdout, QStringLiteral("zembrik-batch (Zembrik) " ZEMBRIK_VERSION "\n"));
            return 0;
        } else if (arg.startsWith(QLatin1String("-r")) || arg.startsWith(QLatin1String("-o"))) {
            // Both "-r 50" and "-r50", as getopt takes them.
            QString value = arg.mid(2);
            if (value.isEmpty()) {
                if (i + 1 >= args.size())
                    return UsageError(QStringLiteral("option requires an argument -- '%1'").arg(arg.at(1)));
                value = args.at(++i);
            }
            if (arg.at(1) == QLatin1Char('r')) {
                ratioText = value;
            } else {
                outputFolder = value;
                haveOutput = true;
            }
        } else {
            return UsageError(QStringLiteral("unrecognized option '%1'").arg(arg));
        }
    }
    if (!haveOutput || outputFolder.isEmpty())
        return UsageError(QStringLiteral("missing output folder (-o OUTDIR)"));
    if (files.isEmpty())
        return UsageError(QStringLiteral("no input files"));

    // Without this check every file would fail with the encoder's "no disk" text.
    if (!QFileInfo(outputFolder).isDir()) {
        Print(stderr, QStringLiteral("zembrik-batch: %1: 出力フォルダが見つかりません。\n")
                          .arg(QDir::toNativeSeparators(outputFolder)));
        return 1;
    }
    outputFolder = QDir::toNativeSeparators(QDir::cleanPath(outputFolder));
    const double ratio = basMain::Val(basMain::NormaliseRatioText(ratioText)) / 100.0;

    bool allOk = true;
    for (const QString& file : files) {
        const QFileInfo info(file);
        const QString folder = QDir::toNativeSeparators(info.path());
        basMain::PictureBox box;
        const basBatch::ShrinkResult result = basBatch::ShrinkFile(folder, info.fileName(), ratio, outputFolder, box);
        if (result.Error) {
            allOk = false;
            Print(stderr, QStringLiteral("zembrik-batch: %1: %2\n").arg(file, result.Error->Description));
        } else if (result.SaveResult != ModuleJPEG::JpegResult::Ok) {
            allOk = false;
            QString text = basMain::SaveErrorText(result.SaveResult);
            if (text.isEmpty())
                text = QStringLiteral("予期しないエラーが発生しました。");
            Print(stderr, QStringLiteral("zembrik-batch: %1 -> %2: %3\n").arg(file, result.OutputPath, text));
        } else {
            Print(stdout, QStringLiteral("%1 %2 -> %3 %4\n")
                              .arg(file, SizeText(result.SourceSize), result.OutputPath, SizeText(result.TargetSize)));
        }
        std::fflush(stdout);
    }
    return allOk ? 0 : 1;
}

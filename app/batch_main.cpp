// zembrik-batch: the headless companion for scripts. Shrinks each file given
// on the command line into an output folder with the same engine the window
// run uses, on one worker per core unless told otherwise, one line per file in
// the order given, and no display needed.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

#include "batch/engine.h"
#include "shell/basmain.h"
#include "shell/msg.h"
#include "shell/numtext.h"

namespace {

const char* const Usage = "Usage: zembrik-batch [-r PERCENT] [-j THREADS] -o OUTDIR FILE...\n";

const char* const Help =
    "Shrinks JPEG, BMP and GIF pictures and writes each as OUTDIR/<base name>.jpg\n"
    "(baseline JPEG), replacing a file of that name.\n"
    "\n"
    "  -r PERCENT   reduction ratio in percent, 1 to 100 (default 100: same size);\n"
    "               read like the ratio box: a value outside is clamped, a text\n"
    "               that is not a number counts as 100\n"
    "  -o OUTDIR    output folder (must exist)\n"
    "  -j THREADS   pictures shrunk at once (default: one per processor core);\n"
    "               the files written are the same whatever the number\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Prints one line per written file, in the order given: source, its size,\n"
    "output, its size. A file that fails is reported on standard error and the\n"
    "run goes on. Each file is written under a temporary name and put in place\n"
    "only when complete, in the order given.\n"
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
    int threads = 0;
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
        } else if (arg.startsWith(QLatin1String("-r")) || arg.startsWith(QLatin1String("-o")) ||
                   arg.startsWith(QLatin1String("-j"))) {
            // Both "-r 50" and "-r50", as getopt takes them.
            QString value = arg.mid(2);
            if (value.isEmpty()) {
                if (i + 1 >= args.size())
                    return UsageError(QStringLiteral("option requires an argument -- '%1'").arg(arg.at(1)));
                value = args.at(++i);
            }
            if (arg.at(1) == QLatin1Char('r')) {
                ratioText = value;
            } else if (arg.at(1) == QLatin1Char('j')) {
                bool ok = false;
                threads = value.toInt(&ok);
                if (!ok || threads < 1)
                    return UsageError(QStringLiteral("invalid number of threads '%1'").arg(value));
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

    basBatch::Plan plan;
    plan.Ratio = ratio;
    for (const QString& file : files) {
        const QFileInfo info(file);
        plan.Items.push_back({basMain::JoinPath(QDir::toNativeSeparators(info.path()), info.fileName()),
                              basBatch::OutputPathFor(outputFolder, info.fileName())});
    }
    basBatch::EngineOptions options;
    options.Threads = threads;
    options.Policy = basBatch::FailurePolicy::GoOn;
    basBatch::ShrinkEngine engine(std::move(plan), std::move(options));
    engine.Start();

    bool allOk = true;
    while (!engine.Finished()) {
        engine.Wait();
        for (const basBatch::ItemOutcome& outcome : engine.Collect()) {
            const QString& file = files.at(outcome.Index);
            if (outcome.LoadError) {
                allOk = false;
                Print(stderr, QStringLiteral("zembrik-batch: %1: %2\n").arg(file, outcome.LoadError->Description));
            } else if (outcome.SaveResult != ModuleJPEG::JpegResult::Ok) {
                allOk = false;
                QString text = basMain::SaveErrorText(outcome.SaveResult);
                if (text.isEmpty())
                    text = QStringLiteral("予期しないエラーが発生しました。");
                Print(stderr, QStringLiteral("zembrik-batch: %1 -> %2: %3\n").arg(file, outcome.Output, text));
            } else {
                Print(stdout, QStringLiteral("%1 %2 -> %3 %4\n")
                                  .arg(file, SizeText(outcome.SourceSize), outcome.Output, SizeText(outcome.TargetSize)));
            }
            std::fflush(stdout);
        }
    }
    return allOk ? 0 : 1;
}

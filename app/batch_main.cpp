// zembrik-batch: the headless companion for scripts. Shrinks each file given
// on the command line into an output folder with the same engine and the same
// check before writing that the window run uses, on one worker per core unless
// told otherwise, one line per file in the order given, and no display needed.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#define ZEMBRIK_ISATTY _isatty
#define ZEMBRIK_FILENO _fileno
#else
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <mutex>
#include <system_error>
#include <thread>
#define ZEMBRIK_ISATTY isatty
#define ZEMBRIK_FILENO fileno
#endif

#include "batch/engine.h"
#include "batch/preflight.h"
#include "batch/summary.h"
#include "shell/basmain.h"
#include "shell/msg.h"
#include "shell/numtext.h"

namespace {

const char* const Usage = "Usage: zembrik-batch [-r PERCENT] [-j THREADS] [--force] [--quiet] -o OUTDIR FILE...\n";

const char* const Help =
    "Shrinks JPEG, BMP and GIF pictures and writes each as OUTDIR/<base name>.jpg\n"
    "(baseline JPEG), replacing a file of that name.\n"
    "\n"
    "  -r PERCENT   reduction ratio in percent, 1 to 100 (default 100: same size);\n"
    "               read like the ratio box: a value outside is clamped, a text\n"
    "               that is not a number counts as 100\n"
    "  -o OUTDIR    output folder (must exist)\n"
    "  -j THREADS   pictures shrunk at once (default: one per processor core;\n"
    "               fewer while together they would need more than half the\n"
    "               memory); the files written are the same whatever the number\n"
    "  --force      go on when an output would replace one of the given files,\n"
    "               or when several given files would write the same output:\n"
    "               the originals are replaced, the last file of a name wins\n"
    "  --quiet      no progress line and no summary on standard error\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Options are read only before the first FILE, as getopt reads them: a later\n"
    "argument that starts with '-' (a file named --force that * expands to) is a\n"
    "file name. '--' ends the options too.\n"
    "\n"
    "Prints one line per written file, in the order given: source, its size,\n"
    "output, its size. A file that fails is reported on standard error and the\n"
    "run goes on, unless the output folder is gone or cannot be written: then\n"
    "the run stops there and says so once. Each file is written unnamed (or\n"
    "under a temporary name) and put in place only when complete, in the order\n"
    "given. Before anything is written, the files are checked: without --force,\n"
    "outputs that would replace given files or that several given files share\n"
    "are listed and nothing is written.\n"
    "On a terminal a progress line (done/total, file, time) shows on standard\n"
    "error, and a summary (pictures, size before and after, time) ends the run.\n"
    "Exit status: 0 all files written, 1 a file failed or standard output could\n"
    "not be written, 2 bad usage or a clash refused without --force.\n"
    "Interrupted (Ctrl+C), it keeps the files already written and leaves no\n"
    "temporary file.\n";

void Print(std::FILE* stream, const QString& text)
{
#if defined(_WIN32)
    const QByteArray bytes = text.toLocal8Bit();
#else
    // File names keep the bytes they came with, UTF-8 or not.
    const QByteArray bytes = basMain::ToFsName(text).value_or(text.toUtf8());
#endif
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// Standard output that could not be written (a full disk, a closed pipe
// reader that ignores SIGPIPE) fails the run, however well the files went.
int Ended(int status)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    Print(stderr, QStringLiteral("zembrik-batch: 標準出力に書き込めません。\n"));
    return status == 0 ? 1 : status;
}

// The arguments as the system gave them: on Unix a name that is not UTF-8
// keeps its bytes (see basMain::FromFsName).
QStringList Arguments(int argc, char* argv[])
{
#if defined(_WIN32)
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return QCoreApplication::arguments();
#else
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(basMain::FromFsName(argv[i]));
    return args;
#endif
}

QString PixelsText(const QSize& size)
{
    return QString::number(size.width()) + QLatin1Char('x') + QString::number(size.height());
}

// Lists what the check found and why nothing was written.
int RefuseClashes(const basBatch::PlanCheck& check)
{
    for (const basBatch::ClashLine& clash : basBatch::ClashLines(check)) {
        Print(stderr, QStringLiteral("zembrik-batch: ") + clash.Text + QLatin1Char('\n'));
        for (const QString& file : clash.Files)
            Print(stderr, QStringLiteral("  ") + file + QLatin1Char('\n'));
    }
    Print(stderr, QStringLiteral("zembrik-batch: 何も書き込んでいません。続行するには --force を指定してください。\n"));
    return 2;
}

// The line that tells a person at a terminal how far the run is; it is
// rewritten in place, and cleared before anything else is printed.
class ProgressLine {
public:
    explicit ProgressLine(bool on) : on_(on) {}
    void Show(int done, int total, const QString& file, qint64 ms)
    {
        if (!on_)
            return;
        Print(stderr, QStringLiteral("\r%1/%2  %3  %4\x1b[K")
                          .arg(done)
                          .arg(total)
                          .arg(QFileInfo(file).fileName(), basBatch::DurationText(ms)));
        std::fflush(stderr);
        shown_ = true;
    }
    void Clear()
    {
        if (shown_) {
            Print(stderr, QStringLiteral("\r\x1b[K"));
            std::fflush(stderr);
            shown_ = false;
        }
    }

private:
    bool on_;
    bool shown_ = false;
};

#if !defined(_WIN32)
// Ctrl+C, a hang-up or a kill while files are in flight: the engine is
// stopped, so its temporary files are removed and what is on disk is a prefix
// of the run, and then the signal ends the process as it would have (the
// shell sees 128 + the signal). Stopping the engine is not something a signal
// handler may do, so the signals are blocked in every thread, which must
// happen before any thread exists, and one thread waits for them.
class Interrupts {
public:
    Interrupts()
    {
        sigemptyset(&set_);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&set_, signal);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    }
    Interrupts(const Interrupts&) = delete;
    Interrupts& operator=(const Interrupts&) = delete;
    ~Interrupts() { EndWatch(); }

    void Watch(basBatch::ShrinkEngine& engine)
    {
        try {
            waiter_ = std::thread([this, &engine] {
                int signal = 0;
                sigwait(&set_, &signal);
                const std::lock_guard lock(mutex_);
                if (over_)
                    return;  // the wake-up from EndWatch, or too late to matter
                caught_ = signal;
                engine.Stop();
            });
        } catch (const std::system_error&) {
            // No thread to wait with: the signals end the process as they
            // would have, and no file the run has not put in place has a name.
            pthread_sigmask(SIG_UNBLOCK, &set_, nullptr);
        }
    }

    // The signal that stopped the run, or 0.
    int EndWatch()
    {
        if (waiter_.joinable()) {
            {
                const std::lock_guard lock(mutex_);
                over_ = true;
                if (caught_ == 0)
                    pthread_kill(waiter_.native_handle(), SIGTERM);
            }
            waiter_.join();
        }
        return caught_;
    }

    // Ends the process by the signal that stopped the run, as if it had
    // never been caught.
    [[noreturn]] static void Reraise(int signal)
    {
        std::fflush(stdout);
        std::signal(signal, SIG_DFL);
        sigset_t just;
        sigemptyset(&just);
        sigaddset(&just, signal);
        pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
        std::raise(signal);
        std::_Exit(128 + signal);
    }

private:
    sigset_t set_;
    std::thread waiter_;
    std::mutex mutex_;
    bool over_ = false;
    int caught_ = 0;
};
#else
// A console's Ctrl+C ends the process as before.
class Interrupts {
public:
    void Watch(basBatch::ShrinkEngine&) {}
    int EndWatch() { return 0; }
    [[noreturn]] static void Reraise(int) { std::abort(); }
};
#endif

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
    Interrupts interrupts;
#if !defined(_WIN32)
    // Past a file-size limit (ulimit -f) the write fails with EFBIG and is
    // reported as a full disk, rather than the signal killing the process
    // with its files half written.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // No display is needed: QCoreApplication has no screen, so twips per pixel
    // is the 96-dpi value (15) whatever desktop the command runs under.
    QCoreApplication app(argc, argv);
    const QStringList args = Arguments(argc, argv);

    QString ratioText = QStringLiteral("100");
    QString outputFolder;
    bool haveOutput = false;
    QStringList files;
    bool optionsDone = false;
    int threads = 0;
    bool force = false;
    bool quiet = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (optionsDone || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            // Options come before the files only, as getopt reads them: a
            // file named "--force" that a * expands to stays a file.
            files.append(arg);
            optionsDone = true;
        } else if (arg == QLatin1String("--")) {
            optionsDone = true;
        } else if (arg == QLatin1String("--help")) {
            Print(stdout, QString::fromLatin1(Usage) + QString::fromLatin1(Help));
            return Ended(0);
        } else if (arg == QLatin1String("--force")) {
            force = true;
        } else if (arg == QLatin1String("--quiet")) {
            quiet = true;
        } else if (arg == QLatin1String("--version")) {
            Print(stdout, QStringLiteral("zembrik-batch (Zembrik) " ZEMBRIK_VERSION "\n"));
            return Ended(0);
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
    std::error_code notDir;
    if (!std::filesystem::is_directory(basMain::ToFsPath(outputFolder), notDir)) {
        Print(stderr, QStringLiteral("zembrik-batch: %1: 出力フォルダが見つかりません。\n")
                          .arg(QDir::toNativeSeparators(outputFolder)));
        return 1;
    }
    outputFolder = QDir::toNativeSeparators(QDir::cleanPath(outputFolder));
    const double ratio = basMain::Val(basMain::NormaliseRatioText(ratioText)) / 100.0;

    QStringList sources;
    for (const QString& file : files) {
        const QFileInfo info(file);
        sources.append(basMain::JoinPath(QDir::toNativeSeparators(info.path()), info.fileName()));
    }
    basBatch::PlanCheck check = basBatch::CheckPlan(sources, outputFolder);
    if (check.NeedsQuestion() && !force)
        return RefuseClashes(check);
    basBatch::Plan plan;
    plan.Items = std::move(check.Items);
    plan.Ratio = ratio;
    basBatch::EngineOptions options;
    options.Threads = threads;
    options.Policy = basBatch::FailurePolicy::GoOn;
    basBatch::ShrinkEngine engine(std::move(plan), std::move(options));
    QElapsedTimer clock;
    clock.start();
    interrupts.Watch(engine);
    engine.Start();

    ProgressLine progress(!quiet && ZEMBRIK_ISATTY(ZEMBRIK_FILENO(stderr)));
    basBatch::RunSummary summary;
    const int total = static_cast<int>(files.size());
    int done = 0;
    progress.Show(done, total, files.first(), 0);
    bool allOk = true;
    bool endedEarly = false;
    while (!engine.Finished()) {
        engine.Wait();
        for (const basBatch::ItemOutcome& outcome : engine.Collect()) {
            const QString& file = files.at(outcome.Index);
            summary.Add(outcome);
            ++done;
            progress.Clear();
            if (outcome.Skipped) {
                // A later file writes the same output; it is that file's line.
            } else if (outcome.LoadError) {
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
                                  .arg(file, PixelsText(outcome.SourceSize), outcome.Output, PixelsText(outcome.TargetSize)));
            }
            std::fflush(stdout);
            endedEarly = endedEarly || outcome.EndsRun;
            if (done < total && !endedEarly)
                progress.Show(done, total, files.at(done), clock.elapsed());
        }
    }
    progress.Clear();
    if (const int signal = interrupts.EndWatch())
        Interrupts::Reraise(signal);
    // The failure above is what every later file would meet: said once.
    if (endedEarly && done < total)
        Print(stderr, QStringLiteral("zembrik-batch: 残りの %1 個のファイルは処理していません。\n").arg(total - done));
    if (!quiet)
        Print(stderr, summary.Text(clock.elapsed()) + QLatin1Char('\n'));
    return Ended(allOk ? 0 : 1);
}
